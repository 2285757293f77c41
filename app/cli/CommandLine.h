// The command line's switches (two or more arguments): the switch in argument 1, compared
// exactly and case-sensitively, the rest folders, archives and files. The switch's operation
// runs without the main window; its dialogs and messages appear through the one modal path and
// the prompter (QUILLAR_PROMPTER=auto answers them), a progress window shows while an operation
// runs, and the log's errors go to standard error. The exit code tells scripts the outcome:
// 0 success, 1 failure, 2 an unknown switch.
// Units: CommandLine.cpp (start and the switch table), CommandLineExtract.cpp (extraction),
// CommandLineAdd.cpp (adding), CommandLineOperations.cpp (test, scan, convert, repair,
// self-extractors, mail, backups), CommandLineSystem.cpp (the -SYS tasks).
#pragma once

#include "app/main/WizardHost.h"
#include "app/ops/OpAdd.h"
#include "app/ops/OpExtract.h"

#include <QStringList>
#include <functional>
#include <memory>

class TAssociationUpkeep;
class TCommandLineObserver;
class TCompBase;
class TfmAddOptionsBottom;

class TCommandLine : private TWizardHost {
public:
    // Arguments: the command line without the program's name.
    explicit TCommandLine(QStringList Arguments);
    ~TCommandLine() override;
    TCommandLine(const TCommandLine&) = delete;
    TCommandLine& operator=(const TCommandLine&) = delete;

    // Runs the switch; the program's exit code.
    int Run();

    static constexpr int ExitSuccess = 0;
    static constexpr int ExitFailure = 1;
    static constexpr int ExitUnknownSwitch = 2;
    static int ExitCode(bool Success) { return Success ? ExitSuccess : ExitFailure; }

private:
    int RunSwitch(const QString& Switch);

    // ---- the operations with their messages (also the wizard's) ----
    TExtractResult RunExtraction(const TExtractOptions& Options, bool ShowResult) override;
    // ShowResult: "Files Compressed" at the end; NewArchive: one that must be written.
    TAddResult RunAdd(const TAddOptions& Options, bool ShowResult, bool NewArchive) override;
    // No archive is open for the wizard to offer.
    QString WizardArchive(bool& Addable) const override;
    bool LaunchProgram(const QString& Program, const QStringList& Arguments) override;

    // ---- extraction (CommandLineExtract.cpp) ----
    // What a command-line extraction is told: every option on, and the result message shown.
    struct TCmdExtractOptions {
        bool UseStoredDirs = true, RestoreFileAttr = true, UseFileDate = true, ConfirmOverwrites = true,
             CreateStoredDirs = true, ShowResult = true;
    };
    using TFolderOf = std::function<QString(const QString& Archive)>;
    // True when every entry came out whole; Cancelled (when given): the run was cancelled.
    bool ExtractWith(const QString& ArchiveName, const QString& Folder, const TCmdExtractOptions& Options,
                     bool* Cancelled = nullptr);
    // Each archive into FolderOf(archive), then the summary; the exit code.
    int ExtractAll(const QStringList& Archives, const TFolderOf& FolderOf, const TCmdExtractOptions& Options);
    // "-S", "-H", "-DDEH", "-DDEF": every option on.
    int Extract(const QString& ArchiveName, const QString& Folder);
    // "-EMH", "-EMSH", "-DDEMH", "-DDEMF": every option on, no result per archive, the summary.
    int ExtractEach(const QStringList& Archives, const TFolderOf& FolderOf);
    // "-E", "-EMT", "-EMST", "-DDET", "-DDEMT": the extract dialog first, its tree and
    // destination at Folder when one is given; OwnFolders puts each archive in its "_" folder
    // below the destination.
    int ExtractAsked(const QStringList& Archives, const QString& Folder, bool Multiple, bool OwnFolders);
    // The switches above; false when Switch is none of them.
    bool ExtractionSwitch(const QString& Switch, int& Exit);

    // ---- adding (CommandLineAdd.cpp) ----
    // "-G", "-D" and the end of "-A".
    int Add(const QString& ArchiveName, const QStringList& Files, TStoredDirNames StoredDirNames,
            int Compression = 0, TSwitch Switch = swAdd, bool AllowSpanning = true,
            const QString& Password = QString(), bool Replace = false);
    // "-A": the add-options save dialog, then the add.
    int AddWithOptions(const QString& Name, const QStringList& Files);
    // "-G", "-D", "-A"; false when Switch is none of them.
    bool AddingSwitch(const QString& Switch, int& Exit);

    // ---- the -SYS tasks (CommandLineSystem.cpp) ----
    int SystemTask(const QString& Task);

    // ---- the other operations (CommandLineOperations.cpp) ----
    // "-T", "-V", "-C", "-R", "-X", "-AX", "-M", "-B", "-BC"; false when Switch is none of them.
    bool OperationSwitch(const QString& Switch, int& Exit);
    bool RunTest(const QString& ArchiveName);
    bool RunVirusScan(const QString& ArchiveName);
    // The convert dialog first.
    bool RunConvert(const QString& ArchiveName);
    // The repaired zip's name asked first.
    bool RunRepair(const QString& ZipName);
    // The program's name asked first.
    bool RunMakeSfx(const QString& ArchiveName);
    // One backup set's run with its messages; true when backed up.
    bool RunBackupSet(const QString& ScriptPath);

    QStringList FArguments;
    std::unique_ptr<TAssociationUpkeep> FAssociations;
    std::unique_ptr<TCommandLineObserver> FObserver;
    // The add-options dialog's panel and the writer of the type chosen in it.
    std::unique_ptr<TfmAddOptionsBottom> FAddOptionsBottom;
    std::unique_ptr<TCompBase> FWriter;
};

// The stored-path choice of the adding switches: a folder given as "folder/*.*" keeps its own
// name in front of its entries ...
TStoredDirNames CommandLineFolderRule(const QStringList& Files);
// ... and with the setting adPath, full paths.
TStoredDirNames CommandLinePathRule(const QStringList& Files);
// Folder + '/' (unless it ends with one) + Name, Folder made absolute.
QString FolderJoin(const QString& Folder, const QString& Name);
