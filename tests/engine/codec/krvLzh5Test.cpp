// The -lh5-/-lh6- encoder against the project's LZH decoder: every kind of input round-trips
// at block and window boundaries, codes stay within 16 bits when the frequencies would make
// them deeper, and a cancel stops the run. (Random input falling back to storing is checked
// through the lha writer, with lhasa and 7-Zip.)
#include "LegacyDecodeHarness.h"
#include "TestSupport.h"

#include "engine/codec/krvLzh5.h"
#include "engine/codec/krvLzhDecode.h"
#include "engine/codec/krvLzhHuffEncode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace legacytest;
using namespace testsupport;

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
        {"fibonacci frequencies", FibonacciBytes(24)},
        {"text 300000", TextBytes(300000, 1)},
        {"text then random then text", TextBytes(40000, 2) + RandomBytes(30000, 3) + TextBytes(40000, 2)},
        {"zero runs", std::string(70000, '\0') + TextBytes(5000, 4) + std::string(70000, '\0')},
    };
    for (const std::size_t size : {8191u, 8192u, 8193u, 16383u, 16384u, 16385u, 32767u, 32768u, 32769u})
        cases.push_back({"text " + std::to_string(size), TextBytes(size, static_cast<unsigned>(size))});
    for (const TCase& c : cases) {
        ExpectRoundTrip(c.Data, false, "lh5 " + c.What);
        ExpectRoundTrip(c.Data, true, "lh6 " + c.What);
    }
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
    const TPacked p = Encode(TextBytes(500000, 3), LzhEncodeLh5, 7000, &cancel);
    EXPECT_TRUE(p.Result.Cancelled);
    EXPECT_LT(p.Result.Read, 500000);
}
