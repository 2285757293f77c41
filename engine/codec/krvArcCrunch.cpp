// Arc's methods 5 to 7: LZW with fixed 12-bit codes whose string table is placed by a hash
// of (predecessor, follower) with collision chains, the single bytes included; method 7
// hashes differently from 5 and 6.
#include "engine/codec/krvArcCrunchTable.h"
#include "engine/codec/krvArcOutput.h"
#include "engine/codec/krvBitReader.h"
#include "engine/core/krvErrorCodes.h"

#include <vector>

namespace {

constexpr int TableSize = TCrunchTable::Size;
constexpr std::uint16_t NoPred = TCrunchTable::NoPred;
constexpr int MaxAdded = TableSize - 256;

// Two 12-bit codes in three bytes, the first in the high bits; -1 at the end of the input.
class TCodeReader {
public:
    explicit TCodeReader(TBitReader& In) : FIn(In) {}
    int Next() {
        FSecond = !FSecond;
        if (FSecond) {
            const int a = FIn.ReadByte();
            const int b = a < 0 ? -1 : FIn.ReadByte();
            if (b < 0) return -1;
            FLow = b & 0x0F;
            return (a << 4) | (b >> 4);
        }
        const int c = FIn.ReadByte();
        return c < 0 ? -1 : (FLow << 8) | c;
    }

private:
    TBitReader& FIn;
    bool FSecond = false;
    int FLow = 0;
};

} // namespace

void ArcUncrunch(TBitReader& In, TArcOutput& Out, bool NewHash) {
    TCrunchTable table(NewHash);
    TCodeReader codes(In);
    int code = codes.Next();
    if (code < 0) return;
    int previous = code;
    std::uint8_t firstByte = table[code].Follower;
    Out.Put(firstByte);
    int added = 0;
    std::vector<std::uint8_t> stack;
    stack.reserve(TableSize);
    while (!Out.Done() && (code = codes.Next()) >= 0) {
        const int incoming = code;
        if (!table[code].Used) {
            // The string being defined: the previous one followed by its own first byte.
            stack.push_back(firstByte);
            code = previous;
        }
        while (table[code].Predecessor != NoPred) {
            if (stack.size() >= TableSize) throw TDecodeStop{ecStackOverflow, false};
            stack.push_back(table[code].Follower);
            code = table[code].Predecessor;
        }
        firstByte = table[code].Follower;
        Out.Put(firstByte);
        while (!stack.empty()) {
            Out.Put(stack.back());
            stack.pop_back();
        }
        if (added < MaxAdded) {
            table.Add(static_cast<std::uint16_t>(previous), firstByte);
            ++added;
        }
        previous = incoming;
    }
}
