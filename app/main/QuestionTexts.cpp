#include "app/main/QuestionTexts.h"

#include <QDateTime>

QString QuestionDateText(TDateTime Date) {
    // Days since 1899-12-30, as the engine keeps them.
    const QDateTime base(QDate(1899, 12, 30), QTime(0, 0));
    return base.addMSecs(static_cast<qint64>(Date * 86400000.0)).toString(QStringLiteral("MM-dd-yy hh:mm"));
}

bool IsPlainFileName(const QString& Name) {
    return !Name.isEmpty() && !Name.contains(QLatin1Char('/')) && !Name.contains(QLatin1Char('\\')) &&
           Name != QLatin1String(".") && Name != QLatin1String("..");
}
