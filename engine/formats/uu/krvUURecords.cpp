#include "engine/formats/uu/krvUURecords.h"

bool ParseUUBeginLine(std::string_view Line, TUUBegin& Begin) {
    if (!Line.starts_with("begin ")) return false;
    const std::size_t mode = Line.find_first_not_of(' ', 6);
    if (mode == std::string_view::npos) return false;
    const std::size_t modeEnd = Line.find(' ', mode);
    if (modeEnd == std::string_view::npos || modeEnd - mode > 6) return false;
    std::uint32_t value = 0;
    for (std::size_t i = mode; i < modeEnd; ++i) {
        if (Line[i] < '0' || Line[i] > '7') return false;
        value = value * 8 + static_cast<std::uint32_t>(Line[i] - '0');
    }
    // The name is the rest of the line: encoders write names with blanks as they are.
    const std::size_t name = Line.find_first_not_of(' ', modeEnd);
    const std::size_t last = Line.find_last_not_of(" \t\r");
    if (name == std::string_view::npos || last == std::string_view::npos || last < name) return false;
    // A control character is no part of a name: the line is damaged (or runs into the next).
    for (std::size_t i = name; i <= last; ++i)
        if (static_cast<unsigned char>(Line[i]) < 0x20 && Line[i] != '\t') return false;
    Begin.Name = std::string(Line.substr(name, last + 1 - name));
    Begin.Mode = value;
    return true;
}

bool IsUUEndLine(std::string_view Line) {
    return Line.starts_with("end") && Line.find_first_not_of(' ', 3) == std::string_view::npos;
}

std::string NoBeginText(int MaxLines) {
    return MaxLines > 0 ? "no \"begin\" line of a file in the first " + std::to_string(MaxLines) + " lines"
                        : "no \"begin\" line of a file";
}
