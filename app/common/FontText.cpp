#include "app/common/FontText.h"

#include <QGuiApplication>
#include <QPalette>
#include <charconv>
#include <optional>

namespace {

std::optional<std::int32_t> ParseNumber(const std::string& Text) {
    std::int32_t value = 0;
    const char* end = Text.data() + Text.size();
    const auto [ptr, ec] = std::from_chars(Text.data(), end, value);
    if (ec != std::errc() || ptr != end || Text.empty()) return std::nullopt;
    return value;
}

char Flag(bool On) {
    return On ? 'y' : 'n';
}

} // namespace

std::string FontToString(const TFontData& Font) {
    std::string text;
    for (const std::string& field :
         {std::to_string(Font.Color), std::to_string(Font.Height), Font.Name, std::to_string(Font.Pitch),
          std::to_string(Font.PixelsPerInch), std::to_string(Font.Size)}) {
        text += field + '|';
    }
    return text + Flag(Font.Bold) + Flag(Font.Italic) + Flag(Font.Underline) + Flag(Font.StrikeOut);
}

bool StringToFont(const std::string& Text, TFontData& Font) {
    if (Text.empty()) return true;
    std::string fields[6];
    std::size_t pos = 0;
    for (std::string& field : fields) {
        pos = std::min(Text.find_first_not_of('|', pos), Text.size());
        const std::size_t end = std::min(Text.find('|', pos), Text.size());
        field = Text.substr(pos, end - pos);
        pos = end;
    }
    // The rest begins with the '|' after Size; the style letters follow it.
    const std::string styles = Text.substr(pos);
    if (styles.size() < 5) return false;
    const auto color = ParseNumber(fields[0]), height = ParseNumber(fields[1]),
               pitch = ParseNumber(fields[3]), ppi = ParseNumber(fields[4]), size = ParseNumber(fields[5]);
    if (!color || !height || !pitch || !ppi || !size) return false;
    Font = TFontData{*color, *height,          fields[2],        *pitch,           *ppi,
                     *size,  styles[1] == 'y', styles[2] == 'y', styles[3] == 'y', styles[4] == 'y'};
    return true;
}

TFontData FontDataOf(const QFont& Font, const QColor& Color) {
    TFontData data;
    data.Color = static_cast<std::int32_t>(Color.red() | (Color.green() << 8) | (Color.blue() << 16));
    data.Name = Font.family().toStdString();
    data.Pitch = Font.fixedPitch() ? 2 : 0;
    data.Size = Font.pointSize() > 0 ? Font.pointSize() : 0;
    data.Height = Font.pixelSize() > 0 ? -Font.pixelSize() : -((data.Size * data.PixelsPerInch + 36) / 72);
    data.Bold = Font.bold();
    data.Italic = Font.italic();
    data.Underline = Font.underline();
    data.StrikeOut = Font.strikeOut();
    return data;
}

QFont FontOf(const TFontData& Font) {
    QFont font(QString::fromStdString(Font.Name));
    if (Font.Size > 0) {
        font.setPointSize(Font.Size);
    } else if (Font.Height < 0) {
        font.setPixelSize(-Font.Height);
    }
    font.setFixedPitch(Font.Pitch == 2);
    font.setBold(Font.Bold);
    font.setItalic(Font.Italic);
    font.setUnderline(Font.Underline);
    font.setStrikeOut(Font.StrikeOut);
    return font;
}

QColor FontColorOf(const TFontData& Font) {
    if (Font.Color < 0) return QGuiApplication::palette().color(QPalette::WindowText);
    return QColor(Font.Color & 0xFF, (Font.Color >> 8) & 0xFF, (Font.Color >> 16) & 0xFF);
}
