// The extract options dialog: where to extract to (typed, taken from the history or picked in
// the folder tree), which files and how. The caller reads the controls after a result of 1.
#pragma once

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

private:
    void ExtractClick();
    QFileSystemModel* FFolders;
};
