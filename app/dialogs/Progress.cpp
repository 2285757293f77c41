#include "app/dialogs/Progress.h"

#include "app/dialogs/DialogSupport.h"
#include "ui_Progress.h"

#include <QCoreApplication>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int FrameCount = 12;
constexpr int FrameMilliseconds = 75;

} // namespace

TfmProgress::TfmProgress(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmProgress>()), FHourGlass(new QTimer(this)) {
    ui->setupUi(this);
    setModal(false);
    FHourGlass->setInterval(FrameMilliseconds);
    connect(FHourGlass, &QTimer::timeout, this, &TfmProgress::NextFrame);
    connect(ui->buCancel, &QPushButton::clicked, this, &TfmProgress::CancelClick);
    NextFrame();
}

TfmProgress::~TfmProgress() = default;

void TfmProgress::showEvent(QShowEvent* Event) {
    FHourGlass->start();
    Cancelled = false;
    FByFile = 0;
    FByArchive = 1;
    FLastTick.invalidate();
    Paint();
    ui->buCancel->setText("&Cancel");
    ui->buCancel->setEnabled(true);
    QDialog::showEvent(Event);
    QCoreApplication::processEvents();
}

void TfmProgress::SetCancelEnabled(bool Enabled) {
    ui->buCancel->setEnabled(Enabled);
}

bool TfmProgress::Advance(int ByFile, int ByArchive) {
    FByFile = ByFile;
    FByArchive = ByArchive;
    if (FLastTick.isValid() && FLastTick.elapsed() < PaintInterval && ByArchive < 100) return false;
    FLastTick.start();
    if (isVisible()) Paint();
    return true;
}

void TfmProgress::Paint() {
    // Each bar repaints only itself, at once: far cheaper than the window's paint that an
    // update of the bars through the event loop would bring.
    ui->pbCurrent->setValue(FByFile);
    ui->pbTotal->setValue(std::max(FByArchive, 1));
    ui->laCurrent->setText(QString::number(FByFile) + QLatin1Char('%'));
    ui->laTotal->setText(QString::number(FByArchive) + QLatin1Char('%'));
}

void TfmProgress::hideEvent(QHideEvent* Event) {
    FHourGlass->stop();
    QDialog::hideEvent(Event);
}

// Brought to the front while the operation keeps the GUI thread busy: paint at once and let
// what waits (the Cancel click among it) run.
bool TfmProgress::event(QEvent* Event) {
    const bool handled = QDialog::event(Event);
    if (Event->type() == QEvent::WindowActivate) {
        update();
        QCoreApplication::processEvents();
    }
    return handled;
}

void TfmProgress::reject() {
    if (ui->buCancel->isEnabled()) CancelClick();
}

void TfmProgress::CancelClick() {
    if (MessageDlg("Are you sure you want to cancel this task ?", mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    Cancelled = true;
    ui->buCancel->setText("Wait ...");
    ui->buCancel->setEnabled(false);
}

// The hourglass: the theme's icon turned a step further each frame. Each frame is drawn once
// and kept: the window turns it for as long as an operation runs.
void TfmProgress::NextFrame() {
    if (FFrames.empty()) FFrames.resize(FrameCount);
    QPixmap& frame = FFrames[FFrame];
    if (frame.isNull()) {
        if (FIcon.isNull())
            FIcon = QIcon::fromTheme("appointment-soon", style()->standardIcon(QStyle::SP_BrowserReload));
        const int size = 32;
        frame = QPixmap(size, size);
        frame.fill(Qt::transparent);
        QPainter painter(&frame);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(size / 2.0, size / 2.0);
        painter.rotate(360.0 * FFrame / FrameCount);
        painter.drawPixmap(-size / 2, -size / 2, FIcon.pixmap(size, size));
    }
    ui->aiHourGlass->setPixmap(frame);
    FFrame = (FFrame + 1) % FrameCount;
}
