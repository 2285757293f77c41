// The command line's switches (two or more arguments): the switch in argument 1, compared
// exactly and case-sensitively, the rest folders, archives and files. The window is not shown;
// the switch's work runs and the window closes, which ends the program. The exit code tells
// scripts the outcome: 0 success, 1 failure, 2 an unknown switch. The extraction switches live
// in main_fmCommandLineExtract.cpp; the adding switches are here.
#include "app/main/main_fm.h"

#include "app/dialogs/AppSettings.h"
#include "app/dialogs/FileUtils.h"
#include "app/dialogs/Prompter.h"
#include "app/main/AddOptionsDialog.h"
#include "app/main/InputQuery.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace {

// The extensions of the add-options dialog's types, in the order of the setting adArcType.
const QStringList AddOptionsExts = {QStringLiteral("bh"),  QStringLiteral("cab"), QStringLiteral("jar"),
                                    QStringLiteral("lha"), QStringLiteral("lzh"), QStringLiteral("tar"),
                                    QStringLiteral("zip")};

} // namespace

int TfmMain::ProcContextMenu() {
    int exitCode = ExitSuccess;
    const QStringList& arg = FArguments;
    if (arg.size() < 2) {
        // Nothing to do.
    } else {
        const QString& sw = arg[0];
        // The files of the adding switches: a folder stands for its whole tree.
        const QStringList files = ExpandFolderArguments(arg.mid(2));
        if (sw == QLatin1String("-S")) {
            exitCode = CmdLineExtract(arg[1], FolderWithoutExt(arg[1]));
        } else if (sw == QLatin1String("-H")) {
            exitCode = CmdLineExtract(arg[1], QFileInfo(arg[1]).absolutePath());
        } else if (sw == QLatin1String("-HM")) {
            // Nothing: the menu entry that starts it does the work itself.
        } else if (sw == QLatin1String("-EMH") || sw == QLatin1String("-EMSH")) {
            const bool own = sw == QLatin1String("-EMSH");
            exitCode = CmdLineExtractEach(arg.mid(1), [own](const QString& Archive) {
                const QString path = QFileInfo(Archive).absoluteFilePath();
                return own ? QString::fromStdString(MakeNameExtFolder(path.toStdString()))
                           : QFileInfo(path).absolutePath();
            });
        } else if (sw == QLatin1String("-EMT") || sw == QLatin1String("-EMST")) {
            exitCode = CmdLineExtractAsked(arg.mid(1), QString(), true, sw == QLatin1String("-EMST"));
        } else if (sw == QLatin1String("-E")) {
            exitCode = CmdLineExtractAsked({arg[1]}, QString(), false, false);
        } else if (sw == QLatin1String("-DDET")) {
            if (arg.size() >= 3) exitCode = CmdLineExtractAsked({arg[2]}, arg[1], false, false);
        } else if (sw == QLatin1String("-DDEH")) {
            if (arg.size() >= 3) exitCode = CmdLineExtract(arg[2], arg[1]);
        } else if (sw == QLatin1String("-DDEF")) {
            if (arg.size() >= 3)
                exitCode = CmdLineExtract(arg[2], FolderJoin(arg[1], QFileInfo(arg[2]).completeBaseName()));
        } else if (sw == QLatin1String("-DDEMT")) {
            if (arg.size() >= 3) exitCode = CmdLineExtractAsked(arg.mid(2), arg[1], true, false);
        } else if (sw == QLatin1String("-DDEMH") || sw == QLatin1String("-DDEMF")) {
            const bool own = sw == QLatin1String("-DDEMF");
            const QString folder = arg[1];
            if (arg.size() >= 3)
                exitCode = CmdLineExtractEach(arg.mid(2), [own, folder](const QString& Archive) {
                    return own ? FolderJoin(folder, QString::fromStdString(MakeNameExtFolder(
                                                        QFileInfo(Archive).fileName().toStdString())))
                               : FolderJoin(folder, QString());
                });
        } else if (sw == QLatin1String("-A")) {
            if (arg.size() >= 3) exitCode = CmdLineAddWithOptions(arg[1], files);
        } else if (sw == QLatin1String("-G")) {
            if (arg.size() >= 3) exitCode = CmdLineAdd(arg[1], files, CmdLinePathRule(files));
        } else if (sw == QLatin1String("-M")) {
            if (arg.size() >= 3) exitCode = ExitCode(CmdMailFiles(arg[1], files));
        } else if (sw == QLatin1String("-AX")) {
            if (arg.size() >= 3) exitCode = ExitCode(CmdMakeSFXFromFiles(arg[1], files));
        } else if (sw == QLatin1String("-D")) {
            if (arg.size() >= 3)
                exitCode =
                    CmdLineAdd(arg[1], files, AppSettings().adPath != 0 ? sdAbsoluteNoDrv : sdExplorer_Auto);
        } else if (sw == QLatin1String("-T")) {
            exitCode = ExitCode(CmdTest(arg[1]));
        } else if (sw == QLatin1String("-R")) {
            exitCode = ExitCode(CmdRepair(arg[1]));
        } else if (sw == QLatin1String("-C")) {
            exitCode = ExitCode(CmdConvert(arg[1]));
        } else if (sw == QLatin1String("-V")) {
            exitCode = ExitCode(CmdVirusScan(arg[1]));
        } else if (sw == QLatin1String("-X")) {
            exitCode = ExitCode(CmdMakeSFX(arg[1], QString()));
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
                exitCode = ExitCode(RemoveRegistration());
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

QString TfmMain::FolderJoin(const QString& Folder, const QString& Name) {
    return QString::fromStdString(AddBackslash(QFileInfo(Folder).absoluteFilePath().toStdString())) + Name;
}

TStoredDirNames TfmMain::CmdLineFolderRule(const QStringList& Files) {
    // A folder given as "folder/*.*" keeps its own name in front of its entries.
    if (Files.size() == 1 && Files.front().contains(QStringLiteral("*.*")))
        return sdExplorer_UserDefineDefaultDir;
    return sdExplorer_Auto;
}

TStoredDirNames TfmMain::CmdLinePathRule(const QStringList& Files) {
    return AppSettings().adPath != 0 ? sdAbsoluteNoDrv : CmdLineFolderRule(Files);
}

int TfmMain::CmdLineAdd(const QString& ArchiveName, const QStringList& Files, TStoredDirNames StoredDirNames,
                        int Compression, TSwitch Switch, bool AllowSpanningArg, const QString& Password,
                        bool Replace) {
    TAddOptions options;
    options.Archive = ArchiveName;
    options.Files = Files;
    options.StoredDirNames = StoredDirNames;
    options.Compression = Compression;
    options.Switch = Switch;
    options.AllowSpanning = AllowSpanningArg;
    options.Password = Password;
    options.ReplaceArchive = Replace;
    const TAddResult result = RunAdd(options, true, Replace);
    if (result.Refusal == TAddRefusal::NoFiles) MessageDlg(AddRefusalText(result.Refusal), mtError, mbOK);
    // Every named file went in: no error reached the log, nothing was cancelled or cut short.
    return ExitCode(result.Good());
}

int TfmMain::CmdLineAddWithOptions(const QString& Name, const QStringList& Files) {
    const TAppSettings& settings = AppSettings();
    const int filterIndex = settings.adArcType >= 0 && settings.adArcType <= 6 ? settings.adArcType + 1 : 7;
    // The argument's name is offered; a folder is no name to save as: its archive is offered
    // beside it.
    QString offered = QDir::cleanPath(QFileInfo(Name).absoluteFilePath());
    if (QFileInfo(offered).isDir()) offered += QLatin1Char('.') + AddOptionsExts[filterIndex - 1];
    TAddOptionsChoice choice;
    if (!AddOptionsDialog(offered, filterIndex, settings.adPath != 0, choice)) return ExitFailure;
    // An existing archive of that name is replaced by the new one, and only once that is whole.
    return CmdLineAdd(choice.ArchiveName, Files,
                      choice.SaveFullPath ? sdAbsoluteNoDrv : CmdLineFolderRule(Files), choice.Compression,
                      choice.Switch, choice.AllowSpanning, choice.Password, true);
}
