#include "engine/core/krvWildMatch.h"

namespace {

std::uint8_t UpCaseAscii(char C) {
    auto b = static_cast<std::uint8_t>(C);
    return b >= 'a' && b <= 'z' ? static_cast<std::uint8_t>(b - ('a' - 'A')) : b;
}

} // namespace

std::size_t Utf8CharLength(std::string_view Text, std::size_t Pos) {
    auto lead = static_cast<std::uint8_t>(Text[Pos]);
    std::size_t len;
    if (lead >= 0xC2 && lead <= 0xDF)
        len = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        len = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        len = 4;
    else
        return 1;
    if (Text.size() - Pos < len) return 1;
    for (std::size_t i = 1; i < len; ++i) {
        auto b = static_cast<std::uint8_t>(Text[Pos + i]);
        if (b < 0x80 || b > 0xBF) return 1;
    }
    return len;
}

void TInternalMask::Compile(std::string_view Mask) {
    FItems.clear();
    FExact = false;
    bool star = false;
    for (char c : Mask) {
        if (c == '*') {
            star = true; // several stars count as one
            continue;
        }
        TMaskItem item;
        item.StarBefore = star;
        if (c == '?') {
            item.Kind = ikAnyChar;
        } else {
            item.Kind = ikLiteral;
            item.Char = UpCaseAscii(c);
        }
        FItems.push_back(item);
        star = false;
    }
    TMaskItem end;
    end.StarBefore = star;
    FItems.push_back(end);
}

TInternalMask TInternalMask::Exact(std::string_view Name) {
    TInternalMask mask;
    mask.FItems.clear();
    mask.FExact = true;
    for (char c : Name) {
        TMaskItem item;
        item.Kind = ikLiteral;
        item.Char = static_cast<std::uint8_t>(c);
        mask.FItems.push_back(item);
    }
    mask.FItems.push_back(TMaskItem{});
    return mask;
}

// Items match left to right. The last item with a star before it is the one place to go back
// to: when a later item fails, that item is tried again one character further on. Stars
// before it need not be revisited, since the last star can take up any run a retry would.
bool TInternalMask::Matches(std::string_view Name) const {
    constexpr std::size_t none = static_cast<std::size_t>(-1);
    std::size_t item = 0;
    std::size_t pos = 0;
    std::size_t starItem = none;
    std::size_t starPos = 0;
    for (;;) {
        const TMaskItem& it = FItems[item];
        if (it.StarBefore && starItem != item) {
            if (it.Kind == ikEnd) return true; // a trailing star takes the rest of the name
            starItem = item;
            starPos = pos;
        }
        if (it.Kind == ikEnd) {
            if (pos == Name.size()) return true;
        } else if (pos < Name.size()) {
            if (it.Kind == ikAnyChar) {
                pos += Utf8CharLength(Name, pos);
                ++item;
                continue;
            }
            std::uint8_t c = FExact ? static_cast<std::uint8_t>(Name[pos]) : UpCaseAscii(Name[pos]);
            if (c == it.Char) {
                ++pos;
                ++item;
                continue;
            }
        }
        if (starItem == none || starPos >= Name.size()) return false;
        starPos += Utf8CharLength(Name, starPos);
        pos = starPos;
        item = starItem;
    }
}

bool WildMatch(std::string_view Name, std::string_view Mask) {
    return TInternalMask(Mask).Matches(Name);
}
