#include "ui/ProgressCyl.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cmath>

namespace {

// Rounds to the nearest integer, halves to the even one (the rounding mode in force is the
// default, to nearest).
long RoundEven(double Value) {
    return std::lrint(Value);
}

int Clamp255(long Value) {
    return static_cast<int>(std::clamp(Value, 0L, 255L));
}

QColor Shifted(const QColor& Color, int By) {
    return QColor(Clamp255(Color.red() + By), Clamp255(Color.green() + By), Clamp255(Color.blue() + By));
}

// The colour coefficients of one colour under one style, channel by channel.
struct TCoefficients {
    double Channel[3];
    TCoefficients(const QColor& Color, const TPCColorStyle& Style)
        : Channel{Style.Coefficient(Color.red()), Style.Coefficient(Color.green()),
                  Style.Coefficient(Color.blue())} {}
};

} // namespace

void TPCColorStyle::Changed() {
    if (OnChange) OnChange();
}

void TPCColorStyle::SetIntensityRGB(std::int32_t Value) {
    FIntensityRGB = Value;
    Changed();
}

void TPCColorStyle::SetIntensity(float Value) {
    if (Value == 0) return;
    FIntensity = Value;
    Changed();
}

void TPCColorStyle::SetIntensityFactor(float Value) {
    FIntensityFactor = Value;
    Changed();
}

void TPCColorStyle::SetRangeRGB(std::int32_t Value) {
    if (Value == 0) return;
    FRangeRGB = Value;
    Changed();
}

void TPCColorStyle::SetColorRGB(std::int32_t Value) {
    FColorRGB = Value;
    Changed();
}

void TPCColorStyle::SetColorFactor(float Value) {
    FColorFactor = Value;
    Changed();
}

void TPCColorStyle::SetLightAngle(float Value) {
    if (Value == 0) return;
    FLightAngle = Value;
    Changed();
}

double TPCColorStyle::Coefficient(int Channel) const {
    return ((Channel * static_cast<double>(FIntensityFactor) + FIntensityRGB) / FIntensity + Channel) /
           FRangeRGB;
}

TProgressCyl::TProgressCyl(QWidget* Parent)
    : QWidget(Parent), ForeColor(0, 0, 255), ForeLineColor(255, 255, 255), BackColor(255, 255, 255),
      BackBorderColor(0, 0, 0), FontShadowColor(128, 128, 128) {
    setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    FForeStyle.OnChange = [this] { update(); };
    FBackStyle.OnChange = [this] { update(); };
}

void TProgressCyl::SetMin(int Value) {
    FMin = Value;
    SetPosition(FPosition);
}

void TProgressCyl::SetMax(int Value) {
    FMax = Value;
    SetPosition(FPosition);
}

void TProgressCyl::SetPosition(int Value) {
    FPosition = std::max(FMin, std::min(Value, FMax));
    update();
    if (FPosition == FMax) emit progressDone();
}

void TProgressCyl::StepIt() {
    const long next = static_cast<long>(FPosition) + FStep;
    SetPosition(next <= FMax || StopAtMax ? static_cast<int>(std::min<long>(next, FMax)) : FMin);
}

void TProgressCyl::SetOrientation(TOrientation Value) {
    FOrientation = Value;
    update();
}

void TProgressCyl::SetColors(const QColor& Fore, const QColor& ForeLine, const QColor& Back) {
    ForeColor = Fore;
    ForeLineColor = ForeLine;
    BackColor = Back;
    update();
}

bool TProgressCyl::AreaRemains(int BevelWidthValue, int BorderWidthValue) const {
    const int inset = 2 * BevelWidthValue + BorderWidthValue;
    return BevelWidthValue >= 0 && BorderWidthValue >= 0 && width() - 2 * inset > 0 &&
           height() - 2 * inset > 0;
}

template <typename T>
bool TProgressCyl::SetFrameValue(T& Field, T Value, int BevelWidthValue, int BorderWidthValue) {
    if (!AreaRemains(BevelWidthValue, BorderWidthValue)) return false;
    Field = Value;
    update();
    return true;
}

bool TProgressCyl::SetBevelInner(TBevelCut Value) {
    return SetFrameValue(FBevelInner, Value, FBevelWidth, FBorderWidth);
}

bool TProgressCyl::SetBevelOuter(TBevelCut Value) {
    return SetFrameValue(FBevelOuter, Value, FBevelWidth, FBorderWidth);
}

bool TProgressCyl::SetBevelWidth(int Value) {
    return SetFrameValue(FBevelWidth, Value, Value, FBorderWidth);
}

bool TProgressCyl::SetBorderWidth(int Value) {
    return SetFrameValue(FBorderWidth, Value, FBevelWidth, Value);
}

void TProgressCyl::SetCylinderEffect(TCylinderEffect Value) {
    FCylinderEffect = Value;
    update();
}

int TProgressCyl::EffectStrength() const {
    return FCylinderEffect == ceFlat ? 1 : 51 * static_cast<int>(FCylinderEffect);
}

namespace {

// The filled fraction; a gauge without a range is empty.
double Fraction(int Min, int Max, int Position) {
    return Max > Min ? (static_cast<double>(Position) - Min) / (static_cast<double>(Max) - Min) : 0.0;
}

} // namespace

int TProgressCyl::Percent() const {
    return static_cast<int>(RoundEven(Fraction(FMin, FMax, FPosition) * 100));
}

