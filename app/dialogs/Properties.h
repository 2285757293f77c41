// The archive's properties sheet: the main window fills every value; the ratio also shows as a
// vertical cylinder gauge.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>

namespace Ui {
class TfmProperties;
}

// What the dialog shows of an archive.
struct TPropertiesFacts {
    QString FileName, Type, Date, PackedSize, UnpackedSize, Comment;
    int Files = 0;
    int Ratio = 0; // percent
    std::uint32_t Attributes = 0;
};

class TfmProperties : public QDialog {
    Q_OBJECT
public:
    explicit TfmProperties(QWidget* Parent = nullptr);
    ~TfmProperties() override;

    std::unique_ptr<Ui::TfmProperties> ui;
    void SetFacts(const TPropertiesFacts& Facts);
};
