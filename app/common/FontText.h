// The text form of a font that the settings keep (the archive list's font):
// "Color|Height|Name|Pitch|PixelsPerInch|Size|" and four letters y/n for bold, italic,
// underline and strike-out, e.g. "-2147483640|-11|MS Sans Serif|0|96|8|nnnn".
#pragma once

#include <QColor>
#include <QFont>
#include <cstdint>
#include <string>

struct TFontData {
    std::int32_t Color = 0;  // 0x00BBGGRR, or a system colour (negative)
    std::int32_t Height = 0; // negative: the character height in pixels
    std::string Name;
    std::int32_t Pitch = 0; // 0 default, 1 variable, 2 fixed
    std::int32_t PixelsPerInch = 96;
    std::int32_t Size = 0; // points
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;

    bool operator==(const TFontData&) const = default;
};

std::string FontToString(const TFontData& Font);
// Reads Text into Font. An empty Text changes nothing; text that cannot be read (a number field
// that is no 32-bit decimal number, fewer than four style letters) changes nothing and gives
// false.
bool StringToFont(const std::string& Text, TFontData& Font);

// A Qt font and its colour in this form, and back. A system colour is the palette's text colour.
TFontData FontDataOf(const QFont& Font, const QColor& Color);
QFont FontOf(const TFontData& Font);
QColor FontColorOf(const TFontData& Font);
