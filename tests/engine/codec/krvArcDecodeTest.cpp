// Arc's decoders on raw streams: the packed, squeezed, crunched and squashed entries of the
// sample arc archives decode to their size and CRC-16; the run-length stage, squeeze trees
// and LZW codes that are damaged or hostile end in an error within their bounds.
#include "LegacyDecodeHarness.h"
#include "TestSupport.h"

#include "engine/codec/krvArcDecode.h"
#include "engine/formats/arc/krvArcRecords.h"
#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>

#include <set>

using namespace legacytest;
using namespace testsupport;

namespace {

std::vector<TRawStream> Streams(const std::string& Archive) {
    const std::string data = ReadFile(CorpusDir() / Archive);
    TArcWalk walk(ReaderOf(data), 0, static_cast<std::int64_t>(data.size()), false);
    std::vector<TRawStream> out;
    TArcHeader h;
    while (walk.Next(h) == TArcRead::Ok) {
        if (h.Method < 3) continue;
        out.push_back(
            {Archive + ": " + h.Path, h.Method,
             data.substr(static_cast<std::size_t>(h.DataPos), static_cast<std::size_t>(h.PackedSize)),
             h.UnpackedSize, h.Crc});
    }
    return out;
}

TLegacyRun Decode(int Method, std::string_view Packed, std::int64_t UnpackedSize) {
    return RunDecoder([Method](const TDecoderIO& IO) { return ArcDecode(IO, Method); }, Packed, UnpackedSize);
}

std::string Squeezed(std::int16_t Count, std::initializer_list<std::int16_t> Children,
                     std::string Data = {}) {
    std::string s;
    auto put = [&s](std::int16_t v) {
        s += static_cast<char>(v & 0xFF);
        s += static_cast<char>((v >> 8) & 0xFF);
    };
    put(Count);
    for (std::int16_t c : Children)
        put(c);
    return s + Data;
}

} // namespace

TEST(ArcDecode, CorpusStreamsDecodeAndCutOnesFail) {
    std::set<int> methods;
    for (const char* archive : {"sharpcompress/arc/Arc.crunched.arc", "sharpcompress/arc/Arc.squashed.arc",
                                "sharpcompress/arc/Arc.squeezed.arc"}) {
        for (const auto& s : Streams(archive)) {
            methods.insert(s.Method);
            const auto run = Decode(s.Method, s.Packed, s.UnpackedSize);
            EXPECT_FALSE(run.Failed()) << s.Where << ": " << run.Result.ErrorCode;
            EXPECT_EQ(run.Crc16, s.Crc) << s.Where;
            for (std::size_t cut = 0; cut + 1 < s.Packed.size(); cut += cut < 400 ? 1 : 331) {
                const auto part = Decode(s.Method, std::string_view(s.Packed).substr(0, cut), s.UnpackedSize);
                const std::string where = s.Where + " cut at " + std::to_string(cut);
                // The data end with the input: a cut stream is short, damaged or wrong.
                EXPECT_TRUE(part.Failed() || part.Crc16 != s.Crc ||
                            static_cast<std::int64_t>(part.Output.size()) < s.UnpackedSize)
                    << where;
                EXPECT_FALSE(part.PulledTooMuch || part.PushedTooMuch) << where;
                EXPECT_EQ(part.Raised, 0) << where;
            }
        }
    }
    EXPECT_EQ(methods, (std::set<int>{3, 4, 8, 9}));
}

TEST(ArcDecode, RunLengthAndSqueezeEdges) {
    // 0x90 0x00 is one 0x90; 0x41 0x90 0x05 is five 0x41; a repeat is cut at the size.
    EXPECT_EQ(Decode(3, std::string("\x90\x00", 2), 10).Output, "\x90");
    EXPECT_EQ(Decode(3, "\x41\x90\x05", 10).Output, "AAAAA");
    EXPECT_EQ(Decode(3, "\x41\x90\xFF", 10).Output, std::string(10, 'A'));
    // An empty squeeze tree gives no data.
    EXPECT_EQ(Decode(4, Squeezed(0, {}), 0).Output, "");
    // One node: bit 0 is 'x', bit 1 the end.
    EXPECT_EQ(Decode(4, Squeezed(1, {-('x' + 1), -257}, "\x04"), 10).Output, "xx");

    struct TCase {
        const char* What;
        int Method;
        std::string Packed;
        int Code;
    };
    const TCase cases[] = {
        {"node count above 256", 4, Squeezed(257, {}), ecFileContainsInvalidDecodeTree},
        {"negative node count", 4, Squeezed(-1, {}), ecFileContainsInvalidDecodeTree},
        {"child beyond the nodes", 4, Squeezed(2, {1, 2, -1, -1}), ecFileContainsInvalidDecodeTree},
        {"leaf beyond the end code", 4, Squeezed(1, {-300, -1}), ecFileContainsInvalidDecodeTree},
        {"tree cut short", 4, Squeezed(3, {1}), ecUnexpectedEndOfFile},
        {"method 8 not made with 12 bits", 8, std::string("\x0D\x41\x42", 3), ecIncorrectNumberOfBits},
        {"a method arc does not have", 10, "abc", ecUnsupportedCompressionMethod},
    };
    for (const auto& c : cases) {
        const auto run = Decode(c.Method, c.Packed, 100);
        EXPECT_EQ(run.Result.ErrorCode, c.Code) << c.What;
        EXPECT_FALSE(run.PulledTooMuch || run.PushedTooMuch) << c.What;
    }
}
