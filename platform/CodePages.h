// Code-page conversion for stored names. The OEM code page of DOS archives is CP437, the
// ANSI code page CP1252; the local side is UTF-8.
#pragma once

#include <string>
#include <string_view>

enum class TCodePage { Oem, Ansi };

// Always succeeds: every byte of CP437 and CP1252 has a meaning (CP1252's five unassigned
// bytes are taken as the C1 controls of the same value).
std::string CodePageToUtf8(std::string_view Text, TCodePage From);
// False, with Out unchanged, when Text is not valid UTF-8 or holds a character the code page
// does not have.
bool Utf8ToCodePage(std::string_view Text, TCodePage To, std::string& Out);
// True when Text is valid UTF-8.
bool IsValidUtf8(std::string_view Text);
// True when every byte of Text is below 0x80: the same text in every code page and in UTF-8.
bool IsAsciiText(std::string_view Text);
