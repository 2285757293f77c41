// The status light: a round lamp, green while the window waits for the user and red while it
// works; amber while it waits after a run in which entries failed.
#pragma once

#include <QColor>
#include <QWidget>

class TStatusLed : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
public:
    explicit TStatusLed(QWidget* Parent = nullptr);
    // The colour after a run in which entries failed.
    static QColor FailedColor() { return QColor(255, 160, 0); }
    QColor Color() const { return FColor; }
    void SetColor(const QColor& Value);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    QColor FColor = Qt::green;
};
