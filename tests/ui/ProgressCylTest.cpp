#include "ui/ProgressCyl.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

using TRgb = std::array<int, 3>;

TRgb At(const QImage& Image, int X, int Y) {
    const QColor c = Image.pixelColor(X, Y);
    return {c.red(), c.green(), c.blue()};
}

// A 20 x 14 gauge with a one-pixel bevel and border (inner inset 3, shaded area 14 x 8) at the
// program's settings: default styles, maximum effect, blue on white with a white line.
std::unique_ptr<TProgressCyl> MakeGauge(int Width = 20, int Height = 14) {
    auto gauge = std::make_unique<TProgressCyl>();
    gauge->resize(Width, Height);
    gauge->SetCylinderEffect(TProgressCyl::ceMaximum);
    gauge->SetColors(QColor(0, 0, 255), QColor(255, 255, 255), QColor(255, 255, 255));
    return gauge;
}

} // namespace

// The shade, worked out by hand: step = 255 div 8 = 31; row r lies |r - 3| steps from the
// brightest row (round(8 / -3) = -3); a channel c is shaded by ((255 - c) / 4 + c) / 255, so
// blue keeps the row's shade and 0 becomes a quarter of it, rounded half to even.
TEST(ProgressCyl, ShadesRowsAsALitCylinder) {
    auto gauge = MakeGauge();
    ASSERT_EQ(gauge->InnerInset(), 3);
    ASSERT_EQ(gauge->Boundary(), 4); // position 0: still one filled column, then the line
    const QImage image = gauge->Render();
    const std::vector<int> shades = {162, 193, 224, 255, 224, 193, 162, 131};
    const std::vector<int> quarters = {40, 48, 56, 64, 56, 48, 40, 33}; // 40.5 -> 40, 48.25 -> 48
    for (int r = 0; r < 8; ++r) {
        EXPECT_EQ(At(image, 3, 3 + r), (TRgb{quarters[r], quarters[r], shades[r]})) << r;
        EXPECT_EQ(At(image, 4, 3 + r), (TRgb{shades[r], shades[r], shades[r]})) << r; // the line
        EXPECT_EQ(At(image, 16, 3 + r), (TRgb{shades[r], shades[r], shades[r]})) << r;
    }

    gauge->SetPosition(50); // boundary 3 + round(20 * .5) - round(6 * .5) = 10
    ASSERT_EQ(gauge->Boundary(), 10);
    const QImage half = gauge->Render();
    EXPECT_EQ(At(half, 9, 6), (TRgb{64, 64, 255}));
    EXPECT_EQ(At(half, 10, 6), (TRgb{255, 255, 255}));
    EXPECT_EQ(At(half, 11, 3), (TRgb{162, 162, 162}));

    // Full: every shaded column is filled and the line lies beyond them; without a range the
    // gauge shows as at its start.
    gauge->SetPosition(100);
    ASSERT_EQ(gauge->Boundary(), 17);
    const QImage full = gauge->Render();
    for (int x = 3; x < 17; ++x)
        ASSERT_EQ(At(full, x, 6), (TRgb{64, 64, 255})) << x;
    gauge->SetMax(0);
    EXPECT_EQ(gauge->Boundary(), 4);
    EXPECT_EQ(gauge->Render(), image);
    gauge->SetMax(100);
    gauge->SetPosition(50);

    // The back style shades the empty part on its own.
    gauge->BackStyle().SetColorRGB(200);
    EXPECT_EQ(At(gauge->Render(), 11, 6), (TRgb{200, 200, 200}));
    EXPECT_EQ(At(gauge->Render(), 9, 6), (TRgb{64, 64, 255}));

    // Taller than 255 inner pixels: step 0, a flat gauge.
    auto tall = MakeGauge(20, 300);
    const QImage flat = tall->Render();
    for (int y = 3; y < 297; ++y)
        ASSERT_EQ(At(flat, 3, y), (TRgb{64, 64, 255})) << y;

    // Vertical: filled from the bottom, shaded column by column.
    auto vertical = MakeGauge(14, 20);
    vertical->SetOrientation(TProgressCyl::pbVertical);
    vertical->SetPosition(50);
    const QImage upright = vertical->Render();
    EXPECT_EQ(At(upright, 6, 16), (TRgb{64, 64, 255}));  // filled, brightest column
    EXPECT_EQ(At(upright, 6, 10), (TRgb{64, 64, 255}));  // the last filled row
    EXPECT_EQ(At(upright, 6, 9), (TRgb{255, 255, 255})); // the line
    EXPECT_EQ(At(upright, 3, 3), (TRgb{162, 162, 162})); // empty, three steps from the brightest
}

