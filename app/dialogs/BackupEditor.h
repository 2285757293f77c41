// The backup-set editor: the options of one set and the files and folders it packs. Save
// checks the name, the storage folder and the file list before it closes with OK.
#pragma once

#include "app/common/BackupScript.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TfmBackupEditor;
}

class TfmBackupEditor : public QDialog {
    Q_OBJECT
public:
    explicit TfmBackupEditor(QWidget* Parent = nullptr);
    ~TfmBackupEditor() override;

    std::unique_ptr<Ui::TfmBackupEditor> ui;

    // The controls from a set, and a set from the controls.
    void LoadSet(const TBackupSet& Set);
    // An existing set is edited: its name stays.
    void LockName();
    TBackupSet EditedSet() const;
    // Appends each path not listed yet; a folder is listed as "<folder>/*.*".
    void AddFiles(const QStringList& Files);
    void AddFolder(const QString& Folder);

private:
    void MethodClick();
    void ArcTypeChange(int Index);
    void AddFilesClick();
    void AddFolderClick();
    void SaveClick();
    void ListMenu(const QPoint& Pos);
};
