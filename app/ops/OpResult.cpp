#include "app/ops/OpResult.h"

#include "engine/core/krvErrorCodes.h"

#include <algorithm>

namespace {

constexpr TOpCause CauseOrder[] = {
    TOpCause::Unsupported,      TOpCause::WrongPassword, TOpCause::Crc,      TOpCause::OutputBlocked,
    TOpCause::SourceUnreadable, TOpCause::NameRefused,   TOpCause::DiskFull, TOpCause::Other};

} // namespace

int TOpResult::Count(TOpCause Cause) const {
    return FCauseCounts[static_cast<int>(Cause)];
}

void TOpResult::Fail(const std::string& Entry, TOpCause Cause, int ECode, const std::string& Detail) {
    if (Cause == TOpCause::Cancelled) {
        Cancelled = true;
        return;
    }
    if (Cause == TOpCause::NameRefused)
        ++Refused;
    else
        ++Failed;
    ++FCauseCounts[static_cast<int>(Cause)];
    if (Failures.size() < MaxFailuresKept) Failures.push_back({Entry, Cause, ECode, Detail});
}

TOpCause CauseOf(int ECode, bool Source) {
    if (Source && (ECode == ecErrorOpeningFile || ECode == ecErrorReadingFile))
        return TOpCause::SourceUnreadable;
    switch (ECode) {
    case ecUnsupportedCompressionMethod:
    case ecUnsupportedVersion:
        return TOpCause::Unsupported;
    case ecInvalidPassword:
    case ecPasswordFailed:
    case ecPasswordNotAssigned:
        return TOpCause::WrongPassword;
    case ecFileFailsCRCCheck:
    case ecHeaderCRCError:
    case ecDecompressionError:
    case ecBadHuffmanCode:
    case ecInvalidCodeEncountered:
    case ecBadBlock:
    case ecCorruptInput:
    case ecFileContainsInvalidDecodeTree:
    case ecIncompleteCodeSet:
    case ecBadLengths:
        return TOpCause::Crc;
    case ecErrorWritingToFile:
    case ecErrorCreatingFile:
    case ecErrorOpeningFile:
    case ecErrorCreatingDir:
    case ecUnableToCreateDirectory:
    case ecErrorClosingFile:
    case ecFileIsADirectory:
        return TOpCause::OutputBlocked;
    case ecInvalidFileName:
        return TOpCause::NameRefused;
    case ecDiskFull:
    case ecNotEnoughDiskSpace:
        return TOpCause::DiskFull;
    case ecUserCanceled:
        return TOpCause::Cancelled;
    default:
        return TOpCause::Other;
    }
}

QString CauseName(TOpCause Cause) {
    switch (Cause) {
    case TOpCause::Unsupported:
        return QStringLiteral("Unsupported method");
    case TOpCause::WrongPassword:
        return QStringLiteral("Wrong password");
    case TOpCause::Crc:
        return QStringLiteral("CRC error");
    case TOpCause::OutputBlocked:
        return QStringLiteral("Output blocked");
    case TOpCause::SourceUnreadable:
        return QStringLiteral("Source unreadable");
    case TOpCause::NameRefused:
        return QStringLiteral("Name refused");
    case TOpCause::DiskFull:
        return QStringLiteral("Disk full");
    case TOpCause::Cancelled:
        return QStringLiteral("Cancelled");
    case TOpCause::Other:
        break;
    }
    return QStringLiteral("Other error");
}

QString CauseLines(const TOpResult& Result) {
    QString lines;
    for (TOpCause cause : CauseOrder)
        if (const int n = Result.Count(cause); n > 0)
            lines += QStringLiteral("\r\n") + CauseName(cause) + QStringLiteral(": ") + QString::number(n);
    return lines;
}

QString ExtractSummary(const TOpResult& Result) {
    const QString count = QStringLiteral("Files Extracted: ") + QString::number(Result.Done);
    if (Result.Cancelled) return QStringLiteral("Extraction cancelled.\r\n\r\n") + count;
    if (Result.Failed == 0 && Result.Refused == 0) return QStringLiteral("Extraction completed.\r") + count;
    QString head;
    const int causes = static_cast<int>(std::count_if(std::begin(CauseOrder), std::end(CauseOrder),
                                                      [&Result](TOpCause C) { return Result.Count(C) > 0; }));
    // One cause alone keeps its own message; several are listed below the common one.
    if (causes == 1 && Result.Count(TOpCause::WrongPassword) > 0)
        head = QStringLiteral("Invalid password error. One or more encrypted \r\nfiles were not extracted.");
    else if (causes == 1 && Result.Count(TOpCause::Crc) > 0)
        head = QStringLiteral("CRC error detected. The extracted files may be corrupted.");
    else if (causes == 1 && Result.Count(TOpCause::DiskFull) > 0)
        head = QStringLiteral("Extraction stopped: the disk is full.");
    else if (causes == 1 && Result.Count(TOpCause::Unsupported) > 0)
        head = QStringLiteral("Some files use a method this program cannot extract.");
    else if (causes == 1 && Result.Count(TOpCause::OutputBlocked) > 0)
        head = QStringLiteral("Some files could not be written: their output path is blocked.");
    else if (causes == 1 && Result.Count(TOpCause::NameRefused) > 0)
        head = QStringLiteral("Some files were refused: their names would leave the destination folder.");
    else
        head = QStringLiteral("Some files could not be extracted; the output log names them.");
    return head + QStringLiteral("\r\n\r\n") + count + QStringLiteral("\r\nFiles Failed: ") +
           QString::number(Result.Failed) + QStringLiteral("\r\nFiles Refused: ") +
           QString::number(Result.Refused) + CauseLines(Result);
}
