// The archive's properties sheet: the main window fills every value; the ratio also shows as a
// vertical cylinder gauge.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfmProperties;
}

class TfmProperties : public QDialog {
    Q_OBJECT
public:
    explicit TfmProperties(QWidget* Parent = nullptr);
    ~TfmProperties() override;

    std::unique_ptr<Ui::TfmProperties> ui;
};
