#include "LegacyDecodeHarness.h"

#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>

#include <vector>

using namespace legacytest;

namespace {

constexpr std::uint16_t LargeWindow = 2; // zip flag bits of method 6
constexpr std::uint16_t ThreeTrees = 4;

// Tree descriptions: (bit length, count) runs, at most 16 symbols per description byte.
void PutTree(TBitWriter& W, const std::vector<std::pair<int, int>>& Runs) {
    std::vector<std::uint8_t> bytes;
    for (auto [length, count] : Runs)
        while (count > 0) {
            const int n = std::min(count, 16);
            bytes.push_back(static_cast<std::uint8_t>(((n - 1) << 4) | (length - 1)));
            count -= n;
        }
    W.Put(static_cast<std::uint32_t>(bytes.size() - 1), 8);
    for (const std::uint8_t b : bytes)
        W.Put(b, 8);
}

// A tree of Symbols codes of one length: symbol s has the code Symbols - 1 - s.
struct TFlatTree {
    int Symbols;
    int Bits;
    void Describe(TBitWriter& W) const { PutTree(W, {{Bits, Symbols}}); }
    void Put(TBitWriter& W, int Symbol) const {
        W.PutMsbFirst(static_cast<std::uint32_t>(Symbols - 1 - Symbol), Bits);
    }
};

const TFlatTree Literal{256, 8};
const TFlatTree Length{64, 6};
const TFlatTree Distance{64, 6};

class TImplodeWriter {
public:
    explicit TImplodeWriter(std::uint16_t Flags) : FFlags(Flags) {
        if (Flags & ThreeTrees) Literal.Describe(W);
        Length.Describe(W);
        Distance.Describe(W);
    }
    TImplodeWriter& Lit(const std::string& Text) {
        for (const char c : Text) {
            W.Put(1, 1);
            if (FFlags & ThreeTrees)
                Literal.Put(W, static_cast<std::uint8_t>(c));
            else
                W.Put(static_cast<std::uint8_t>(c), 8);
        }
        return *this;
    }
    // A copy of Count bytes from Back bytes behind.
    TImplodeWriter& Match(std::uint32_t Back, std::uint32_t Count) {
        const int lowBits = (FFlags & LargeWindow) ? 7 : 6;
        const std::uint32_t d = Back - 1;
        W.Put(0, 1);
        W.Put(d & ((1u << lowBits) - 1), lowBits);
        Distance.Put(W, static_cast<int>(d >> lowBits));
        const std::uint32_t length = Count - ((FFlags & ThreeTrees) ? 3 : 2);
        if (length >= 63) {
            Length.Put(W, 63);
            W.Put(length - 63, 8);
        } else {
            Length.Put(W, static_cast<int>(length));
        }
        return *this;
    }
    std::string Bytes() const { return W.Bytes(); }

    TBitWriter W;

private:
    std::uint16_t FFlags;
};

TLegacyRun Explode(std::uint16_t Flags, const std::string& Packed, std::int64_t UnpackedSize) {
    return RunLegacy(6, Flags, Packed, UnpackedSize);
}

} // namespace

TEST(Explode, TwoTreesRawLiteralsAndAnOverlappingMatch) {
    const auto run = Explode(0, TImplodeWriter(0).Lit("AB").Match(2, 5).Bytes(), 7);
    EXPECT_EQ(run.Output, "ABABABA");
    EXPECT_FALSE(run.Failed());
}

TEST(Explode, LengthCode63IsFollowedByAByteThatAddsToIt) {
    const auto run = Explode(0, TImplodeWriter(0).Lit("A").Match(1, 63 + 5 + 2).Bytes(), 71);
    EXPECT_EQ(run.Output, std::string(71, 'A'));
    EXPECT_FALSE(run.Failed());
}

TEST(Explode, ThreeTreesDecodeLiteralsWithTheirTreeAndMatchAtLeastThreeBytes) {
    const auto run =
        Explode(ThreeTrees, TImplodeWriter(ThreeTrees).Lit("xyz").Match(3, 3).Match(1, 66).Bytes(), 72);
    EXPECT_EQ(run.Output, "xyzxyz" + std::string(66, 'z'));
    EXPECT_FALSE(run.Failed());
}

