#include "engine/codec/krvUnreduce.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/codec/krvBitReader.h"
#include "engine/codec/krvDecodeOutput.h"

#include <array>
#include <cstdint>

namespace {

constexpr std::uint32_t WindowSize = 4096;
constexpr std::uint8_t DLE = 144; // introduces a repeat or back-reference
constexpr int MaxFollowers = 32;

// Bits of an index into a follower set of N bytes.
int IndexBits(int N) {
    if (N <= 2) return 1;
    if (N <= 4) return 2;
    if (N <= 8) return 3;
    if (N <= 16) return 4;
    return 5;
}

} // namespace

struct TUnreduce::TState {
    TState(const TDecoderIO& IO, int AFactor) : In(IO), Out(IO, WindowSize), Factor(AFactor) {}

    void Decode();
    void ReadFollowerSets();
    void Expand(std::uint8_t Byte);

    TBitReader In;
    TDecodeOutput Out;
    int Factor;
    std::array<std::array<std::uint8_t, MaxFollowers>, 256> Followers{};
    std::array<std::uint8_t, 256> FollowerCount{};
    int State = 0;
    std::uint8_t V = 0;
    std::uint32_t Length = 0;
};

TUnreduce::TUnreduce(const TDecoderIO& IO, int Factor) {
    if (Factor < 1 || Factor > 4) throw E_RAISE(ecUnsupportedCompressionMethod);
    F = std::make_unique<TState>(IO, Factor);
}

TUnreduce::~TUnreduce() = default;

TDecodeResult TUnreduce::Run() {
    return F->Out.Run([this] { F->Decode(); });
}

void TUnreduce::TState::ReadFollowerSets() {
    for (int j = 255; j >= 0; --j) {
        const std::uint32_t n = In.Bits(6);
        if (n > MaxFollowers) throw TDecodeStop{ecDecompressionError, false};
        FollowerCount[j] = static_cast<std::uint8_t>(n);
        for (std::uint32_t i = 0; i < n; ++i)
            Followers[j][i] = static_cast<std::uint8_t>(In.Bits(8));
    }
}

void TUnreduce::TState::Decode() {
    if (Out.Done()) return;
    ReadFollowerSets();
    std::uint8_t last = 0;
    while (!Out.Done()) {
        const int n = FollowerCount[last];
        std::uint8_t byte;
        if (n == 0 || In.Bits(1) == 1) {
            byte = static_cast<std::uint8_t>(In.Bits(8));
        } else {
            const std::uint32_t index = In.Bits(IndexBits(n));
            if (index >= static_cast<std::uint32_t>(n)) throw TDecodeStop{ecDecompressionError, false};
            byte = Followers[last][index];
        }
        Expand(byte);
        last = byte;
    }
}

void TUnreduce::TState::Expand(std::uint8_t Byte) {
    const std::uint32_t lengthMask = 0xFFu >> Factor; // 127, 63, 31, 15
    switch (State) {
    case 0:
        if (Byte == DLE)
            State = 1;
        else
            Out.Put(Byte);
        break;
    case 1:
        if (Byte == 0) {
            Out.Put(DLE);
            State = 0;
        } else {
            V = Byte;
            Length = V & lengthMask;
            State = Length == lengthMask ? 2 : 3;
        }
        break;
    case 2:
        Length += Byte;
        State = 3;
        break;
    default: {
        const std::uint32_t distance = (static_cast<std::uint32_t>(V >> (8 - Factor)) << 8) + Byte + 1;
        Out.Copy(distance, Length + 3);
        State = 0;
        break;
    }
    }
}

TDecodeResult ZipUnreduce(const TDecoderIO& IO, int Factor) {
    return TUnreduce(IO, Factor).Run();
}
