// The help commands: the help pages (one HTML page per topic in the program's data folder)
// opened with the desktop's browser.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/Prompter.h"
#include "app/dialogs/DialogSupport.h"

#include <QDir>

void TfmMain::ConnectHelpActions() {
    auto page = [this](const char* Topic) {
        return [this, Topic] {
            LaunchProgram(QStringLiteral("xdg-open"),
                          {QDir::cleanPath(HelpPagePath(QString::fromLatin1(Topic)))});
        };
    };
    // Contents and search both open the index of every page.
    connect(ui->acHelpContents, &QAction::triggered, this, page("index"));
    connect(ui->acHelpSearch, &QAction::triggered, this, page("index"));
    connect(ui->acHelpTutorial, &QAction::triggered, this, page("Hlp_Quick_Start"));
    connect(ui->acHelpTips, &QAction::triggered, this, page("Hlp_Hints_and"));
    connect(ui->acHelpFAQ, &QAction::triggered, this, page("Hlp_Frequently_Asked"));
    connect(ui->acLicenseAgreement, &QAction::triggered, this, page("Hlp_License"));
    connect(ui->acHelpUsage, &QAction::triggered, this, [] {
        MessageDlg(QStringLiteral("Help will be available in the next beta release."), mtInformation, mbOK);
    });
}
