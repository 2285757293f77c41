// The question whether an extracted file replaces an existing one. Rename extracts the entry
// under another name in the same folder instead.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfmOverwriteDlg;
}

// Modal results of the overwrite question beyond Yes (6), No (7) and Cancel (2).
inline constexpr int mrOverwriteYesToAll = 21;
inline constexpr int mrOverwriteNoToAll = 22;
inline constexpr int mrOverwriteRename = 23;

class TfmOverwriteDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfmOverwriteDlg(QWidget* Parent = nullptr);
    ~TfmOverwriteDlg() override;

    std::unique_ptr<Ui::TfmOverwriteDlg> ui;
    QString FileName; // the existing file's full path, set by SetFiles

    // The existing file (its path elided to the label's width, its size and date) and the
    // text that describes the incoming one.
    void SetFiles(const QString& Existing, const QString& IncomingText);
    QString NewFileName; // the path to extract to instead, set by Rename

private:
    void RenameClick();
};
