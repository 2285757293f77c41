#include "app/common/QuestionTexts.h"

#include <QDateTime>

QString QuestionDateText(TDateTime Date) {
    // Days since 1899-12-30, as the engine keeps them.
    const QDateTime base(QDate(1899, 12, 30), QTime(0, 0));
    return base.addMSecs(static_cast<qint64>(Date * 86400000.0)).toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

QString ReplaceQuestionText(const QString& FileName, std::int64_t FileSize, TDateTime Date,
                            const QString& NewFileName, std::int64_t NewFileSize, TDateTime NewDate) {
    const QString gap = QStringLiteral("   ");
    return QStringLiteral("Do you want to replace this file:\r   ") + FileName + "\r" + gap +
           "Size: " + QString::number(FileSize) + " bytes " + gap + "Date: " + QuestionDateText(Date) +
           "\r\r" + "With this file ?" + "\r" + gap + NewFileName + "\r" + gap +
           "Size: " + QString::number(NewFileSize) + " bytes " + gap + "Date: " + QuestionDateText(NewDate);
}

QString IncomingFileText(const QString& Name, std::int64_t Size, TDateTime Date) {
    QString text = Name + QLatin1Char('\n') + QString::number(Size) + QStringLiteral(" bytes");
    if (Date > 0) text += QStringLiteral(", ") + QuestionDateText(Date);
    return text;
}

bool IsPlainFileName(const QString& Name) {
    return !Name.isEmpty() && !Name.contains(QLatin1Char('/')) && !Name.contains(QLatin1Char('\\')) &&
           Name != QLatin1String(".") && Name != QLatin1String("..");
}
