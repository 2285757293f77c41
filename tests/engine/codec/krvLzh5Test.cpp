// The -lh5-/-lh6- encoder against the project's LZH decoder: every kind of input round-trips
// at block and window boundaries, codes stay within 16 bits when the frequencies would make
// them deeper, incompressible input asks to be stored, and a cancel stops the run.
#include "LegacyDecodeHarness.h"

#include "engine/codec/krvLzh5.h"
#include "engine/codec/krvLzhDecode.h"
#include "engine/codec/krvLzhHuffEncode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace legacytest;

namespace {

struct TPacked {
    std::string Bytes;
    TLzhEncodeResult Result;
};

TPacked Encode(const std::string& Data, TLzhEncodeParams Params, std::int64_t Piece = 7000,
               const bool* Cancel = nullptr) {
    TPacked out;
    std::size_t at = 0;
    out.Result = LzhEncode(
        [&](std::uint8_t* Buffer, std::int64_t Count) {
            const std::size_t n = std::min<std::size_t>(
                {Data.size() - at, static_cast<std::size_t>(Count), static_cast<std::size_t>(Piece)});
            std::copy_n(Data.data() + at, n, Buffer);
            at += n;
            return static_cast<std::int64_t>(n);
        },
        [&](const std::uint8_t* Buffer, std::int64_t Count) {
            out.Bytes.append(reinterpret_cast<const char*>(Buffer), static_cast<std::size_t>(Count));
        },
        Params, Cancel);
    return out;
}

std::string Text(std::size_t Size, unsigned Seed) {
    static const char* const words[] = {"archive ", "lha ",     "header ", "the ",      "of ", "window ",
                                        "\n",       "Huffman ", "block ",  "position ", "42 ", "deflate "};
    std::mt19937 rng(Seed);
    std::string s;
    while (s.size() < Size)
        s += words[rng() % 12];
    s.resize(Size);
    return s;
}

std::string Random(std::size_t Size, unsigned Seed) {
    std::mt19937 rng(Seed);
    std::string s(Size, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

// Bytes whose frequencies follow the Fibonacci numbers: an unlimited Huffman code for them
// would be about as deep as there are symbols.
std::string Fibonacci(int Symbols) {
    std::string s;
    std::uint64_t a = 1, b = 1;
    for (int i = 0; i < Symbols; ++i) {
        // Spread out so that no repeat is long enough to become a match.
        for (std::uint64_t k = 0; k < a; ++k)
            s.push_back(static_cast<char>(i));
        const std::uint64_t c = a + b;
        a = b;
        b = c;
    }
    std::mt19937 rng(7);
    std::shuffle(s.begin(), s.end(), rng);
    return s;
}

void ExpectRoundTrip(const std::string& Data, bool Lh6, const std::string& What) {
    const TPacked p = Encode(Data, Lh6 ? LzhEncodeLh6 : LzhEncodeLh5);
    ASSERT_FALSE(p.Result.Cancelled) << What;
    if (p.Result.StoreInstead) return;
    EXPECT_EQ(p.Result.Read, static_cast<std::int64_t>(Data.size())) << What;
    EXPECT_EQ(p.Result.Written, static_cast<std::int64_t>(p.Bytes.size())) << What;
    // An -lh6- stream decodes with the -lh6- decoder's 32 KiB window and position count.
    const TLzhParams params = Lh6 ? LzhLh6 : LzhLh5;
    const TLegacyRun run = RunDecoder([params](const TDecoderIO& IO) { return LzhDecode(IO, params); },
                                      p.Bytes, static_cast<std::int64_t>(Data.size()));
    ASSERT_FALSE(run.Failed()) << What << " error " << run.Result.ErrorCode;
    EXPECT_TRUE(run.Output == Data) << What;
}

} // namespace

TEST(Lzh5Test, RoundTripsThroughTheDecoder) {
    struct TCase {
        std::string What;
        std::string Data;
    };
    std::vector<TCase> cases = {
        {"one byte", "x"},
        {"three bytes", "abc"},
        {"one repeated byte", std::string(100000, 'a')},
        {"two alternating bytes",
         [] {
             std::string s;
             for (int i = 0; i < 50000; ++i)
                 s += (i % 3 == 0) ? 'q' : 'r';
             return s;
         }()},
        {"fibonacci frequencies", Fibonacci(24)},
        {"text 300000", Text(300000, 1)},
        {"text then random then text", Text(40000, 2) + Random(30000, 3) + Text(40000, 2)},
        {"zero runs", std::string(70000, '\0') + Text(5000, 4) + std::string(70000, '\0')},
    };
    for (const std::size_t size : {8191u, 8192u, 8193u, 16383u, 16384u, 16385u, 32767u, 32768u, 32769u})
        cases.push_back({"text " + std::to_string(size), Text(size, static_cast<unsigned>(size))});
    for (const TCase& c : cases) {
        ExpectRoundTrip(c.Data, false, "lh5 " + c.What);
        ExpectRoundTrip(c.Data, true, "lh6 " + c.What);
    }
}

TEST(Lzh5Test, CompressesWhatRepeatsAndStoresWhatDoesNot) {
    const TPacked one = Encode(std::string(100000, 'a'), LzhEncodeLh5);
    EXPECT_FALSE(one.Result.StoreInstead);
    EXPECT_LT(one.Bytes.size(), 100u);
    const TPacked text = Encode(Text(200000, 9), LzhEncodeLh6);
    EXPECT_LT(text.Bytes.size(), 200000u / 3);
    // Random bytes give up early, long before the whole input was encoded.
    const TPacked random = Encode(Random(1 << 20, 5), LzhEncodeLh6);
    EXPECT_TRUE(random.Result.StoreInstead);
    EXPECT_LT(random.Result.Read, 1 << 19);
}

TEST(Lzh5Test, CodeLengthsStayWithinSixteenBits) {
    // Fibonacci frequencies: an unlimited code would reach 29 bits.
    std::vector<std::uint32_t> freq(30);
    std::uint32_t a = 1, b = 1;
    for (std::uint32_t& f : freq) {
        f = a;
        const std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    std::vector<std::uint8_t> len(freq.size());
    int single = -1;
    ASSERT_EQ(LzhMakeLengths(freq, len, single), 30);
    std::uint64_t kraft = 0;
    for (const std::uint8_t l : len) {
        ASSERT_GE(l, 1);
        ASSERT_LE(l, 16);
        kraft += 1ULL << (16 - l);
    }
    EXPECT_EQ(kraft, 1ULL << 16); // a complete code, as the decoder demands
    EXPECT_EQ(len.back(), 1);     // the most frequent symbol has the shortest code

    std::vector<std::uint32_t> one(10, 0);
    one[4] = 9;
    EXPECT_EQ(LzhMakeLengths(one, len, single), 1);
    EXPECT_EQ(single, 4);
}

TEST(Lzh5Test, CancelStopsTheRun) {
    bool cancel = true;
    const TPacked p = Encode(Text(500000, 3), LzhEncodeLh5, 7000, &cancel);
    EXPECT_TRUE(p.Result.Cancelled);
    EXPECT_LT(p.Result.Read, 500000);
}
