// The option panel docked under the save dialog that asks where to add files: action,
// compression, spanning, full paths and the archive password. Made once at start-up.
#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class TfmAddOptionsBottom;
}

class TfmAddOptionsBottom : public QWidget {
    Q_OBJECT
public:
    explicit TfmAddOptionsBottom(QWidget* Parent = nullptr);
    ~TfmAddOptionsBottom() override;

    std::unique_ptr<Ui::TfmAddOptionsBottom> ui;

protected:
    void showEvent(QShowEvent* Event) override;
};
