#include "engine/core/krvUURecords.h"

std::string UUBeginLineName(std::string_view Line) {
    if (!Line.starts_with("begin ")) return {};
    const std::size_t mode = Line.find_first_not_of(' ', 6);
    if (mode == std::string_view::npos) return {};
    const std::size_t modeEnd = Line.find(' ', mode);
    if (modeEnd == std::string_view::npos) return {};
    for (std::size_t i = mode; i < modeEnd; ++i)
        if (Line[i] < '0' || Line[i] > '7') return {};
    const std::size_t name = Line.find_first_not_of(' ', modeEnd);
    if (name == std::string_view::npos) return {};
    return std::string(Line.substr(name, Line.find(' ', name) - name));
}

bool IsUUEndLine(std::string_view Line) {
    return Line.starts_with("end") && Line.find_first_not_of(' ', 3) == std::string_view::npos;
}
