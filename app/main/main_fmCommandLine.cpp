// The command line's switches (two or more arguments): the switch in argument 1, compared
// exactly and case-sensitively, the rest folders, archives and files. The window is not shown;
// the switch's work runs and the window closes, which ends the program. The exit code tells
// scripts the outcome: 0 success, 1 failure, 2 an unknown switch.
#include "app/main/main_fm.h"

#include "app/dialogs/Prompter.h"

#include <QFileInfo>

namespace {

constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUnknownSwitch = 2;

int ExitCode(bool Success) {
    return Success ? ExitSuccess : ExitFailure;
}

} // namespace

int TfmMain::ProcContextMenu() {
    int exitCode = ExitSuccess;
    const QStringList& arg = FArguments;
    if (arg.size() < 2) {
        // Nothing to do.
    } else {
        const QString& sw = arg[0];
        if (sw == QLatin1String("-T")) {
            exitCode = ExitCode(CmdTest(arg[1]));
        } else if (sw == QLatin1String("-R")) {
            exitCode = ExitCode(CmdRepair(arg[1]));
        } else if (sw == QLatin1String("-C")) {
            exitCode = ExitCode(CmdConvert(arg[1]));
        } else if (sw == QLatin1String("-V")) {
            exitCode = ExitCode(CmdVirusScan(arg[1]));
        } else if (sw == QLatin1String("-X")) {
            exitCode = ExitCode(CmdMakeSFX(arg[1], QString()));
        } else if (sw == QLatin1String("-M")) {
            if (arg.size() >= 3) exitCode = ExitCode(CmdMailFiles(arg[1], arg.mid(2)));
        } else if (sw == QLatin1String("-AX")) {
            if (arg.size() >= 3) exitCode = ExitCode(CmdMakeSFXFromFiles(arg[1], arg.mid(2)));
        } else if (sw == QLatin1String("-B") || sw == QLatin1String("-BC")) {
            const QString set = QFileInfo(arg[1]).completeBaseName();
            const bool done = ExecuteBackup(arg[1]);
            if (!done)
                MessageDlg(QStringLiteral("Backup failed or aborted:\r\n") + set, mtError, mbOK);
            else if (sw == QLatin1String("-BC"))
                MessageDlg(QStringLiteral("Backup created successfully for backup set: ") + set,
                           mtInformation, mbOK);
            exitCode = ExitCode(done);
        } else if (sw == QLatin1String("-SYS")) {
            const QString task = arg[1];
            if (task == QLatin1String("-REMOVEREG")) {
                RemoveRegistration();
            } else if (task == QLatin1String("-CONFIG")) {
                ConfigureFromCommandLine();
            } else if (task == QLatin1String("-ABOUT")) {
                AboutCommand();
            } else if (task == QLatin1String("-MANBAK")) {
                ManageBackupsCommand();
            } else if (task == QLatin1String("-WIZARD")) {
                WizardCommand();
            }
            // "-CREATEREG" and any other task do nothing.
        } else {
            MessageDlg(QStringLiteral("Unknown commandline parameter."), mtError, mbOK);
            exitCode = ExitUnknownSwitch;
        }
    }
    close();
    return exitCode;
}

void TfmMain::ConfigureFromCommandLine() {
    // A third argument that is no number shows the first page.
    const int page = FArguments.size() > 2 ? FArguments[2].toInt() : 0;
    ConfigurationCommand(page);
}
