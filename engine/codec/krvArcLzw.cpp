// Arc's methods 8 and 9: LZW in the manner of Unix compress, codes of 9 bits growing to 12
// (method 8) or 13 (method 9), read least significant bit first in groups of as many bytes
// as the code width; code 256 clears the table.
#include "engine/codec/krvArcOutput.h"
#include "engine/codec/krvBitReader.h"
#include "engine/core/krvErrorCodes.h"

#include <array>
#include <vector>

namespace {

constexpr int InitBits = 9;
constexpr int ClearCode = 256;
constexpr int FirstFree = 257;

// The codes of one width come in groups of Width bytes (eight codes); a group is left
// unfinished when the width changes or the table is cleared.
class TGroupReader {
public:
    explicit TGroupReader(TBitReader& In) : FIn(In) {}

    // The next code of Width bits; -1 at the end of the input. NewGroup starts a new group.
    int Next(int Width, bool NewGroup) {
        if (NewGroup || FOffset >= FSize) {
            int got = 0;
            while (got < Width) {
                const int b = FIn.ReadByte();
                if (b < 0) break;
                FGroup[static_cast<std::size_t>(got++)] = static_cast<std::uint8_t>(b);
            }
            if (got == 0) return -1;
            FOffset = 0;
            FSize = got * 8 - (Width - 1);
            if (FSize <= 0) return -1;
        }
        std::uint32_t bits = 0;
        const int byte = FOffset >> 3;
        for (int i = 0; i < 3 && byte + i < static_cast<int>(FGroup.size()); ++i)
            bits |= static_cast<std::uint32_t>(FGroup[static_cast<std::size_t>(byte + i)]) << (8 * i);
        const int code = static_cast<int>((bits >> (FOffset & 7)) & ((1u << Width) - 1));
        FOffset += Width;
        return code;
    }

private:
    TBitReader& FIn;
    std::array<std::uint8_t, 16> FGroup{};
    int FOffset = 0;
    int FSize = 0;
};

} // namespace

void ArcUnLzw(TBitReader& In, TArcOutput& Out, int MaxBits) {
    const int tableSize = 1 << MaxBits;
    std::vector<std::uint16_t> prefix(static_cast<std::size_t>(tableSize), 0);
    std::vector<std::uint8_t> suffix(static_cast<std::size_t>(tableSize), 0);
    for (int c = 0; c < 256; ++c)
        suffix[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c);
    std::vector<std::uint8_t> stack;
    stack.reserve(static_cast<std::size_t>(tableSize));

    TGroupReader codes(In);
    int width = InitBits;
    int maxCode = (1 << width) - 1;
    int freeEntry = FirstFree;
    bool newGroup = true;
    // The width grows when the next free code no longer fits it, and falls back after a clear.
    auto next = [&]() {
        bool group = newGroup;
        newGroup = false;
        if (freeEntry > maxCode && width < MaxBits) {
            ++width;
            maxCode = width == MaxBits ? tableSize : (1 << width) - 1;
            group = true;
        }
        return codes.Next(width, group);
    };

    int code = next();
    if (code < 0) return;
    int previous = code;
    std::uint8_t firstByte = static_cast<std::uint8_t>(code);
    Out.Put(firstByte);
    while (!Out.Done() && (code = next()) >= 0) {
        if (code == ClearCode) {
            std::fill(prefix.begin(), prefix.begin() + 256, 0);
            freeEntry = FirstFree - 1;
            width = InitBits;
            maxCode = (1 << width) - 1;
            newGroup = true;
            if ((code = next()) < 0) break;
        }
        const int incoming = code;
        if (code >= freeEntry) {
            stack.push_back(firstByte);
            code = previous;
        }
        while (code >= 256) {
            if (stack.size() >= static_cast<std::size_t>(tableSize))
                throw TDecodeStop{ecStackOverflow, false};
            stack.push_back(suffix[static_cast<std::size_t>(code)]);
            code = prefix[static_cast<std::size_t>(code)];
        }
        firstByte = suffix[static_cast<std::size_t>(code)];
        Out.Put(firstByte);
        while (!stack.empty()) {
            Out.Put(stack.back());
            stack.pop_back();
        }
        if (freeEntry < tableSize) {
            prefix[static_cast<std::size_t>(freeEntry)] = static_cast<std::uint16_t>(previous);
            suffix[static_cast<std::size_t>(freeEntry)] = firstByte;
            ++freeEntry;
        }
        previous = incoming;
    }
}
