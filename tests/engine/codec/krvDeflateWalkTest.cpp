// The deflate block walk against zlib's own block boundaries (inflate with Z_BLOCK) on streams
// of libdeflate's levels and zlib's stored, fixed and dynamic blocks, and on damaged streams.
#include "engine/codec/krvDeflateWalk.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <random>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using TBytes = std::vector<std::uint8_t>;

// zlib's answer: the bit where the final block begins and the bit after it; {-1, -1} when zlib
// finds the stream damaged.
TDeflateFinalBlock ZlibFinalBlock(const TBytes& Data) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return {};
    TBytes sink(1 << 18);
    z.next_in = const_cast<Bytef*>(Data.data());
    z.avail_in = static_cast<uInt>(Data.size());
    TDeflateFinalBlock found;
    std::int64_t blockStart = 0;
    for (;;) {
        z.next_out = sink.data();
        z.avail_out = static_cast<uInt>(sink.size());
        const int rc = inflate(&z, Z_BLOCK);
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK || (z.avail_in == 0 && z.avail_out != 0 && (z.data_type & 128) == 0)) {
            inflateEnd(&z);
            return {};
        }
        if ((z.data_type & 128) == 0) continue;
        const std::int64_t bit = static_cast<std::int64_t>(z.total_in) * 8 - (z.data_type & 7);
        if ((z.data_type & 64) != 0)
            found = {blockStart, bit};
        else
            blockStart = bit;
    }
    inflateEnd(&z);
    return found;
}

TBytes Libdeflate(const TBytes& Plain, int Level) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(Level);
    TBytes out(libdeflate_deflate_compress_bound(c, Plain.size()));
    out.resize(libdeflate_deflate_compress(c, Plain.data(), Plain.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

TBytes Zlib(const TBytes& Plain, int Level, int Strategy) {
    z_stream z{};
    deflateInit2(&z, Level, Z_DEFLATED, -15, 8, Strategy);
    TBytes out(deflateBound(&z, static_cast<uLong>(Plain.size())) + 16);
    z.next_in = const_cast<Bytef*>(Plain.data());
    z.avail_in = static_cast<uInt>(Plain.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Text, random bytes, runs and a mix: every kind of block the deflaters choose.
std::vector<std::pair<std::string, TBytes>> Inputs() {
    std::mt19937 rng(33);
    const auto random = [&](std::size_t n) {
        TBytes b(n);
        for (auto& x : b)
            x = static_cast<std::uint8_t>(rng());
        return b;
    };
    TBytes text;
    while (text.size() < 700000) {
        const std::string line = "entry " + std::to_string(rng() % 5000) + " served from node " +
                                 std::to_string(rng() % 7) + " in " + std::to_string(rng() % 90) + " ms\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    TBytes mix = text;
    const TBytes noise = random(300000);
    mix.insert(mix.begin() + 200000, noise.begin(), noise.end());
    return {{"one byte", {'a'}}, {"no matches", {'a', 'b', 'c', 'd'}}, {"run", TBytes(1 << 20, 'x')},
            {"text", text},      {"random", random(1 << 20)},          {"text, noise, text", mix}};
}

TEST(DeflateWalk, FindsTheFinalBlockWhereZlibDoes) {
    for (const auto& [name, plain] : Inputs()) {
        std::vector<std::pair<std::string, TBytes>> streams;
        for (const int level : {0, 1, 6, 9, 12})
            streams.emplace_back("libdeflate " + std::to_string(level), Libdeflate(plain, level));
        streams.emplace_back("zlib stored", Zlib(plain, 0, Z_DEFAULT_STRATEGY));
        streams.emplace_back("zlib fixed", Zlib(plain, 6, Z_FIXED));
        streams.emplace_back("zlib huffman only", Zlib(plain, 6, Z_HUFFMAN_ONLY));
        streams.emplace_back("zlib 9", Zlib(plain, 9, Z_DEFAULT_STRATEGY));
        for (const auto& [how, packed] : streams) {
            const TDeflateFinalBlock want = ZlibFinalBlock(packed);
            const TDeflateFinalBlock got = FindFinalDeflateBlock(packed);
            ASSERT_TRUE(want.Found()) << name << ", " << how;
            EXPECT_EQ(got.Start, want.Start) << name << ", " << how;
            EXPECT_EQ(got.End, want.End) << name << ", " << how;
        }
    }
}

TEST(DeflateWalk, DamagedOrCutStreamsGiveNoBlock) {
    const TBytes packed = Libdeflate(Inputs()[3].second, 6);
    std::mt19937 rng(7);
    // Cut anywhere: never a final block past the data.
    for (const std::size_t keep : {std::size_t{0}, std::size_t{1}, packed.size() / 3, packed.size() - 1}) {
        const TBytes cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(keep));
        EXPECT_FALSE(FindFinalDeflateBlock(cut).Found()) << keep;
    }
    // Flipped bytes: whatever the walk answers lies inside the data, and agrees with zlib when
    // zlib still reads a whole stream.
    for (int i = 0; i < 200; ++i) {
        TBytes bad = packed;
        bad[rng() % bad.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
        const TDeflateFinalBlock got = FindFinalDeflateBlock(bad);
        if (!got.Found()) continue;
        EXPECT_LE(got.End, static_cast<std::int64_t>(bad.size()) * 8);
        const TDeflateFinalBlock want = ZlibFinalBlock(bad);
        if (want.Found()) {
            EXPECT_EQ(got.Start, want.Start);
        }
    }
    // Reserved block type 3.
    EXPECT_FALSE(FindFinalDeflateBlock(TBytes{0x07, 0x00}).Found());
}

} // namespace
