// A progress gauge drawn as a lit cylinder: the part between Min and Position is filled, the
// rest empty, each shaded row by row (column by column when vertical) so that one row is
// brightest and the shade darkens evenly away from it, framed by a border and bevels, with the
// percentage written over it. The gauge is painted into a 24-bit image and copied to the screen.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>
#include <functional>

// How one part of the gauge (filled or empty) is shaded. Setting Intensity, RangeRGB or
// LightAngle to 0 is ignored; every accepted change repaints the gauge.
class TPCColorStyle {
public:
    std::int32_t IntensityRGB() const { return FIntensityRGB; }
    float Intensity() const { return FIntensity; }
    float IntensityFactor() const { return FIntensityFactor; }
    std::int32_t RangeRGB() const { return FRangeRGB; }
    std::int32_t ColorRGB() const { return FColorRGB; }
    float ColorFactor() const { return FColorFactor; }
    float LightAngle() const { return FLightAngle; }

    void SetIntensityRGB(std::int32_t Value);
    void SetIntensity(float Value);
    void SetIntensityFactor(float Value);
    void SetRangeRGB(std::int32_t Value);
    void SetColorRGB(std::int32_t Value);
    void SetColorFactor(float Value);
    void SetLightAngle(float Value);

    // The factor a colour channel (0..255) is shaded with.
    double Coefficient(int Channel) const;

    std::function<void()> OnChange;

private:
    void Changed();

    std::int32_t FIntensityRGB = 255;
    float FIntensity = 4.0f;
    float FIntensityFactor = -1.0f;
    std::int32_t FRangeRGB = 255;
    std::int32_t FColorRGB = 255;
    float FColorFactor = -1.0f;
    float FLightAngle = -3.0f;
};

class TProgressCyl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Min READ Min WRITE SetMin)
    Q_PROPERTY(int Max READ Max WRITE SetMax)
    Q_PROPERTY(int Position READ Position WRITE SetPosition)
    Q_PROPERTY(int Step READ Step WRITE SetStep)

public:
    enum TOrientation { pbHorizontal, pbVertical };
    enum TBevelCut { bvNone, bvLowered, bvRaised };
    enum TCylinderEffect { ceFlat, ceUltraLow, ceLow, ceMedium, ceHigh, ceMaximum };
    enum TFontEffect { feNone, feInvert, feShadowTopLeft, feShadowBottomRight };
    enum TFontOrientation { foLeftToRight, foTopToBottom, foBottomToTop };
    enum TProEffect { peCustom };

    explicit TProgressCyl(QWidget* Parent = nullptr);

    int Min() const { return FMin; }
    int Max() const { return FMax; }
    int Position() const { return FPosition; }
    int Step() const { return FStep; }
    void SetMin(int Value);
    void SetMax(int Value);
    // Kept within Min..Max; reaching Max emits progressDone.
    void SetPosition(int Value);
    void SetStep(int Value) { FStep = Value; }
    // One Step on; past Max it starts again at Min, or stays at Max with StopAtMax.
    void StepIt();

    TOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TOrientation Value);

    // An invalid colour stands for the system's colour of that kind (BevelColor: the button
    // face, whose bevels use the system's highlight, light, shadow and dark shadow).
    QColor ForeColor, ForeLineColor, BackColor, BackBorderColor, BevelColor, FontShadowColor;
    QColor FontColor = Qt::black;
    void SetColors(const QColor& Fore, const QColor& ForeLine, const QColor& Back);

    TBevelCut BevelInner() const { return FBevelInner; }
    TBevelCut BevelOuter() const { return FBevelOuter; }
    int BevelWidth() const { return FBevelWidth; }
    int BorderWidth() const { return FBorderWidth; }
    // Refused (the old value stays) when the shaded area would vanish.
    bool SetBevelInner(TBevelCut Value);
    bool SetBevelOuter(TBevelCut Value);
    bool SetBevelWidth(int Value);
    bool SetBorderWidth(int Value);

    TCylinderEffect CylinderEffect() const { return FCylinderEffect; }
    void SetCylinderEffect(TCylinderEffect Value);
    // The effect strength: ceFlat 1, then 51, 102, 153, 204, 255.
    int EffectStrength() const;

    TPCColorStyle& ForeStyle() { return FForeStyle; }
    TPCColorStyle& BackStyle() { return FBackStyle; }

    bool ShowText = true;
    QString Text = QStringLiteral("%");
    QString TextDone;
    TFontEffect FontEffect = feNone;
    TFontOrientation FontOrientation = foLeftToRight;
    TProEffect ProEffect = peCustom;
    bool StopAtMax = false;

    // The inner inset: the shaded area runs from (I, I) to (width - I, height - I), exclusive.
    int InnerInset() const { return 2 * FBevelWidth + FBorderWidth; }
    int Percent() const;
    // The first column (row from the bottom, when vertical) that is not filled: the fore line.
    int Boundary() const;
    // What is written over the gauge.
    QString Caption() const;
    // The gauge without its caption, as it is painted.
    QImage Render() const;

signals:
    void progressDone();
    void mouseEntered();
    void mouseLeft();

protected:
    void paintEvent(QPaintEvent* Event) override;
    void enterEvent(QEnterEvent* Event) override;
    void leaveEvent(QEvent* Event) override;

private:
    bool AreaRemains(int BevelWidthValue, int BorderWidthValue) const;
    // Sets a frame value when the frame it makes leaves a shaded area.
    template <typename T> bool SetFrameValue(T& Field, T Value, int BevelWidthValue, int BorderWidthValue);
    void RenderShade(QImage& Image) const;
    void RenderFrame(QImage& Image) const;

    int FMin = 0, FMax = 100, FPosition = 0, FStep = 10;
    TOrientation FOrientation = pbHorizontal;
    TBevelCut FBevelInner = bvNone, FBevelOuter = bvLowered;
    int FBevelWidth = 1, FBorderWidth = 1;
    TCylinderEffect FCylinderEffect = ceMedium;
    TPCColorStyle FForeStyle, FBackStyle;
};
