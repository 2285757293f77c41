#include "app/dialogs/ManageBackup.h"

#include "app/dialogs/BackupEditor.h"
#include "app/common/BackupScript.h"
#include "app/dialogs/DialogSupport.h"
#include "app/common/ShellUtils.h"
#include "app/common/SystemUtils.h"
#include "platform/Shell.h"
#include "ui_BackupEditor.h"
#include "ui_ManageBackup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

TfmManageBackup::TfmManageBackup(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmManageBackup>()) {
    ui->setupUi(this);
    connect(ui->buCreate, &QPushButton::clicked, this, &TfmManageBackup::CreateClick);
    connect(ui->buModify, &QPushButton::clicked, this, &TfmManageBackup::ModifyClick);
    connect(ui->clbBackupSets, &QListWidget::itemDoubleClicked, this, &TfmManageBackup::ModifyClick);
    connect(ui->buRemove, &QPushButton::clicked, this, &TfmManageBackup::RemoveClick);
    connect(ui->buRunBackup, &QPushButton::clicked, this, &TfmManageBackup::RunBackupClick);
    CloseWith(ui->buClose, this, mrCancel);
    ConnectHelp(ui->buHelp, QStringLiteral("Hlp_Manage_Backups"));
    connect(ui->miCheckAll, &QAction::triggered, this, [this] { SetAllChecks(true); });
    connect(ui->miUncheckAll, &QAction::triggered, this, [this] { SetAllChecks(false); });
    connect(ui->miViewArchives, &QAction::triggered, this, &TfmManageBackup::ViewArchivesClick);
    connect(ui->miCreateShortcut, &QAction::triggered, this, &TfmManageBackup::CreateShortcutClick);
    connect(ui->clbBackupSets, &QListWidget::customContextMenuRequested, this, [this](const QPoint& Pos) {
        QMenu menu(this);
        menu.addActions({ui->miCheckAll, ui->miUncheckAll});
        menu.addSeparator();
        menu.addActions({ui->miViewArchives, ui->miCreateShortcut});
        menu.exec(ui->clbBackupSets->viewport()->mapToGlobal(Pos));
    });
    ListBackupSets();
}

TfmManageBackup::~TfmManageBackup() = default;