// The frame: outer bevel, border and inner bevel, their tones 64 lighter and darker than the
// bevel colour; widths that would leave no shaded area are refused.
TEST(ProgressCyl, FrameAndGeometry) {
    auto gauge = MakeGauge();
    gauge->BevelColor = QColor(100, 150, 200);
    gauge->BackBorderColor = QColor(1, 2, 3);
    ASSERT_TRUE(gauge->SetBevelOuter(TProgressCyl::bvRaised));
    ASSERT_TRUE(gauge->SetBevelInner(TProgressCyl::bvLowered));
    const TRgb light{164, 214, 255}, dark{36, 86, 136};
    const QImage image = gauge->Render();
    EXPECT_EQ(At(image, 0, 0), light);
    EXPECT_EQ(At(image, 0, 13), dark); // bottom edge
    EXPECT_EQ(At(image, 19, 0), dark); // right edge
    EXPECT_EQ(At(image, 1, 1), (TRgb{1, 2, 3}));
    EXPECT_EQ(At(image, 2, 5), dark);   // inner, lowered: dark at the top left
    EXPECT_EQ(At(image, 17, 5), light); // and light at the bottom right

    struct Change {
        bool Bevel; // BevelWidth, else BorderWidth
        int Value;
        bool Accepted;
    };
    for (const Change& c : std::vector<Change>{{true, 3, false},
                                               {false, 4, true},
                                               {true, 2, false},
                                               {false, -1, false},
                                               {true, 0, true},
                                               {false, 6, true},
                                               {false, 7, false}}) {
        const int before = c.Bevel ? gauge->BevelWidth() : gauge->BorderWidth();
        EXPECT_EQ(c.Bevel ? gauge->SetBevelWidth(c.Value) : gauge->SetBorderWidth(c.Value), c.Accepted)
            << c.Value;
        EXPECT_EQ(c.Bevel ? gauge->BevelWidth() : gauge->BorderWidth(), c.Accepted ? c.Value : before);
    }
}

// Sizes that leave no shaded area, or one pixel of it, in either orientation: painted without a
// division by zero, and a caption far wider than the gauge is simply cut.
TEST(ProgressCyl, DegenerateSizes) {
    struct Case {
        int Width, Height;
        TRgb Corner; // the pixel at (3, 3): the inner bevel's face, or the one shaded pixel
    };
    const TRgb face{1, 2, 3}, shaded{64, 64, 255};
    for (const Case& c : std::vector<Case>{{0, 0, {}},
                                           {1, 1, {}},
                                           {6, 6, face},
                                           {7, 7, shaded},
                                           {7, 300, shaded},
                                           {300, 6, face},
                                           {3, 20, face}}) {
        for (const auto orientation : {TProgressCyl::pbHorizontal, TProgressCyl::pbVertical}) {
            auto gauge = MakeGauge(c.Width, c.Height);
            gauge->SetOrientation(orientation);
            gauge->BevelColor = QColor(1, 2, 3);
            gauge->SetPosition(100);
            gauge->setFont(QFont("Sans", 40));
            gauge->Text = QString(200, 'W');
            const QImage image = gauge->Render();
            EXPECT_EQ(image.size(), QSize(std::max(c.Width, 1), std::max(c.Height, 1)));
            if (c.Width > 3 && c.Height > 3) {
                EXPECT_EQ(At(image, 3, 3), c.Corner) << c.Width << 'x' << c.Height << ' ' << orientation;
            }
            gauge->grab(); // painted, caption and all
            // Without a shaded area even the frame as it is cannot be set again.
            EXPECT_EQ(gauge->SetBorderWidth(gauge->BorderWidth()), c.Width >= 7 && c.Height >= 7);
        }
    }
}

