// The LHA decoders on raw streams: every -lh1- and -lh4- to -lh7- entry of the sample lzh
// archives decodes to its stored size and CRC-16 without any archive around it, and crafted
// or cut streams end in an error (or a wrong CRC), never in a crash or out-of-bounds work.
#include "LegacyDecodeHarness.h"
#include "TestSupport.h"

#include "engine/codec/krvLzhAdaptive.h"
#include "engine/codec/krvLzhDecode.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/lha/krvLhaRecords.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

using namespace legacytest;
using namespace testsupport;

namespace {

// The entries with a compressed method of a corpus lzh archive.
std::vector<TRawStream> Streams(const std::string& Archive) {
    const std::string data = ReadFile(CorpusDir() / Archive);
    const auto size = static_cast<std::int64_t>(data.size());
    const TReadAtFunc read = ReaderOf(data);
    std::vector<TRawStream> out;
    TLhaHeader h;
    for (std::int64_t pos = LhaFirstHeader(read, 0); ReadLhaHeader(read, pos, size, h) == TLhaRead::Ok;
         pos = h.NextPos) {
        const char m = h.MethodChar();
        if (m != '1' && (m < '4' || m > '7')) continue;
        out.push_back(
            {Archive + ": " + h.Name, m,
             data.substr(static_cast<std::size_t>(h.DataPos), static_cast<std::size_t>(h.PackedSize)),
             h.UnpackedSize, h.Crc});
    }
    return out;
}

TLegacyRun Decode(char Method, std::string_view Packed, std::int64_t UnpackedSize) {
    return RunDecoder(
        [Method](const TDecoderIO& IO) {
            static constexpr TLzhParams params[] = {LzhLh4, LzhLh5, LzhLh6, LzhLh7};
            return Method == '1' ? LzhAdaptiveDecode(IO) : LzhDecode(IO, params[Method - '4']);
        },
        Packed, UnpackedSize);
}

const char* const Archives[] = {
    "lhasa/lha_unix114i/h0_lh5.lzh",
    "lhasa/lha_unix114i/h1_lh6.lzh",
    "lhasa/lha_unix114i/h2_lh7.lzh",
    "lhasa/lha_unix114i/lh6_long.lzh",
    "lhasa/lha_unix114i/lh7_long.lzh",
    "commons-compress/lha/test-amiga-l0-lh4.lha",
    "commons-compress/lha/test-macos-l0-lh6.lha",
    "lhasa/lharc113/lh1.lzh",
    "lhasa/lengths/lh1-64k.lzh",
    "lhasa/lha_os2_208/lh1.lzh",
    "libarchive/lha/read_format_lha_lh7.lzh",
};

void ExpectSafe(const TLegacyRun& Run, std::int64_t UnpackedSize, const std::string& Where) {
    EXPECT_FALSE(Run.PulledTooMuch) << Where;
    EXPECT_FALSE(Run.PushedTooMuch) << Where;
    EXPECT_EQ(Run.Raised, 0) << Where;
    EXPECT_EQ(Run.Result.Produced, static_cast<std::int64_t>(Run.Output.size())) << Where;
    if (!Run.Failed()) {
        EXPECT_EQ(static_cast<std::int64_t>(Run.Output.size()), UnpackedSize) << Where;
    }
}

// A block header: the symbol count, then each of the three code-length sets sent as a
// single code (count 0 and the one value).
std::string SingleCodeBlock(int Symbols, int Literal, int Position, int PBit = 4) {
    TMsbBitWriter w;
    w.Put(static_cast<std::uint32_t>(Symbols), 16);
    w.Put(0, 5);
    w.Put(0, 5); // code-length code: one code, 0
    w.Put(0, 9);
    w.Put(static_cast<std::uint32_t>(Literal), 9);
    w.Put(0, PBit);
    w.Put(static_cast<std::uint32_t>(Position), PBit);
    return w.Bytes();
}

} // namespace

TEST(LzhDecode, EveryCorpusStreamDecodesToItsSizeAndCrc) {
    std::set<char> methods;
    for (const char* archive : Archives) {
        const auto streams = Streams(archive);
        ASSERT_FALSE(streams.empty()) << archive;
        for (const auto& s : streams) {
            const auto run = Decode(static_cast<char>(s.Method), s.Packed, s.UnpackedSize);
            ExpectSafe(run, s.UnpackedSize, s.Where);
            EXPECT_FALSE(run.Failed()) << s.Where << ": error " << run.Result.ErrorCode;
            EXPECT_EQ(run.Crc16, static_cast<std::uint16_t>(s.Crc)) << s.Where;
            methods.insert(static_cast<char>(s.Method));
        }
    }
    EXPECT_EQ(methods, (std::set<char>{'1', '4', '5', '6', '7'}));
}

