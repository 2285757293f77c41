// The about box: the product and its version.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfmAbout;
}

// The version the about box and the version check name.
inline constexpr const char* QuillarVersionText = "Quillar 2.3";

class TfmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfmAbout(QWidget* Parent = nullptr);
    ~TfmAbout() override;

    std::unique_ptr<Ui::TfmAbout> ui;
};
