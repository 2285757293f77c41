// One block of the LHA static-Huffman format at a time: the symbols of a block are
// collected with their frequencies, then sent as the symbol count, the three code-length
// tables and the coded symbols, bits packed most significant first.
#pragma once

#include "engine/codec/krvLzh5.h"

#include <array>
#include <cstdint>
#include <vector>

class TLzhBlockWriter {
public:
    static constexpr int NC = 510; // literals and the match lengths 3..256
    static constexpr int NT = 19;  // code-length codes
    static constexpr int MaxNP = 17;
    static constexpr int MatchBase = 253;
    // Symbols of a block: they fill a buffer of 16384 bytes, a literal taking one byte, a
    // match three and every eight symbols a flag byte. Blocks of this size let the codes
    // follow data whose statistics drift (tables, logs) better than blocks twice as large.
    static constexpr std::int64_t BlockBytes = 16384 - 24;

    TLzhBlockWriter(const TLzhSink& Output, TLzhEncodeParams Params);

    void Literal(std::uint8_t Byte) {
        FSymbols.push_back(Byte);
        ++FCFreq[Byte];
        ++FBlockInput;
        AfterSymbol(1);
    }
    // A match of Length (3..256) bytes at Distance (1..2^DicBit - 1) back.
    void Match(int Length, std::uint32_t Distance) {
        const auto code = static_cast<std::uint32_t>(Length + MatchBase);
        const std::uint32_t position = Distance - 1;
        FSymbols.push_back(code | (position << 16));
        ++FCFreq[code];
        ++FPFreq[static_cast<std::size_t>(BitLength(position))];
        FBlockInput += Length;
        AfterSymbol(3);
    }
    // Sends the last block and the final padding bits, and hands over what is buffered.
    void Finish();
    // Packed bytes so far, those not yet handed to the sink included.
    std::int64_t Written() const { return FWritten + static_cast<std::int64_t>(FOut.size()); }
    // Packed bytes handed to the sink.
    std::int64_t Handed() const { return FWritten; }
    // Input bytes that the blocks sent so far stand for.
    std::int64_t SentInput() const { return FSentInput; }

private:
    static int BitLength(std::uint32_t Value) { return Value == 0 ? 0 : 32 - __builtin_clz(Value); }
    void AfterSymbol(int Bytes) {
        FBlockBytes += Bytes;
        if ((FSymbols.size() & 7) == 0) ++FBlockBytes; // the flag byte of the next eight
        if (FBlockBytes >= BlockBytes) SendBlock();
    }
    void SendBlock();
    // Writes a table of code lengths: the count, lengths below 7 in 3 bits, longer ones as
    // a run of one-bits ended by a zero; after Special, the count of zeros that follow.
    void WriteLengths(const std::uint8_t* Lengths, int Count, int NBit, int Special);
    void WriteCLengths();
    // The literal/length code lengths as code-length symbols: Emit(symbol, extra bits' value,
    // their count) for each, zero runs folded into symbols 0 to 2.
    template <typename TEmit> void ForEachTSymbol(TEmit Emit) const;
    void Put(std::uint32_t Value, int Count) {
        FAcc = (FAcc << Count) | (Value & ((1ULL << Count) - 1));
        FBits += Count;
        if (FBits >= 32) Drain();
    }
    void Drain();
    void FlushOut();

    TLzhSink FOutput;
    const int FNP;
    const int FPBit;
    std::vector<std::uint32_t> FSymbols; // literal or length code in the low half, position above
    std::int64_t FBlockBytes = 0;
    std::int64_t FBlockInput = 0;
    std::int64_t FSentInput = 0;
    std::array<std::uint32_t, NC> FCFreq{};
    std::array<std::uint32_t, MaxNP> FPFreq{};
    std::array<std::uint32_t, NT> FTFreq{};
    std::array<std::uint8_t, NC> FCLen{};
    std::array<std::uint16_t, NC> FCCode{};
    std::array<std::uint8_t, MaxNP> FPLen{};
    std::array<std::uint16_t, MaxNP> FPCode{};
    std::array<std::uint8_t, NT> FTLen{};
    std::array<std::uint16_t, NT> FTCode{};
    std::uint64_t FAcc = 0;
    int FBits = 0;
    std::vector<std::uint8_t> FOut;
    std::int64_t FWritten = 0;
};
