// The header lines of uuencoded and xxencoded text, read the same way by the lister and the
// decoder: "begin MODE NAME" opens the data, "end" closes them.
#pragma once

#include <string>
#include <string_view>

// The name of a "begin MODE NAME" line (empty when the line is not one): MODE is octal, the
// name is the field after it, up to its first blank.
std::string UUBeginLineName(std::string_view Line);

// "end", perhaps followed by blanks.
bool IsUUEndLine(std::string_view Line);
