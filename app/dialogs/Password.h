// The password to use for the open archive. Masked, the password is typed twice and both must
// agree; unmasked it is shown and typed once. An empty password clears the current one.
#pragma once

#include <QDialog>
#include <memory>

class QAbstractButton;
namespace Ui {
class TfmPassword;
}

class TfmPassword : public QDialog {
    Q_OBJECT
public:
    explicit TfmPassword(QWidget* Parent = nullptr);
    ~TfmPassword() override;

    std::unique_ptr<Ui::TfmPassword> ui;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void ApplyMask();
    void OkClick();
};

// The caption of an add panel's password button: "&Protected" while the archive has a password.
QString PasswordButtonCaption();
// Clicking Button asks for the archive's password (OK stores it) and updates its caption.
void ConnectPasswordButton(QAbstractButton* Button);
// The password dialog; on OK its password becomes the archive's current one.
void AskArchivePassword(QWidget* Parent);
