// What a person picks when asked for the next volume of a set whose files follow the rar
// (name.partN.rar, any number of digits) or ace (.ace, .c00, .c01 ...) numbering: the test
// drivers answer the engine's next-volume question with it.
#pragma once

#include <cctype>
#include <cstdio>
#include <string>

namespace testsupport {

// The volume after Current, or empty when its name follows neither scheme.
inline std::string NextVolumeLike(const std::string& Current) {
    const std::size_t dot = Current.rfind('.');
    if (dot == std::string::npos) return {};
    const std::string ext = Current.substr(dot);
    if (ext == ".ace" || ext == ".ACE") return Current.substr(0, dot) + ".c00";
    if (ext.size() == 4 && (ext[1] == 'c' || ext[1] == 'C') &&
        std::isdigit(static_cast<unsigned char>(ext[2])) &&
        std::isdigit(static_cast<unsigned char>(ext[3]))) {
        char next[16];
        std::snprintf(next, sizeof next, ".%c%02d", ext[1], (std::stoi(ext.substr(2)) + 1) % 100);
        return Current.substr(0, dot) + next;
    }
    const std::size_t part = Current.rfind(".part");
    if (part == std::string::npos || ext != ".rar") return {};
    const std::string digits = Current.substr(part + 5, dot - part - 5);
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return {};
    std::string number = std::to_string(std::stoul(digits) + 1);
    if (number.size() < digits.size()) number.insert(0, digits.size() - number.size(), '0');
    return Current.substr(0, part + 5) + number + ext;
}

} // namespace testsupport
