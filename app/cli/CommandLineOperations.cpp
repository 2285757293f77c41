// The command line's switches of the other operations: "-T" tests, "-V" scans, "-C" converts
// (the convert dialog first), "-R" repairs (the name of the repaired zip asked), "-X" makes a
// self-extractor of an archive and "-AX" of files, "-M" mails files, "-B" and "-BC" run a
// backup set. Each runs its operation of app/ops and ends with the messages the window shows.
#include "app/cli/CommandLine.h"

#include "app/cli/CommandLineObserver.h"
#include "app/common/Prompter.h"
#include "app/dialogs/OpReport.h"

#include <QFileInfo>

bool TCommandLine::OperationSwitch(const QString& Switch, int& Exit) {
    const QStringList& arg = FArguments;
    const auto is = [&Switch](const char* Name) { return Switch == QLatin1String(Name); };
    // The files of "-M" and "-AX": a folder stands for its whole tree.
    const QStringList files = ExpandFolderArguments(arg.mid(2));
    if (is("-T")) {
        Exit = ExitCode(RunTest(arg[1]));
    } else if (is("-V")) {
        Exit = ExitCode(RunVirusScan(arg[1]));
    } else if (is("-C")) {
        Exit = ExitCode(RunConvert(arg[1]));
    } else if (is("-R")) {
        Exit = ExitCode(RunRepair(arg[1]));
    } else if (is("-X")) {
        Exit = ExitCode(RunMakeSfx(arg[1]));
    } else if (is("-AX")) {
        if (arg.size() >= 3) {
            FObserver->ClearOutput();
            Exit = ExitCode(ReportMakeSfxFromFiles(
                MakeSfxFromFiles({arg[1], files, CommandLinePathRule(files)}, *FObserver)));
        }
    } else if (is("-M")) {
        if (arg.size() >= 3) {
            TMailOptions options;
            options.Name = arg[1];
            options.Files = files;
            options.StoredDirNames = CommandLinePathRule(files);
            FObserver->ClearOutput();
            Exit = ExitCode(ReportMail(Mail(options, *FObserver)));
        }
    } else if (is("-B") || is("-BC")) {
        const QString set = QFileInfo(arg[1]).completeBaseName();
        const bool done = RunBackupSet(arg[1]);
        if (!done)
            MessageDlg(QStringLiteral("Backup failed or aborted:\r\n") + set, mtError, mbOK);
        else if (is("-BC"))
            MessageDlg(QStringLiteral("Backup created successfully for backup set: ") + set, mtInformation,
                       mbOK);
        Exit = ExitCode(done);
    } else {
        return false;
    }
    return true;
}

bool TCommandLine::RunTest(const QString& ArchiveName) {
    FObserver->ClearOutput();
    return TestAndReport(ArchiveName, *FObserver, [this]() -> TfmViewOutput& { return FObserver->Output(); });
}

bool TCommandLine::RunVirusScan(const QString& ArchiveName) {
    if (!VirusScannerConfigured()) {
        ReportScan(TScanVerdict::NotConfigured, 0);
        return false;
    }
    FObserver->ClearOutput();
    return ScanAndReport(ArchiveName, *FObserver).Verdict == TScanVerdict::Clean;
}

bool TCommandLine::RunConvert(const QString& ArchiveName) {
    return ConvertAndReport(ArchiveName, *FObserver, [this] { FObserver->ClearOutput(); }, {});
}

bool TCommandLine::RunRepair(const QString& ZipName) {
    return RepairAndReport(ZipName, *FObserver, FObserver->Output(), [this] { FObserver->ClearOutput(); },
                           {});
}

bool TCommandLine::RunMakeSfx(const QString& ArchiveName) {
    return MakeSfxAndReport(ArchiveName, {}, *FObserver, [this] { FObserver->ClearOutput(); }, {});
}

bool TCommandLine::RunBackupSet(const QString& ScriptPath) {
    FObserver->ClearOutput();
    return ReportBackup(RunBackup({ScriptPath}, *FObserver));
}
