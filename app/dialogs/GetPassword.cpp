#include "app/dialogs/GetPassword.h"

#include "app/common/Prompter.h"
#include "app/dialogs/DialogSupport.h"
#include "ui_GetPassword.h"

TfmGetPassword::TfmGetPassword(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmGetPassword>()) {
    ui->setupUi(this);
    ui->laRejected->hide();
    ui->ckMask->setChecked(ReadMaskPassword());
    ApplyMask();
    connect(ui->ckMask, &QCheckBox::clicked, this, &TfmGetPassword::ApplyMask);
    connect(ui->buOK, &QPushButton::clicked, this, &TfmGetPassword::OkClick);
    CloseWith(ui->buCancel, this, mrCancel);
    ConnectHelp(ui->buHelp, "Hlp_Password_Required");
}

TfmGetPassword::~TfmGetPassword() {
    WriteMaskPassword(ui->ckMask->isChecked());
}

void TfmGetPassword::SetFileName(const QString& FileName) {
    ui->laFileName->setText(FileName);
}

void TfmGetPassword::SetRejected(bool Rejected) {
    ui->laRejected->setVisible(Rejected);
}

QString TfmGetPassword::Password() const {
    return ui->edPassword->text();
}

void TfmGetPassword::ApplyMask() {
    ui->edPassword->setEchoMode(ui->ckMask->isChecked() ? QLineEdit::Password : QLineEdit::Normal);
}

void TfmGetPassword::OkClick() {
    if (ui->edPassword->text().isEmpty()) {
        MessageDlg("You did not enter a password.", mtInformation, mbOK);
        return;
    }
    done(mrOk);
}
