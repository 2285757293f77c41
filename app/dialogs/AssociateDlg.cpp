#include "app/dialogs/AssociateDlg.h"

#include "app/dialogs/DialogSupport.h"
#include "ui_AssociateDlg.h"

TfmAssociateDlg::TfmAssociateDlg(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmAssociateDlg>()) {
    ui->setupUi(this);
    CloseWith(ui->buYes, this, mrYes);
    CloseWith(ui->buNo, this, mrNo);
    ConnectHelp(ui->buHelp, "Hlp_File_Associations");
}

TfmAssociateDlg::~TfmAssociateDlg() = default;

bool TfmAssociateDlg::StopAsking() const {
    return ui->ckAskAgain->isChecked();
}