TEST(ProgressCyl, StylesIgnoreZeroes) {
    TPCColorStyle style;
    int changes = 0;
    style.OnChange = [&] { ++changes; };
    style.SetIntensity(0);
    style.SetLightAngle(0);
    style.SetRangeRGB(0);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(style.Intensity(), 4.0f);
    EXPECT_EQ(style.LightAngle(), -3.0f);
    EXPECT_EQ(style.RangeRGB(), 255);
    style.SetIntensityRGB(0);
    style.SetColorRGB(0);
    style.SetColorFactor(0);
    style.SetIntensityFactor(0);
    style.SetIntensity(2);
    EXPECT_EQ(changes, 5);
    EXPECT_DOUBLE_EQ(style.Coefficient(100), 100.0 / 255);
}

// Position, percentage and caption; the done signal; steps past the end.
TEST(ProgressCyl, PositionAndCaption) {
    struct Case {
        int Min, Max, Position;
        QString TextDone;
        QString Caption;
    };
    const std::vector<Case> cases = {
        {0, 100, 100, "Done", "Done"}, {0, 100, 100, "", "100%"},   {0, 8, 3, "", "38%"},
        {0, 8, 5, "", "62%"},          {0, 100, 150, "", "100%"},   {0, 100, -5, "", "0%"},
        {5, 5, 5, "", "0%"},           {-50, 50, 0, "Done", "50%"},
    };
    for (const Case& c : cases) {
        auto gauge = MakeGauge();
        gauge->SetMax(c.Max);
        gauge->SetMin(c.Min);
        gauge->SetPosition(c.Position);
        gauge->TextDone = c.TextDone;
        EXPECT_EQ(gauge->Caption(), c.Caption) << c.Position;
        EXPECT_GE(gauge->Position(), c.Min);
        EXPECT_LE(gauge->Position(), std::max(c.Min, c.Max));
        gauge->Render(); // no range or a full one: still drawn
    }

    auto gauge = MakeGauge();
    QSignalSpy done(gauge.get(), &TProgressCyl::progressDone);
    gauge->SetStep(40);
    gauge->StepIt();
    gauge->StepIt();
    EXPECT_EQ(done.count(), 0);
    gauge->StepIt(); // past the end: starts again
    EXPECT_EQ(gauge->Position(), 0);
    gauge->StopAtMax = true;
    for (int i = 0; i < 3; ++i)
        gauge->StepIt();
    EXPECT_EQ(gauge->Position(), 100);
    EXPECT_EQ(done.count(), 1);
}

// The caption is written over the gauge in every orientation and effect.
TEST(ProgressCyl, PaintsItsCaption) {
    auto gauge = MakeGauge(120, 30);
    gauge->SetPosition(40);
    const QImage bare = gauge->Render().convertToFormat(QImage::Format_RGB32);
    for (const auto effect : {TProgressCyl::feNone, TProgressCyl::feInvert, TProgressCyl::feShadowTopLeft,
                              TProgressCyl::feShadowBottomRight}) {
        for (const auto orientation :
             {TProgressCyl::foLeftToRight, TProgressCyl::foTopToBottom, TProgressCyl::foBottomToTop}) {
            gauge->FontEffect = effect;
            gauge->FontOrientation = orientation;
            const QImage painted = gauge->grab().toImage().convertToFormat(QImage::Format_RGB32);
            ASSERT_EQ(painted.size(), bare.size());
            EXPECT_NE(painted, bare) << effect << ' ' << orientation;
        }
    }
    gauge->ShowText = false;
    EXPECT_EQ(gauge->grab().toImage().convertToFormat(QImage::Format_RGB32), bare);
}
