// The password to use for the open archive. Masked, the password is typed twice and both must
// agree; unmasked it is shown and typed once. An empty password clears the current one.
#pragma once

#include <QDialog>
#include <memory>

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
