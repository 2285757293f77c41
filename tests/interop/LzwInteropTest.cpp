// The compress (.Z) decoder against ncompress: every code width from 9 to 16 bits in block
// mode, on data that fill and clear the table; block mode off; cut files; hostile headers
// and codes.
#include "engine/codec/krvLzwDecompress.h"
#include "engine/core/krvErrorCodes.h"

#include "TestSupport.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

using namespace testsupport;

namespace {

struct TDecoded {
    std::string Data;
    TDecodeResult Result;
};

TDecoded Decode(const std::string& Packed) {
    TDecoded out;
    std::int64_t pulled = 0;
    TDecoderIO io;
    io.PackedSize = static_cast<std::int64_t>(Packed.size());
    io.UnpackedSize = std::numeric_limits<std::int64_t>::max();
    io.Input = [&](std::uint8_t* Buffer, std::int64_t Count) {
        const std::int64_t n = std::min<std::int64_t>(Count, io.PackedSize - pulled);
        std::memcpy(Buffer, Packed.data() + pulled, static_cast<std::size_t>(n));
        pulled += n;
        return n;
    };
    io.Output = [&](const std::uint8_t* Buffer, std::int64_t Count) {
        out.Data.append(reinterpret_cast<const char*>(Buffer), static_cast<std::size_t>(Count));
    };
    out.Result = LzwDecompress(io);
    return out;
}

// ncompress's block-mode-off option (-C) numbers its codes from 257, which neither its own
// uncompress nor gzip reads back: block mode off is tested on a stream made by hand.
std::string Compress(const std::string& Data, int Bits) {
    TempDir dir;
    WriteFile(dir / "in", Data);
    std::vector<std::string> argv = {"compress", "-c", "-b", std::to_string(Bits), (dir / "in").string()};
    const ToolResult r = RunTool(argv);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return r.Out;
}

// Text that fills a 16-bit table and makes compress clear it, then random bytes.
std::string Sample() {
    return TextBytes(900000, 11) + RandomBytes(150000, 12) + TextBytes(20000, 13);
}

// What uncompress makes of Packed: its output, and whether it succeeded.
std::pair<std::string, bool> Uncompress(const std::string& Packed) {
    TempDir dir;
    WriteFile(dir / "in.Z", Packed);
    const ToolResult r = RunTool({"uncompress", "-c", (dir / "in.Z").string()});
    return {r.Out, r.ExitCode == 0};
}

} // namespace

TEST(LzwInterop, EveryWidthDecodesAsUncompressDoes) {
    const std::string data = Sample();
    for (const std::string& input : {data, std::string(), std::string("a"), std::string(5000, 'z')}) {
        for (int bits = 9; bits <= 16; ++bits) {
            const std::string packed = Compress(input, bits);
            const auto [expected, ok] = Uncompress(packed);
            // ncompress 4.2.4 writes -b9 files that its own uncompress (and gzip) stop in once
            // the table is full; from 10 bits on they are sound.
            if (bits > 9) {
                EXPECT_TRUE(ok && expected == input) << "uncompress -b" << bits;
            }
            const TDecoded d = Decode(packed);
            EXPECT_EQ(d.Result.ErrorCode == 0, ok) << "-b" << bits << ", " << input.size() << " bytes";
            EXPECT_TRUE(d.Data == expected) << "-b" << bits << ", " << input.size() << " bytes in, "
                                            << d.Data.size() << " out, uncompress " << expected.size();
        }
    }
}

TEST(LzwInterop, BlockModeOffTakesCode256AsAString) {
    // 'a', 'b', then code 256, which is "ab" without block mode and a clear with it; gzip -d
    // reads it the same.
    const std::string packed("\x1F\x9D\x10\x61\xC4\x00\x04", 7);
    EXPECT_EQ(Decode(packed).Data, "abab");
    TempDir dir;
    WriteFile(dir / "nb.Z", packed);
    EXPECT_EQ(RunTool({"gzip", "-dc", (dir / "nb.Z").string()}).Out, "abab");
}

TEST(LzwInterop, CutFilesGiveWhatUncompressGivesOrAnError) {
    const std::string data = TextBytes(40000, 5);
    const std::string packed = Compress(data, 12);
    int errors = 0;
    for (std::size_t cut = 0; cut < packed.size(); cut += 61) {
        const TDecoded d = Decode(packed.substr(0, cut));
        EXPECT_TRUE(data.compare(0, d.Data.size(), d.Data) == 0) << "cut at " << cut;
        if (d.Result.ErrorCode != 0) {
            ++errors;
            continue;
        }
        // A cut between two codes cannot be told from the end of the data.
        EXPECT_TRUE(d.Data == Uncompress(packed.substr(0, cut)).first) << "cut at " << cut;
    }
    EXPECT_GT(errors, 0);
}

TEST(LzwInterop, HostileHeadersAndCodesAreRefused) {
    const struct {
        std::string Packed;
        int Code;
    } cases[] = {
        {std::string("\x1F\x9D\x91\x41\x00", 5), ecIncompleteCodeSet}, // 17 bits
        {std::string("\x1F\x9D\x88\x41\x00", 5), ecIncompleteCodeSet}, // 8 bits
        {std::string("\x1F\x9D\xB0\x41\x00", 5), ecIncompleteCodeSet}, // reserved flag
        {std::string("\x1F\x9D", 2), ecUnexpectedEndOfFile},
        // 'A', then code 300 while the next free code is 257.
        {std::string("\x1F\x9D\x90\x41\x58\x02", 6), ecCorruptInput},
        // A first code that is no byte.
        {std::string("\x1F\x9D\x90\x00\x03", 5), ecCorruptInput},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decode(c.Packed).Result.ErrorCode, c.Code) << "case of " << c.Packed.size() << " bytes";
}
