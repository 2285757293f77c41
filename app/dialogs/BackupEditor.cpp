#include "app/dialogs/BackupEditor.h"

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileNameFields.h"
#include "ui/LmBrowseDlg.h"
#include "ui_BackupEditor.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>

TfmBackupEditor::TfmBackupEditor(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmBackupEditor>()) {
    ui->setupUi(this);
    // The number box of the up-down is the generations edit.
    if (QLineEdit* edit = ui->udGenerations->findChild<QLineEdit*>())
        edit->setObjectName(QStringLiteral("edGenerations"));
    ui->cbArcType->setCurrentIndex(6);
    for (QRadioButton* button : {ui->rbMethodPrompt, ui->rbMethodOverwrite, ui->rbMethodMulti})
        connect(button, &QRadioButton::clicked, this, &TfmBackupEditor::MethodClick);
    connect(ui->cbArcType, &QComboBox::currentIndexChanged, this, &TfmBackupEditor::ArcTypeChange);
    connect(ui->buAddFiles, &QPushButton::clicked, this, &TfmBackupEditor::AddFilesClick);
    connect(ui->buAddFolder, &QPushButton::clicked, this, &TfmBackupEditor::AddFolderClick);
    ConnectBrowse(ui->buBrowseFolder, ui->rxdeBackupFolder, TBrowseKind::Folder,
                  QStringLiteral("Select the backup storage folder:"));
    connect(ui->buRemove, &QPushButton::clicked, this, [this] { qDeleteAll(ui->lbFiles->selectedItems()); });
    connect(ui->lbFiles, &QListWidget::customContextMenuRequested, this, &TfmBackupEditor::ListMenu);
    connect(ui->buSave, &QPushButton::clicked, this, &TfmBackupEditor::SaveClick);
    CloseWith(ui->buCancel, this, mrCancel);
    ConnectHelp(ui->bbHelp, QStringLiteral("Hlp_Backup_Set"));
}

TfmBackupEditor::~TfmBackupEditor() = default;

void TfmBackupEditor::LoadSet(const TBackupSet& Set) {
    ui->edBackupSetName->setText(Set.Name);
    ui->edBackupDesc->setText(Set.Description);
    ui->rxdeBackupFolder->setText(Set.Folder);
    ui->cbArcType->setCurrentIndex(Set.ArcType >= 0 && Set.ArcType < 7 ? Set.ArcType : 6);
    ui->cbCompression->setCurrentIndex(Set.Compression >= 0 && Set.Compression < 5 ? Set.Compression : 0);
    ui->cbPathInfo->setCurrentIndex(Set.StorePathInfo == 0 ? 0 : 1);
    QRadioButton* method = Set.Method == 1   ? ui->rbMethodOverwrite
                           : Set.Method == 2 ? ui->rbMethodPrompt
                                             : ui->rbMethodMulti;
    method->setChecked(true);
    MethodClick();
    ui->udGenerations->setValue(Set.Generations);
    ui->lbFiles->clear();
    ui->lbFiles->addItems(Set.Files);
}

void TfmBackupEditor::LockName() {
    ui->edBackupSetName->setEnabled(false);
}

TBackupSet TfmBackupEditor::EditedSet() const {
    TBackupSet set;
    set.Name = ui->edBackupSetName->text();
    set.Description = ui->edBackupDesc->text();
    set.Folder = ui->rxdeBackupFolder->text();
    set.ArcType = ui->cbArcType->currentIndex();
    set.Compression = ui->cbCompression->currentIndex();
    set.StorePathInfo = ui->cbPathInfo->currentIndex();
    set.Method = ui->rbMethodOverwrite->isChecked() ? 1 : ui->rbMethodPrompt->isChecked() ? 2 : 3;
    set.Generations = ui->udGenerations->value();
    for (int i = 0; i < ui->lbFiles->count(); ++i)
        set.Files << ui->lbFiles->item(i)->text();
    return set;
}

void TfmBackupEditor::AddFiles(const QStringList& Files) {
    for (const QString& file : Files)
        if (!file.isEmpty() && ui->lbFiles->findItems(file, Qt::MatchExactly).isEmpty())
            ui->lbFiles->addItem(file);
}

void TfmBackupEditor::AddFolder(const QString& Folder) {
    QString entry = Folder;
    while (entry.size() > 1 && entry.endsWith('/'))
        entry.chop(1);
    AddFiles({entry == QLatin1String("/") ? QStringLiteral("/*.*") : entry + QStringLiteral("/*.*")});
}

void TfmBackupEditor::MethodClick() {
    const bool multi = ui->rbMethodMulti->isChecked();
    ui->laGenerations->setEnabled(multi);
    ui->udGenerations->setEnabled(multi);
}

void TfmBackupEditor::ArcTypeChange(int Index) {
    ui->cbCompression->setEnabled(Index == 0 || Index == 2 || Index == 6);
}

void TfmBackupEditor::AddFilesClick() {
    const QStringList files = ChooseFilesToAdd(this);
    if (!files.isEmpty()) AddFiles(files);
}

void TfmBackupEditor::AddFolderClick() {
    TLmBrowseDialog dffdFolder(this, QStringLiteral("Please select a folder and click \"OK\" to proceed."),
                               {});
    dffdFolder.setWindowTitle(QStringLiteral("Select Folder"));
    dffdFolder.setFileMode(QFileDialog::Directory);
    dffdFolder.setOption(QFileDialog::ShowDirsOnly);
    HidePlacesBar(dffdFolder);
    if (ShowModal(dffdFolder) == QDialog::Accepted && !dffdFolder.selectedFiles().isEmpty())
        AddFolder(dffdFolder.selectedFiles().first());
}

void TfmBackupEditor::ListMenu(const QPoint& Pos) {
    QMenu menu(this);
    QListWidget* list = ui->lbFiles;
    menu.addAction(QStringLiteral("Select All"), list, &QListWidget::selectAll);
    menu.addAction(QStringLiteral("Deselect All"), list, &QListWidget::clearSelection);
    menu.addAction(QStringLiteral("Invert Selection"), list, [list] {
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setSelected(!list->item(i)->isSelected());
    });
    menu.exec(list->viewport()->mapToGlobal(Pos));
}

void TfmBackupEditor::SaveClick() {
    const QString name = ui->edBackupSetName->text();
    if (name.isEmpty() && ui->edBackupSetName->isEnabled()) {
        MessageDlg(QStringLiteral("You must enter a Backup Set Name before saving."), mtInformation, mbOK);
        ui->edBackupSetName->setFocus();
        return;
    }
    // The name becomes the script's file name, so it must be one ('/' and ".." too are refused).
    if (ui->edBackupSetName->isEnabled() && !IsValidBackupSetName(name)) {
        MessageDlg(
            QStringLiteral("The Backup Set Name you entered is invalid. You cannot\r\nuse the following "
                           "characters: <, >, |, \", \\"),
            mtError, mbOK);
        ui->edBackupSetName->setFocus();
        return;
    }
    if (ui->rxdeBackupFolder->text().isEmpty()) {
        MessageDlg(QStringLiteral("You must enter the Backup Storage Folder before saving."), mtInformation,
                   mbOK);
        ui->rxdeBackupFolder->setFocus();
        return;
    }
    if (ui->lbFiles->count() == 0) {
        MessageDlg(QStringLiteral("You must select at least one file or folder to backup \r\nbefore saving."),
                   mtInformation, mbOK);
        ui->pcBackup->setCurrentWidget(ui->tsFiles);
        return;
    }
    done(mrOk);
}
