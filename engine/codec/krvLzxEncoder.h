// The LZX encoder of cabinet folders: a window of 2^15 to 2^21 bytes, frames of 32768 bytes
// (one per cabinet data block), each frame one verbatim block whose main and length trees
// are sent as deltas of the previous block's through a pre-tree. Matches are found through
// hash chains with one step of lazy evaluation; the first repeated offset is used when it fits.
// No E8 translation. What it writes is what LZX decoders (libmspack, cabextract) read.
#pragma once

#include "engine/codec/krvLzMatcher.h"

#include <cstdint>
#include <vector>

class TLzxEncoder {
public:
    // WindowBits 15..21 (clamped).
    explicit TLzxEncoder(int WindowBits);

    // Encodes the next frame of the folder (Count <= 32768; only the last frame may be
    // shorter) and appends its bytes, a whole number of 16-bit words, to Out.
    void EncodeFrame(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out);

    static constexpr std::size_t FrameSize = 32768;

private:
    struct TToken {
        std::uint32_t Length; // 0: a literal
        std::uint32_t Value;  // the literal, or the match's main element less 256 (slot and length)
        std::uint32_t Footer; // the offset's footer bits
        std::uint8_t FooterBits;
    };

    // The longest match at Pos within Limit bytes; its length (0: none) and offset.
    std::uint32_t FindMatch(std::size_t Pos, std::size_t Limit, std::uint32_t& Offset);
    void AddMatch(std::uint32_t Length, std::uint32_t Offset, std::vector<TToken>& Tokens);

    int FWindowBits;
    std::size_t FWindow;
    int FPositionSlots;
    bool FFirst = true;
    std::uint32_t FR0 = 1, FR1 = 1, FR2 = 1;
    TLzMatcher FMatcher;
    std::vector<std::uint8_t> FMainLengths;
    std::vector<std::uint8_t> FLengthLengths;
};
