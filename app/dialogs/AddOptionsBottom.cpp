#include "app/dialogs/AddOptionsBottom.h"

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/Password.h"
#include "ui_AddOptionsBottom.h"

TfmAddOptionsBottom::TfmAddOptionsBottom(QWidget* Parent)
    : QWidget(Parent), ui(std::make_unique<Ui::TfmAddOptionsBottom>()) {
    ui->setupUi(this);
    ConnectPasswordButton(ui->buPassword);
    ConnectHelp(ui->buHelp, "Hlp_Add_Options");
}

TfmAddOptionsBottom::~TfmAddOptionsBottom() = default;

void TfmAddOptionsBottom::showEvent(QShowEvent* Event) {
    ui->buPassword->setText(PasswordButtonCaption());
    QWidget::showEvent(Event);
}

void TfmAddOptionsBottom::Reset(bool SaveFullPath) {
    ui->cbAction->setCurrentIndex(0);
    ui->cbCompression->setCurrentIndex(0);
    ui->cbDiskSpanning->setCurrentIndex(0);
    ui->ckSaveFullPath->setChecked(SaveFullPath);
    ui->buPassword->setText(PasswordButtonCaption());
}

void TfmAddOptionsBottom::EnableFor(bool Encryptable, bool Compressible) {
    ui->buPassword->setEnabled(Encryptable);
    ui->cbCompression->setEnabled(Compressible);
}

bool TfmAddOptionsBottom::PasswordEnabled() const {
    return ui->buPassword->isEnabled();
}

TAddPanelChoice TfmAddOptionsBottom::Choice() const {
    TAddPanelChoice choice;
    choice.Switch = AddSwitchOf(ui->cbAction->currentIndex());
    choice.Compression = ui->cbCompression->currentIndex();
    choice.AllowSpanning = ui->cbDiskSpanning->currentIndex() == 0;
    choice.SaveFullPath = ui->ckSaveFullPath->isChecked();
    return choice;
}
