// The -SYS tasks: -REMOVEREG (an uninstaller's clean-up), -CONFIG [page], -ABOUT, -WIZARD,
// -MANBAK (the backup manager and the sets it runs); "-CREATEREG" and any other task do nothing
// (the start-up work has registered the program already).
#include "app/cli/CommandLine.h"

#include "app/common/BackupScript.h"
#include "app/dialogs/About.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ManageBackup.h"
#include "app/dialogs/OpReport.h"
#include "app/main/AssociationUpkeep.h"
#include "app/main/ProgramStart.h"
#include "app/main/Wizard.h"

int TCommandLine::SystemTask(const QString& Task) {
    if (Task == QLatin1String("-REMOVEREG")) return ExitCode(FAssociations->RemoveRegistration());
    if (Task == QLatin1String("-CONFIG")) {
        // A third argument that is no number shows the first page.
        const int page = FArguments.size() > 2 ? FArguments[2].toInt() : 0;
        if (RunConfiguration(nullptr, page, *FAssociations)) UpdateTrayProgram();
    } else if (Task == QLatin1String("-ABOUT")) {
        TfmAbout dialog;
        ShowModal(dialog);
    } else if (Task == QLatin1String("-WIZARD")) {
        TfmWizard wizard(*this);
        ShowModal(wizard);
    } else if (Task == QLatin1String("-MANBAK")) {
        TfmManageBackup manager;
        manager.OnLaunch = [this](const QString& Program, const QStringList& Arguments) {
            return LaunchProgram(Program, Arguments);
        };
        if (ShowModal(manager) == mrRunBackup)
            RunBackupSets(manager.SetsToRun(),
                          [this](const QString& Name) { return RunBackupSet(BackupScriptPath(Name)); });
    }
    return ExitSuccess;
}
