// The check-out dialog: the folder to extract into and the program group to make. A check-out
// replaces what the folder and the group hold, so the root, the home folder itself and names
// that climb out with ".." are refused before the user is asked anything.
#pragma once

#include "app/ops/OpCheckout.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TfmCheckout;
}

class TfmCheckout : public QDialog {
    Q_OBJECT
public:
    explicit TfmCheckout(QWidget* Parent = nullptr);
    ~TfmCheckout() override;

    std::unique_ptr<Ui::TfmCheckout> ui;

    // The folder and group offered; without a scanner the scan is off and cannot be chosen.
    void SetChoices(const QString& Folder, const QString& GroupName, bool ScanAvailable);
    // The choices, once the dialog was closed with OK (the archive and its entries are the
    // caller's).
    TCheckoutOptions Options() const;
    // The folder of the group's shortcuts: the applications menu's folder and the group name.
    QString GroupFolder() const;

private:
    void OkClick();
    // The files of the existing folder that its question named, which the check-out deletes.
    QStringList FClear;
};
