#include "engine/codec/krvLzhBlockWriter.h"

#include "engine/codec/krvLzhHuffEncode.h"

#include <algorithm>

namespace {

constexpr int TBit = 5;
constexpr int CBit = 9;
// Packed bytes are handed to the sink in pieces of this size.
constexpr std::size_t OutChunk = 32768;

} // namespace

TLzhBlockWriter::TLzhBlockWriter(const TLzhSink& Output, TLzhEncodeParams Params)
    : FOutput(Output), FNP(Params.DicBit + 1), FPBit(Params.PBit) {
    FSymbols.reserve(static_cast<std::size_t>(BlockBytes));
    FOut.reserve(OutChunk + 64);
}

void TLzhBlockWriter::Drain() {
    while (FBits >= 8) {
        FBits -= 8;
        FOut.push_back(static_cast<std::uint8_t>(FAcc >> FBits));
    }
    if (FOut.size() >= OutChunk) FlushOut();
}

void TLzhBlockWriter::FlushOut() {
    if (FOut.empty()) return;
    FOutput(FOut.data(), static_cast<std::int64_t>(FOut.size()));
    FWritten += static_cast<std::int64_t>(FOut.size());
    FOut.clear();
}

template <typename TEmit> void TLzhBlockWriter::ForEachTSymbol(TEmit Emit) const {
    int n = NC;
    while (n > 0 && FCLen[static_cast<std::size_t>(n - 1)] == 0)
        --n;
    for (int i = 0; i < n;) {
        const int k = FCLen[static_cast<std::size_t>(i++)];
        if (k != 0) {
            Emit(k + 2, 0, 0);
            continue;
        }
        int run = 1;
        while (i < n && FCLen[static_cast<std::size_t>(i)] == 0) {
            ++i;
            ++run;
        }
        if (run <= 2) {
            for (int r = 0; r < run; ++r)
                Emit(0, 0, 0);
        } else if (run <= 18) {
            Emit(1, run - 3, 4);
        } else if (run == 19) {
            Emit(0, 0, 0);
            Emit(1, 15, 4);
        } else {
            Emit(2, run - 20, CBit);
        }
    }
}

void TLzhBlockWriter::WriteLengths(const std::uint8_t* Lengths, int Count, int NBit, int Special) {
    int n = Count;
    while (n > 0 && Lengths[n - 1] == 0)
        --n;
    Put(static_cast<std::uint32_t>(n), NBit);
    for (int i = 0; i < n;) {
        const int k = Lengths[i++];
        if (k <= 6)
            Put(static_cast<std::uint32_t>(k), 3);
        else
            Put((1U << (k - 3)) - 2, k - 3); // k - 4 one-bits and a zero
        if (i == Special) {
            int zeros = 0;
            while (i + zeros < n && zeros < 3 && Lengths[i + zeros] == 0)
                ++zeros;
            Put(static_cast<std::uint32_t>(zeros), 2);
            i += zeros;
        }
    }
}

void TLzhBlockWriter::WriteCLengths() {
    int n = NC;
    while (n > 0 && FCLen[static_cast<std::size_t>(n - 1)] == 0)
        --n;
    Put(static_cast<std::uint32_t>(n), CBit);
    ForEachTSymbol([this](int Symbol, int Extra, int ExtraBits) {
        Put(FTCode[static_cast<std::size_t>(Symbol)], FTLen[static_cast<std::size_t>(Symbol)]);
        Put(static_cast<std::uint32_t>(Extra), ExtraBits);
    });
}

void TLzhBlockWriter::SendBlock() {
    if (FSymbols.empty()) return;
    Put(static_cast<std::uint32_t>(FSymbols.size()), 16);

    int single = 0;
    if (LzhMakeLengths(FCFreq, FCLen, single) >= 2) {
        LzhMakeCodes(FCLen, FCCode);
        FTFreq.fill(0);
        ForEachTSymbol([this](int Symbol, int, int) { ++FTFreq[static_cast<std::size_t>(Symbol)]; });
        int tSingle = 0;
        if (LzhMakeLengths(FTFreq, FTLen, tSingle) >= 2) {
            LzhMakeCodes(FTLen, FTCode);
            WriteLengths(FTLen.data(), NT, TBit, 3);
        } else {
            // One code-length code: it takes no bits.
            FTLen.fill(0);
            Put(0, TBit);
            Put(static_cast<std::uint32_t>(tSingle), TBit);
        }
        WriteCLengths();
    } else {
        // One literal or length: no code-length code, and the symbol takes no bits.
        FCLen.fill(0);
        Put(0, TBit);
        Put(0, TBit);
        Put(0, CBit);
        Put(static_cast<std::uint32_t>(single), CBit);
    }

    const std::span<std::uint32_t> pFreq(FPFreq.data(), static_cast<std::size_t>(FNP));
    const std::span<std::uint8_t> pLen(FPLen.data(), static_cast<std::size_t>(FNP));
    if (LzhMakeLengths(pFreq, pLen, single) >= 2) {
        LzhMakeCodes(pLen, std::span<std::uint16_t>(FPCode.data(), static_cast<std::size_t>(FNP)));
        WriteLengths(FPLen.data(), FNP, FPBit, -1);
    } else {
        Put(0, FPBit);
        Put(static_cast<std::uint32_t>(single), FPBit);
    }

    for (const std::uint32_t s : FSymbols) {
        const std::uint32_t c = s & 0xFFFF;
        Put(FCCode[c], FCLen[c]);
        if (c < 256) continue;
        const std::uint32_t position = s >> 16;
        const int bits = BitLength(position);
        Put(FPCode[static_cast<std::size_t>(bits)], FPLen[static_cast<std::size_t>(bits)]);
        if (bits > 1) Put(position, bits - 1); // Put keeps the low bits only
    }

    FSymbols.clear();
    FBlockBytes = 0;
    FSentInput += FBlockInput;
    FBlockInput = 0;
    FCFreq.fill(0);
    FPFreq.fill(0);
}

void TLzhBlockWriter::Finish() {
    SendBlock();
    Put(0, 7);
    Drain();
    FlushOut();
}
