// The progress window of archive operations: two bars with their percentages, an hourglass that
// turns, and Cancel, which after a confirmation only marks the run as cancelled; the operation's
// progress handler reads Cancelled and closes the window when the operation ends. Made once at
// start-up and shown without modality.
#pragma once

#include <QDialog>
#include <memory>

class QTimer;
namespace Ui {
class TfmProgress;
}

class TfmProgress : public QDialog {
    Q_OBJECT
public:
    explicit TfmProgress(QWidget* Parent = nullptr);
    ~TfmProgress() override;

    std::unique_ptr<Ui::TfmProgress> ui;
    bool Cancelled = false;

protected:
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void reject() override; // Escape asks as Cancel does
    bool event(QEvent* Event) override;

private:
    void CancelClick();
    void NextFrame();

    QTimer* FHourGlass;
    int FFrame = 0;
};
