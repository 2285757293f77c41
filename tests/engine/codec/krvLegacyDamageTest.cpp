// Damaged and hostile input to the legacy zip decoders: truncated streams, flipped bytes and
// garbage end in an error or in output of the declared size (with whatever CRC), never in a
// crash, a hang, a read beyond the packed size or output beyond the unpacked size.
#include "LegacyDecodeHarness.h"
#include "TestSupport.h"

#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>

#include <set>

using namespace legacytest;
using namespace testsupport;

namespace {

const std::set<int> RaisedCodes = {ecBadBlock, ecStackOverflow, ecAmbiguousShannonFanoTree};

// The outcome of any run, however damaged its input: bounded, and never silently short.
void ExpectSafe(const TLegacyRun& Run, std::int64_t UnpackedSize, const std::string& Where) {
    EXPECT_FALSE(Run.PulledTooMuch) << Where;
    EXPECT_FALSE(Run.PushedTooMuch) << Where;
    EXPECT_LE(static_cast<std::int64_t>(Run.Output.size()), UnpackedSize) << Where;
    if (Run.Raised != 0) {
        EXPECT_TRUE(RaisedCodes.count(Run.Raised)) << Where << ": raised " << Run.Raised;
    }
    if (Run.Result.ErrorCode != 0) {
        EXPECT_EQ(Run.Result.ErrorCode, ecDecompressionError) << Where;
    }
    if (!Run.Failed()) {
        EXPECT_EQ(static_cast<std::int64_t>(Run.Output.size()), UnpackedSize) << Where;
    }
    if (Run.Raised == 0) {
        EXPECT_EQ(Run.Result.Produced, static_cast<std::int64_t>(Run.Output.size())) << Where;
    }
}

struct TSample {
    const char* Archive;
    const char* Name;
    std::size_t EveryCutUpTo; // every truncation point up to here, then a stride
};

const TSample Samples[] = {
    {"commons-compress/zip/SHRUNK.ZIP", "TEST1.XML", 100000},
    {"sharpcompress/zip/Zip.shrink.zip", "TECT.TXT", 100000},
    {"sharpcompress/zip/Zip.reduce1.zip", "TEST.EXE", 1500},
    {"sharpcompress/zip/Zip.reduce2.zip", "TEST.JPG", 1500},
    {"sharpcompress/zip/Zip.reduce3.zip", "TEST.EXE", 1500},
    {"sharpcompress/zip/Zip.reduce4.zip", "TEST.EXE", 1500},
    {"commons-compress/zip/imploding-4Kdict-2trees.zip", "HEADER.TXT", 100000},
    {"commons-compress/zip/imploding-8Kdict-3trees.zip", "LICENSE.TXT", 100000},
};

std::string Where(const TCorpusEntry& E, const char* What, std::size_t At) {
    return E.Archive + ": " + E.Name + " " + What + " " + std::to_string(At);
}

} // namespace

TEST(LegacyDamage, EveryTruncationEndsInAnErrorOrWrongOutput) {
    for (const auto& sample : Samples) {
        const auto entry = CorpusEntry(sample.Archive, sample.Name);
        const std::size_t size = entry.Packed.size();
        ASSERT_GT(size, 2u) << sample.Archive;
        for (std::size_t cut = 0; cut < size; cut += cut < sample.EveryCutUpTo ? 1 : 37) {
            const std::string part = entry.Packed.substr(0, cut);
            const auto run = RunLegacy(entry.Method, entry.Flags, part, entry.UnpackedSize);
            const std::string where = Where(entry, "cut at", cut);
            ExpectSafe(run, entry.UnpackedSize, where);
            if (cut + 2 <= size) {
                EXPECT_TRUE(run.Failed() || run.Crc != entry.Crc) << where;
            }
        }
    }
}

