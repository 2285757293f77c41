#include "app/dialogs/SystemUtils.h"

#include "platform/Registry.h"

#include <QCoreApplication>

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
    TRegistry reg;
    if (!reg.OpenKey(RunKey, true)) return;
    try {
        reg.WriteString(ValueName, CommandLine);
    } catch (const ERegistryException&) {
        // The autostart value is a convenience; the program runs without it.
    }
}

bool RemoveFromRunKey(const std::string& ValueName) {
    TRegistry reg;
    return reg.OpenKey(RunKey, false) && reg.ValueExists(ValueName) && reg.DeleteValue(ValueName);
}

std::string ProgramFilePath() {
    if (!ProgramPathOverride().empty()) return ProgramPathOverride();
    return QCoreApplication::applicationFilePath().toStdString();
}

std::string ProgramFolder() {
    const std::string path = ProgramFilePath();
    return path.substr(0, path.rfind('/') + 1);
}

void SetProgramFilePath(const std::string& Path) {
    ProgramPathOverride() = Path;
}
