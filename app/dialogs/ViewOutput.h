// The window with the output of the last operation: the lines of the most recent error, or the
// log of a test, repair or convert run. Made once at start-up and shown on request.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfmViewOutput;
}

class TfmViewOutput : public QDialog {
    Q_OBJECT
public:
    explicit TfmViewOutput(QWidget* Parent = nullptr);
    ~TfmViewOutput() override;

    std::unique_ptr<Ui::TfmViewOutput> ui;

private:
    void CopyClick();
};
