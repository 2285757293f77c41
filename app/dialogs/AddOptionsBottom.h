// The option panel docked under the save dialog that asks where to add files: action,
// compression, spanning, full paths and the archive password. Made once at start-up.
#pragma once

#include "app/dialogs/AddPanelChoice.h"

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

    // A new question: the first action, compression and spanning, "Save full path info" as given.
    void Reset(bool SaveFullPath);
    // The password and compression offered only where the chosen type's writer takes them.
    void EnableFor(bool Encryptable, bool Compressible);
    bool PasswordEnabled() const;
    // The choices, once the dialog was closed.
    TAddPanelChoice Choice() const;

protected:
    void showEvent(QShowEvent* Event) override;
};
