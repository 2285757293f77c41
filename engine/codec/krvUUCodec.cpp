#include "engine/codec/krvUUCodec.h"

namespace {

constexpr std::string_view XXChars = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

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
    Out.clear();
    if (Line.empty()) return TUULine::NotData;
    const int count = A.Value(Line[0]);
    if (count < 0) return TUULine::NotData;
    // The groups that hold Count bytes; the last one may end after 2 or 3 characters.
    const std::size_t need = 1 + (static_cast<std::size_t>(count) * 4 + 2) / 3;
    if (Line.size() < need) return TUULine::Damaged;
    int v[4];
    for (std::size_t p = 1; static_cast<int>(Out.size()) < count; p += 4) {
        for (std::size_t i = 0; i < 4; ++i) {
            v[i] = p + i < need ? A.Value(Line[p + i]) : 0;
            if (v[i] < 0) return TUULine::Damaged;
        }
        const char bytes[3] = {static_cast<char>((v[0] << 2) | (v[1] >> 4)),
                               static_cast<char>(((v[1] & 15) << 4) | (v[2] >> 2)),
                               static_cast<char>(((v[2] & 3) << 6) | v[3])};
        Out.append(bytes, std::min<std::size_t>(3, static_cast<std::size_t>(count) - Out.size()));
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
