#include "platform/RegistryText.h"

#include <cstdio>
#include <optional>

namespace {

constexpr std::string_view Header = "REGEDIT4";

int HexDigit(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
}

void AppendQuoted(std::string& Out, std::string_view Text) {
    Out += '"';
    for (const char c : Text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            Out += '\\';
            Out += c;
        } else if (u < 0x20 || u == 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", u);
            Out += escape;
        } else {
            Out += c;
        }
    }
    Out += '"';
}

void AppendValue(std::string& Out, const TRegValue& Value) {
    if (Value.Name.empty()) {
        Out += '@';
    } else {
        AppendQuoted(Out, Value.Name);
    }
    Out += '=';
    char number[16];
    switch (Value.Type) {
    case rdInteger:
        std::snprintf(number, sizeof number, "dword:%08x", static_cast<unsigned>(Value.Integer));
        Out += number;
        break;
    case rdBinary:
        Out += "hex:";
        for (std::size_t i = 0; i < Value.Data.size(); ++i) {
            std::snprintf(number, sizeof number, i ? ",%02x" : "%02x",
                          static_cast<unsigned char>(Value.Data[i]));
            Out += number;
        }
        break;
    default:
        AppendQuoted(Out, Value.Data);
        break;
    }
    Out += '\n';
}

void AppendKey(std::string& Out, const TRegKeyNode& Key, const std::string& Path, bool IsRoot) {
    if (!IsRoot || !Key.Values.empty()) {
        Out += '\n';
        Out += '[' + Path + "]\n";
        for (const TRegValue& value : Key.Values)
            AppendValue(Out, value);
    }
    for (const TRegKeyNode& sub : Key.SubKeys)
        AppendKey(Out, sub, Path + '\\' + sub.Name, false);
}

// Reads a quoted text at Pos (which points at the opening quote); Pos ends behind the closing one.
std::optional<std::string> ReadQuoted(std::string_view Line, std::size_t& Pos) {
    if (Pos >= Line.size() || Line[Pos] != '"') return std::nullopt;
    std::string text;
    for (++Pos; Pos < Line.size(); ++Pos) {
        const char c = Line[Pos];
        if (c == '"') {
            ++Pos;
            return text;
        }
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++Pos >= Line.size()) return std::nullopt;
        const char e = Line[Pos];
        if (e == '\\' || e == '"') {
            text += e;
        } else if (e == 'x' && Pos + 2 < Line.size() && HexDigit(Line[Pos + 1]) >= 0 &&
                   HexDigit(Line[Pos + 2]) >= 0) {
            text += static_cast<char>(HexDigit(Line[Pos + 1]) * 16 + HexDigit(Line[Pos + 2]));
            Pos += 2;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<TRegValue> ReadValueData(std::string_view Data, TRegValue Value) {
    if (!Data.empty() && Data.front() == '"') {
        std::size_t pos = 0;
        auto text = ReadQuoted(Data, pos);
        if (!text || pos != Data.size()) return std::nullopt;
        Value.Type = rdString;
        Value.Data = std::move(*text);
        return Value;
    }
    if (Data.starts_with("dword:")) {
        const std::string_view digits = Data.substr(6);
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        std::uint32_t number = 0;
        for (const char c : digits) {
            if (HexDigit(c) < 0) return std::nullopt;
            number = number * 16 + static_cast<std::uint32_t>(HexDigit(c));
        }
        Value.Type = rdInteger;
        Value.Integer = static_cast<std::int32_t>(number);
        return Value;
    }
    if (Data.starts_with("hex:")) {
        const std::string_view bytes = Data.substr(4);
        Value.Type = rdBinary;
        // Pairs of digits, each pair but the last followed by a comma.
        for (std::size_t i = 0; i < bytes.size(); i += 3) {
            if (i + 2 > bytes.size() || HexDigit(bytes[i]) < 0 || HexDigit(bytes[i + 1]) < 0)
                return std::nullopt;
            if (i + 2 < bytes.size() && bytes[i + 2] != ',') return std::nullopt;
            if (i + 3 == bytes.size()) return std::nullopt; // a comma with nothing after it
            Value.Data += static_cast<char>(HexDigit(bytes[i]) * 16 + HexDigit(bytes[i + 1]));
        }
        return Value;
    }
    return std::nullopt;
}

std::optional<TRegValue> ReadValueLine(std::string_view Line) {
    TRegValue value;
    std::size_t pos = 0;
    if (Line.front() == '@') {
        pos = 1;
    } else {
        auto name = ReadQuoted(Line, pos);
        if (!name || name->empty()) return std::nullopt;
        value.Name = std::move(*name);
    }
    if (pos >= Line.size() || Line[pos] != '=') return std::nullopt;
    return ReadValueData(Line.substr(pos + 1), std::move(value));
}

// The key a [section] line names, or nullopt when it is not a key of this root.
std::optional<std::vector<std::string>> ReadSectionLine(std::string_view Line, std::string_view RootName) {
    if (Line.size() < 2 || Line.back() != ']') return std::nullopt;
    const std::string_view path = Line.substr(1, Line.size() - 2);
    if (!path.starts_with(RootName)) return std::nullopt;
    const std::string_view rest = path.substr(RootName.size());
    if (!rest.empty() && rest.front() != '\\') return std::nullopt;
    // Every part must be a key name: no empty parts in between.
    std::vector<std::string> parts = SplitKeyPath(rest);
    std::size_t length = 0;
    for (const std::string& part : parts) {
        if (!IsValidKeyName(part)) return std::nullopt;
        length += part.size() + 1;
    }
    if (length != rest.size()) return std::nullopt;
    return parts;
}

} // namespace

std::string FormatRegistryText(const TRegKeyNode& Root, std::string_view RootName) {
    std::string out(Header);
    out += '\n';
    AppendKey(out, Root, std::string(RootName), true);
    return out;
}

TRegParseResult ParseRegistryText(std::string_view Text, std::string_view RootName) {
    TRegParseResult result;
    TRegKeyNode* current = nullptr; // valid until the next section line creates keys
    bool first = true;
    std::size_t start = 0;
    while (start < Text.size()) {
        std::size_t end = Text.find('\n', start);
        if (end == std::string_view::npos) end = Text.size();
        std::string_view line = Text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == ';') continue;
        if (first) {
            first = false;
            if (line == Header) continue; // without it, the lines are read all the same
        }
        if (line.front() == '[') {
            auto path = ReadSectionLine(line, RootName);
            if (path) {
                current = &result.Root.Create(*path);
            } else {
                current = nullptr; // the values of an unreadable section are skipped with it
                ++result.BadLines;
            }
            continue;
        }
        auto value = current ? ReadValueLine(line) : std::nullopt;
        if (!value) {
            ++result.BadLines;
            continue;
        }
        current->SetValue(std::move(*value));
    }
    return result;
}
