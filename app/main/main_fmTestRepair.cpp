// The integrity test of an archive and the repair of a damaged zip, from the menu and from the
// command line ("-T", "-R"); both write their log into the output window.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/Prompter.h"
#include "app/dialogs/QtStrings.h"
#include "app/dialogs/ViewOutput.h"
#include "app/ops/OpReport.h"
#include "app/ops/OpTest.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/zip/ZipFix.h"

#include <QFile>
#include <QFileInfo>
#include <QStatusBar>

// ---- test ------------------------------------------------------------------------------------

bool TfmMain::CmdTest(const QString& ArchiveName) {
    ClearOutput();
    if (FInteractive) {
        ui->dfstbMainStatus->clearMessage();
        ApplicationBusy();
    }
    const std::unique_ptr<TOpObserver> observer = MakeObserver();
    const TOpResult result = Test({ArchiveName}, *observer);
    if (FInteractive) {
        if (result.Cancelled)
            ui->dfstbMainStatus->showMessage(QStringLiteral("Testing Canceled ..."));
        else
            ui->dfstbMainStatus->clearMessage();
        ApplicationWaiting();
    }
    return ReportTest(result, *fmViewOutput);
}

// ---- repair ----------------------------------------------------------------------------------

bool TfmMain::CmdRepair(const QString& ZipName) {
    const QString source = QFileInfo(ZipName).absoluteFilePath();
    QString target = QFileInfo(source).absolutePath() + QLatin1Char('/') +
                     QFileInfo(source).completeBaseName() + QStringLiteral("_fixed.zip");
    if (!AskSaveName(QStringLiteral("Save Repaired File As ..."), target,
                     QStringLiteral("Zip Archives (*.zip)|*.zip"), true))
        return false;
    target = QFileInfo(target).absoluteFilePath();
    FRepairFound = 0;
    FRepairSound = 0;
    ClearOutput();
    if (target == source || (QFileInfo::exists(target) && QFileInfo(target).canonicalFilePath() ==
                                                              QFileInfo(source).canonicalFilePath())) {
        MessageDlg(QString::fromLatin1(ErrorText(ecSameInputAndOutputFileNames)), mtError, mbOK);
        return false;
    }
    AppendOutput(QStringLiteral(":: REPAIR ZIP ARCHIVE ::"));
    AppendOutput(QStringLiteral("> Source File : ") + source);
    AppendOutput(QStringLiteral("> Fixed File  : ") + target);
    AppendOutput(QStringLiteral(">"));
    TZipFix fix;
    bool failed = false;
    fix.OnFileFound = [this](TZipFix&, const std::string& FileName, bool OK) {
        ++FRepairFound;
        AppendOutput(QStringLiteral("> ") +
                     (FileName.empty() ? QStringLiteral("?? filename ??") : Str(FileName)) +
                     (OK ? QStringLiteral("\t ... seems to be OK") : QStringLiteral("\t ... is corrupted")));
        if (OK) ++FRepairSound;
    };
    fix.OnError = [this, &failed](TZipCommon& Sender, const std::string& FileName,
                                  const std::string& ExtendedMsg, const std::string& VolumeID, int ECode) {
        failed = true;
        krvKorvaError(Sender, FileName, ExtendedMsg, VolumeID, ECode);
    };
    if (FInteractive) ApplicationBusy();
    try {
        fix.FixFile(source.toStdString(), target.toStdString());
    } catch (const std::exception&) {
        failed = true;
    }
    if (FInteractive) ApplicationWaiting();
    // A fixed file without one sound entry is no repair.
    if (FRepairSound == 0 && QFileInfo::exists(target)) QFile::remove(target);
    AppendOutput(QStringLiteral(">"));
    AppendOutput(QStringLiteral("> %1 out of %2 files were recovered.").arg(FRepairSound).arg(FRepairFound));
    ShowModal(*fmViewOutput);
    return !failed && FRepairSound > 0 && QFileInfo::exists(target);
}
