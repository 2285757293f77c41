// The match finder the LZX and Quantum encoders share: the data of a folder seen so far (one
// window of it kept before the frame being encoded), hash chains over 3-byte prefixes, and
// the longest earlier match within a distance.
#pragma once

#include <cstdint>
#include <vector>

class TLzMatcher {
public:
    // Window: how far back matches may reach (a power of two).
    TLzMatcher(std::size_t Window, std::size_t MaxMatch, int MaxChain);

    // Appends the next frame's data; returns the absolute position of its first byte.
    std::size_t Append(const std::uint8_t* Data, std::size_t Count);
    // Enters the 3 bytes at Pos (all of them appended) into the chains.
    void Insert(std::size_t Pos);
    // The longest match at Pos of at most Limit bytes, Distance at most MaxDistance back, found
    // through the chains; better than Best only. Its length (0: none better) and distance.
    std::uint32_t Longest(std::size_t Pos, std::size_t Limit, std::size_t MaxDistance, std::uint32_t Best,
                          std::uint32_t& Distance) const;
    // How many bytes at Pos match those Distance back (at most Limit).
    std::uint32_t LengthAt(std::size_t Pos, std::size_t Distance, std::size_t Limit) const;
    std::uint8_t Byte(std::size_t Pos) const { return FHistory[Pos - FBase]; }
    // The first position still kept.
    std::size_t Base() const { return FBase; }

private:
    std::size_t FWindow;
    std::size_t FMaxMatch;
    int FMaxChain;
    std::vector<std::uint8_t> FHistory;
    std::size_t FBase = 0;
    std::vector<std::int64_t> FHead;
    std::vector<std::int64_t> FChain;
};
