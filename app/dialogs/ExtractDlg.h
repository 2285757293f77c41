// The extract options dialog: where to extract to (typed, taken from the history or picked in
// the folder tree), which files and how. The caller reads the controls after a result of 1.
#pragma once

#include "app/ops/OpExtract.h"

#include <QDialog>
#include <memory>

class QFileSystemModel;
namespace Ui {
class TfmExtractDlg;
}

class TfmExtractDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfmExtractDlg(QWidget* Parent = nullptr);
    ~TfmExtractDlg() override;

    std::unique_ptr<Ui::TfmExtractDlg> ui;

    // The destination as the dialog closes it: a bare folder name (no '/') is taken in the
    // folder the program was started in, which nothing in the program ever changes.
    static QString DestinationFolder(const QString& Text);

    // Places the folder tree at Folder (opened down to it) without copying it into the
    // destination box; only the user's own pick in the tree does that.
    void SetTreeFolder(const QString& Folder);
    // The folder the tree stands at.
    QString TreeFolder() const;
    // Selected rows to extract: "Selected files" chosen; none: "All files", the choice off.
    void SetSelection(bool HasSelection);
    void SetDestination(const QString& Folder);
    // "Selected files" was chosen.
    bool SelectedFiles() const;
    // The choices, once the dialog was closed with OK: the destination (by DestinationFolder)
    // and the folder, date, overwrite and attribute options; the archive and entries are the
    // caller's.
    TExtractOptions Options() const;

private:
    void ExtractClick();
    QFileSystemModel* FFolders;
    bool FPlacingTree = false;
};
