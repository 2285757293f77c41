#include "engine/codec/krvZooLzd.h"

#include "engine/codec/krvBitReader.h"
#include "engine/codec/krvDecodeOutput.h"
#include "engine/core/krvErrorCodes.h"

#include <vector>

namespace {

constexpr int InitBits = 9;
constexpr int MaxBits = 13;
constexpr int TableSize = 1 << MaxBits;
constexpr int ClearCode = 256;
constexpr int EndCode = 257;
constexpr int FirstFree = 258;

class TZooLzd {
public:
    TZooLzd(TBitReader& In, TDecodeOutput& Out)
        : FIn(In), FOut(Out), FParent(TableSize, 0), FSuffix(TableSize, 0) {
        // Every string is at most as long as the table: the stack never holds more.
        FStack.reserve(TableSize);
    }

    void Run() {
        bool afterClear = true; // the data begin as after a clear
        int previous = 0;
        std::uint8_t firstByte = 0;
        while (!FOut.Done()) {
            const int code = FIn.TryBits(FWidth);
            if (code < 0 || code == EndCode) return;
            if (code == ClearCode) {
                Clear();
                afterClear = true;
                continue;
            }
            if (afterClear) {
                // The first code after a clear is a byte of its own.
                if (code > 255) throw TDecodeStop{ecDecompressionError, false};
                afterClear = false;
                previous = code;
                firstByte = static_cast<std::uint8_t>(code);
                FOut.Put(firstByte);
                continue;
            }
            // A code beyond the next free one was never given out.
            if (code > FNextFree) throw TDecodeStop{ecDecompressionError, false};
            int walk = code;
            if (code == FNextFree) {
                // Not yet in the table: the previous string and its own first byte.
                FStack.push_back(firstByte);
                walk = previous;
            }
            // A string is never longer than the table; a longer one loops (damaged data).
            while (walk > 255) {
                if (FStack.size() >= TableSize) throw TDecodeStop{ecStackOverflow, false};
                FStack.push_back(FSuffix[static_cast<std::size_t>(walk)]);
                walk = FParent[static_cast<std::size_t>(walk)];
            }
            firstByte = static_cast<std::uint8_t>(walk);
            FStack.push_back(firstByte);
            if (static_cast<std::int64_t>(FStack.size()) > FOut.Room())
                throw TDecodeStop{ecDecompressionError, false};
            while (!FStack.empty()) {
                FOut.Put(FStack.back());
                FStack.pop_back();
            }
            Add(previous, firstByte);
            previous = code;
        }
    }

private:
    void Clear() {
        FWidth = InitBits;
        FLimit = 1 << InitBits;
        FNextFree = FirstFree;
    }

    void Add(int Parent, std::uint8_t Suffix) {
        // A full table takes no more strings until the next clear.
        if (FNextFree >= TableSize) return;
        FParent[static_cast<std::size_t>(FNextFree)] = static_cast<std::uint16_t>(Parent);
        FSuffix[static_cast<std::size_t>(FNextFree)] = Suffix;
        if (++FNextFree >= FLimit && FWidth < MaxBits) {
            ++FWidth;
            FLimit <<= 1;
        }
    }

    TBitReader& FIn;
    TDecodeOutput& FOut;
    std::vector<std::uint16_t> FParent;
    std::vector<std::uint8_t> FSuffix;
    std::vector<std::uint8_t> FStack;
    int FWidth = InitBits;
    int FLimit = 1 << InitBits;
    int FNextFree = FirstFree;
};

} // namespace

TDecodeResult ZooLzdDecode(const TDecoderIO& IO) {
    TBitReader in(IO);
    TDecodeOutput out(IO, 1);
    return out.Run([&] { TZooLzd(in, out).Run(); });
}
