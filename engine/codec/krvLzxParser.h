// The match finder of the LZX encoder: parses a stretch of a folder's data into the literals
// and matches of its frames, given the window of data just before the stretch. A stretch needs
// nothing else of the folder, so several stretches are parsed on several threads at once and
// the frames come out the same whatever the number of threads.
//
// Short hash chains over 4-byte prefixes, the two latest places of each 8-byte prefix for long
// matches far back, the latest place of each 3-byte prefix for short matches near by, and one
// step of lazy evaluation. The three repeated offsets
// are used where this stretch has set them (its matches so far), never values from before it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

class TLzxParser {
public:
    // A literal (the byte) or a match: flag, repeat flag, length less 2 (9 bits), offset (21
    // bits; with the repeat flag, which repeated offset: 0, 1 or 2).
    using TToken = std::uint32_t;
    static constexpr TToken MatchFlag = 0x80000000U;
    static constexpr TToken RepeatFlag = 0x40000000U;
    static bool IsMatch(TToken T) { return (T & MatchFlag) != 0; }
    static bool IsRepeat(TToken T) { return (T & RepeatFlag) != 0; }
    static std::uint32_t LengthOf(TToken T) { return ((T >> 21) & 0x1FF) + 2; }
    static std::uint32_t OffsetOf(TToken T) { return T & 0x1FFFFF; }

    static constexpr std::size_t FrameSize = 32768;
    // The last bytes of each frame are literals: the encoder sends them in blocks of plain
    // bytes (up to three, which need 4 bytes), so no match of a frame runs into them.
    static constexpr std::uint32_t FrameTail = 4;

    // WindowBits 15..21 (clamped).
    explicit TLzxParser(int WindowBits);

    // Parses Count bytes (at most 2 MiB) at Data, whose History bytes before Data belong to the window (they
    // must be readable), into frames of FrameSize bytes (the last may be shorter): Frames[i]
    // gets the tokens of frame i. No match runs into the last FrameTail bytes of its frame.
    void Parse(const std::uint8_t* Data, std::size_t History, std::size_t Count,
               std::vector<std::vector<TToken>>& Frames);

private:
    void Insert(std::uint32_t Pos);
    // Enters Pos everywhere but the table of near places.
    void InsertFar(std::uint32_t Pos);
    // The longest match at Pos of at most Limit bytes that is longer than Best: its length
    // (0: none) and distance.
    std::uint32_t Longest(std::uint32_t Pos, std::uint32_t Limit, std::uint32_t Best,
                          std::uint32_t& Distance) const;
    std::uint32_t LengthAt(std::uint32_t Pos, std::uint32_t Distance, std::uint32_t Limit) const;
    using TRepeats = std::array<std::uint32_t, 3>;
    // A match (0: none) at Pos within Limit bytes, and its offset, with R the repeated offsets.
    std::uint32_t FindMatch(std::uint32_t Pos, std::uint32_t Limit, const TRepeats& R,
                            std::uint32_t& Offset) const;

    std::size_t FWindow;
    const std::uint8_t* FBase = nullptr; // position 0
    // Links: position + 1 (0: none) and the tag of its bytes. The latest of each bucket, and the
    // one before each position (by position modulo the window).
    std::vector<std::uint32_t> FHead;
    std::vector<std::uint32_t> FChain;
    std::vector<std::uint32_t> FNear; // position + 1 of the latest of each 3-byte prefix
    std::vector<std::uint32_t> FLong; // position + 1 of the two latest of each 8-byte prefix
    std::uint32_t FEnd = 0;           // the end of the readable data
};
