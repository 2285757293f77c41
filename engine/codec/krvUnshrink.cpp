#include "engine/codec/krvUnshrink.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/codec/krvBitReader.h"
#include "engine/codec/krvDecodeOutput.h"

#include <cstdint>
#include <vector>

namespace {

constexpr int CodeCount = 8192; // codes 0..8191: 13 bits at most
constexpr int FirstFree = 257;  // 0..255 are the single bytes, 256 the control code
constexpr int ControlCode = 256;
constexpr int MinCodeSize = 9;
constexpr int MaxCodeSize = 13;
constexpr int StackSize = 8192;
constexpr std::int32_t FreeEntry = -1;

} // namespace

struct TUnshrink::TState {
    explicit TState(const TDecoderIO& IO)
        : In(IO), Out(IO, 4096), Prefix(CodeCount, FreeEntry), Suffix(CodeCount, 0), Children(CodeCount, 0),
          FreeList(CodeCount, 0), Stack(StackSize, 0) {
        for (int c = 0; c < 256; ++c)
            Suffix[c] = static_cast<std::uint8_t>(c);
        for (int i = FirstFree; i < CodeCount; ++i)
            FreeList[i] = static_cast<std::uint16_t>(i);
    }

    void Decode();
    void PartialClear();
    [[noreturn]] void StackOverflow();

    TBitReader In;
    TDecodeOutput Out;
    // Per code: the code of its string less the last byte (FreeEntry when the code is free),
    // its last byte, and how many codes extend it.
    std::vector<std::int32_t> Prefix;
    std::vector<std::uint8_t> Suffix;
    std::vector<std::uint16_t> Children;
    // Codes free for new strings, taken from NextFree upwards (slots 257..8191 are used).
    std::vector<std::uint16_t> FreeList;
    int NextFree = FirstFree;
    std::vector<std::uint8_t> Stack;
    int CodeSize = MinCodeSize;
};

TUnshrink::TUnshrink(const TDecoderIO& IO) : F(std::make_unique<TState>(IO)) {}
TUnshrink::~TUnshrink() = default;

TDecodeResult TUnshrink::Run() {
    return F->Out.Run([this] { F->Decode(); });
}

void TUnshrink::TState::StackOverflow() {
    Out.Flush();
    throw E_RAISE(ecStackOverflow);
}

void TUnshrink::TState::Decode() {
    if (Out.Done()) return;
    const std::int32_t first = In.TryBits(CodeSize);
    if (first < 0 || first >= ControlCode) throw E_RAISE(ecBadBlock);
    Out.Put(static_cast<std::uint8_t>(first));
    std::int32_t previous = first;
    std::uint8_t firstByte = static_cast<std::uint8_t>(first);

    while (!Out.Done()) {
        std::int32_t code = static_cast<std::int32_t>(In.Bits(CodeSize));
        if (code == ControlCode) {
            const std::uint32_t control = In.Bits(CodeSize);
            if (control == 1 && CodeSize < MaxCodeSize)
                ++CodeSize;
            else if (control == 2)
                PartialClear();
            else
                throw E_RAISE(ecBadBlock);
            continue;
        }

        // Walk the string back to its first byte, stacking the bytes after it.
        int depth = 0;
        std::int32_t walk = code;
        if (walk >= FirstFree && Prefix[walk] == FreeEntry) {
            // Not defined yet: the previous string plus its own first byte.
            Stack[depth++] = firstByte;
            walk = previous;
        }
        while (walk >= FirstFree) {
            if (depth >= StackSize) StackOverflow();
            Stack[depth++] = Suffix[walk];
            walk = Prefix[walk];
        }
        // A string that leads into a freed code has no first byte: damaged data.
        if (walk < 0 || walk == ControlCode) throw TDecodeStop{ecDecompressionError, false};
        firstByte = static_cast<std::uint8_t>(walk);
        if (depth + 1 > Out.Room()) throw TDecodeStop{ecDecompressionError, false};
        Out.Put(firstByte);
        while (depth > 0)
            Out.Put(Stack[--depth]);

        if (NextFree < CodeCount) {
            const std::uint16_t added = FreeList[NextFree++];
            Prefix[added] = previous;
            Suffix[added] = firstByte;
            ++Children[previous];
        }
        previous = code;
    }
}

// Frees every code that no other code extends; codes with children keep their strings. The
// freed codes are handed out again lowest first.
void TUnshrink::TState::PartialClear() {
    std::vector<std::uint16_t> leaves;
    leaves.reserve(CodeCount - FirstFree);
    for (int c = FirstFree; c < CodeCount; ++c)
        if (Children[c] == 0) leaves.push_back(static_cast<std::uint16_t>(c));
    NextFree = CodeCount;
    for (auto it = leaves.rbegin(); it != leaves.rend(); ++it) {
        const std::uint16_t c = *it;
        const std::int32_t prefix = Prefix[c];
        if (prefix != FreeEntry && Children[prefix] > 0) --Children[prefix];
        Prefix[c] = FreeEntry;
        Suffix[c] = 0;
        Children[c] = 0;
        FreeList[--NextFree] = c;
    }
}

TDecodeResult ZipUnshrink(const TDecoderIO& IO) {
    return TUnshrink(IO).Run();
}
