#include "app/common/SystemUtils.h"

#include "platform/Autostart.h"
#include "platform/Process.h"
#include "platform/Registry.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

namespace {

std::string& ProgramPathOverride() {
    static std::string path;
    return path;
}

} // namespace

bool IsAdmin() {
    return RegistryRootWritable(TRegRoot::LocalMachine);
}

void AddToRunKey(const std::string& ValueName, const std::string& CommandLine) {
    // The autostart value is a convenience; the program runs without it, so failures are quiet.
    // The desktop starts an autostart entry at every login: one is written only for a program
    // that exists, and one left for a program that has gone is removed.
    const std::vector<std::string> argv = SplitCommandLine(CommandLine);
    const QFileInfo program(argv.empty() ? QString() : QString::fromStdString(argv.front()));
    if (program.isFile() && program.isExecutable())
        WriteAutostartEntry(ValueName, argv);
    else
        RemoveAutostartEntry(ValueName);
    TRegistry reg;
    if (!reg.OpenKey(RunKey, true)) return;
    try {
        reg.WriteString(ValueName, CommandLine);
    } catch (const ERegistryException&) {
    }
}

bool RemoveFromRunKey(const std::string& ValueName) {
    const bool entry = RemoveAutostartEntry(ValueName);
    TRegistry reg;
    const bool value = reg.OpenKey(RunKey, false) && reg.ValueExists(ValueName) && reg.DeleteValue(ValueName);
    return entry || value;
}

TProgramStart StartSiblingProgram(const std::string& Path) {
    const QFileInfo program(QString::fromStdString(Path));
    if (!program.isFile() || !program.isExecutable()) return psMissing;
    if (IsProgramRunning(Path)) return psAlreadyRunning;
    return QProcess::startDetached(program.filePath(), {}, program.path()) ? psStarted : psFailed;
}

std::string ProgramFilePath() {
    if (!ProgramPathOverride().empty()) return ProgramPathOverride();
    return QCoreApplication::applicationFilePath().toStdString();
}

std::string ProgramFileFolder() {
    const std::string path = ProgramFilePath();
    return path.substr(0, path.rfind('/') + 1);
}

void SetProgramFilePath(const std::string& Path) {
    ProgramPathOverride() = Path;
}
