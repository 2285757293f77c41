// The switches whose operations still run in the main window's units: the window is made for
// them alone, hidden, and its worker runs as it does for the window's own command.
#include "app/cli/CommandLine.h"

#include "app/dialogs/Prompter.h"
#include "app/main/main_fm.h"

#include <QFileInfo>

bool TCommandLine::NeedsWindow(const QString& Switch, const QString& Argument) {
    for (const char* name : {"-C", "-R", "-X", "-AX", "-M", "-B", "-BC"})
        if (Switch == QLatin1String(name)) return true;
    return Switch == QLatin1String("-SYS") && Argument == QLatin1String("-MANBAK");
}

int TCommandLine::RunInWindow() {
    TfmMain window(FArguments);
    const QStringList& arg = FArguments;
    const QString& sw = arg[0];
    const QStringList files = ExpandFolderArguments(arg.mid(2));
    int exitCode = ExitSuccess;
    if (sw == QLatin1String("-C")) {
        exitCode = ExitCode(window.CmdConvert(arg[1]));
    } else if (sw == QLatin1String("-R")) {
        exitCode = ExitCode(window.CmdRepair(arg[1]));
    } else if (sw == QLatin1String("-X")) {
        exitCode = ExitCode(window.CmdMakeSFX(arg[1], QString()));
    } else if (sw == QLatin1String("-AX")) {
        if (arg.size() >= 3) exitCode = ExitCode(window.CmdMakeSFXFromFiles(arg[1], files));
    } else if (sw == QLatin1String("-M")) {
        if (arg.size() >= 3) exitCode = ExitCode(window.CmdMailFiles(arg[1], files));
    } else if (sw == QLatin1String("-B") || sw == QLatin1String("-BC")) {
        const QString set = QFileInfo(arg[1]).completeBaseName();
        const bool done = window.ExecuteBackup(arg[1]);
        if (!done)
            MessageDlg(QStringLiteral("Backup failed or aborted:\r\n") + set, mtError, mbOK);
        else if (sw == QLatin1String("-BC"))
            MessageDlg(QStringLiteral("Backup created successfully for backup set: ") + set, mtInformation,
                       mbOK);
        exitCode = ExitCode(done);
    } else {
        window.ManageBackupsCommand();
    }
    window.close();
    return exitCode;
}