int TProgressCyl::Boundary() const {
    const double f = Fraction(FMin, FMax, FPosition);
    const int inset = InnerInset();
    const int length = FOrientation == pbHorizontal ? width() : height();
    return std::max(inset + 1, static_cast<int>(inset + RoundEven(length * f) - RoundEven(2.0 * inset * f)));
}

QString TProgressCyl::Caption() const {
    const int percent = Percent();
    if (!TextDone.isEmpty() && percent == 100) return TextDone;
    return QString::number(percent) + Text;
}

void TProgressCyl::RenderShade(QImage& Image) const {
    const int inset = InnerInset();
    const int w = width(), h = height();
    const int innerW = w - 2 * inset, innerH = h - 2 * inset;
    if (innerW <= 0 || innerH <= 0) return;
    const bool horizontal = FOrientation == pbHorizontal;
    // Across the cylinder (rows of a horizontal gauge) and along it.
    const int across = horizontal ? innerH : innerW;
    const double step = static_cast<double>(EffectStrength() / across);
    const int boundary = Boundary();
    const TCoefficients fore(ForeColor, FForeStyle), line(ForeLineColor, FForeStyle),
        back(BackColor, FBackStyle);
    for (int r = 0; r < across; ++r) {
        // The shade of this row under each style.
        auto shade = [&](const TPCColorStyle& Style) {
            const long k = RoundEven(across / static_cast<double>(Style.LightAngle())) + r;
            return std::labs(k) * step * Style.ColorFactor() + Style.ColorRGB();
        };
        const double foreShade = shade(FForeStyle), backShade = shade(FBackStyle);
        for (int pos = inset; pos < (horizontal ? w : h) - inset; ++pos) {
            const bool isBack = pos > boundary;
            const TCoefficients& part = pos < boundary ? fore : pos == boundary ? line : back;
            const double base = isBack ? backShade : foreShade;
            const QColor pixel(Clamp255(RoundEven(base * part.Channel[0])),
                               Clamp255(RoundEven(base * part.Channel[1])),
                               Clamp255(RoundEven(base * part.Channel[2])));
            if (horizontal) {
                Image.setPixelColor(pos, inset + r, pixel);
            } else {
                Image.setPixelColor(inset + r, h - 1 - pos, pixel); // filled from the bottom
            }
        }
    }
}

void TProgressCyl::RenderFrame(QImage& Image) const {
    const int w = width(), h = height();
    const QPalette& palette = QApplication::palette();
    const bool system = !BevelColor.isValid();
    const QColor face = system ? palette.color(QPalette::Button) : BevelColor;
    // The top-left and bottom-right tones of a bevel ring.
    auto tones = [&](TBevelCut Cut, bool Outer) -> std::pair<QColor, QColor> {
        if (Cut == bvNone) return {face, face};
        const QColor light =
            system ? palette.color(Outer ? QPalette::Light : QPalette::Midlight) : Shifted(face, 64);
        const QColor dark =
            system ? palette.color(Outer ? QPalette::Shadow : QPalette::Dark) : Shifted(face, -64);
        return Cut == bvRaised ? std::pair{light, dark} : std::pair{dark, light};
    };
    const auto outer = tones(FBevelOuter, true), inner = tones(FBevelInner, false);
    const int inset = InnerInset();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int d = std::min({x, y, w - 1 - x, h - 1 - y});
            if (d >= inset) continue;
            const bool bottomRight = x == w - 1 - d || y == h - 1 - d;
            QColor color;
            if (d < FBevelWidth) {
                color = bottomRight ? outer.second : outer.first;
            } else if (d < FBevelWidth + FBorderWidth) {
                color = BackBorderColor.isValid() ? BackBorderColor : palette.color(QPalette::Shadow);
            } else {
                color = bottomRight ? inner.second : inner.first;
            }
            Image.setPixelColor(x, y, color);
        }
    }
}

QImage TProgressCyl::Render() const {
    QImage image(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB888);
    image.fill(Qt::black);
    RenderFrame(image);
    RenderShade(image);
    return image;
}

void TProgressCyl::paintEvent(QPaintEvent* /*Event*/) {
    QImage image = Render();
    if (ShowText) {
        QPainter painter(&image);
        painter.setFont(font());
        painter.translate(width() / 2.0, height() / 2.0);
        if (FontOrientation == foTopToBottom) painter.rotate(90);
        if (FontOrientation == foBottomToTop) painter.rotate(-90);
        const bool across = FontOrientation != foLeftToRight;
        const QRectF box(across ? -height() / 2.0 : -width() / 2.0, across ? -width() / 2.0 : -height() / 2.0,
                         across ? height() : width(), across ? width() : height());
        const QString caption = Caption();
        if (FontEffect == feShadowTopLeft || FontEffect == feShadowBottomRight) {
            const int offset = FontEffect == feShadowTopLeft ? -1 : 1;
            painter.setPen(FontShadowColor);
            painter.drawText(box.translated(offset, offset), Qt::AlignCenter, caption);
        }
        if (FontEffect == feInvert) {
            painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            painter.setPen(Qt::white);
        } else {
            painter.setPen(FontColor);
        }
        painter.drawText(box, Qt::AlignCenter, caption);
    }
    QPainter(this).drawImage(0, 0, image);
}

void TProgressCyl::enterEvent(QEnterEvent* Event) {
    QWidget::enterEvent(Event);
    emit mouseEntered();
}

void TProgressCyl::leaveEvent(QEvent* Event) {
    QWidget::leaveEvent(Event);
    emit mouseLeft();
}
