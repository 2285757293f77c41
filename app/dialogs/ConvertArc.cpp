#include "app/dialogs/ConvertArc.h"

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileNameFields.h"
#include "ui_ConvertArc.h"

#include <QFileInfo>
#include <algorithm>

TfmConvertArc::TfmConvertArc(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmConvertArc>()) {
    ui->setupUi(this);
    ui->cbFormat->setCurrentIndex(cfZip);
    ConnectBrowse(
        ui->buInputBrowse, ui->rxfedInput, TBrowseKind::OpenFile, {},
        "All Archive Files|*.ace;*.arc;*.arj;*.bh;*.cab;*.gz;*.jar;*.lha;*.lzh;*.rar;*.tar;*.tgz;*.uu;*.uue;"
        "*.xxe;*.z;*.zip;*.zoo");
    ConnectBrowse(ui->buOutputBrowse, ui->rxfedOutput, TBrowseKind::SaveFile, {});
    OnFocusIn(ui->rxfedOutput, [this] {
        if (ui->rxfedOutput->text().isEmpty() && !ui->rxfedInput->text().isEmpty())
            ui->rxfedOutput->setText(
                WithExtension(ui->rxfedInput->text(), FormatExtension(ui->cbFormat->currentIndex())));
    });
    connect(ui->cbFormat, &QComboBox::currentIndexChanged, this, &TfmConvertArc::FormatChanged);
    connect(ui->ckDeleteOrg, &QCheckBox::clicked, this, &TfmConvertArc::DeleteOriginalClicked);
    connect(ui->buConvert, &QPushButton::clicked, this, &TfmConvertArc::ConvertClick);
    CloseWith(ui->buCancel, this, mrCancel);
    ConnectHelp(ui->buHelp, "Hlp_Convert_Archive");
    ui->rxfedOutput->setFocus();
}

TfmConvertArc::~TfmConvertArc() = default;

QString TfmConvertArc::FormatExtension(int Format) {
    static const char* const extensions[] = {".bh", ".cab", ".tar", ".jar", ".lha", ".lzh", ".tar", ".zip"};
    return Format >= 0 && Format <= cfZip ? extensions[Format] : ".zip";
}

QString TfmConvertArc::TargetName() const {
    const QString output = ui->rxfedOutput->text();
    return ui->cbFormat->currentIndex() == cfGZipTar ? output + ".gz" : output;
}

void TfmConvertArc::SetArchive(const QString& ArchiveName) {
    const QFileInfo archive(QFileInfo(ArchiveName).absoluteFilePath());
    ui->rxfedInput->setText(archive.filePath());
    ui->rxfedOutput->setText(archive.absolutePath() + QLatin1Char('/') + archive.completeBaseName() +
                             QStringLiteral(".zip"));
}

TConvertOptions TfmConvertArc::Options() const {
    // The output types of the formats, in the list's order.
    static constexpr TOutArcType types[] = {tyBh, tyCab, tyTarGzip, tyJar, tyLzh, tyLzh, tyTar, tyZip};
    TConvertOptions options;
    options.Input = QFileInfo(ui->rxfedInput->text()).absoluteFilePath();
    options.Output = QFileInfo(ui->rxfedOutput->text()).absoluteFilePath();
    options.Type = types[std::clamp(ui->cbFormat->currentIndex(), 0, int(cfZip))];
    options.Verify = ui->ckVerify->isEnabled() && ui->ckVerify->isChecked();
    options.DeleteOriginal = ui->ckDeleteOrg->isChecked();
    return options;
}

void TfmConvertArc::FormatChanged() {
    const int format = ui->cbFormat->currentIndex();
    if (!ui->rxfedOutput->text().isEmpty())
        ui->rxfedOutput->setText(WithExtension(ui->rxfedOutput->text(), FormatExtension(format)));
    ui->ckVerify->setEnabled(format != cfCabinet);
}

void TfmConvertArc::DeleteOriginalClicked(bool Checked) {
    if (Checked &&
        MessageDlg("Checking this option will cause the original archive to be\rdeleted after conversion. "
                   "Are you sure you want to do this ?",
                   mtConfirmation, mbYes | mbNo) != mrYes)
        ui->ckDeleteOrg->setChecked(false);
}

void TfmConvertArc::ConvertClick() {
    const QString input = ui->rxfedInput->text(), output = ui->rxfedOutput->text();
    if (!output.isEmpty() && (SameFile(input, output) || SameFile(input, TargetName()))) {
        MessageDlg("Please select a different output file format. Your current\r\noutput file seems to be "
                   "the same as "
                   "your input file.",
                   mtWarning, mbOK);
        return;
    }
    if (input.isEmpty() || output.isEmpty()) {
        MessageDlg("You must enter both the Input Filename and \r\nOutput Filename before trying to convert.",
                   mtInformation, mbOK);
        return;
    }
    const QString target = TargetName();
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
        if (MessageDlg("The output filename you entered already exist.\rAre you sure you want to overwrite "
                       "this file ?",
                       mtConfirmation, mbYes | mbNo) != mrYes)
            return;
        // The converter replaces the file only once the new archive is complete.
    }
    done(mrOk);
}
