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
