// The question which viewer shows the chosen entries: the associated program or the external
// viewer of the settings.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfmViewerSelection;
}

// Modal results of the viewer question beyond Cancel (2).
inline constexpr int mrAssociatedProgram = 20;
inline constexpr int mrExternalViewer = 21;

class TfmViewerSelection : public QDialog {
    Q_OBJECT
public:
    explicit TfmViewerSelection(QWidget* Parent = nullptr);
    ~TfmViewerSelection() override;

    std::unique_ptr<Ui::TfmViewerSelection> ui;
};