// The archive says more packed bytes than the input can give (a short read).
TEST(LegacyDamage, InputThatEndsBeforeThePackedSizeIsAnError) {
    for (const auto& sample : Samples) {
        const auto entry = CorpusEntry(sample.Archive, sample.Name);
        TLegacyOptions options;
        options.PackedSize = static_cast<std::int64_t>(entry.Packed.size());
        for (const std::size_t cut :
             {std::size_t{0}, std::size_t{1}, entry.Packed.size() / 2, entry.Packed.size() - 2}) {
            const auto run = RunLegacy(entry.Method, entry.Flags, entry.Packed.substr(0, cut),
                                       entry.UnpackedSize, options);
            const std::string where = Where(entry, "input ends at", cut);
            ExpectSafe(run, entry.UnpackedSize, where);
            EXPECT_TRUE(run.Failed()) << where;
        }
    }
}

TEST(LegacyDamage, FlippedBytesEndInAnErrorOrOutputOfTheDeclaredSize) {
    int failures = 0, wrongCrc = 0;
    for (const auto& sample : Samples) {
        const auto entry = CorpusEntry(sample.Archive, sample.Name);
        const std::size_t stride = entry.Packed.size() > 5000 ? 53 : 1;
        for (std::size_t at = 0; at < entry.Packed.size(); at += stride) {
            for (const std::uint8_t mask : {std::uint8_t(0xFF), std::uint8_t(1u << (at % 8))}) {
                std::string damaged = entry.Packed;
                damaged[at] = static_cast<char>(damaged[at] ^ mask);
                const auto run = RunLegacy(entry.Method, entry.Flags, damaged, entry.UnpackedSize);
                ExpectSafe(run, entry.UnpackedSize, Where(entry, "flipped at", at));
                failures += run.Failed();
                wrongCrc += !run.Failed() && run.Crc != entry.Crc;
            }
        }
    }
    EXPECT_GT(failures, 0);
    EXPECT_GT(wrongCrc, 0);
}

TEST(LegacyDamage, GarbageIsDecodedSafelyByEveryMethod) {
    const std::pair<int, std::uint16_t> methods[] = {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0},
                                                     {6, 0}, {6, 2}, {6, 4}, {6, 6}};
    for (const auto& [method, flags] : methods) {
        for (const std::size_t length : {0, 1, 2, 7, 64, 500, 5000, 40000}) {
            for (std::uint32_t seed = 1; seed <= 6; ++seed) {
                const std::string garbage =
                    RandomBytes(length, seed * 7919 + static_cast<std::uint32_t>(length));
                for (const std::int64_t unpacked : {0, 1, 1000, 200000}) {
                    const auto run = RunLegacy(method, flags, garbage, unpacked);
                    ExpectSafe(run, unpacked,
                               "method " + std::to_string(method) + " flags " + std::to_string(flags) +
                                   " length " + std::to_string(length) + " seed " + std::to_string(seed) +
                                   " unpacked " + std::to_string(unpacked));
                }
            }
        }
    }
}

// Real tables followed by one repeated byte drive the decoders down their longest paths
// (long shrink strings, chains of reduce copies, the deepest tree codes), far past the data.
TEST(LegacyDamage, RepeatedBytesAfterRealTablesAreDecodedSafely) {
    constexpr std::int64_t unpacked = 1 << 22;
    for (const auto& sample : Samples) {
        const auto entry = CorpusEntry(sample.Archive, sample.Name);
        for (const std::size_t keep :
             {std::size_t{0}, std::min<std::size_t>(entry.Packed.size() / 2, 2000)}) {
            for (const char byte : {'\x00', '\xFF', '\x90', '\x55', '\xAA'}) {
                const std::string packed = entry.Packed.substr(0, keep) + std::string(20000, byte);
                const auto run = RunLegacy(entry.Method, entry.Flags, packed, unpacked);
                ExpectSafe(run, unpacked,
                           Where(entry, "kept", keep) + " then byte " + std::to_string(std::uint8_t(byte)));
            }
        }
    }
}
