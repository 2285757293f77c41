#include "engine/codec/krvLzh5.h"

#include "engine/codec/krvLzhBlockWriter.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int MinMatch = 3;
constexpr int MaxMatch = 256;
constexpr int HashBits = 15;
constexpr std::int32_t None = INT32_MIN;
// Candidates looked at per search: enough to find the longest match in these small windows
// nearly always, few enough to keep a search bounded.
constexpr int ChainLimit = 256;
// A match this long is taken at once, without looking one byte further.
constexpr int GoodEnough = 128;
// A three-byte match further back than this costs more bits than three literals.
constexpr std::uint32_t FarThree = 4096;
// Input read at a time, beyond the window kept behind the current position.
constexpr std::int32_t ReadChunk = 1 << 18;

class TLzhEncoder {
public:
    TLzhEncoder(const TLzhSource& Input, const TLzhSink& Output, TLzhEncodeParams Params,
                const bool* CancelFlag)
        : FInput(Input), FBlocks(Output, Params), FWindow(1 << Params.DicBit), FCancel(CancelFlag),
          FText(static_cast<std::size_t>(FWindow + ReadChunk + MaxMatch + 8), 0),
          FHead(std::size_t{1} << HashBits, None), FPrev(static_cast<std::size_t>(FWindow), None) {}

    TLzhEncodeResult Run() {
        TLzhEncodeResult r;
        Fill();
        Parse(r);
        if (!r.StoreInstead && !r.Cancelled) FBlocks.Finish();
        r.Read = FConsumedBase + FPos;
        r.Written = FBlocks.Handed();
        if (!r.StoreInstead && r.Written >= FTotalRead && FTotalRead > 0) r.StoreInstead = true;
        return r;
    }

private:
    static std::uint32_t Hash(const std::uint8_t* p) {
        const std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
        return (v * 2654435761U) >> (32 - HashBits);
    }

    // Reads more input behind the data held, sliding the window down when the buffer is full.
    void Fill() {
        if (FEof) return;
        if (FEnd + MaxMatch >= static_cast<std::int32_t>(FText.size()) - 8) Slide();
        while (!FEof && FEnd - FPos < ReadChunk / 2) {
            const std::int64_t room = static_cast<std::int64_t>(FText.size()) - 8 - FEnd;
            if (room <= 0) break;
            const std::int64_t n = FInput(FText.data() + FEnd, room);
            if (n <= 0) {
                FEof = true;
                break;
            }
            FEnd += static_cast<std::int32_t>(n);
            FTotalRead += n;
        }
        std::memset(FText.data() + FEnd, 0, 8);
    }

    // Moves the last window of bytes before the current position to the buffer's start.
    void Slide() {
        const std::int32_t shift = (FPos - FWindow) & ~(FWindow - 1);
        if (shift <= 0) return;
        std::memmove(FText.data(), FText.data() + shift, static_cast<std::size_t>(FEnd - shift));
        FPos -= shift;
        FEnd -= shift;
        FInserted -= shift;
        FConsumedBase += shift;
        const auto lower = [shift](std::int32_t& v) { v = v >= shift ? v - shift : None; };
        std::for_each(FHead.begin(), FHead.end(), lower);
        std::for_each(FPrev.begin(), FPrev.end(), lower);
    }

    void Insert(std::int32_t Pos) {
        std::int32_t& head = FHead[Hash(FText.data() + Pos)];
        FPrev[static_cast<std::size_t>(Pos & (FWindow - 1))] = head;
        head = Pos;
    }

    // Inserts every position up to and including Pos that is not in the chains yet.
    void InsertUpTo(std::int32_t Pos) {
        const std::int32_t last = std::min(Pos, FEnd - MinMatch);
        for (; FInserted <= last; ++FInserted)
            Insert(FInserted);
        if (FInserted <= Pos) FInserted = Pos + 1;
    }

