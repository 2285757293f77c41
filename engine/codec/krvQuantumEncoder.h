// The Quantum encoder of cabinet folders: a window of 2^10 to 2^21 bytes, frames of 32768
// bytes (one per cabinet data block), adaptive arithmetic coding of a selector (four literal
// ranges, matches of 3, of 4 and of more bytes), the literal, match position slot and length
// models, with the offsets' and lengths' footer bits sent plain in the same bit stream where the
// decoder reads them. Each frame ends byte-aligned right after the bits a decoder reads.
#pragma once

#include "engine/codec/krvLzMatcher.h"

#include <cstdint>
#include <deque>
#include <vector>

class TQuantumEncoder {
public:
    // WindowBits 10..21, Level 1..7 (clamped): higher levels search further for matches and
    // look one byte ahead for a longer one, for smaller output at more time.
    TQuantumEncoder(int WindowBits, int Level);

    // Encodes the next frame (Count <= 32768; only the last may be shorter) onto Out.
    void EncodeFrame(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out);

    static constexpr std::size_t FrameSize = 32768;

private:
    struct TSymbol {
        std::uint16_t Sym;
        std::uint16_t CumFreq;
    };
    struct TModel {
        int ShiftsLeft = 4;
        int Entries = 0;
        std::vector<TSymbol> Syms;
    };
    static void InitModel(TModel& Model, int Start, int Length);
    static void UpdateModel(TModel& Model);

    void Encode(TModel& Model, int Symbol);
    // Footer bits that the decoder reads after the symbol just coded.
    void Raw(std::uint32_t Value, int Bits);
    void ArithBit(int Bit);
    void PutBit(int Bit);
    // Whether the models can say a match of Length at Distance (its slot in the model's range).
    bool Fits(std::uint32_t Length, std::uint32_t Distance) const;
    // A match that fits, as selector, slots and footers.
    void Match(std::uint32_t Length, std::uint32_t Distance);

    int FWindowBits;
    std::size_t FWindow;
    bool FLazy;
    TLzMatcher FMatcher;
    TModel FLiterals[4], FMatch3, FMatch4, FMatchLong, FLengths, FSelector;

    // The arithmetic coder of the frame being written.
    std::uint32_t FLow = 0, FHigh = 0xFFFF;
    int FPending = 0;
    std::uint64_t FShifts = 0;  // the decoder's shifts so far: bits of the code
    std::uint64_t FEmitted = 0; // code bits written
    struct TRaw {
        std::uint64_t After; // written after this many code bits
        std::uint32_t Value;
        int Bits;
    };
    std::deque<TRaw> FRaws;
    std::vector<std::uint8_t>* FOut = nullptr;
    std::uint8_t FByte = 0;
    int FBitCount = 0;
};
