#include "app/dialogs/About.h"

#include "app/dialogs/DialogSupport.h"
#include "ui_About.h"

TfmAbout::TfmAbout(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmAbout>()) {
    ui->setupUi(this);
    ui->laVersion->setText(QString::fromLatin1(QuillarVersionText));
    CloseWith(ui->buOK, this, mrOk);
}

TfmAbout::~TfmAbout() = default;
