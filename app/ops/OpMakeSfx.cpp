#include "app/ops/OpMakeSfx.h"

#include "app/common/QtStrings.h"
#include "app/ops/OpPack.h"
#include "app/ops/OpRun.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/zip/krvMakeSfx.h"

#include <QFileInfo>

namespace {

QString Absolute(const QString& Name) {
    return QFileInfo(Name).absoluteFilePath();
}

} // namespace

TMakeSfxResult MakeSfx(const TMakeSfxOptions& Options, TOpObserver& Observer) {
    TMakeSfxResult result;
    result.Target = Absolute(Options.Target);
    TMakeSFX maker;
    TOpRun run(Observer, result);
    run.BindCommon(maker);
    maker.OnFileExists = [&](TZipCommon&, const std::string& FileName, TDateTime,
                             TOverwriteMode& OverwriteMode) {
        OverwriteMode = Options.ReplaceConfirmed || Observer.Confirm(SfxReplaceQuestion(Str(FileName)))
                            ? omOverwrite
                            : omSkip;
        result.Skipped = OverwriteMode == omSkip;
    };
    maker.SetArchiveFile(Absolute(Options.Archive).toStdString());
    maker.SetTargetFile(result.Target.toStdString());
    result.Started = true;
    maker.Activate();
    run.Finish();
    if (maker.Cancel()) result.Cancelled = true;
    result.Made =
        result.Failed == 0 && !result.Skipped && !result.Cancelled && QFileInfo::exists(result.Target);
    if (result.Made) result.Done = 1;
    return result;
}

TMakeSfxResult MakeSfxFromFiles(const TMakeSfxFromFilesOptions& Options, TOpObserver& Observer) {
    const QString target = Str(ReplaceFileExt(Absolute(Options.Name).toStdString(), ".exe"));
    // The old program stays until the new one is complete: the maker writes beside it.
    const bool exists = QFileInfo::exists(target);
    if (exists && !Observer.Confirm(QStringLiteral("The file ") + QFileInfo(target).fileName() +
                                    QStringLiteral(" already exist. Do you want to overwrite this file ?"))) {
        TMakeSfxResult result;
        result.Target = target;
        result.Skipped = true;
        return result;
    }
    const TRunFolder folder;
    TAddResult packing;
    if (!folder.Path.empty())
        packing = PackIntoFolder(folder, Options.Name, Options.Files, Options.StoredDirNames, Observer);
    if (!packing.Written) {
        TMakeSfxResult result;
        result.Target = target;
        result.Packing = packing;
        result.NothingPacked = true;
        result.NoTempFolder = folder.Path.empty();
        result.Cancelled = packing.Cancelled;
        return result;
    }
    TMakeSfxResult result = MakeSfx({packing.ArchiveName, target, exists}, Observer);
    result.Packing = packing;
    return result;
}

QString SfxReplaceQuestion(const QString& Target) {
    return Target + QStringLiteral(" already exist. Do you want to overwrite this file ?");
}

QString SfxFailureText(const TOpFailure& Failure) {
    return QStringLiteral("Error making self-extracting executable.\rFilename: ") + Str(Failure.Entry) +
           QStringLiteral("\rError: ") + QString::number(Failure.ECode) + QStringLiteral("\r") +
           QString::fromLatin1(ErrorText(Failure.ECode));
}

QString SfxMadeText(const QString& Target) {
    return Target + QStringLiteral(" created.");
}
