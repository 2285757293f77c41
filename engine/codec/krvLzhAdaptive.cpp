#include "engine/codec/krvLzhAdaptive.h"

#include "engine/codec/krvLzhWindow.h"
#include "engine/codec/krvMsbBitReader.h"

#include <array>
#include <cstring>

namespace {

constexpr int Threshold = 2;
constexpr int MaxMatch = 60;
constexpr int NChar = 256 - Threshold + MaxMatch; // 314 symbols
constexpr int T = 2 * NChar - 1;                  // tree nodes
constexpr int Root = T - 1;
constexpr std::uint16_t MaxFreq = 0x8000;

// The fixed code of a position's upper 6 bits, indexed by the next 8 input bits: the value
// and the length of its code (LHarc's table).
struct TPositionCode {
    std::array<std::uint8_t, 256> Value{};
    std::array<std::uint8_t, 256> Length{};
    TPositionCode() {
        // How many of the 64 values have codes of 3, 4, ... 8 bits.
        constexpr std::array<int, 6> perLength{1, 3, 8, 12, 24, 16};
        int index = 0;
        int value = 0;
        for (int l = 0; l < 6; ++l) {
            const int len = 3 + l;
            for (int k = 0; k < perLength[static_cast<std::size_t>(l)]; ++k, ++value) {
                for (int e = 0; e < (1 << (8 - len)); ++e, ++index) {
                    Value[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(value);
                    Length[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(len);
                }
            }
        }
    }
};

const TPositionCode& PositionCode() {
    static const TPositionCode code;
    return code;
}

class TAdaptiveDecoder {
public:
    explicit TAdaptiveDecoder(const TDecoderIO& IO) : FIn(IO), FOut(IO, ' ') { StartHuff(); }

    TDecodeResult Run() {
        return FOut.Run([this] { Decode(); });
    }

private:
    void Decode() {
        const TPositionCode& pos = PositionCode();
        while (!FOut.Done()) {
            const int c = DecodeChar();
            if (c < 256) {
                FOut.Put(static_cast<std::uint8_t>(c));
                continue;
            }
            const std::uint32_t index = FIn.Peek(8);
            FIn.Skip(pos.Length[index]);
            const std::uint32_t position = (static_cast<std::uint32_t>(pos.Value[index]) << 6) | FIn.Bits(6);
            FOut.Copy(position + 1, static_cast<std::uint32_t>(c - 255 + Threshold));
        }
    }

    void StartHuff() {
        for (int i = 0; i < NChar; ++i) {
            FFreq[i] = 1;
            FSon[i] = i + T;
            FPrnt[i + T] = i;
        }
        for (int i = 0, j = NChar; j <= Root; i += 2, ++j) {
            FFreq[j] = FFreq[i] + FFreq[i + 1];
            FSon[j] = i;
            FPrnt[i] = FPrnt[i + 1] = j;
        }
        FFreq[T] = 0xFFFF;
        FPrnt[Root] = 0;
    }

    // Halves the frequencies and rebuilds the tree when the root's count is at its limit.
    void Reconstruct() {
        int j = 0;
        for (int i = 0; i < T; ++i) {
            if (FSon[i] >= T) {
                FFreq[j] = static_cast<std::uint16_t>((FFreq[i] + 1) / 2);
                FSon[j] = FSon[i];
                ++j;
            }
        }
        for (int i = 0, k = NChar; k < T; i += 2, ++k) {
            const std::uint16_t f = static_cast<std::uint16_t>(FFreq[i] + FFreq[i + 1]);
            FFreq[k] = f;
            int at = k - 1;
            while (f < FFreq[at])
                --at;
            ++at;
            const std::size_t moved = static_cast<std::size_t>(k - at);
            std::memmove(&FFreq[at + 1], &FFreq[at], moved * sizeof FFreq[0]);
            FFreq[at] = f;
            std::memmove(&FSon[at + 1], &FSon[at], moved * sizeof FSon[0]);
            FSon[at] = i;
        }
        for (int i = 0; i < T; ++i) {
            const int k = FSon[i];
            if (k >= T)
                FPrnt[k] = i;
            else
                FPrnt[k] = FPrnt[k + 1] = i;
        }
    }

    void Update(int Symbol) {
        if (FFreq[Root] == MaxFreq) Reconstruct();
        int c = FPrnt[Symbol + T];
        do {
            const std::uint16_t k = ++FFreq[c];
            int l = c + 1;
            if (k > FFreq[l]) {
                while (k > FFreq[++l]) {
                }
                --l;
                FFreq[c] = FFreq[l];
                FFreq[l] = k;
                const int i = FSon[c];
                FPrnt[i] = l;
                if (i < T) FPrnt[i + 1] = l;
                const int j = FSon[l];
                FSon[l] = i;
                FPrnt[j] = c;
                if (j < T) FPrnt[j + 1] = c;
                FSon[c] = j;
                c = l;
            }
            c = FPrnt[c];
        } while (c != 0);
    }

    int DecodeChar() {
        int c = FSon[Root];
        while (c < T) {
            c += static_cast<int>(FIn.Bits(1));
            c = FSon[c];
        }
        c -= T;
        Update(c);
        return c;
    }

    TMsbBitReader FIn;
    TLzhWindow FOut;
    std::array<std::uint16_t, T + 1> FFreq{};
    std::array<int, T + NChar> FPrnt{};
    std::array<int, T> FSon{};
};

} // namespace

TDecodeResult LzhAdaptiveDecode(const TDecoderIO& IO) {
    return TAdaptiveDecoder(IO).Run();
}
