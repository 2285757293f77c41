// The integrity test of an archive and the repair of a damaged zip, from the menu and from the
// command line ("-T", "-R"); both write their log into the output window.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/Prompter.h"
#include "app/dialogs/QtStrings.h"
#include "app/dialogs/ViewOutput.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/read/krvZipCheck.h"
#include "engine/write/ZipFix.h"

#include <QFile>
#include <QFileInfo>
#include <QStatusBar>

namespace {} // namespace
// ---- test ------------------------------------------------------------------------------------

void TfmMain::BindTester(TZipCheck& Tester) {
    BindEngineEvents(Tester);
    Tester.OnError = [this](TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg,
                            const std::string& VolumeID, int ECode) {
        // Any error of a test run makes the test fail.
        if (ECode != ecUserCanceled) TestFailed = true;
        krvKorvaError(Sender, FileName, ExtendedMsg, VolumeID, ECode);
    };
    Tester.OnActivate = [this, &Tester](TZipCommon&) {
        AppendOutput(QStringLiteral(":: Testing Archive: ") + Str(Tester.ArchiveFile()));
    };
    Tester.OnBegin = [this](TZipCommon&, const std::string& FileName, int, bool&) {
        ShowStatusText(QStringLiteral("Verifying:  "), Str(FileName), 45);
    };
    Tester.OnStatus = [this](TZipCommon&, const std::string& FileName, bool PassFail) {
        if (!PassFail) TestFailed = true;
        AppendOutput(QStringLiteral("> Testing: ") + Str(FileName) +
                     (PassFail ? QStringLiteral(" ... Passed") : QStringLiteral(" ... Failed")));
    };
    Tester.OnDeactivate = [this, &Tester](TZipCommon&) {
        if (!FInteractive) return;
        if (Tester.Cancel())
            ui->dfstbMainStatus->showMessage(QStringLiteral("Testing Canceled ..."));
        else
            ui->dfstbMainStatus->clearMessage();
    };
    Tester.OnCorruptZipHeader = [this](TZipCommon&, THeaderTypeState HeadFlag, bool& Cancel) {
        if (!(HeadFlag & htLocal))
            AppendOutput(QStringLiteral("> HEADER ERROR: Local header missing or corrupted."));
        if (!((HeadFlag & htCentral) && (HeadFlag & htEnding)))
            AppendOutput(QStringLiteral("> HEADER ERROR: Missing or corrupted."));
        AppendOutput(QStringLiteral(">"));
        TestFailed = true;
        Cancel = false;
    };
    Tester.OnNestedTarFile = [](TZipCommon&, const std::string& FileName, bool& doUnTar) {
        if (MessageDlg(
                QStringLiteral("File: ") + Str(FileName) + QStringLiteral("\r\r") +
                    QStringLiteral("Compressed file is a TAR archive. Decompress and verify this archive ?"),
                mtInformation, mbYes | mbNo) == mrYes)
            doUnTar = true;
    };
    // The test went on in the tar inside a tar.gz: the tester takes its name.
    Tester.OnChangeArchive = [&Tester](TZipCommon&, const std::string& ArchiveName, TArcType ArcType) {
        Tester.MoveToArchive(ArchiveName, ArcType);
    };
    Tester.OnNextVolume = [this](TZipCommon&, std::string& VolumeName, const std::string& VolumeID,
                                 bool Exists,
                                 bool& Cancel) { AskNextVolume(VolumeName, VolumeID, Exists, Cancel); };
}

bool TfmMain::CmdTest(const QString& ArchiveName) {
    CurrentWriter = nullptr;
    ResetRunFlags();
    TZipCheck tester;
    BindTester(tester);
    CurrentReader = &tester;
    StartProgress();
    if (FInteractive) {
        ui->dfstbMainStatus->clearMessage();
        ApplicationBusy();
    }
    tester.FileSpec = {"*.*"};
    tester.RecurseDirs = true;
    tester.SetArchiveFile(QFileInfo(ArchiveName).absoluteFilePath().toStdString());
    const bool testable = ExtractableArcTypes.Contains(tester.ArcType());
    if (testable) {
        TestFailed = false;
        tester.Activate();
    }
    EndProgress();
    CurrentReader = nullptr;
    if (FInteractive) {
        ui->dfstbMainStatus->clearMessage();
        ApplicationWaiting();
    }
    if (!testable) {
        MessageDlg(QString::fromLatin1(ErrorText(ecInvalidArchiveType)), mtError, mbOK);
        return false;
    }
    // A cancelled run or one that tested nothing proves nothing either.
    const bool passed = !TestFailed && !Aborted && !tester.Cancel() && tester.Failed == 0;
    if (!passed) {
        if (tester.Cancel() || Aborted) AppendOutput(QStringLiteral("> Testing Canceled ..."));
        ShowModal(*fmViewOutput);
        return false;
    }
    MessageDlg(QStringLiteral("No errors were found in this archive file."), mtInformation, mbOK);
    return true;
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
