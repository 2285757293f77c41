// The command line's switches (two or more arguments): the switch in argument 1, compared
// exactly. The system tasks of "-SYS" are here; the other switches come with the operations
// they drive and say so until then.
#include "app/main/main_fm.h"

#include "app/dialogs/Prompter.h"

int TfmMain::ProcContextMenu() {
    int exitCode = 0;
    if (FArguments.size() < 2) {
        // Nothing to do.
    } else if (FArguments[0] == QLatin1String("-SYS")) {
        const QString task = FArguments[1];
        if (task == QLatin1String("-REMOVEREG")) {
            RemoveRegistration();
        } else if (task == QLatin1String("-CONFIG")) {
            ConfigureFromCommandLine();
        }
        // "-CREATEREG" and any other task do nothing.
    } else {
        MessageDlg(QStringLiteral("Command line switches are not available in this version."), mtError, mbOK);
        exitCode = 2;
    }
    close();
    return exitCode;
}

void TfmMain::ConfigureFromCommandLine() {
    // A third argument that is no number shows the first page.
    const int page = FArguments.size() > 2 ? FArguments[2].toInt() : 0;
    ConfigurationCommand(page);
}
