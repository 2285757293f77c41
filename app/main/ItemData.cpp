#include "app/main/ItemData.h"

#include <QDateTime>
#include <QLocale>

namespace {

// The locale's short date and short time, with '-' between the parts of the date.
const QString& DateTimeFormat() {
    static const QString format = [] {
        const QLocale locale = QLocale::system();
        if (locale.language() == QLocale::C) return QStringLiteral("yyyy-MM-dd HH:mm");
        QString date = locale.dateFormat(QLocale::ShortFormat);
        date.replace(QLatin1Char('/'), QLatin1Char('-')).replace(QLatin1Char('.'), QLatin1Char('-'));
        QString time = locale.timeFormat(QLocale::ShortFormat);
        time.remove(QStringLiteral(":ss"));
        return date + QLatin1Char(' ') + time;
    }();
    return format;
}

} // namespace

QString DateText(TDateTime Date) {
    const TDateTimeParts p = DecodeDateTime(Date);
    const QDateTime value(QDate(p.Year, p.Month, p.Day), QTime(p.Hour, p.Minute, p.Second));
    return QLocale::system().toString(value, DateTimeFormat());
}

QString AttrText(const std::string& Letters, std::uint32_t Attr) {
    return QString::fromStdString(Letters) + QStringLiteral(" (") + QString::number(Attr) + QLatin1Char(')');
}

QString CrcText(std::uint32_t Crc) {
    return QStringLiteral("%1").arg(Crc, 8, 16, QLatin1Char('0')).toUpper();
}

QString SizeText(std::int64_t Size) {
    return QString::number(static_cast<qlonglong>(Size));
}
