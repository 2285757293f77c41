#include "app/ops/OpRepair.h"

#include "app/common/QtStrings.h"
#include "app/ops/OpRun.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/zip/ZipFix.h"

#include <QFile>
#include <QFileInfo>
#include <exception>

QString RepairTarget(const QString& Source) {
    const QFileInfo source(QFileInfo(Source).absoluteFilePath());
    return source.absolutePath() + QLatin1Char('/') + source.completeBaseName() +
           QStringLiteral("_fixed.zip");
}

TRepairResult Repair(const TRepairOptions& Options, TOpObserver& Observer) {
    TRepairResult result;
    const QString source = QFileInfo(Options.Source).absoluteFilePath();
    const QString target = QFileInfo(Options.Target).absoluteFilePath();
    if (target == source || (QFileInfo::exists(target) && QFileInfo(target).canonicalFilePath() ==
                                                              QFileInfo(source).canonicalFilePath())) {
        result.Refusal = TRepairRefusal::SameFile;
        return result;
    }
    Observer.LogProgress(QStringLiteral(":: REPAIR ZIP ARCHIVE ::"));
    Observer.LogProgress(QStringLiteral("> Source File : ") + source);
    Observer.LogProgress(QStringLiteral("> Fixed File  : ") + target);
    Observer.LogProgress(QStringLiteral(">"));
    TZipFix fix;
    TOpRun run(Observer, result);
    run.BindCommon(fix);
    fix.OnFileFound = [&](TZipFix&, const std::string& FileName, bool OK) {
        ++result.Found;
        // The sound entries are the run's progress; the corrupted ones are its errors.
        const QString line =
            QStringLiteral("> ") + (FileName.empty() ? QStringLiteral("?? filename ??") : Str(FileName)) +
            (OK ? QStringLiteral("\t ... seems to be OK") : QStringLiteral("\t ... is corrupted"));
        if (OK)
            Observer.LogProgress(line);
        else
            Observer.Log(line);
        // An entry found but not recovered is a failure of the repair.
        if (OK)
            ++result.Done;
        else
            result.Fail(FileName, TOpCause::Other, ecBadFileHeader);
    };
    result.Started = true;
    try {
        fix.FixFile(source.toStdString(), target.toStdString());
    } catch (const std::exception& Error) {
        result.Fail({}, TOpCause::Other, ecUnknownError, Error.what());
    }
    run.Finish();
    // A fixed file without one sound entry is no repair.
    if (result.Done == 0 && QFileInfo::exists(target)) QFile::remove(target);
    result.Written = result.Done > 0 && QFileInfo::exists(target);
    Observer.LogProgress(QStringLiteral(">"));
    Observer.Log(QStringLiteral("> %1 out of %2 files were recovered.").arg(result.Done).arg(result.Found));
    return result;
}

QString RepairRefusalText(TRepairRefusal Refusal) {
    if (Refusal == TRepairRefusal::SameFile)
        return QString::fromLatin1(ErrorText(ecSameInputAndOutputFileNames));
    return {};
}