    // The longest match for the current position among the window's earlier positions.
    int LongestMatch(std::int32_t Pos, std::uint32_t& Distance) {
        const int limit = static_cast<int>(std::min<std::int32_t>(MaxMatch, FEnd - Pos));
        if (limit < MinMatch) return 0;
        const std::uint8_t* cur = FText.data() + Pos;
        const std::int32_t oldest = Pos - FWindow;
        int best = MinMatch - 1;
        std::int32_t cand = FHead[Hash(cur)];
        for (int chain = ChainLimit; cand > oldest && chain > 0; --chain) {
            const std::uint8_t* p = FText.data() + cand;
            if (p[best] == cur[best] && p[0] == cur[0] && p[1] == cur[1]) {
                const int len = MatchLength(p, cur, limit);
                if (len > best) {
                    best = len;
                    Distance = static_cast<std::uint32_t>(Pos - cand);
                    if (len >= limit) break;
                }
            }
            cand = FPrev[static_cast<std::size_t>(cand & (FWindow - 1))];
        }
        if (best < MinMatch || (best == MinMatch && Distance > FarThree)) return 0;
        return best;
    }

    static int MatchLength(const std::uint8_t* A, const std::uint8_t* B, int Limit) {
        int n = 0;
        while (n + 8 <= Limit) {
            std::uint64_t x, y;
            std::memcpy(&x, A + n, 8);
            std::memcpy(&y, B + n, 8);
            if (x != y) return n + (__builtin_ctzll(x ^ y) >> 3);
            n += 8;
        }
        while (n < Limit && A[n] == B[n])
            ++n;
        return n;
    }

    bool Stop(TLzhEncodeResult& R) {
        if (FCancel && *FCancel) {
            R.Cancelled = true;
            return true;
        }
        // Packed data as large as the input they stand for: storing does better.
        if (FBlocks.SentInput() > 0 && FBlocks.Written() >= FBlocks.SentInput()) {
            R.StoreInstead = true;
            return true;
        }
        return false;
    }

    void Parse(TLzhEncodeResult& R) {
        int prevLen = 0;
        std::uint32_t prevDist = 0;
        bool pending = false; // the byte before FPos waits for its decision
        std::int64_t nextCheck = 0;
        while (FPos < FEnd) {
            if (FPos >= nextCheck) {
                if (Stop(R)) return;
                nextCheck = FPos + 4096;
            }
            if (FEnd - FPos < MaxMatch + 1 && !FEof) {
                Fill();
                nextCheck = std::min<std::int64_t>(nextCheck, FPos + 4096);
            }
            // The chains hold every position before this one while it searches.
            InsertUpTo(FPos - 1);
            std::uint32_t dist = 0;
            const int len = prevLen >= GoodEnough ? 0 : LongestMatch(FPos, dist);
            InsertUpTo(FPos);
            if (pending && prevLen >= MinMatch && len <= prevLen) {
                FBlocks.Match(prevLen, prevDist);
                FPos += prevLen - 1;
                prevLen = 0;
                pending = false;
                continue;
            }
            if (pending) FBlocks.Literal(FText[static_cast<std::size_t>(FPos - 1)]);
            prevLen = len;
            prevDist = dist;
            pending = true;
            ++FPos;
        }
        if (pending) {
            if (prevLen >= MinMatch)
                FBlocks.Match(prevLen, prevDist);
            else
                FBlocks.Literal(FText[static_cast<std::size_t>(FPos - 1)]);
        }
    }

    TLzhSource FInput;
    TLzhBlockWriter FBlocks;
    const std::int32_t FWindow;
    const bool* FCancel;
    std::vector<std::uint8_t> FText;
    std::vector<std::int32_t> FHead;
    std::vector<std::int32_t> FPrev;
    std::int32_t FPos = 0;      // the next position to decide
    std::int32_t FEnd = 0;      // bytes held
    std::int32_t FInserted = 0; // positions below this are in the chains
    std::int64_t FConsumedBase = 0;
    std::int64_t FTotalRead = 0;
    bool FEof = false;
};

} // namespace

TLzhEncodeResult LzhEncode(const TLzhSource& Input, const TLzhSink& Output, TLzhEncodeParams Params,
                           const bool* CancelFlag) {
    if (Params.DicBit < 10 || Params.DicBit > 16 || Params.PBit < 4 || Params.PBit > 5) return {};
    return TLzhEncoder(Input, Output, Params, CancelFlag).Run();
}
