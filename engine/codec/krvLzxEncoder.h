// The LZX encoder of cabinet folders: a window of 2^15 to 2^21 bytes, frames of 32768 bytes
// (one per cabinet data block), each frame one verbatim block whose main and length trees are
// sent as deltas of the previous block's through a pre-tree, or an uncompressed block where
// that is shorter. The frames' literals and matches come from TLzxParser; this part writes
// them in order and keeps what the folder's frames share (trees, repeated offsets). No E8
// translation. What it writes is what LZX decoders (libmspack, cabextract, 7-Zip, unar) read.
#pragma once

#include "engine/codec/krvLzxParser.h"

#include <cstdint>
#include <vector>

class TLzxBitWriter;

class TLzxEncoder {
public:
    // WindowBits 15..21 (clamped).
    explicit TLzxEncoder(int WindowBits);

    // Encodes the next frame of the folder (Count <= 32768; only the last frame may be
    // shorter) from its tokens and appends its bytes, a whole number of 16-bit words, to Out.
    // Last: the frame ends the folder. Its last bytes then go in an uncompressed block, so that
    // the stream ends on plain bytes: a decoder that looks ahead for its next code (unar) finds
    // them, and one that wants the data to end exactly there (7-Zip) has them end there.
    void EncodeFrame(const std::vector<TLzxParser::TToken>& Tokens, const std::uint8_t* Data,
                     std::size_t Count, std::vector<std::uint8_t>& Out, bool Last = false);

    static constexpr std::size_t FrameSize = TLzxParser::FrameSize;

private:
    // A verbatim block of Count bytes and the trees it sends (taken as the previous ones only
    // when it is kept); an uncompressed block at the writer's place.
    void WriteVerbatim(TLzxBitWriter& Bits, const std::vector<TLzxParser::TToken>& Tokens, std::size_t Count,
                       std::vector<std::uint8_t>& MainLengths, std::vector<std::uint8_t>& LengthLengths);
    void WriteUncompressed(TLzxBitWriter& Bits, const std::uint8_t* Data, std::size_t Count);

    int FPositionSlots;
    bool FFirst = true;
    std::uint32_t FR0 = 1, FR1 = 1, FR2 = 1;
    std::vector<std::uint8_t> FMainLengths;
    std::vector<std::uint8_t> FLengthLengths;
};
