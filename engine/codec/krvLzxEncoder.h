// The LZX encoder of cabinet folders: a window of 2^15 to 2^21 bytes, frames of 32768 bytes
// (one per cabinet data block), each frame one verbatim block whose main and length trees are
// sent as deltas of the previous block's through a pre-tree, or an uncompressed block where
// that is shorter. The frames' literals and matches come from TLzxParser; this part writes
// them in order and keeps what the folder's frames share (trees, repeated offsets). With E8
// translation, the folder's x86 call offsets are made absolute before they are parsed (the
// decoder makes them relative again), so calls to one place repeat. What it writes is what LZX
// decoders (libmspack, cabextract, 7-Zip, unar) read.
#pragma once

#include "engine/codec/krvLzxParser.h"

#include <cstdint>
#include <vector>

class TLzxBitWriter;

class TLzxEncoder {
public:
    // WindowBits 15..21 (clamped). E8Size: the translation size the stream declares (0: no
    // translation); the caller translates the frames with TranslateE8.
    explicit TLzxEncoder(int WindowBits, std::uint32_t E8Size = 0);

    // The translation a decoder undoes, done on the frame of Count bytes that starts Position
    // bytes into the folder: each 0xE8 byte before the frame's last 10 takes the 4 bytes after
    // it, as a call's offset relative to the 0xE8, to the absolute place when it lies in
    // [0, Size); the 4 bytes are passed over either way. Frames past the first 2^30 bytes are
    // left as they are.
    static void TranslateE8(std::uint8_t* Frame, std::size_t Count, std::uint64_t Position,
                            std::uint32_t Size);

    // Encodes the next frame of the folder (Count <= 32768; only the last frame may be
    // shorter) from its tokens (no match runs into its last TLzxParser::FrameTail bytes, as
    // TLzxParser parses) and appends its bytes, a whole number of 16-bit words, to Out.
    // A frame's last bytes go in an uncompressed block, so that each frame ends on plain bytes:
    // a decoder that looks ahead for its next code past the end of a frame (unar) finds them,
    // and one that wants the data to end exactly there (7-Zip) has them end there.
    void EncodeFrame(const std::vector<TLzxParser::TToken>& Tokens, const std::uint8_t* Data,
                     std::size_t Count, std::vector<std::uint8_t>& Out);

    static constexpr std::size_t FrameSize = TLzxParser::FrameSize;

private:
    // A verbatim block of Count bytes and the trees it sends (taken as the previous ones only
    // when it is kept); an uncompressed block at the writer's place.
    void WriteVerbatim(TLzxBitWriter& Bits, const std::vector<TLzxParser::TToken>& Tokens, std::size_t Count,
                       std::vector<std::uint8_t>& MainLengths, std::vector<std::uint8_t>& LengthLengths);
    void WriteUncompressed(TLzxBitWriter& Bits, const std::uint8_t* Data, std::size_t Count);
    // Count plain bytes as one uncompressed block, or (Split) as more whose bytes add 2 modulo
    // 4, the last of even length where Count allows; none: the bits aligned.
    void WritePlain(TLzxBitWriter& Bits, const std::uint8_t* Data, std::size_t Count, bool Split);

    // The stream's first bits: whether E8 translation is on, and its size.
    void WriteHeader(TLzxBitWriter& Bits);

    int FPositionSlots;
    std::uint32_t FE8Size;
    bool FFirst = true;
    std::uint64_t FWritten = 0; // the folder's bytes so far
    std::uint32_t FR0 = 1, FR1 = 1, FR2 = 1;
    std::vector<std::uint8_t> FMainLengths;
    std::vector<std::uint8_t> FLengthLengths;
};
