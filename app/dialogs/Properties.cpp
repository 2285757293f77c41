#include "app/dialogs/Properties.h"

#include "app/dialogs/DialogSupport.h"
#include "platform/FileAttributes.h"
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

void TfmProperties::SetFacts(const TPropertiesFacts& Facts) {
    ui->edFilename->setText(Facts.FileName);
    ui->laArcType->setText(Facts.Type);
    ui->laTotalFiles->setText(QString::number(Facts.Files));
    ui->laDate->setText(Facts.Date);
    ui->laPackedSize->setText(Facts.PackedSize);
    ui->laUnpackedSize->setText(Facts.UnpackedSize);
    ui->pcRatio->SetPosition(Facts.Ratio);
    ui->laRatio->setText(QString::number(Facts.Ratio) + QLatin1Char('%'));
    ui->ckReadonly->setChecked(Facts.Attributes & faReadOnly);
    ui->ckHidden->setChecked(Facts.Attributes & faHidden);
    ui->ckSystem->setChecked(Facts.Attributes & faSysFile);
    ui->ckArchive->setChecked(Facts.Attributes & faArchive);
    ui->meComment->setPlainText(Facts.Comment);
}
