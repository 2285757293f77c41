// The engine's wildcard matcher: '*' stands for any run of characters (also none), '?' for
// exactly one character, anything else for itself. A mask matches whole names only. Letters
// A-Z compare without regard to case; other bytes compare exactly. Names are UTF-8: '?' takes
// one whole character, and a byte that does not form a valid UTF-8 character counts as one.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// A compiled mask.
class TInternalMask {
public:
    // The empty mask: it matches the empty name only.
    TInternalMask() = default;
    explicit TInternalMask(std::string_view Mask) { Compile(Mask); }

    void Compile(std::string_view Mask);
    // A mask that matches exactly Name, byte for byte, without wildcards or case folding.
    static TInternalMask Exact(std::string_view Name);

    bool Matches(std::string_view Name) const;

    // Two masks that compile to the same items match the same names.
    bool operator==(const TInternalMask&) const = default;

private:
    enum TItemKind : std::uint8_t { ikLiteral, ikAnyChar, ikEnd };
    struct TMaskItem {
        bool StarBefore = false; // any run of characters may come before this item
        TItemKind Kind = ikEnd;
        std::uint8_t Char = 0; // the byte of a literal, upper-cased when it is a letter
        bool operator==(const TMaskItem&) const = default;
    };
    std::vector<TMaskItem> FItems{TMaskItem{}};
    bool FExact = false;
};

// True when Name matches Mask.
bool WildMatch(std::string_view Name, std::string_view Mask);

// The length in bytes of the UTF-8 character that begins at Pos (1 for a byte that does not
// begin a valid character). Pos must be inside Text.
std::size_t Utf8CharLength(std::string_view Text, std::size_t Pos);
