#include "app/dialogs/RenameFile.h"

#include "app/dialogs/DialogSupport.h"
#include "app/common/Prompter.h"
#include "ui_RenameFile.h"

TfmRenameFile::TfmRenameFile(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmRenameFile>()) {
    ui->setupUi(this);
    connect(ui->buRename, &QPushButton::clicked, this, &TfmRenameFile::RenameClick);
    CloseWith(ui->buSkip, this, mrDupeSkip);
    CloseWith(ui->buSkipAll, this, mrDupeSkipAll);
    ConnectHelp(ui->buHelp, "Hlp_Rename_File");
}

TfmRenameFile::~TfmRenameFile() = default;

void TfmRenameFile::SetName(const QString& Name) {
    ui->edFileName->setText(Name);
    ExistingName = Name;
}

QString TfmRenameFile::Name() const {
    return ui->edFileName->text();
}

void TfmRenameFile::RenameClick() {
    const QString name = ui->edFileName->text();
    if (name.isEmpty()) {
        MessageDlg("In order to rename the file, you must enter a valid file name.", mtInformation, mbOK);
    } else if (name == ExistingName) {
        MessageDlg(
            "In order to change the file name, you must enter \r\na file name that is different from the "
            "original file.",
            mtError, mbOK);
    } else {
        done(mrDupeRename);
    }
}
