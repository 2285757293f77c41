// The status light: a round lamp, green while the window waits for the user and red while it
// works.
#pragma once

#include <QColor>
#include <QWidget>

class TStatusLed : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
public:
    explicit TStatusLed(QWidget* Parent = nullptr);
    QColor Color() const { return FColor; }
    void SetColor(const QColor& Value);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    QColor FColor = Qt::green;
};
