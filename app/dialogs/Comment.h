// The archive-comment editor. Save is enabled while the text differs from the saved one, and
// closing with such a change asks first. Save and Clear hand the comment to the writer at once;
// the main window writes the comments into the archive after the dialog closes. A comment is at
// most 65535 bytes (the field that holds it), so the editor takes no more.
#pragma once

#include <QDialog>
#include <QString>
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
    // The comment the archive holds, shown for editing.
    void SetText(const QString& Text);

protected:
    void showEvent(QShowEvent* Event) override;
    void reject() override; // Escape closes as Close does

private:
    void TextChanged();
    void SaveClick();
    void ClearClick();
    void CloseClick();
    // Whether the text differs from the one last saved (or opened with).
    bool Changed() const;

    TZip& FArchive;
    QString FSavedText;
    bool FShown = false;
};
