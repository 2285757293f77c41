#include "app/dialogs/Password.h"

#include "app/dialogs/DialogSupport.h"
#include "app/common/Prompter.h"
#include "ui_Password.h"

TfmPassword::TfmPassword(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmPassword>()) {
    ui->setupUi(this);
    ui->ckMask->setChecked(ReadMaskPassword());
    ApplyMask();
    connect(ui->ckMask, &QCheckBox::clicked, this, &TfmPassword::ApplyMask);
    connect(ui->buOK, &QPushButton::clicked, this, &TfmPassword::OkClick);
    CloseWith(ui->buCancel, this, mrCancel);
    ConnectHelp(ui->buHelp, "Hlp_Password_Protect");
}

TfmPassword::~TfmPassword() {
    WriteMaskPassword(ui->ckMask->isChecked());
}

void TfmPassword::showEvent(QShowEvent* Event) {
    ui->edPassword->setText(CurrentArchivePassword());
    ui->edVerify->setText(CurrentArchivePassword());
    ui->edPassword->setFocus();
    QDialog::showEvent(Event);
}

void TfmPassword::ApplyMask() {
    const bool masked = ui->ckMask->isChecked();
    ui->edPassword->setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
    ui->edVerify->setEchoMode(QLineEdit::Password);
    ui->edVerify->setVisible(masked);
    ui->laVerify->setVisible(masked);
    adjustSize();
}

void TfmPassword::OkClick() {
    if (ui->ckMask->isChecked() && ui->edVerify->text() != ui->edPassword->text()) {
        MessageDlg("The passwords you entered did not match. \r\nPlease enter them again.", mtError, mbOK);
        ui->edPassword->clear();
        ui->edVerify->clear();
        ui->edPassword->setFocus();
        return;
    }
    done(mrOk);
}

QString PasswordButtonCaption() {
    return CurrentArchivePassword().isEmpty() ? "&Password" : "&Protected";
}

void AskArchivePassword(QWidget* Parent) {
    TfmPassword dialog(Parent);
    if (ShowModal(dialog) == mrOk) CurrentArchivePassword() = dialog.ui->edPassword->text();
}

void ConnectPasswordButton(QAbstractButton* Button) {
    QObject::connect(Button, &QAbstractButton::clicked, Button, [Button] {
        AskArchivePassword(Button->window());
        Button->setText(PasswordButtonCaption());
    });
}
