#include "engine/codec/krvLzhDecode.h"

#include "engine/codec/krvHuffmanTable.h"
#include "engine/codec/krvLzhWindow.h"
#include "engine/codec/krvMsbBitReader.h"
#include "engine/core/krvErrorCodes.h"

#include <algorithm>
#include <array>

namespace {

constexpr int NC = 510;   // 256 literals and the match lengths 3..256
constexpr int NT = 19;    // code-length codes
constexpr int TBit = 5;   // bits of the code-length-code count
constexpr int CBit = 9;   // bits of the literal/length count
constexpr int MaxNP = 17; // position codes for 16 dictionary bits
constexpr int CTableBits = 12;
constexpr int PTableBits = 8;
constexpr int MatchBase = 253; // symbol 256 is a match of 3 bytes

[[noreturn]] void BadCode() {
    throw TDecodeStop{ecBadHuffmanCode, false};
}

class TLzhDecoder {
public:
    TLzhDecoder(const TDecoderIO& IO, TLzhParams Params)
        : FIn(IO), FOut(IO, ' '), FNP(Params.DicBit + 1), FPBit(Params.PBit) {
        if (Params.DicBit < 1 || Params.DicBit > 16 || Params.PBit < 1 || Params.PBit > 5) BadCode();
    }

    TDecodeResult Run() {
        return FOut.Run([this] { Decode(); });
    }

private:
    void Decode() {
        while (!FOut.Done()) {
            if (FBlockLeft == 0) {
                FBlockLeft = FIn.Bits(16);
                // An empty block at the end of the data: the stream is damaged.
                if (FBlockLeft == 0) BadCode();
                ReadPtLen(NT, TBit, 3);
                ReadCLen();
                ReadPtLen(FNP, FPBit, -1);
            }
            --FBlockLeft;
            const int c = FC.Decode(FIn);
            if (c < 256) {
                FOut.Put(static_cast<std::uint8_t>(c));
                continue;
            }
            const std::uint32_t length = static_cast<std::uint32_t>(c - MatchBase);
            int p = FP.Decode(FIn);
            std::uint32_t position = static_cast<std::uint32_t>(p);
            if (p > 1) position = (1u << (p - 1)) + FIn.Bits(p - 1);
            FOut.Copy(position + 1, length);
        }
    }

    // Code lengths of the code-length code (Count NT, Special 3) or of the positions.
    void ReadPtLen(int Count, int NBit, int Special) {
        const int n = static_cast<int>(FIn.Bits(NBit));
        std::array<std::uint8_t, std::max(NT, MaxNP)> len{};
        if (n == 0) {
            const int c = static_cast<int>(FIn.Bits(NBit));
            if (c >= Count) BadCode();
            FP.SetSingle(c, PTableBits);
            return;
        }
        if (n > Count) BadCode();
        int i = 0;
        while (i < n) {
            int c = static_cast<int>(FIn.Peek(3));
            if (c == 7) {
                // 7 is followed by one more for every further 1 bit.
                std::uint32_t mask = 1u << 12;
                const std::uint32_t bits = FIn.Peek16();
                while ((bits & mask) != 0) {
                    mask >>= 1;
                    ++c;
                }
                if (c > 16) BadCode();
                FIn.Skip(c - 3);
            } else {
                FIn.Skip(3);
            }
            len[static_cast<std::size_t>(i++)] = static_cast<std::uint8_t>(c);
            if (i == Special) {
                int zeros = static_cast<int>(FIn.Bits(2));
                while (zeros-- > 0 && i < n)
                    len[static_cast<std::size_t>(i++)] = 0;
            }
        }
        if (!FP.Build(std::span<const std::uint8_t>(len.data(), static_cast<std::size_t>(Count)), PTableBits))
            BadCode();
    }

    void ReadCLen() {
        const int n = static_cast<int>(FIn.Bits(CBit));
        if (n == 0) {
            const int c = static_cast<int>(FIn.Bits(CBit));
            if (c >= NC) BadCode();
            FC.SetSingle(c, CTableBits);
            return;
        }
        if (n > NC) BadCode();
        std::array<std::uint8_t, NC> len{};
        int i = 0;
        while (i < n) {
            const int c = FP.Decode(FIn);
            if (c <= 2) {
                int zeros = 1;
                if (c == 1)
                    zeros = static_cast<int>(FIn.Bits(4)) + 3;
                else if (c == 2)
                    zeros = static_cast<int>(FIn.Bits(CBit)) + 20;
                if (zeros > n - i) BadCode();
                i += zeros; // len[] is zero already
            } else {
                len[static_cast<std::size_t>(i++)] = static_cast<std::uint8_t>(c - 2);
            }
        }
        if (!FC.Build(len, CTableBits)) BadCode();
    }

    TMsbBitReader FIn;
    TLzhWindow FOut;
    const int FNP;
    const int FPBit;
    std::uint32_t FBlockLeft = 0;
    THuffmanTable<NC> FC;
    THuffmanTable<std::max(NT, MaxNP)> FP; // the code-length code, then the position code
};

} // namespace

TDecodeResult LzhDecode(const TDecoderIO& IO, TLzhParams Params) {
    return TLzhDecoder(IO, Params).Run();
}
