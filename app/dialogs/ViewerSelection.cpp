#include "app/dialogs/ViewerSelection.h"

#include "app/dialogs/DialogSupport.h"
#include "ui_ViewerSelection.h"

TfmViewerSelection::TfmViewerSelection(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmViewerSelection>()) {
    ui->setupUi(this);
    CloseWith(ui->buAssociated, this, mrAssociatedProgram);
    CloseWith(ui->buExternal, this, mrExternalViewer);
    CloseWith(ui->buCancel, this, mrCancel);
    ConnectHelp(ui->buHelp, "Hlp_File_Viewer");
}

TfmViewerSelection::~TfmViewerSelection() = default;
