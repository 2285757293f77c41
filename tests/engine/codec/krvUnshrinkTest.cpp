#include "LegacyDecodeHarness.h"

#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>

#include <vector>

using namespace legacytest;

namespace {

constexpr int Control = 256;

// Codes of the given widths: {code, bits} pairs.
using TCodes = std::vector<std::pair<std::uint32_t, int>>;

TCodes operator+(TCodes A, const TCodes& B) {
    A.insert(A.end(), B.begin(), B.end());
    return A;
}

// Control code 1 once per width from From up to To.
TCodes Widen(int From, int To) {
    TCodes codes;
    for (int bits = From; bits < To; ++bits)
        codes = codes + TCodes{{Control, bits}, {1, bits}};
    return codes;
}

std::string Codes(const TCodes& List) {
    TBitWriter w;
    for (const auto& [code, bits] : List)
        w.Put(code, bits);
    return w.Bytes();
}

TLegacyRun Unshrink(const std::string& Packed, std::int64_t UnpackedSize) {
    return RunLegacy(1, 0, Packed, UnpackedSize);
}

} // namespace

TEST(Unshrink, AStreamOfOneCodeGivesOneByte) {
    const auto run = Unshrink(Codes(TCodes{{'A', 9}}), 1);
    EXPECT_EQ(run.Output, "A");
    EXPECT_FALSE(run.Failed());
}

TEST(Unshrink, ACodeNotYetDefinedIsThePreviousStringPlusItsFirstByte) {
    const auto run = Unshrink(Codes(TCodes{{'a', 9}, {257, 9}, {'b', 9}, {258, 9}}), 7);
    EXPECT_EQ(run.Output, "aaabaab");
    EXPECT_FALSE(run.Failed());
}

TEST(Unshrink, ControlCodeOneWidensTheCodesUpTo13Bits) {
    const auto run = Unshrink(Codes(TCodes{{'a', 9}} + Widen(9, 10) + TCodes{{'b', 10}, {257, 10}} +
                                    Widen(10, 13) + TCodes{{258, 13}}),
                              6);
    EXPECT_EQ(run.Output, "ababba");
    EXPECT_FALSE(run.Failed());
}

TEST(Unshrink, ACodeSizeAbove13IsABadBlock) {
    const auto run = Unshrink(Codes(TCodes{{'a', 9}} + Widen(9, 14) + TCodes{{'b', 14}}), 2);
    EXPECT_EQ(run.Raised, ecBadBlock);
    EXPECT_EQ(run.Output, "a"); // what was decoded is flushed first
}

TEST(Unshrink, AnUnknownControlCodeIsABadBlock) {
    EXPECT_EQ(Unshrink(Codes(TCodes{{'a', 9}, {Control, 9}, {3, 9}, {'b', 9}}), 2).Raised, ecBadBlock);
    EXPECT_EQ(Unshrink(Codes(TCodes{{'a', 9}, {Control, 9}, {0, 9}, {'b', 9}}), 2).Raised, ecBadBlock);
}

TEST(Unshrink, AnEmptyStreamOrAFirstCodeThatIsNoByteIsABadBlock) {
    EXPECT_EQ(Unshrink("", 5).Raised, ecBadBlock);
    EXPECT_EQ(Unshrink(Codes(TCodes{{300, 9}, {'a', 9}}), 5).Raised, ecBadBlock);
    EXPECT_EQ(Unshrink(Codes(TCodes{{Control, 9}, {1, 9}}), 5).Raised, ecBadBlock);
    const auto empty = Unshrink("", 0);
    EXPECT_FALSE(empty.Failed());
    EXPECT_TRUE(empty.Output.empty());
}

// Partial clearing frees the codes that no other code extends and hands them out again from
// the lowest; a code with children keeps its string.
TEST(Unshrink, PartialClearFreesLeavesAndReusesThemLowestFirst) {
    // 257 "ab", 258 "bc", 259 "ca", 260 "abc": only 257 has a child, so 258 to 260 are freed.
    // After the clear 258 is taken by the next string and 259 by the one after ("abx").
    const auto run = Unshrink(Codes(TCodes{{'a', 9},
                                           {'b', 9},
                                           {'c', 9},
                                           {257, 9},
                                           {259, 9},
                                           {Control, 9},
                                           {2, 9},
                                           {257, 9},
                                           {'x', 9},
                                           {259, 9}}),
                              13);
    EXPECT_EQ(run.Output, "abcabcaabxabx");
    EXPECT_FALSE(run.Failed());
}

TEST(Unshrink, PartialClearKeepsTheCodeSize) {
    const auto run = Unshrink(
        Codes(TCodes{{'a', 9}, {Control, 9}, {1, 9}, {Control, 10}, {2, 10}, {'b', 10}, {257, 10}}), 4);
    EXPECT_EQ(run.Output, "abab");
    EXPECT_FALSE(run.Failed());
}

// A code freed by a clear and then given its own code as prefix never ends.
TEST(Unshrink, AStringThatNeverEndsIsAStackOverflowAfterTheOutputWasFlushed) {
    const auto run =
        Unshrink(Codes(TCodes{{'a', 9}, {'b', 9}, {257, 9}, {Control, 9}, {2, 9}, {'c', 9}, {257, 9}}), 100);
    EXPECT_EQ(run.Raised, ecStackOverflow);
    EXPECT_EQ(run.Output, "ababc");
}

TEST(Unshrink, AStringPastTheUnpackedSizeIsDamage) {
    const auto run = Unshrink(Codes(TCodes{{'a', 9}, {257, 9}}), 2);
    EXPECT_EQ(run.Result.ErrorCode, ecDecompressionError);
    EXPECT_EQ(run.Output, "a");
}

TEST(Unshrink, DecodingStopsAtTheUnpackedSizeAndInputEndingBeforeItIsDamage) {
    const std::string packed = Codes(TCodes{{'a', 9}, {'b', 9}, {'c', 9}});
    const auto stopped = Unshrink(packed, 2);
    EXPECT_EQ(stopped.Output, "ab");
    EXPECT_FALSE(stopped.Failed());

    const auto short_ = Unshrink(packed, 4);
    EXPECT_EQ(short_.Output, "abc");
    EXPECT_EQ(short_.Result.ErrorCode, ecDecompressionError);
    EXPECT_EQ(short_.Result.Produced, 3);
}
