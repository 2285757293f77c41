// Printing and exporting the contents list.
// Until its work lands, each command here tells the user it is not available.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

void TfmMain::ConnectPrintActions() {
    for (QAction* action : {ui->acPrint, ui->miExportText, ui->miExportCsv, ui->miExportHtml})
        connect(action, &QAction::triggered, this, &TfmMain::CommandNotAvailable);
}
