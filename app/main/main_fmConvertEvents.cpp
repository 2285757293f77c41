// The converter's events in the main window: each stage in the status bar and as lines of the
// output log, its questions and errors in message boxes.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/Prompter.h"
#include "app/dialogs/QtStrings.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/write/krvArc2Arc.h"

#include <QFileInfo>
#include <QStatusBar>
#include <memory>

namespace {} // namespace

void TfmMain::AskNextVolume(std::string& VolumeName, const std::string& VolumeID, bool Exists, bool& Cancel) {
    Cancel = false;
    if (Exists) return;
    QString answer = Str(VolumeName);
    if (InputQuery(QFileInfo(answer).fileName(), QStringLiteral("Volume ID: ") + Str(VolumeID), answer))
        VolumeName = answer.toStdString();
    else
        Cancel = true;
}

void TfmMain::BindConverter(TArc2Arc& Converter, bool* TestFailed) {
    ClearOutput();
    auto tested = std::make_shared<int>(0);
    auto status = [this](const QString& Text) {
        if (!FInteractive) return;
        ui->dfstbMainStatus->showMessage(Text);
        ui->dfstbMainStatus->repaint();
    };
    Converter.OnProgress = [this](TZipCommon& Sender, std::uint8_t ByFile, std::uint8_t ByArchive) {
        krvUnZipProgress(Sender, ByFile, ByArchive);
    };
    Converter.OnGetPassword = [this](TZipCommon& Sender, const std::string& FileName, std::string& Password,
                                     bool& TryAgain) {
        krvUnZipGetPassword(Sender, FileName, Password, TryAgain);
    };
    Converter.OnNextVolume = [this](TZipCommon&, std::string& VolumeName, const std::string& VolumeID,
                                    bool Exists,
                                    bool& Cancel) { AskNextVolume(VolumeName, VolumeID, Exists, Cancel); };
    Converter.OnExtractActivate = [this, status](TZipCommon& Sender) {
        status(QStringLiteral("Extracting current archive ..."));
        AppendOutput(QStringLiteral(":: Current Archive: ") + Str(Sender.ArchiveFile()));
    };
    Converter.OnExtractBegin = [this](TZipCommon&, const std::string& FileName, int Count, bool&) {
        ShowStatusText(QStringLiteral("Extracting: "), Str(FileName), 55);
        AppendOutput(QStringLiteral("> (%1) Extracting: ").arg(Count) + Str(FileName));
    };
    Converter.OnExtractEnd = [this](TZipCommon&, const std::string& FileName, bool CrcPass) {
        if (FInteractive) ui->dfstbMainStatus->clearMessage();
        if (!CrcPass)
            MessageDlg(Str(FileName) + QStringLiteral("\rExtract failed CRC check."), mtError, mbOK);
    };
    Converter.OnExtractDeactivate = [this](TZipCommon&) {
        AppendOutput(QStringLiteral("> Extraction Completed."));
    };
    Converter.OnCompressActivate = [this, status, &Converter](TZipCommon&) {
        status(QStringLiteral("Compressing the new archive ..."));
        AppendOutput(QStringLiteral(":: New Archive: ") + Str(Converter.NewArchive));
    };
    Converter.OnCompressBegin = [this](TZipCommon&, const std::string& FileName, int Count, bool&) {
        ShowStatusText(QStringLiteral("Compressing: "), Str(FileName), 68);
        AppendOutput(QStringLiteral("> (%1) Compressing: ").arg(Count) + Str(FileName));
    };
    Converter.OnCompressEnd = [this](TZipCommon&, const std::string&, bool) {
        if (FInteractive) ui->dfstbMainStatus->clearMessage();
    };
    Converter.OnCompressDeactivate = [this](TZipCommon&) {
        AppendOutput(QStringLiteral("> Compression Completed."));
    };
    Converter.OnIntegrityActivate = [this, status, tested, &Converter](TZipCommon&) {
        *tested = 0;
        status(QStringLiteral("Checking integrity of converted archive ..."));
        AppendOutput(QStringLiteral(":: Checking Integrity: ") + Str(Converter.NewArchive));
    };
    Converter.OnIntegrityBegin = [this](TZipCommon&, const std::string& FileName, int, bool&) {
        ShowStatusText(QStringLiteral("Verifying: "), Str(FileName), 45);
    };
    Converter.OnIntegrityStatus = [this, tested, TestFailed](TZipCommon&, const std::string& FileName,
                                                             bool PassFail) {
        if (!PassFail && TestFailed) *TestFailed = true;
        AppendOutput(QStringLiteral("> (%1) ").arg(++*tested) + QStringLiteral("Testing: ") + Str(FileName) +
                     (PassFail ? QStringLiteral(" ... Passed") : QStringLiteral(" ... Failed")));
    };
    auto integrityDone = [this](TZipCommon&) {
        if (FInteractive) ui->dfstbMainStatus->clearMessage();
        AppendOutput(QStringLiteral("> Integrity Check Completed."));
    };
    Converter.OnIntegrityEnd = [integrityDone](TZipCommon& Sender, const std::string&, bool) {
        integrityDone(Sender);
    };
    Converter.OnIntegrityDeactivate = integrityDone;
    Converter.OnRemoveTempfile = [this](TZipCommon&, const std::string& FileName) {
        ShowStatusText(QStringLiteral("Removing: "), Str(FileName), 56);
        AppendOutput(QStringLiteral("> Removing: ") + Str(FileName));
    };
    Converter.OnFileExists = [](TZipCommon&, const std::string& FileName, TOverwriteMode& OverwriteMode) {
        OverwriteMode = MessageDlg(QStringLiteral("Filename: ") + Str(FileName) + QStringLiteral("\r\r") +
                                       QStringLiteral("File already exist, overwrite ?"),
                                   mtInformation, mbYes | mbNo) == mrNo
                            ? omSkip
                            : omOverwrite;
    };
    Converter.OnNestedTarFile = [this](TZipCommon&, const std::string& FileName, bool& doUnTar) {
        krvUnGZIPNestedTarFile(FileName, doUnTar);
    };
    Converter.OnError = [](TZipCommon&, const std::string& FileName, const std::string& ExtendedMsg,
                           const std::string&, int ECode) {
        if (ECode == ecUserCanceled) return;
        MessageDlg(QStringLiteral("Error converting archive.\rFilename: ") + Str(FileName) + "\r" +
                       QStringLiteral("Error #: ") + QString::number(ECode) + "\r" +
                       QStringLiteral("Error: ") + QString::fromLatin1(ErrorText(ECode)) + "\r\r" +
                       QStringLiteral("Detailed: ") + Str(ExtendedMsg),
                   mtError, mbOK);
    };
}
