// The header lines of uuencoded and xxencoded text, read the same way by the lister and the
// decoder: "begin MODE NAME" opens the data, "end" closes them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct TUUBegin {
    std::string Name;       // the rest of the line after the mode (blanks inside kept)
    std::uint32_t Mode = 0; // the octal mode
};

// Reads a "begin MODE NAME" line; false when the line is not one.
bool ParseUUBeginLine(std::string_view Line, TUUBegin& Begin);

// "end", perhaps followed by blanks.
bool IsUUEndLine(std::string_view Line);

// What a text without a "begin" line of a file within its first MaxLines lines (0: at all) is
// reported with.
std::string NoBeginText(int MaxLines);
