// Converting an archive to another format, making a self-extractor of a zip, and the command
// line's zip-and-go switches ("-C", "-X", "-M", "-AX"). An original is deleted only after its
// converted copy was read back; an old program is replaced only by a complete new one.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/cli/CommandLine.h"
#include "app/dialogs/ConvertArc.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileUtils.h"
#include "app/dialogs/ProcessUtils.h"
#include "app/dialogs/Prompter.h"
#include "app/dialogs/QtStrings.h"
#include "app/main/RunFolder.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/zip/krvMakeSfx.h"
#include "engine/read/krvKorva.h"
#include "engine/write/krvArc2Arc.h"
#include "ui_ConvertArc.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QStatusBar>

namespace {

QString Absolute(const QString& Name) {
    return QFileInfo(Name).absoluteFilePath();
}

// The output types of the convert dialog's formats, in its order.
constexpr TOutArcType ConvertTypes[] = {tyBh, tyCab, tyTarGzip, tyJar, tyLzh, tyLzh, tyTar, tyZip};

} // namespace
// ---- convert ---------------------------------------------------------------------------------

bool TfmMain::CmdConvert(const QString& ArchiveName) {
    TfmConvertArc dialog(this);
    Ui::TfmConvertArc& d = *dialog.ui;
    if (!ArchiveName.isEmpty()) {
        d.rxfedInput->setText(Absolute(ArchiveName));
        d.rxfedOutput->setText(QFileInfo(Absolute(ArchiveName)).absolutePath() + QLatin1Char('/') +
                               QFileInfo(ArchiveName).completeBaseName() + QStringLiteral(".zip"));
    }
    if (ShowModal(dialog) != mrOk) return false;
    const QString input = Absolute(d.rxfedInput->text());
    const QString output = Absolute(d.rxfedOutput->text());
    const int format = std::clamp(d.cbFormat->currentIndex(), 0, 7);
    const QString target = format == TfmConvertArc::cfGZipTar ? output + QStringLiteral(".gz") : output;
    const bool deleteOriginal = d.ckDeleteOrg->isChecked();
    // The dialog refuses this; a name that reaches the input by another path is refused here too,
    // before anything is written or deleted.
    if (QFileInfo(input).canonicalFilePath() == QFileInfo(target).canonicalFilePath() || input == target) {
        MessageDlg(QStringLiteral("Please select a different output file format. Your current\r\noutput file "
                                  "seems to be the same as your input file."),
                   mtWarning, mbOK);
        return false;
    }
    if (FInteractive) ApplicationBusy();
    TArc2Arc converter;
    bool testFailed = false;
    BindConverter(converter, &testFailed);
    // The dialog has asked about an existing output already.
    converter.OnFileExists = [](TZipCommon&, const std::string&, TOverwriteMode& OverwriteMode) {
        OverwriteMode = omOverwrite;
    };
    converter.SetArchiveFile(Std(input));
    converter.NewArchive = Std(output);
    converter.OutArcMethod = amCreateNew;
    // The original goes only after its copy was read back whole, so a deletion asks for the test.
    converter.IntegrityCheck = (d.ckVerify->isEnabled() && d.ckVerify->isChecked()) ||
                               (deleteOriginal && ConvertTypes[format] != tyCab);
    converter.DateAttribute = daFileDate;
    converter.OutArcType = ConvertTypes[format];
    raise();
    StartProgress();
    if (FInteractive) ui->dfstbMainStatus->clearMessage();
    CurrentWriter = nullptr;
    CurrentReader = &converter;
    const bool converted = converter.Activate() && !testFailed && QFileInfo::exists(target);
    CurrentReader = nullptr;
    EndProgress();
    bool good = converted;
    if (deleteOriginal && converted) {
        if (FInteractive && input == Str(krvKorva->ArchiveFile())) {
            CloseArchive();
            DisplayArchive(target);
        }
        if (!QFile::remove(input)) {
            MessageDlg(QStringLiteral("Deletion failed. The input file may be missing or read-only."),
                       mtError, mbOK);
            good = false;
        }
    }
    if (FInteractive) {
        ui->dfstbMainStatus->clearMessage();
        ApplicationWaiting();
    }
    if (converted)
        MessageDlg(QStringLiteral("Archive conversion successfully completed."), mtInformation, mbOK);
    else
        MessageDlg(QStringLiteral("Archive conversion aborted."), mtInformation, mbOK);
    return good;
}

// ---- self-extractor --------------------------------------------------------------------------

bool TfmMain::CmdMakeSFX(const QString& ArchiveName, const QString& Target) {
    return RunMakeSFX(ArchiveName, Target, false);
}

