// The progress window of archive operations: two bars with their percentages, an hourglass that
// turns, and Cancel, which after a confirmation only marks the run as cancelled; the operation's
// progress handler reads Cancelled and closes the window when the operation ends. Made once at
// start-up and shown without modality. Progress is painted at most every PaintInterval and only
// while the window shows, so a run of many small entries is not slowed by its own progress.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QIcon>
#include <QPixmap>
#include <memory>
#include <vector>

class QTimer;
namespace Ui {
class TfmProgress;
}

class TfmProgress : public QDialog {
    Q_OBJECT
public:
    explicit TfmProgress(QWidget* Parent = nullptr);
    ~TfmProgress() override;

    static constexpr int PaintInterval = 50; // milliseconds: 20 frames a second

    // Takes the run's progress (percent of the current file and of the whole run). Returns true
    // when the caller should let the event loop run: on the first call of a run, when the run
    // first reaches its end, and otherwise at most every PaintInterval. The bars follow only then.
    bool Advance(int ByFile, int ByArchive);

    std::unique_ptr<Ui::TfmProgress> ui;
    // Cancel offered (a run starts) or not (its work is done).
    void SetCancelEnabled(bool Enabled);
    bool Cancelled = false;

protected:
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void reject() override; // Escape asks as Cancel does
    bool event(QEvent* Event) override;

private:
    void CancelClick();
    void NextFrame();
    void Paint();

    QTimer* FHourGlass;
    int FFrame = 0;
    QIcon FIcon;                  // the hourglass's icon, looked up when first drawn
    std::vector<QPixmap> FFrames; // the hourglass's frames, each drawn when first shown
    int FByFile = 0;
    int FByArchive = 0;
    QElapsedTimer FLastTick; // invalid until the run's first progress
    int FTickArchive = 0;    // the run's percent at the last tick
};
