#include "app/dialogs/AddBottom.h"

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/Password.h"
#include "app/common/Prompter.h"
#include "ui/LmOpenSaveComm.h"
#include "ui_AddBottom.h"

TfmAddBottom::TfmAddBottom(QWidget* Parent) : QWidget(Parent), ui(std::make_unique<Ui::TfmAddBottom>()) {
    ui->setupUi(this);
    ConnectPasswordButton(ui->buPassword);
    connect(ui->buWildcards, &QPushButton::clicked, this, &TfmAddBottom::WildcardsClick);
    ConnectHelp(ui->buHelp, "Hlp_Add_Dialog");
}

TfmAddBottom::~TfmAddBottom() = default;

void TfmAddBottom::showEvent(QShowEvent* Event) {
    ui->buPassword->setText(PasswordButtonCaption());
    QWidget::showEvent(Event);
}

// The patterns typed in the dialog's file-name box replace the chosen files: the dialog is
// closed with Cancel and the caller adds by the patterns.
void TfmAddBottom::WildcardsClick() {
    TLmCustomOpenDialog* dialog = TLmCustomOpenDialog::Current();
    const QString text = dialog ? dialog->FileNameText().trimmed() : QString();
    if (text.isEmpty()) {
        MessageDlg(
            "Please enter one or more wildcards in the filename field.\rPlease separate wildcards with a "
            "space character.",
            mtCustom, mbOK);
        return;
    }
    UseWildcards = true;
    Wildcards = text;
    WildcardFolder = dialog->directory().absolutePath();
    if (!WildcardFolder.endsWith('/')) WildcardFolder += '/';
    dialog->Press(2);
}

void TfmAddBottom::Reset(bool SaveFullPath, bool IncludeSubfolders, bool Encryptable, bool Compressible) {
    UseWildcards = false;
    Wildcards.clear();
    WildcardFolder.clear();
    ui->buPassword->setText(PasswordButtonCaption());
    ui->cbAction->setCurrentIndex(0);
    ui->cbCompression->setCurrentIndex(0);
    ui->cbDiskSpanning->setCurrentIndex(0);
    ui->ckSaveFullPath->setChecked(SaveFullPath);
    ui->ckIncludeSubfolders->setChecked(IncludeSubfolders);
    ui->buPassword->setEnabled(Encryptable);
    ui->cbCompression->setEnabled(Compressible);
}

TAddPanelChoice TfmAddBottom::Choice() const {
    TAddPanelChoice choice;
    choice.Switch = AddSwitchOf(ui->cbAction->currentIndex());
    choice.Compression = ui->cbCompression->currentIndex();
    choice.AllowSpanning = ui->cbDiskSpanning->currentIndex() == 0;
    choice.SaveFullPath = ui->ckSaveFullPath->isChecked();
    choice.IncludeSubfolders = ui->ckIncludeSubfolders->isChecked();
    return choice;
}
