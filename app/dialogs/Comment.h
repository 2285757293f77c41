// The archive-comment editor. Save and Clear hand the comment to the archive's writer at once;
// the main window writes the comments into the archive after the dialog closes. A comment is at
// most 65535 bytes (the field that holds it), so the editor takes no more.
#pragma once

#include <QDialog>
#include <memory>

class TZip;
namespace Ui {
class TfmComment;
}

inline constexpr int MaxCommentBytes = 65535;

class TfmComment : public QDialog {
    Q_OBJECT
public:
    // Archive is the writer prepared for the open archive (its comments opened).
    explicit TfmComment(TZip& Archive, QWidget* Parent = nullptr);
    ~TfmComment() override;

    std::unique_ptr<Ui::TfmComment> ui;

protected:
    void showEvent(QShowEvent* Event) override;
    void reject() override; // Escape closes as Close does

private:
    void TextChanged();
    void SaveClick();
    void ClearClick();
    void CloseClick();

    TZip& FArchive;
};
