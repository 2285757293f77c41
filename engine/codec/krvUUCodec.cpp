#include "engine/codec/krvUUCodec.h"

namespace {

constexpr std::string_view XXChars = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::size_t MaxCheckChars = 2; // the check characters some encoders add to a line

} // namespace

void TUUAlphabet::Set(std::string_view Chars) {
    for (int v = Size - 1; v >= 0; --v)
        FTable[static_cast<std::uint8_t>(Chars[static_cast<std::size_t>(v)])] = static_cast<std::int8_t>(v);
    FFullLine = Chars[FullLineBytes];
}

TUUAlphabet TUUAlphabet::UU() {
    TUUAlphabet a;
    std::string chars = "`";
    for (char c = '!'; c <= '_'; ++c)
        chars += c;
    a.Set(chars);
    a.FTable[static_cast<std::uint8_t>(' ')] = 0;
    return a;
}

TUUAlphabet TUUAlphabet::XX() {
    TUUAlphabet a;
    a.Set(XXChars);
    return a;
}

std::optional<TUUAlphabet> TUUAlphabet::Custom(std::string_view Chars) {
    if (Chars.size() < Size) return std::nullopt;
    TUUAlphabet a;
    a.Set(Chars.substr(0, Size));
    return a;
}

TUULine DecodeUULine(const TUUAlphabet& A, std::string_view Line, std::string& Out) {
    if (Line.empty()) return TUULine::NotData;
    const int count = A.Value(Line[0]);
    if (count < 0) return TUULine::NotData;
    // The groups that hold Count bytes; the last one may end after 2 or 3 characters.
    const std::size_t need = 1 + (static_cast<std::size_t>(count) * 4 + 2) / 3;
    // Some encoders add a check character or two; a line longer than that is not what its
    // count says (the count or the line is damaged).
    if (Line.size() < need || Line.size() > TUUAlphabet::LineLength(count) + MaxCheckChars)
        return TUULine::Damaged;
    const std::size_t start = Out.size();
    Out.resize(start + static_cast<std::size_t>(count));
    auto* out = reinterpret_cast<std::uint8_t*>(Out.data() + start);
    const char* in = Line.data() + 1;
    // Whole groups: four characters give three bytes; a character outside the alphabet has a
    // negative value, which the or of the four shows.
    for (int left = count; left >= 3; left -= 3, in += 4, out += 3) {
        const int a = A.Value(in[0]), b = A.Value(in[1]), c = A.Value(in[2]), d = A.Value(in[3]);
        if ((a | b | c | d) < 0) {
            Out.resize(start);
            return TUULine::Damaged;
        }
        out[0] = static_cast<std::uint8_t>((a << 2) | (b >> 4));
        out[1] = static_cast<std::uint8_t>(((b & 15) << 4) | (c >> 2));
        out[2] = static_cast<std::uint8_t>(((c & 3) << 6) | d);
    }
    // The last one or two bytes come from two or three characters.
    const int rest = count % 3;
    if (rest > 0) {
        const int a = A.Value(in[0]), b = A.Value(in[1]), c = rest == 2 ? A.Value(in[2]) : 0;
        if ((a | b | c) < 0) {
            Out.resize(start);
            return TUULine::Damaged;
        }
        out[0] = static_cast<std::uint8_t>((a << 2) | (b >> 4));
        if (rest == 2) out[1] = static_cast<std::uint8_t>(((b & 15) << 4) | (c >> 2));
    }
    return TUULine::Data;
}

std::optional<TUUAlphabet> AlphabetOfFirstLine(std::string_view Line) {
    if (Line.empty()) return std::nullopt;
    const TUUAlphabet candidates[] = {TUUAlphabet::UU(), TUUAlphabet::XX()};
    for (const TUUAlphabet& a : candidates) {
        const int count = a.Value(Line[0]);
        if (count >= 0 && Line.size() == TUUAlphabet::LineLength(count)) return a;
    }
    std::string out;
    for (const TUUAlphabet& a : candidates)
        if (DecodeUULine(a, Line, out) == TUULine::Data) return a;
    return std::nullopt;
}
