// The start of a command-line run and its table of switches, and the operations run with the
// messages they end with.
#include "app/cli/CommandLine.h"

#include "app/cli/CommandLineObserver.h"
#include "app/common/AppSettings.h"
#include "app/common/FileUtils.h"
#include "app/common/ProcessUtils.h"
#include "app/common/Prompter.h"
#include "app/dialogs/AddOptionsBottom.h"
#include "app/dialogs/OpReport.h"
#include "app/main/AssociationUpkeep.h"
#include "app/main/ProgramStart.h"
#include "engine/core/krvCompBase.h"

#include <QApplication>
#include <QFileInfo>
#include <QPalette>

TCommandLine::TCommandLine(QStringList Arguments)
    : FArguments(std::move(Arguments)), FAssociations(std::make_unique<TAssociationUpkeep>()),
      FObserver(std::make_unique<TCommandLineObserver>()) {}

TCommandLine::~TCommandLine() = default;

int TCommandLine::Run() {
    if (FArguments.size() < 2) return ExitSuccess;
    // The start-up work of every run; the list's font is the one a first run stores.
    StartProgram(*FAssociations, QApplication::font("QTreeView"),
                 QApplication::palette("QTreeView").color(QPalette::Text));
    UpdateTrayProgram();
    return RunSwitch(FArguments[0]);
}

int TCommandLine::RunSwitch(const QString& Switch) {
    const QStringList& arg = FArguments;
    int exitCode = ExitSuccess;
    if (ExtractionSwitch(Switch, exitCode) || AddingSwitch(Switch, exitCode) ||
        OperationSwitch(Switch, exitCode))
        return exitCode;
    if (Switch == QLatin1String("-HM")) {
        // Nothing: the menu entry that starts it does the work itself.
    } else if (Switch == QLatin1String("-SYS")) {
        exitCode = SystemTask(arg[1]);
    } else {
        MessageDlg(QStringLiteral("Unknown commandline parameter."), mtError, mbOK);
        exitCode = ExitUnknownSwitch;
    }
    return exitCode;
}

TExtractResult TCommandLine::RunExtraction(const TExtractOptions& Options, bool ShowResult) {
    FObserver->ClearOutput();
    return ExtractAndReport(Options, *FObserver, ShowResult);
}

TAddResult TCommandLine::RunAdd(const TAddOptions& Options, bool ShowResult, bool NewArchive) {
    FObserver->ClearOutput();
    // A caller that found none of its files says so itself.
    return AddAndReport(Options, *FObserver, ShowResult, NewArchive);
}

QString TCommandLine::WizardArchive(bool& Addable) const {
    Addable = false;
    return {};
}

bool TCommandLine::LaunchProgram(const QString& Program, const QStringList& Arguments) {
    return LaunchDetached(Program, Arguments);
}

QString FolderJoin(const QString& Folder, const QString& Name) {
    return QString::fromStdString(AddBackslash(QFileInfo(Folder).absoluteFilePath().toStdString())) + Name;
}
