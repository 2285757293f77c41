#include "app/dialogs/Properties.h"

#include "app/dialogs/DialogSupport.h"
#include "ui_Properties.h"

TfmProperties::TfmProperties(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmProperties>()) {
    ui->setupUi(this);
    TProgressCyl& gauge = *ui->pcRatio;
    gauge.SetMax(100);
    gauge.SetOrientation(TProgressCyl::pbVertical);
    gauge.Text = "%";
    gauge.FontOrientation = TProgressCyl::foBottomToTop;
    gauge.FontEffect = TProgressCyl::feShadowBottomRight;
    gauge.FontShadowColor = Qt::white;
    gauge.SetColors(Qt::blue, QColor(0, 0, 128), Qt::cyan);
    gauge.BackBorderColor = Qt::black;
    gauge.SetBorderWidth(2);
    gauge.SetBevelWidth(1);
    gauge.SetCylinderEffect(TProgressCyl::ceMaximum);
    for (TPCColorStyle* style : {&gauge.ForeStyle(), &gauge.BackStyle()}) {
        style->SetIntensity(4);
        style->SetIntensityFactor(-1);
        style->SetColorFactor(-1);
        style->SetLightAngle(-3);
        style->SetIntensityRGB(255);
        style->SetRangeRGB(255);
        style->SetColorRGB(255);
    }
    CloseWith(ui->buClose, this, mrOk);
}

TfmProperties::~TfmProperties() = default;