TEST(Explode, TheLargeWindowReachesBack8192BytesWithSevenLowBits) {
    std::string text;
    for (int i = 0; i < 8192; ++i)
        text += static_cast<char>('0' + (i * 7 + i / 10) % 64);
    for (const std::uint16_t flags : {LargeWindow, std::uint16_t(LargeWindow | ThreeTrees)}) {
        const auto run =
            Explode(flags, TImplodeWriter(flags).Lit(text).Match(8192, 4).Match(5000, 3).Bytes(), 8199);
        EXPECT_EQ(run.Output, text + text.substr(0, 4) + text.substr(8196 - 5000, 3)) << flags;
        EXPECT_FALSE(run.Failed()) << flags;
    }
    std::string small = text.substr(0, 4096);
    const auto run = Explode(0, TImplodeWriter(0).Lit(small).Match(4096, 2).Bytes(), 4098);
    EXPECT_EQ(run.Output, small + small.substr(0, 2));
}

TEST(Explode, ADistanceBeforeTheStartCopiesZeros) {
    const auto run = Explode(0, TImplodeWriter(0).Lit("A").Match(10, 3).Lit("B").Bytes(), 5);
    EXPECT_EQ(run.Output, std::string("A\0\0\0B", 5));
    EXPECT_FALSE(run.Failed());
}

// Codes are given in order of ascending bit length (ties by symbol), counting down from the
// last: with symbol 5 of 1 bit, symbol 9 of 6 bits and the other 62 of 7 bits, symbol 5 is
// "1", symbol 9 "011111", and the 7-bit symbols 0, 1, ..., 63 (without 5 and 9) are 61 down
// to 0.
TEST(Explode, CodesOfMixedLengthsFollowTheirSortedOrder) {
    TBitWriter w;
    PutTree(w, {{7, 5}, {1, 1}, {7, 3}, {6, 1}, {7, 54}});
    Distance.Describe(w);
    w.Put(1, 1);
    w.Put('A', 8);
    const std::pair<std::uint32_t, int> lengthCodes[] = {{1, 1},       // symbol 5: 7 bytes
                                                         {31, 6},      // symbol 9: 11 bytes
                                                         {61, 7},      // symbol 0: 2 bytes
                                                         {61 - 8, 7}}; // symbol 10: 12 bytes
    for (const auto& [code, bits] : lengthCodes) {
        w.Put(0, 1);
        w.Put(0, 6);        // distance 1: low bits 0
        Distance.Put(w, 0); // and high bits 0
        w.PutMsbFirst(code, bits);
    }
    const auto run = Explode(0, w.Bytes(), 33);
    EXPECT_EQ(run.Output, std::string(33, 'A'));
    EXPECT_FALSE(run.Failed());
}

TEST(Explode, OverSubscribedOrIncompleteTreesAreAmbiguous) {
    for (const auto& runs :
         std::vector<std::vector<std::pair<int, int>>>{{{5, 64}},          // twice the code space
                                                       {{6, 63}, {7, 1}},  // half a code left over
                                                       {{1, 1}, {16, 63}}, // far too little
                                                       {{6, 80}},          // 80 symbols for 64
                                                       {{6, 48}}}) {       // 48 symbols for 64
        TBitWriter w;
        PutTree(w, runs);
        Distance.Describe(w);
        w.Put(0xFFFFFFFF, 32);
        const auto run = Explode(0, w.Bytes(), 10);
        EXPECT_EQ(run.Raised, ecAmbiguousShannonFanoTree) << runs.size() << " runs, first " << runs[0].second;
    }
    TBitWriter lit;
    PutTree(lit, {{8, 255}});
    Length.Describe(lit);
    Distance.Describe(lit);
    EXPECT_EQ(Explode(ThreeTrees, lit.Bytes() + std::string(10, '\xFF'), 10).Raised,
              ecAmbiguousShannonFanoTree);
}

TEST(Explode, AMatchPastTheUnpackedSizeIsDamage) {
    const auto run = Explode(0, TImplodeWriter(0).Lit("AB").Match(2, 5).Bytes(), 5);
    EXPECT_EQ(run.Result.ErrorCode, ecDecompressionError);
    EXPECT_EQ(run.Output, "AB");
}

TEST(Explode, InputEndingBeforeTheUnpackedSizeIsDamage) {
    const std::string packed = TImplodeWriter(0).Lit("AB").Bytes();
    const auto run = Explode(0, packed, 3);
    EXPECT_EQ(run.Result.ErrorCode, ecDecompressionError);
    EXPECT_EQ(run.Output, "AB");
    EXPECT_EQ(Explode(0, packed.substr(0, 3), 3).Result.ErrorCode, ecDecompressionError);
    EXPECT_FALSE(Explode(0, "", 0).Failed());
}