void TfmManageBackup::ListBackupSets() {
    ui->clbBackupSets->clear();
    const QFileInfoList scripts =
        QDir(BackupsFolder()).entryInfoList({QStringLiteral("*.zfb")}, QDir::Files | QDir::Hidden);
    for (const QFileInfo& script : scripts) {
        auto* item = new QListWidgetItem(script.completeBaseName(), ui->clbBackupSets);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

QString TfmManageBackup::SelectedSet() const {
    for (int i = 0; i < ui->clbBackupSets->count(); ++i)
        if (ui->clbBackupSets->item(i)->isSelected()) return ui->clbBackupSets->item(i)->text();
    return {};
}

QStringList TfmManageBackup::SetsToRun() const {
    QStringList sets;
    for (int i = 0; i < ui->clbBackupSets->count(); ++i)
        if (ui->clbBackupSets->item(i)->checkState() == Qt::Checked)
            sets << ui->clbBackupSets->item(i)->text();
    if (sets.isEmpty() && !SelectedSet().isEmpty()) sets << SelectedSet();
    return sets;
}

void TfmManageBackup::SetAllChecks(bool Checked) {
    for (int i = 0; i < ui->clbBackupSets->count(); ++i)
        ui->clbBackupSets->item(i)->setCheckState(Checked ? Qt::Checked : Qt::Unchecked);
}

void TfmManageBackup::CreateClick() {
    TfmBackupEditor editor(this);
    editor.setWindowTitle(QStringLiteral("New Backup Set"));
    if (ShowModal(editor) != mrOk) return;
    const TBackupSet set = editor.EditedSet();
    QDir().mkpath(BackupsFolder());
    if (!SaveBackupScript(BackupScriptPath(set.Name), set))
        MessageDlg(QStringLiteral("Unable to save the backup set script:\r\n") + BackupScriptPath(set.Name),
                   mtError, mbOK);
    ListBackupSets();
}

void TfmManageBackup::ModifyClick() {
    const QString name = SelectedSet();
    if (name.isEmpty()) {
        MessageDlg(QStringLiteral("Please select a backup set first before\r\ntrying to modify."),
                   mtInformation, mbOK);
        return;
    }
    const QString path = BackupScriptPath(name);
    if (!QFileInfo(path).isFile()) {
        MessageDlg(QStringLiteral("The script file for the backup set you selected \r\nseems to be missing."),
                   mtError, mbOK);
        return;
    }
    const std::optional<TBackupSet> old = ParseBackupScript(LoadBackupScript(path));
    if (!old) {
        MessageDlg(
            QStringLiteral("The backup script you selected seems to be corrupted.\r\nQuillar was unable "
                           "to read the script properly."),
            mtError, mbOK);
        return;
    }
    TfmBackupEditor editor(this);
    editor.LoadSet(*old);
    editor.LockName();
    editor.setWindowTitle(QStringLiteral("Edit Backup Set"));
    if (ShowModal(editor) != mrOk) return;
    TBackupSet set = editor.EditedSet();
    set.Name = old->Name;
    if (!SaveBackupScript(path, set)) {
        MessageDlg(QStringLiteral("Unable to save the backup set script:\r\n") + path, mtError, mbOK);
        return;
    }
    // The kept generations are renumbered where they lie: in the set's old folder, under the
    // old format's extension.
    if (set.Method == 3 && old->Method == 3 && set.Generations != old->Generations)
        RenumberGenerations(BackupBase(*old), ArcTypeExtension(old->ArcType), old->Generations,
                            set.Generations);
    ListBackupSets();
}

void TfmManageBackup::RemoveClick() {
    const QString name = SelectedSet();
    if (name.isEmpty()) {
        MessageDlg(QStringLiteral("Please select a backup set first before\r\ntrying to remove it."),
                   mtInformation, mbOK);
        return;
    }
    if (MessageDlg(QStringLiteral("Are you sure you want to remove the \r\nselected backup set ?"),
                   mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    const QString path = BackupScriptPath(name);
    const std::optional<TBackupSet> set = ParseBackupScript(LoadBackupScript(path));
    // Only the set's own archives go (the folder too when that leaves it empty): the storage
    // folder may be the home folder or shared with other sets and files. The question names
    // what will go.
    const QStringList archives = set && QFileInfo(set->Folder).isDir() ? BackupArchives(*set) : QStringList();
    if (!archives.isEmpty()) {
        QString names;
        for (const QString& archive : archives.mid(0, 10))
            names += QStringLiteral("  ") + QFileInfo(archive).fileName() + QStringLiteral("\r\n");
        if (archives.size() > 10)
            names +=
                QStringLiteral("  ... (") + QString::number(archives.size()) + QStringLiteral(" in all)\r\n");
        if (MessageDlg(QStringLiteral("Do you want Quillar to automatically delete the backups of\r\nthis "
                                      "backup set ?\r\n\r\n") +
                           names + QStringLiteral("\r\nFolder: ") + set->Folder +
                           QStringLiteral("\r\n\r\nOther files in this folder are kept; the folder is "
                                          "deleted\r\nonly when nothing else is left in it."),
                       mtConfirmation, mbYes | mbNo) == mrYes)
            DeleteBackupArchives(*set);
    }
    if (!QFile::remove(path))
        MessageDlg(
            QStringLiteral("Unable to remove this backup set. Please see the help \r\nfile for instructions "
                           "on how to manually remove this \r\nbackup set."),
            mtError, mbOK);
    ListBackupSets();
}

void TfmManageBackup::RunBackupClick() {
    if (SetsToRun().isEmpty()) {
        MessageDlg(
            QStringLiteral("Please check or select at least one backup set in\r\nthe list. You can check "
                           "more than one backup set\r\nto perform many backups simultaneously."),
            mtInformation, mbOK);
        return;
    }
    done(mrRunBackup);
}

void TfmManageBackup::ViewArchivesClick() {
    const QString name = SelectedSet();
    if (name.isEmpty()) {
        MessageDlg(QStringLiteral("You did not select a Backup Set."), mtInformation, mbOK);
        return;
    }
    const QString folder =
        ScriptValue(LoadBackupScript(BackupScriptPath(name)), QStringLiteral("BackupFolder"));
    if (OnLaunch && !folder.isEmpty()) OnLaunch(QStringLiteral("xdg-open"), {folder});
}

void TfmManageBackup::CreateShortcutClick() {
    const QString name = SelectedSet();
    if (name.isEmpty()) {
        MessageDlg(QStringLiteral("You did not select a Backup Set."), mtInformation, mbOK);
        return;
    }
    const QString desktop = QString::fromStdString(GetSpecialFolderPath(sfDesktopDirectory));
    if (!CreateBackupShortcut(desktop, name, QString::fromStdString(ProgramFilePath()),
                              BackupScriptPath(name)))
        MessageDlg(QStringLiteral("Unable to create the shortcut on the desktop."), mtError, mbOK);
}
