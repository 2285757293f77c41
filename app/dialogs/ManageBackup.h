// The backup manager: lists the sets of the backups folder and creates, modifies, removes,
// opens and runs them, and puts a shortcut to a set on the desktop. Run closes the dialog with
// mrRunBackup; the caller runs the checked sets (or the first selected one).
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

namespace Ui {
class TfmManageBackup;
}

inline constexpr int mrRunBackup = 31;

class TfmManageBackup : public QDialog {
    Q_OBJECT
public:
    explicit TfmManageBackup(QWidget* Parent = nullptr);
    ~TfmManageBackup() override;

    std::unique_ptr<Ui::TfmManageBackup> ui;

    // Opens a folder for the user (the main window's launcher: xdg-open).
    std::function<bool(const QString& Program, const QStringList& Arguments)> OnLaunch;

    // The sets to run after mrRunBackup: the checked ones in list order, else the first selected.
    QStringList SetsToRun() const;
    // Rebuilds the list from the backups folder.
    void ListBackupSets();

    void CreateClick();
    void ModifyClick();
    void RemoveClick();
    void RunBackupClick();
    void ViewArchivesClick();
    void CreateShortcutClick();

private:
    // The first selected set's name; empty when none is selected.
    QString SelectedSet() const;
    void SetAllChecks(bool Checked);
};