bool TfmMain::RunMakeSFX(const QString& ArchiveName, const QString& Target, bool OverwriteConfirmed) {
    const QString archive = Absolute(ArchiveName);
    QString target = Target;
    if (target.isEmpty()) {
        target = Str(ReplaceFileExt(Std(archive), ".exe"));
        // No overwrite prompt here: the maker asks when the file exists.
        if (!AskSaveName(QStringLiteral("Save EXE As ..."), target, {}, false)) return false;
    }
    target = Absolute(target);
    TMakeSFX maker;
    bool failed = false, skipped = false;
    maker.OnProgress = [this](TZipCommon& Sender, std::uint8_t ByFile, std::uint8_t ByArchive) {
        krvUnZipProgress(Sender, ByFile, ByArchive);
    };
    maker.OnFileExists = [&skipped, OverwriteConfirmed](TZipCommon&, const std::string& FileName, TDateTime,
                                                        TOverwriteMode& OverwriteMode) {
        OverwriteMode =
            OverwriteConfirmed ||
                    MessageDlg(Str(FileName) +
                                   QStringLiteral(" already exist. Do you want to overwrite this file ?"),
                               mtConfirmation, mbYes | mbNo) != mrNo
                ? omOverwrite
                : omSkip;
        skipped = OverwriteMode == omSkip;
    };
    maker.OnError = [&failed](TZipCommon&, const std::string& FileName, const std::string&,
                              const std::string&, int ECode) {
        if (ECode == ecUserCanceled) return;
        failed = true;
        MessageDlg(QStringLiteral("Error making self-extracting executable.\rFilename: ") + Str(FileName) +
                       QStringLiteral("\rError: ") + QString::number(ECode) + QStringLiteral("\r") +
                       QString::fromLatin1(ErrorText(ECode)),
                   mtError, mbOK);
    };
    maker.SetArchiveFile(Std(archive));
    maker.SetTargetFile(Std(target));
    raise();
    if (FInteractive) ApplicationBusy();
    maker.Activate();
    if (FInteractive) ApplicationWaiting();
    if (failed || skipped || maker.Cancel() || !QFileInfo::exists(target)) return false;
    MessageDlg(target + QStringLiteral(" created."), mtInformation, mbOK);
    return true;
}

// ---- the command line's zip-and-go switches --------------------------------------------------

QString TfmMain::ZipIntoRunFolder(TRunFolder& Temp, const QString& Name, const QStringList& Files) {
    if (Temp.Path.empty()) {
        MessageDlg(QStringLiteral("Unable to create the temporary directory. \r\nQuillar aborted."), mtError,
                   mbOK);
        return {};
    }
    const QString archive = Str(AddBackslash(Temp.Path)) + QFileInfo(Name).fileName();
    TAddOptions options;
    options.Archive = archive;
    options.Files = ExpandFolderArguments(Files);
    options.StoredDirNames = CommandLinePathRule(options.Files);
    const TAddResult result = RunAdd(options, false);
    const QString written = result.ArchiveName;
    if (result.Done <= 0 || !QFileInfo(written).isFile()) {
        MessageDlg(QStringLiteral("None of the files could be zipped."), mtError, mbOK);
        return {};
    }
    return written;
}

bool TfmMain::CmdMailFiles(const QString& Name, const QStringList& Files) {
    TRunFolder temp;
    const QString written = ZipIntoRunFolder(temp, Name, Files);
    if (written.isEmpty()) return false;
    const int result =
        SendMail("Attached: " + Std(QFileInfo(written).fileName()), "", Std(written), "", "", "", "");
    if (result == -1) {
        MessageDlg(
            QStringLiteral("Your computer must be configured to use a MAPI\r\n(Messaging Application "
                           "Programming Interface)\r\ncompliant email software in order to use this\r\n"
                           "feature."),
            mtError, mbOK);
        return false;
    }
    if (result != 0) {
        MessageDlg(QStringLiteral("The mail program did not take the message (exit status %1).").arg(result),
                   mtError, mbOK);
        return false;
    }
    // The mail program reads the attachment after xdg-email has returned: the folder stays for
    // the system's cleaning of temporary files.
    temp.Keep = true;
    return true;
}

bool TfmMain::CmdMakeSFXFromFiles(const QString& Name, const QStringList& Files) {
    const QString target = Str(ReplaceFileExt(Std(Absolute(Name)), ".exe"));
    // The old program stays until the new one is complete: the maker writes beside it.
    const bool exists = QFileInfo::exists(target);
    if (exists && MessageDlg(QStringLiteral("The file ") + QFileInfo(target).fileName() +
                                 QStringLiteral(" already exist. Do you want to overwrite this file ?"),
                             mtConfirmation, mbYes | mbNo) != mrYes)
        return false;
    TRunFolder temp;
    const QString written = ZipIntoRunFolder(temp, Name, Files);
    return !written.isEmpty() && RunMakeSFX(written, target, exists);
}
