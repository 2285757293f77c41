// The text form of one registry root, in the style of a REGEDIT4 export:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Quillar\View]
//   @="the key's default value"
//   "ColDate"=dword:00000001
//   "Icon"=hex:01,ff,20
//
// Every key has its own [section], the root's name first; keys without values keep an empty
// section, so they survive a save. In quoted names and texts a backslash, a double quote and
// every control character are escaped (\\, \", \xHH), so any text round-trips and every
// entry stays on one line.
#pragma once

#include "platform/RegistryTree.h"

#include <string>
#include <string_view>

std::string FormatRegistryText(const TRegKeyNode& Root, std::string_view RootName);

struct TRegParseResult {
    TRegKeyNode Root;
    int BadLines = 0; // lines that could not be read; they are left out of Root
};

// Reads what FormatRegistryText wrote. Damaged text never fails as a whole: lines that make no
// sense (a section of another root, a value before any section, a bad escape or number) are
// counted and skipped, and everything else is kept.
TRegParseResult ParseRegistryText(std::string_view Text, std::string_view RootName);
