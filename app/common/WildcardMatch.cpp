#include "app/common/WildcardMatch.h"

#include "engine/core/krvWildMatch.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace {

// The characters of a UTF-8 text as code points; a byte that begins no valid character stands
// for itself (above the code point range, so it equals no character).
std::u32string Characters(const std::string& Text) {
    std::u32string chars;
    for (std::size_t i = 0; i < Text.size();) {
        const std::size_t length = Utf8CharLength(Text, i);
        const auto lead = static_cast<unsigned char>(Text[i]);
        char32_t c = length == 1 ? (lead < 0x80 ? lead : 0x110000 + lead) : lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k)
            c = (c << 6) | (static_cast<unsigned char>(Text[i + k]) & 0x3F);
        chars += c;
        i += length;
    }
    return chars;
}

struct TToken {
    enum TKind { tkChar, tkAny, tkSet, tkStar, tkNever } Kind;
    char32_t Char = 0;
    bool Negated = false;
    std::vector<std::pair<char32_t, char32_t>> Ranges; // a single character is a range of one
    bool Matches(char32_t C) const {
        switch (Kind) {
        case tkChar:
            return C == Char;
        case tkAny:
            return true;
        case tkSet: {
            bool found = false;
            for (const auto& [low, high] : Ranges)
                found = found || (C >= low && C <= high);
            return found != Negated;
        }
        default:
            return false;
        }
    }
};

// The pattern as tokens that each take one character, and stars. A run of stars inside the
// pattern is one star; a run of two or more at its end takes at least one character, so it is
// "?*". A set that cannot be read is a token that matches nothing, and ends the pattern.
std::vector<TToken> Tokens(const std::u32string& Pattern) {
    std::vector<TToken> tokens;
    for (std::size_t i = 0; i < Pattern.size(); ++i) {
        const char32_t c = Pattern[i];
        if (c == U'*') {
            std::size_t run = 1;
            while (i + 1 < Pattern.size() && Pattern[i + 1] == U'*')
                ++i, ++run;
            if (run > 1 && i + 1 == Pattern.size()) tokens.push_back({TToken::tkAny});
            tokens.push_back({TToken::tkStar});
        } else if (c == U'?') {
            tokens.push_back({TToken::tkAny});
        } else if (c != U'[') {
            tokens.push_back({TToken::tkChar, c});
        } else {
            TToken set{TToken::tkSet};
            std::size_t k = i + 1;
            if (k >= Pattern.size() || Pattern[k] == U'[' || Pattern[k] == U']') {
                tokens.push_back({TToken::tkNever});
                return tokens;
            }
            set.Negated = Pattern[k] == U'^';
            if (set.Negated) ++k;
            for (; k < Pattern.size() && Pattern[k] != U']'; ++k) {
                if (k + 2 < Pattern.size() && Pattern[k + 1] == U'-' && Pattern[k + 2] != U']') {
                    set.Ranges.emplace_back(Pattern[k], Pattern[k + 2]);
                    k += 2;
                } else {
                    set.Ranges.emplace_back(Pattern[k], Pattern[k]);
                }
            }
            if (k >= Pattern.size()) {
                tokens.push_back({TToken::tkNever}); // no closing ']'
                return tokens;
            }
            tokens.push_back(std::move(set));
            i = k;
        }
    }
    return tokens;
}

} // namespace

bool MatchWildcard(const std::string& Name, const std::string& Pattern) {
    const std::u32string name = Characters(Name);
    const std::vector<TToken> tokens = Tokens(Characters(Pattern));
    // Every token but a star takes one character, so only the last star ever needs to take more:
    // time grows with the product of the lengths, never faster.
    std::size_t p = 0, n = 0, starP = 0, starN = 0;
    bool star = false;
    while (n < name.size()) {
        if (p < tokens.size() && tokens[p].Kind == TToken::tkStar) {
            star = true;
            starP = ++p;
            starN = n;
        } else if (p < tokens.size() && tokens[p].Matches(name[n])) {
            ++p;
            ++n;
        } else if (star) {
            p = starP;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < tokens.size() && tokens[p].Kind == TToken::tkStar)
        ++p;
    return p == tokens.size();
}
