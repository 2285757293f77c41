#include "app/main/StatusLed.h"

#include <QPainter>
#include <QRadialGradient>

TStatusLed::TStatusLed(QWidget* Parent) : QWidget(Parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TStatusLed::SetColor(const QColor& Value) {
    if (Value == FColor) return;
    FColor = Value;
    repaint();
}

QSize TStatusLed::sizeHint() const {
    const int side = fontMetrics().height();
    return {side, side};
}

void TStatusLed::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = std::min(width(), height()) - 2;
    // Centred in the widget.
    const QRectF lamp((width() - side) / 2, (height() - side) / 2, side, side);
    QRadialGradient shade(lamp.center() - QPointF(side / 5.0, side / 5.0), side / 1.5);
    shade.setColorAt(0, FColor.lighter(170));
    shade.setColorAt(1, FColor.darker(130));
    painter.setBrush(shade);
    painter.setPen(QPen(FColor.darker(200), 1));
    painter.drawEllipse(lamp);
}