TEST(LzhDecode, CutStreamsEndInAnErrorOrAWrongCrc) {
    for (const char* archive : {"lhasa/lha_unix114i/h0_lh5.lzh", "lhasa/lharc113/lh1.lzh",
                                "commons-compress/lha/test-macos-l0-lh6.lha"}) {
        for (const auto& s : Streams(archive)) {
            const std::size_t size = s.Packed.size();
            for (std::size_t cut = 0; cut + 1 < size; cut += cut < 600 ? 1 : 97) {
                const auto run = Decode(static_cast<char>(s.Method),
                                        std::string_view(s.Packed).substr(0, cut), s.UnpackedSize);
                const std::string where = s.Where + " cut at " + std::to_string(cut);
                ExpectSafe(run, s.UnpackedSize, where);
                EXPECT_TRUE(run.Failed() || run.Crc16 != static_cast<std::uint16_t>(s.Crc)) << where;
                if (run.Failed()) {
                    EXPECT_TRUE(run.Result.ErrorCode == ecUnexpectedEndOfFile ||
                                run.Result.ErrorCode == ecBadHuffmanCode ||
                                run.Result.ErrorCode == ecDecompressionError)
                        << where << ": " << run.Result.ErrorCode;
                }
            }
        }
    }
}

TEST(LzhDecode, SingleCodeTablesRepeatOneSymbol) {
    // Every symbol of the block is the literal 'A'; no bit is read per symbol.
    const auto literal = Decode('5', SingleCodeBlock(100, 'A', 0), 100);
    EXPECT_FALSE(literal.Failed());
    EXPECT_EQ(literal.Output, std::string(100, 'A'));
    // A match of 256 bytes (symbol 509) at distance 1 over the blank-filled window, cut at
    // the unpacked size.
    const auto match = Decode('7', SingleCodeBlock(3, 509, 0, 5), 700);
    EXPECT_FALSE(match.Failed());
    EXPECT_EQ(match.Output, std::string(700, ' '));
    const auto clamped = Decode('6', SingleCodeBlock(3, 509, 0, 5), 300);
    EXPECT_EQ(clamped.Output.size(), 300u);
}

TEST(LzhDecode, BadTablesAndCountsAreRefused) {
    struct TCase {
        const char* What;
        std::string Stream;
    };
    auto lengths = [](std::initializer_list<int> Ls, int CountBits = 5) {
        TMsbBitWriter w;
        w.Put(10, 16);
        w.Put(static_cast<std::uint32_t>(Ls.size()), CountBits);
        for (int l : Ls)
            w.Put(l < 7 ? static_cast<std::uint32_t>(l) : 7u, 3); // short lengths only
        w.Put(0, 2);
        w.Put(0, 32);
        return w.Bytes();
    };
    TMsbBitWriter tooManyCodeLengths;
    tooManyCodeLengths.Put(10, 16);
    tooManyCodeLengths.Put(20, 5); // 20 code-length codes of 19
    tooManyCodeLengths.Put(0, 64);
    TMsbBitWriter tooManyLiterals;
    tooManyLiterals.Put(10, 16);
    tooManyLiterals.Put(0, 5);
    tooManyLiterals.Put(0, 5);
    tooManyLiterals.Put(511, 9); // 511 literal/length codes of 510
    tooManyLiterals.Put(0, 32);
    const TCase cases[] = {
        {"over-subscribed", lengths({1, 1, 1})},
        {"incomplete", lengths({2, 2, 2})},
        {"nothing but zeros", lengths({0, 0, 0, 0})},
        {"code-length count above 19", tooManyCodeLengths.Bytes()},
        {"literal count above 510", tooManyLiterals.Bytes()},
        {"single literal outside the alphabet", SingleCodeBlock(10, 510, 0)},
        {"single position outside the alphabet", SingleCodeBlock(10, 'A', 14)},
        {"position count above NP",
         [] {
             TMsbBitWriter w;
             w.Put(10, 16);
             w.Put(0, 5);
             w.Put(0, 5);
             w.Put(0, 9);
             w.Put('A', 9);
             w.Put(15, 4); // 15 position codes of 14 (-lh5-)
             w.Put(0, 64);
             return w.Bytes();
         }()},
        {"empty block", std::string(8, '\0')},
    };
    for (const auto& c : cases) {
        const auto run = Decode('5', c.Stream, 50);
        ExpectSafe(run, 50, c.What);
        EXPECT_EQ(run.Result.ErrorCode, ecBadHuffmanCode) << c.What;
    }
}
