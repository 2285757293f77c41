// The start-up work every run shares, the tray program and the configuration dialog's OK.
#include "app/main/ProgramStart.h"

#include "app/common/AppSettings.h"
#include "app/common/Associations.h"
#include "app/dialogs/Configuration.h"
#include "app/dialogs/DialogSupport.h"
#include "app/common/FileUtils.h"
#include "app/common/FontText.h"
#include "app/common/SettingValues.h"
#include "app/common/SystemUtils.h"
#include "app/main/AssociationUpkeep.h"
#include "engine/core/krvGbls.h"
#include "platform/Registry.h"
#include "platform/RunningProcesses.h"
#include "platform/Shell.h"
#include "platform/ShellLink.h"

#include <QColor>
#include <QFont>

namespace {

void FirstRun(TAssociationUpkeep& Associations) {
    const bool bookkeeping = AssociationsKeyExists();
    try {
        WriteDefaultSettings();
    } catch (const std::exception&) {
        // Settings that cannot be stored read as their defaults.
    }
    if (AppSettings().UserIsAdmin) {
        RegisterShellExtensions();
        if (!bookkeeping) Associations.AskFirst();
    }
    const std::string program = ProgramFilePath();
    const std::string menu = SpecialFolderPath(sfStartMenu);
    if (!menu.empty()) ForceDirPath(menu);
    CreateShellLink(menu, "Quillar", program, "quillar");
    CreateShellLink(SpecialFolderPath(sfDesktopDirectory), "Quillar", program, "quillar");
}

} // namespace

void StartProgram(TAssociationUpkeep& Associations, const QFont& ListFont, const QColor& ListColor) {
    TAppSettings& settings = AppSettings();
    settings.UserIsAdmin = IsAdmin();
    // The list's own font is the font the first run stores.
    settings.FileListFont = FontToString(FontDataOf(ListFont, ListColor));
    if (!SettingsViewKeyExists()) FirstRun(Associations);
    if (settings.UserIsAdmin && !AssociationsKeyExists()) {
        try {
            SnapshotAssociations();
        } catch (const ERegistryException&) {
            ReportSettingsStoreUnwritable();
        }
    }
    LoadSettings();
    Associations.Check();
}

void UpdateTrayProgram() {
    const std::string tray = ProgramFileFolder() + TrayProgramName;
    if (AppSettings().EnableTray) {
        AddToRunKey("Quillar", tray);
        // One tray program: it is started only when it exists and none runs.
        StartSiblingProgram(tray);
    } else {
        RemoveFromRunKey("Quillar");
        for (pid_t pid : FindProcessesByName(TrayProgramName))
            TerminateProcessWait(pid, 5000);
    }
}

bool RunConfiguration(QWidget* Parent, int Page, TAssociationUpkeep& Associations) {
    TfmConfiguration fmConfiguration(Parent);
    fmConfiguration.SetPage(Page);
    if (ShowModal(fmConfiguration) != QDialog::Accepted) return false;
    SaveSettings();
    if (fmConfiguration.AssociationsPageShown) Associations.Apply();
    return true;
}
