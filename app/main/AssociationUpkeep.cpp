// The association upkeep: the shell's bindings of the 18 archive extensions kept in line with
// the settings' flags, the start-up check with its question, the first run's question, and the
// removal of the program's registration (-SYS -REMOVEREG).
#include "app/main/AssociationUpkeep.h"

#include "app/common/AppSettings.h"
#include "app/dialogs/AssociateDlg.h"
#include "app/common/Associations.h"
#include "app/dialogs/DialogSupport.h"
#include "app/common/SettingValues.h"
#include "app/common/SystemUtils.h"
#include "engine/write/krvRegArchive.h"
#include "platform/FileTypeBinding.h"
#include "platform/Registry.h"
#include "platform/RunningProcesses.h"

#include <QCheckBox>

namespace {

const std::string AssocKey = std::string(ProgramKey) + "\\FileAssociations";

} // namespace

TAssociationUpkeep::TAssociationUpkeep(QWidget* Parent)
    : FParent(Parent), FRegArchive(std::make_unique<TRegArchive>()) {
    FRegArchive->SetExtDescription("Quillar");
    FRegArchive->IconIndex = 0;
    FRegArchive->SetParamString("%1");
    FRegArchive->SetProgramPath(ProgramFilePath());
}

TAssociationUpkeep::~TAssociationUpkeep() = default;

void TAssociationUpkeep::Apply() {
    TAppSettings& settings = AppSettings();
    if (!settings.UserIsAdmin) return;
    try {
        TRegistry stored(TRegRoot::LocalMachine);
        if (!stored.OpenKey(AssocKey, true)) return;
        auto storedFlag = [&](const char* Ext) {
            return stored.GetDataType(Ext) == rdInteger && stored.ReadBool(Ext);
        };
        if (settings.EnableAssociations) {
            std::vector<std::string> added;
            for (const char* ext : AssociationExts) {
                const bool wanted = settings.*AssociationFlagOf(ext);
                const bool held = storedFlag(ext);
                if (wanted && !held) {
                    AssociateExtension(ext);
                    added.push_back(std::string(".") + ext);
                } else if (!wanted && held) {
                    UnassociateExtension(ext);
                }
            }
            if (!added.empty()) {
                FRegArchive->SetArcExtensions(added);
                FRegArchive->RegisterExtensions();
            }
        } else {
            std::vector<std::string> all;
            for (const char* ext : AssociationExts) {
                UnassociateExtension(ext);
                all.push_back(std::string(".") + ext);
            }
            FRegArchive->SetArcExtensions(all);
            FRegArchive->UnregisterExtensions();
        }
    } catch (const ERegistryException&) {
        ReportSettingsStoreUnwritable();
    }
}

void TAssociationUpkeep::Restore() {
    const TAppSettings& settings = AppSettings();
    if (!settings.UserIsAdmin) return;
    try {
        std::vector<std::string> flagged;
        for (const char* ext : AssociationExts) {
            if (!(settings.*AssociationFlagOf(ext))) continue;
            AssociateExtension(ext);
            flagged.push_back(std::string(".") + ext);
        }
        if (flagged.empty()) return;
        FRegArchive->SetArcExtensions(flagged);
        FRegArchive->RegisterExtensions();
    } catch (const ERegistryException&) {
        ReportSettingsStoreUnwritable();
    }
}

void TAssociationUpkeep::UpdateRegArchiveExt() {
    std::vector<std::string> flagged;
    for (const char* ext : AssociationExts) {
        if (AppSettings().*AssociationFlagOf(ext)) flagged.push_back(std::string(".") + ext);
    }
    FRegArchive->SetArcExtensions(flagged);
}

bool TAssociationUpkeep::AskAssociation() {
    TfmAssociateDlg dialog(FParent);
    const bool yes = ShowModal(dialog) == mrYes;
    TAppSettings& settings = AppSettings();
    if (yes) settings.EnableAssociations = true;
    if (dialog.StopAsking()) {
        // Written where the settings load it from, the machine's association key, so that the
        // next start does not ask either.
        settings.CheckAssociations = false;
        try {
            TRegistry stored(TRegRoot::LocalMachine);
            if (stored.OpenKey(AssocKey, true)) stored.WriteBool("CheckAssociations", false);
        } catch (const ERegistryException&) {
            ReportSettingsStoreUnwritable();
        }
    }
    return yes;
}

void TAssociationUpkeep::Check() {
    const TAppSettings& settings = AppSettings();
    if (!settings.CheckAssociations || !settings.EnableAssociations || !settings.UserIsAdmin) return;
    UpdateRegArchiveExt();
    bool associated = true;
    try {
        associated = FRegArchive->IsAssociated();
    } catch (const ERegistryException&) {
        // A store that cannot be read is no reason to ask.
    }
    if (!associated && AskAssociation()) Restore();
}

void TAssociationUpkeep::AskFirst() {
    TAppSettings& settings = AppSettings();
    if (AskAssociation()) {
        for (const char* ext : AssociationExts)
            settings.*AssociationFlagOf(ext) = true;
        settings.EnableAssociations = true;
        Apply();
        return;
    }
    try {
        ResetAssociationFlags();
    } catch (const ERegistryException&) {
        ReportSettingsStoreUnwritable();
    }
}

bool TAssociationUpkeep::RemoveRegistration() {
    for (pid_t pid : FindProcessesByName(TrayProgramName))
        TerminateProcessWait(pid, 5000);
    // Nothing is written back after the keys go: a command-line run has no window that saves
    // its placement, columns or recent list.
    FRegArchive->ActivateOnStartup = false;
    FRegArchive->SetArcExtensions({});
    const bool admin = AppSettings().UserIsAdmin;
    bool restored = true;
    try {
        if (admin) {
            std::vector<std::string> unbound;
            for (const char* ext : AssociationExts) {
                if (IsExtensionAssociated(ext)) {
                    UnassociateExtension(ext);
                } else {
                    unbound.push_back(std::string(".") + ext);
                }
            }
            FRegArchive->SetArcExtensions(unbound);
            restored = FRegArchive->UnregisterExtensions();
        }
        UnregisterShellExtensions();
        // With no handler left for a type, the desktop still takes a program whose entry lists
        // the type; the program's entry goes with its bindings.
        restored = RemoveProgramDesktopEntry() && restored;
    } catch (const ERegistryException&) {
        restored = false;
    }
    if (!restored) {
        // The record of the previous bindings stays, so that a later run can still give them back.
        ReportSettingsStoreUnwritable();
        return false;
    }
    DeleteProgramKeys(admin);
    return true;
}
