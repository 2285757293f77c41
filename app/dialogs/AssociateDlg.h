// The question whether to associate the archive types with the program now: Yes (6) or No (7);
// the caller also reads ckAskAgain.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfmAssociateDlg;
}

class TfmAssociateDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfmAssociateDlg(QWidget* Parent = nullptr);
    ~TfmAssociateDlg() override;

    std::unique_ptr<Ui::TfmAssociateDlg> ui;
    // The user asked not to be asked again.
    bool StopAsking() const;
};
