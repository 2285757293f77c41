// Arj's decoders on raw streams: the entries of the sample arj archives (methods 1 to 4)
// decode to their stored size and CRC-32 without any archive around them, and cut or
// damaged streams end in an error or a wrong CRC within their bounds.
#include "LegacyDecodeHarness.h"
#include "TestSupport.h"

#include "engine/codec/krvArjFastest.h"
#include "engine/codec/krvLzhDecode.h"
#include "engine/formats/arj/krvArjRecords.h"
#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace legacytest;
using namespace testsupport;

namespace {

std::vector<TRawStream> Streams(const std::string& Archive) {
    const std::string data = ReadFile(CorpusDir() / Archive);
    const auto size = static_cast<std::int64_t>(data.size());
    const TReadAtFunc read = ReaderOf(data);
    std::vector<TRawStream> out;
    TArjHeader main;
    if (ReadArjHeader(read, 0, size, main) != TArjRead::Ok) return out;
    TArjHeader h;
    for (std::int64_t pos = main.DataPos; ReadArjHeader(read, pos, size, h) == TArjRead::Ok;
         pos = h.NextPos) {
        if (h.Method < 1 || h.Method > 4 || h.FileType > 1) continue;
        out.push_back(
            {Archive + ": " + h.Name, h.Method,
             data.substr(static_cast<std::size_t>(h.DataPos), static_cast<std::size_t>(h.PackedSize)),
             h.UnpackedSize, h.Crc});
    }
    return out;
}

TLegacyRun Decode(int Method, std::string_view Packed, std::int64_t UnpackedSize) {
    return RunDecoder(
        [Method](const TDecoderIO& IO) { return Method == 4 ? ArjDecodeFastest(IO) : LzhDecode(IO, LzhArj); },
        Packed, UnpackedSize);
}

} // namespace

TEST(ArjDecode, CorpusStreamsDecodeAndCutOnesFail) {
    int seen = 0;
    for (const char* archive : {"sharpcompress/arj/Arj.method1.arj", "sharpcompress/arj/Arj.method2.arj",
                                "sharpcompress/arj/Arj.method3.arj", "sharpcompress/arj/Arj.method4.arj"}) {
        for (const auto& s : Streams(archive)) {
            ++seen;
            const auto run = Decode(s.Method, s.Packed, s.UnpackedSize);
            EXPECT_FALSE(run.Failed()) << s.Where << ": " << run.Result.ErrorCode;
            EXPECT_EQ(run.Crc, s.Crc) << s.Where;
            EXPECT_FALSE(run.PulledTooMuch || run.PushedTooMuch) << s.Where;
            for (std::size_t cut = 0; cut + 1 < s.Packed.size(); cut += cut < 300 ? 1 : 211) {
                const auto part = Decode(s.Method, std::string_view(s.Packed).substr(0, cut), s.UnpackedSize);
                const std::string where = s.Where + " cut at " + std::to_string(cut);
                EXPECT_TRUE(part.Failed() || part.Crc != s.Crc) << where;
                EXPECT_FALSE(part.PulledTooMuch || part.PushedTooMuch) << where;
                EXPECT_EQ(part.Raised, 0) << where;
            }
        }
    }
    EXPECT_GE(seen, 4);
}

TEST(ArjDecode, FastestCopiesAreCutAtTheUnpackedSize) {
    // One match of the longest length (7 one bits, then 7 more bits all set) at distance 1:
    // cut at the unpacked size.
    TMsbBitWriter w;
    w.Put(0, 1);
    w.Put('z', 8); // a literal
    w.Put(0x7F, 7);
    w.Put(0x7F, 7);
    w.Put(0, 1);
    w.Put(0, 9); // distance 1
    const auto run = Decode(4, w.Bytes(), 100);
    EXPECT_FALSE(run.Failed());
    EXPECT_EQ(run.Output, std::string(100, 'z'));
}
