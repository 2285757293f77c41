#include "engine/codec/krvLzwDecompress.h"

#include "engine/codec/krvBitReader.h"
#include "engine/codec/krvDecodeOutput.h"
#include "engine/core/krvErrorCodes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr std::uint8_t Magic1 = 0x1F;
constexpr std::uint8_t Magic2 = 0x9D;
constexpr std::uint8_t WidthMask = 0x1F;
constexpr std::uint8_t ReservedFlags = 0x60;
constexpr std::uint8_t BlockModeFlag = 0x80;
constexpr int InitialWidth = 9;
constexpr int MaxWidth = 16;
constexpr std::int32_t ClearCode = 256;
constexpr std::size_t TableSize = std::size_t{1} << MaxWidth;
constexpr int GroupCodes = 8;

class TLzwDecoder {
public:
    explicit TLzwDecoder(const TDecoderIO& IO)
        : In(IO), Out(IO, 1), Prefix(TableSize, 0), Suffix(TableSize, 0), Stack(TableSize) {
        for (std::size_t c = 0; c < 256; ++c)
            Suffix[c] = static_cast<std::uint8_t>(c);
    }

    TDecodeResult Run() {
        return Out.Run([this] { Decode(); });
    }

private:
    void Decode();
    [[noreturn]] static void Stop(int Code) { throw TDecodeStop{Code, false}; }
    // The next code, or -1 at the end of the data; a code cut off by the end is damage.
    std::int32_t ReadCode();
    // Steps over the rest of the current group of eight codes.
    void SkipGroupRest();
    void SetWidth(int NewWidth);

    TBitReader In;
    TDecodeOutput Out;
    std::vector<std::uint16_t> Prefix;
    std::vector<std::uint8_t> Suffix;
    std::vector<std::uint8_t> Stack;
    int Width = InitialWidth;
    int MaxBits = MaxWidth;
    std::int32_t MaxCode = 0;    // the largest code of the current width
    std::int32_t MaxMaxCode = 0; // 2 ^ MaxBits: the table's end
    int CodesInGroup = 0;
};

std::int32_t TLzwDecoder::ReadCode() {
    const std::int32_t code = In.TryBits(Width);
    if (code < 0) {
        // compress ends its output at the byte after the last code: a whole byte left over
        // means the file was cut inside a code.
        if (In.PendingBits() >= 8) Stop(ecUnexpectedEndOfFile);
        return -1;
    }
    CodesInGroup = (CodesInGroup + 1) % GroupCodes;
    return code;
}

void TLzwDecoder::SkipGroupRest() {
    while (CodesInGroup != 0) {
        if (In.TryBits(Width) < 0) return;
        CodesInGroup = (CodesInGroup + 1) % GroupCodes;
    }
}

void TLzwDecoder::SetWidth(int NewWidth) {
    // As compress and every decoder of its files: the widest codes are reached only by
    // growing, so a 9-bit file whose table is full goes on in 10-bit codes.
    Width = NewWidth;
    MaxCode = Width == MaxBits && Width != InitialWidth ? MaxMaxCode : (std::int32_t{1} << Width) - 1;
    CodesInGroup = 0;
}

void TLzwDecoder::Decode() {
    const std::int32_t m1 = In.TryBits(8), m2 = In.TryBits(8), flags = In.TryBits(8);
    if (m1 < 0 || m2 < 0 || flags < 0) Stop(ecUnexpectedEndOfFile);
    if (m1 != Magic1 || m2 != Magic2) Stop(ecCorruptInput);
    MaxBits = flags & WidthMask;
    if ((flags & ReservedFlags) || MaxBits < InitialWidth || MaxBits > MaxWidth) Stop(ecIncompleteCodeSet);
    const bool blockMode = (flags & BlockModeFlag) != 0;
    MaxMaxCode = std::int32_t{1} << MaxBits;
    SetWidth(InitialWidth);
    std::int32_t freeEntry = blockMode ? ClearCode + 1 : ClearCode;

    std::int32_t oldCode = ReadCode();
    if (oldCode < 0) return;
    if (oldCode >= 256) Stop(ecCorruptInput);
    std::uint8_t finChar = static_cast<std::uint8_t>(oldCode);
    Out.Put(finChar);

    for (;;) {
        if (freeEntry > MaxCode) {
            SkipGroupRest();
            SetWidth(Width + 1);
        }
        std::int32_t code = ReadCode();
        if (code < 0) return;
        if (code == ClearCode && blockMode) {
            // The table starts again; the next code adds the unused entry 256, as compress does.
            SkipGroupRest();
            SetWidth(InitialWidth);
            freeEntry = ClearCode;
            continue;
        }
        const std::int32_t inCode = code;
        std::size_t depth = 0;
        if (code >= freeEntry) {
            if (code > freeEntry) Stop(ecCorruptInput);
            Stack[depth++] = finChar;
            code = oldCode;
        }
        while (code >= 256) {
            if (depth >= Stack.size() - 1) Stop(ecCorruptInput);
            Stack[depth++] = Suffix[static_cast<std::size_t>(code)];
            code = Prefix[static_cast<std::size_t>(code)];
        }
        finChar = static_cast<std::uint8_t>(code);
        Stack[depth++] = finChar;
        if (static_cast<std::int64_t>(depth) > Out.Room()) Stop(ecDecompressionError);
        while (depth > 0)
            Out.Put(Stack[--depth]);
        if (freeEntry < MaxMaxCode) {
            Prefix[static_cast<std::size_t>(freeEntry)] = static_cast<std::uint16_t>(oldCode);
            Suffix[static_cast<std::size_t>(freeEntry)] = finChar;
            ++freeEntry;
        }
        oldCode = inCode;
    }
}

} // namespace

TDecodeResult LzwDecompress(const TDecoderIO& IO) {
    // The tables take 384 KiB: on the heap.
    auto decoder = std::make_unique<TLzwDecoder>(IO);
    return decoder->Run();
}
