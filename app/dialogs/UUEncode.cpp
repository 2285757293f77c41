#include "app/dialogs/UUEncode.h"

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileNameFields.h"
#include "ui_UUEncode.h"

#include <QFileInfo>
#include <algorithm>

TfmUUEncode::TfmUUEncode(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmUUEncode>()) {
    ui->setupUi(this);
    ConnectBrowse(ui->buInputBrowse, ui->rxfedInput, TBrowseKind::OpenFile, "Select Input File");
    ConnectBrowse(ui->buOutputBrowse, ui->rxfedOutput, TBrowseKind::SaveFile, "Save Encoded File As ...");
    OnFocusIn(ui->rxfedOutput, [this] {
        if (ui->rxfedOutput->text().isEmpty() && !ui->rxfedInput->text().isEmpty())
            ui->rxfedOutput->setText(WithExtension(ui->rxfedInput->text(), Extension()));
    });
    for (QRadioButton* method : {ui->rbUUEncode, ui->rbXXEncode}) {
        connect(method, &QRadioButton::toggled, this, [this](bool Checked) {
            if (Checked && !ui->rxfedOutput->text().isEmpty())
                ui->rxfedOutput->setText(WithExtension(ui->rxfedOutput->text(), Extension()));
        });
    }
    connect(ui->buOK, &QPushButton::clicked, this, &TfmUUEncode::OkClick);
    CloseWith(ui->buCancel, this, mrCancel);
    ConnectHelp(ui->buHelp, "Hlp_UUencode_Archive");
}

TfmUUEncode::~TfmUUEncode() = default;

int TfmUUEncode::EncodeIndex() const {
    return ui->rbXXEncode->isChecked() ? 1 : 0;
}

void TfmUUEncode::SetFiles(const QString& Input, const QString& Output) {
    ui->rxfedInput->setText(Input);
    ui->rxfedOutput->setText(Output);
}

TUUEncodeOptions TfmUUEncode::Options() const {
    // The span sizes of the list, in kilobytes.
    static constexpr int spanSizes[] = {0, 100, 720, 1228, 1433, 2867};
    TUUEncodeOptions options;
    options.Input = ui->rxfedInput->text();
    options.Output = ui->rxfedOutput->text();
    options.KBytesPerVolume = spanSizes[std::clamp(ui->cbSpanSize->currentIndex(), 0, 5)];
    options.XXEncode = EncodeIndex() == 1;
    return options;
}

QString TfmUUEncode::Extension() const {
    return EncodeIndex() == 1 ? ".xxe" : ".uue";
}

void TfmUUEncode::showEvent(QShowEvent* Event) {
    ui->rbUUEncode->setChecked(true);
    ui->cbSpanSize->setCurrentIndex(0);
    (ui->rxfedInput->text().isEmpty() ? ui->rxfedInput : ui->rxfedOutput)->setFocus();
    QDialog::showEvent(Event);
}

void TfmUUEncode::OkClick() {
    const QString input = ui->rxfedInput->text(), output = ui->rxfedOutput->text();
    // Encoding a file onto itself would destroy it before it is read.
    if (!output.isEmpty() && SameFile(input, output)) {
        MessageDlg(
            "Please select a different output filename. Your current\r\noutput file seems to be the same as "
            "your input file.",
            mtWarning, mbOK);
        return;
    }
    if (QFileInfo::exists(output) &&
        MessageDlg(
            "The output filename you entered already exist.\rAre you sure you want to overwrite this file ?",
            mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    done(mrOk);
}
