// The engine's UTF-8 strings as Qt strings and back.
#pragma once

#include <QString>
#include <string>

inline QString Str(const std::string& Text) {
    return QString::fromStdString(Text);
}

inline std::string Std(const QString& Text) {
    return Text.toStdString();
}
