// The password prompt for an archive entry that needs one. The mask setting is shared with the
// set-password dialog and kept in the settings store.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfmGetPassword;
}

class TfmGetPassword : public QDialog {
    Q_OBJECT
public:
    explicit TfmGetPassword(QWidget* Parent = nullptr);
    ~TfmGetPassword() override;

    std::unique_ptr<Ui::TfmGetPassword> ui;

    // The entry the password is asked for, as the dialog names it.
    void SetFileName(const QString& FileName);
    // Shows (or hides) that the password given before for this entry was wrong.
    void SetRejected(bool Rejected);
    // The password typed, once the dialog was closed with OK.
    QString Password() const;

private:
    void ApplyMask();
    void OkClick();
};
