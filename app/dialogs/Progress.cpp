#include "app/dialogs/Progress.h"

#include "app/dialogs/DialogSupport.h"
#include "ui_Progress.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QPainter>
#include <QProgressBar>
#include <QStyle>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int FrameCount = 12;
constexpr int FrameMilliseconds = 75;

// The theme's icon, else the style's reload icon. That one is read as the PNG it is: the
// style's own lookup has every image plugin of the system loaded to ask whether it reads the
// file, a tenth of a short command-line run.
QIcon HourGlassIcon(const QStyle& Style) {
    const QIcon themed = QIcon::fromTheme(QStringLiteral("appointment-soon"));
    if (!themed.isNull() && !themed.availableSizes().isEmpty()) return themed;
    QImageReader reader(QStringLiteral(":/qt-project.org/styles/commonstyle/images/refresh-32.png"), "png");
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    if (!image.isNull()) return QIcon(QPixmap::fromImage(image));
    return Style.standardIcon(QStyle::SP_BrowserReload);
}

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
    FTickArchive = 0;
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
    // The end comes through once: a run can stay at 100% for many entries.
    const bool reachesEnd = ByArchive >= 100 && FTickArchive < 100;
    if (FLastTick.isValid() && FLastTick.elapsed() < PaintInterval && !reachesEnd) return false;
    FLastTick.start();
    FTickArchive = ByArchive;
    if (isVisible()) Paint();
    return true;
}

void TfmProgress::Paint() {
    // A bar repaints itself at once when its value changes; held back, the bars and the labels
    // are painted together when the caller lets the event loop run.
    const auto setValue = [](QProgressBar* Bar, int Value) {
        if (Bar->value() == Value) return;
        Bar->setUpdatesEnabled(false);
        Bar->setValue(Value);
        Bar->setUpdatesEnabled(true); // marks the bar for the next paint
    };
    setValue(ui->pbCurrent, FByFile);
    setValue(ui->pbTotal, std::max(FByArchive, 1));
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
        if (FIcon.isNull()) FIcon = HourGlassIcon(*style());
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
