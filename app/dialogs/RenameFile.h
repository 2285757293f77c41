// The question what to do when a file being added has the name of an entry already in the
// archive: rename the existing entry, or skip the new file (once or for the rest of the run).
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfmRenameFile;
}

// Modal results of the duplicate-name question.
inline constexpr int mrDupeRename = 21;
inline constexpr int mrDupeSkip = 22;
inline constexpr int mrDupeSkipAll = 23;

class TfmRenameFile : public QDialog {
    Q_OBJECT
public:
    explicit TfmRenameFile(QWidget* Parent = nullptr);
    ~TfmRenameFile() override;

    std::unique_ptr<Ui::TfmRenameFile> ui;
    QString ExistingName; // set by SetName

    // The name of the entry that is there already, offered for editing.
    void SetName(const QString& Name);
    // The new name typed, once the dialog was closed with Rename.
    QString Name() const;

private:
    void RenameClick();
};
