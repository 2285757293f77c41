#include "LegacyDecodeHarness.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/codec/krvUnreduce.h"

#include <gtest/gtest.h>

#include <map>

using namespace legacytest;

namespace {

constexpr std::uint8_t DLE = 144;

// A reduced stream: the follower sets (from byte 255 down to 0), then Body's symbols.
class TReduceWriter {
public:
    explicit TReduceWriter(std::map<int, std::string> Sets = {}) : FSets(std::move(Sets)) {
        for (int j = 255; j >= 0; --j) {
            const std::string& set = FSets[j];
            W.Put(static_cast<std::uint32_t>(set.size()), 6);
            for (const char c : set)
                W.Put(static_cast<std::uint8_t>(c), 8);
        }
    }
    // A byte as an unfollowed (8-bit) symbol after a byte with an empty set.
    TReduceWriter& Raw(std::initializer_list<int> Bytes) {
        for (const int b : Bytes)
            W.Put(static_cast<std::uint32_t>(b), 8);
        return *this;
    }
    // Index into the follower set of the previous byte (N followers: its index bits).
    TReduceWriter& Follower(std::uint32_t Index, int Bits) {
        W.Put(0, 1);
        W.Put(Index, Bits);
        return *this;
    }
    std::string Bytes() const { return W.Bytes(); }

    TBitWriter W;

private:
    std::map<int, std::string> FSets;
};

TLegacyRun Unreduce(int Factor, const std::string& Packed, std::int64_t UnpackedSize) {
    return RunLegacy(Factor + 1, 0, Packed, UnpackedSize);
}

} // namespace

TEST(Unreduce, LiteralsAndAnEscapedDle) {
    const auto run = Unreduce(1, TReduceWriter().Raw({'A', 'B', DLE, 0, 'C'}).Bytes(), 4);
    EXPECT_EQ(run.Output, "AB\x90"
                          "C");
    EXPECT_FALSE(run.Failed());
}

TEST(Unreduce, ABackReferenceCopiesLengthPlusThreeBytes) {
    // Factor 1: length is V & 127, distance (V >> 7) * 256 + byte + 1.
    const auto run = Unreduce(1, TReduceWriter().Raw({'A', 'B', DLE, 2, 1}).Bytes(), 7);
    EXPECT_EQ(run.Output, "ABABABA");
    EXPECT_FALSE(run.Failed());
}

TEST(Unreduce, AFullLengthFieldTakesTheNextByteAsMore) {
    // Factor 4: a length field of 15 adds the next byte (10): 25 + 3 bytes.
    const auto run = Unreduce(4, TReduceWriter().Raw({'A', DLE, 0x0F, 10, 0}).Bytes(), 29);
    EXPECT_EQ(run.Output, std::string(29, 'A'));
    EXPECT_FALSE(run.Failed());
}

TEST(Unreduce, TheHighBitsOfVSelectDistancesBeyond256) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += static_cast<char>('a' + i % 26 + (i / 26) % 2 * ('A' - 'a'));
    TReduceWriter w;
    for (const char c : text)
        w.Raw({static_cast<std::uint8_t>(c)});
    // Factor 2: V = 0x41 is length 1 (4 bytes) and distance 1 * 256 + 0 + 1.
    w.Raw({DLE, 0x41, 0});
    const auto run = Unreduce(2, w.Bytes(), 304);
    EXPECT_EQ(run.Output, text + text.substr(300 - 257, 4));
    EXPECT_FALSE(run.Failed());
}

TEST(Unreduce, ADistanceBeforeTheStartCopiesZeros) {
    const auto run = Unreduce(3, TReduceWriter().Raw({'A', DLE, 1, 9}).Bytes(), 5);
    EXPECT_EQ(run.Output, std::string("A\0\0\0\0", 5));
    EXPECT_FALSE(run.Failed());
}

// The symbols that sit in the last packed byte are decoded too: here the last byte holds four
// follower symbols of two bits each.
TEST(Unreduce, FollowerSetsAndTheLastSymbolsOfTheFinalByte) {
    TReduceWriter w({{'A', "AB"}, {'B', "A"}});
    w.Raw({'A'}); // the follower sets end on a byte boundary (1560 bits)
    for (const std::uint32_t index : {0, 1, 0, 0, 1, 0, 1, 0})
        w.Follower(index, 1);
    const std::string packed = w.Bytes();
    const auto run = Unreduce(1, packed, 9);
    EXPECT_EQ(run.Output, "AABAABABA");
    EXPECT_FALSE(run.Failed());

    // A literal escape inside a follower context: flag 1 and eight bits.
    w.W.Put(1, 1);
    w.W.Put('Z', 8);
    EXPECT_EQ(Unreduce(1, w.Bytes(), 10).Output, "AABAABABAZ");
}

TEST(Unreduce, AFollowerSetLongerThan32IsDamage) {
    TBitWriter w;
    w.Put(33, 6);
    for (int i = 0; i < 33; ++i)
        w.Put('x', 8);
    const auto run = Unreduce(1, w.Bytes() + std::string(300, '\0'), 10);
    EXPECT_EQ(run.Result.ErrorCode, ecDecompressionError);
    EXPECT_TRUE(run.Output.empty());
}

TEST(Unreduce, AnIndexBeyondItsFollowerSetIsDamage) {
    TReduceWriter w({{'A', "xyz"}});
    w.Raw({'A'}).Follower(3, 2);
    const auto run = Unreduce(1, w.Bytes(), 10);
    EXPECT_EQ(run.Result.ErrorCode, ecDecompressionError);
    EXPECT_EQ(run.Output, "A");
}

TEST(Unreduce, ACopyPastTheUnpackedSizeIsDamage) {
    const auto run = Unreduce(1, TReduceWriter().Raw({'A', DLE, 2, 0}).Bytes(), 3);
    EXPECT_EQ(run.Result.ErrorCode, ecDecompressionError);
    EXPECT_EQ(run.Output, "A");
}

TEST(Unreduce, InputEndingBeforeTheUnpackedSizeIsDamage) {
    const auto run = Unreduce(2, TReduceWriter().Raw({'A', 'B'}).Bytes(), 3);
    EXPECT_EQ(run.Result.ErrorCode, ecDecompressionError);
    EXPECT_EQ(run.Output, "AB");
    EXPECT_EQ(Unreduce(2, "", 3).Result.ErrorCode, ecDecompressionError);
    EXPECT_FALSE(Unreduce(2, "", 0).Failed());
}

TEST(Unreduce, OnlyFactorsOneToFourExist) {
    TDecoderIO io;
    EXPECT_THROW(TUnreduce(io, 0), E_RAISE);
    try {
        TUnreduce(io, 5);
        FAIL();
    } catch (const E_RAISE& e) {
        EXPECT_EQ(e.Code(), ecUnsupportedCompressionMethod);
    }
}
