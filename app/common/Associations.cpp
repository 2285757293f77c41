#include "app/common/Associations.h"

#include "app/common/AppSettings.h"
#include "app/common/SettingValues.h"
#include "app/common/ShellExtensionKeys.h"
#include "app/common/SystemUtils.h"
#include "platform/FileTypeBinding.h"
#include "platform/Registry.h"
#include "platform/RegistryStore.h"

#include <iterator>
#include <stdexcept>
#include <vector>

namespace {

const std::string AssocKey = std::string(ProgramKey) + "\\FileAssociations";
constexpr const char* InfoTipHandler = "\\shellex\\{00021500-0000-0000-C000-000000000046}";
constexpr const char* CompressedFolderClass = "\\CLSID\\{E88DCCE0-B7B3-11d1-A9F0-00AA0060FA31}";
constexpr const char* BrowsableCategory = "\\Implemented Categories\\{00021490-0000-0000-C000-000000000046}";
constexpr const char* CompressedFolderDropHandler =
    "\\Folder\\shellex\\DragDropHandlers\\{BD472F60-27FA-11cf-B8B4-444553540000}";

// Where registration keeps the system's compressed-folder keys that it takes away (machine
// root, each below its own classes-root path), so that removal can give them back.
const std::string TakenKeys = std::string(ProgramKey) + "\\TakenShellKeys";

// Copies the classes-root key at Key, with everything below it, under TakenKeys.
bool SaveTakenKey(const std::string& Key) {
    const auto classes = LoadRegistryRoot(TRegRoot::ClassesRoot);
    const TRegKeyNode* node = classes->Find(SplitKeyPath(Key));
    if (!node) return false;
    return UpdateRegistryRoot(TRegRoot::LocalMachine, [&](TRegKeyNode& Root) {
        TRegKeyNode& copy = Root.Create(SplitKeyPath(TakenKeys + Key));
        copy.Values = node->Values;
        copy.SubKeys = node->SubKeys;
        return true;
    });
}

// Puts a saved key back under the classes root, unless something is there again.
void RestoreTakenKey(const std::string& Key) {
    const auto machine = LoadRegistryRoot(TRegRoot::LocalMachine);
    const TRegKeyNode* saved = machine->Find(SplitKeyPath(TakenKeys + Key));
    if (!saved) return;
    UpdateRegistryRoot(TRegRoot::ClassesRoot, [&](TRegKeyNode& Root) {
        if (Root.Find(SplitKeyPath(Key))) return false;
        TRegKeyNode& key = Root.Create(SplitKeyPath(Key));
        key.Values = saved->Values;
        key.SubKeys = saved->SubKeys;
        return true;
    });
}

// The info-tip extensions, in their order of registration.
constexpr const char* InfoTipExts[] = {"ace", "arc", "arj", "bh",  "cab", "enc", "gz",  "ha",
                                       "jar", "lha", "lzh", "pak", "pk3", "pk_", "rar", "tar",
                                       "tgz", "uue", "uu",  "xxe", "z",   "zip", "zoo"};

constexpr const TShellExtClass* ShellExtClasses[] = {&ContextMenuAllClass, &ContextMenuClass,
                                                     &DragDropMenuClass, &DropHandlerClass, &InfoTipClass};

TRegistry OpenMachineKey(const std::string& Key) {
    TRegistry reg(TRegRoot::LocalMachine);
    if (!reg.OpenKey(Key, true)) throw ERegistryException("Failed to create key " + Key);
    return reg;
}

TRegistry OpenClassesKey(const std::string& Key) {
    TRegistry reg(TRegRoot::ClassesRoot);
    if (!reg.OpenKey(Key, true)) throw ERegistryException("Failed to create key " + Key);
    return reg;
}

bool ReadFlag(const TRegistry& Reg, const std::string& Name) {
    return Reg.GetDataType(Name) == rdInteger && Reg.ReadBool(Name);
}

void InstallInfoTip(const std::string& Ext) {
    OpenClassesKey("\\." + Ext + InfoTipHandler).WriteString("", InfoTipClass.ClassId);
}

void RemoveInfoTip(const std::string& Ext) {
    TRegistry(TRegRoot::ClassesRoot).DeleteKey("\\." + Ext + InfoTipHandler);
}

// Another extension that is still flagged and bound through the same MIME type; '' when none.
std::string FlaggedSharingType(const TRegistry& Flags, const std::string& Ext) {
    for (const char* other : AssociationExts) {
        if (other != Ext && MimeTypeOfExtension(other) == MimeTypeOfExtension(Ext) && ReadFlag(Flags, other))
            return other;
    }
    return {};
}

std::string ReadText(const TRegistry& Reg, const char* Name) {
    return Reg.GetDataType(Name) == rdString ? Reg.ReadString(Name) : std::string();
}

// An extension's bookkeeping key that has nothing yet gets the four neutral values.
void WriteNeutralWhenNew(TRegistry& Saved) {
    if (Saved.ValueExists("Exist")) return;
    Saved.WriteValues({{"Exist", rdInteger, {}, 0},
                       {"Content", rdString, {}, 0},
                       {"Type", rdString, {}, 0},
                       {"ShellNew", rdString, {}, 0}});
}

} // namespace

bool TAppSettings::*AssociationFlagOf(const std::string& Ext) {
    using S = TAppSettings;
    static constexpr bool S::*Flags[] = {&S::Ace, &S::Arc, &S::Arj, &S::Bh,  &S::Cab, &S::Gz,
                                         &S::Jar, &S::Lha, &S::Lzh, &S::Rar, &S::Tar, &S::Tgz,
                                         &S::Uu,  &S::Uue, &S::Xxe, &S::Z,   &S::Zip, &S::Zoo};
    for (std::size_t i = 0; i < std::size(Flags); ++i) {
        if (Ext == AssociationExts[i]) return Flags[i];
    }
    throw std::logic_error("no association flag for " + Ext);
}

void AssociateExtension(const std::string& Ext) {
    const std::string type = ExtensionFileType(Ext);
    std::string content, shellNew;
    if (!type.empty()) {
        content = MimeTypeOfExtension(Ext);
        TRegistry classes(TRegRoot::ClassesRoot);
        if (classes.OpenKeyReadOnly("\\." + Ext + "\\ShellNew") && classes.GetDataType("") == rdString)
            shellNew = classes.ReadString("");
    }
    OpenMachineKey(AssocKey).WriteBool(Ext, true);
    // An extension that is this program's already keeps what was saved before it.
    if (!type.empty() && type != ProgramFileType) {
        OpenMachineKey(AssocKey + "\\." + Ext)
            .WriteValues({{"Exist", rdInteger, {}, 1},
                          {"Content", rdString, content, 0},
                          {"Type", rdString, type, 0},
                          {"ShellNew", rdString, shellNew, 0}});
    }
    InstallInfoTip(Ext);
}

void UnassociateExtension(const std::string& Ext) {
    TRegistry flags = OpenMachineKey(AssocKey);
    const bool wasSet = ReadFlag(flags, Ext);
    flags.WriteBool(Ext, false);
    TRegistry saved = OpenMachineKey(AssocKey + "\\." + Ext);
    WriteNeutralWhenNew(saved);
    const std::string current = ExtensionFileType(Ext);
    // What another program set since is that program's. A type that a still-flagged extension
    // shares stays this program's, and what was saved passes to that extension.
    const std::string sharer = current == ProgramFileType ? FlaggedSharingType(flags, Ext) : "";
    const bool ours = current == ProgramFileType && sharer.empty();
    if (ReadFlag(saved, "Exist")) {
        const std::string type = ReadText(saved, "Type");
        const std::string shellNew = ReadText(saved, "ShellNew");
        if (!sharer.empty()) {
            TRegistry heir = OpenMachineKey(AssocKey + "\\." + sharer);
            if (!ReadFlag(heir, "Exist"))
                heir.WriteValues({{"Exist", rdInteger, {}, 1},
                                  {"Content", rdString, ReadText(saved, "Content"), 0},
                                  {"Type", rdString, type, 0},
                                  {"ShellNew", rdString, shellNew, 0}});
        } else if (!type.empty() && (ours || current.empty()) && !SetExtensionFileType(Ext, type)) {
            throw ERegistryException("Failed to write " + MimeAppsListPath());
        }
        // The content type of an extension is its MIME type, which the MIME database keeps.
        if (!shellNew.empty()) OpenClassesKey("\\." + Ext + "\\ShellNew").WriteString("", shellNew);
        RemoveInfoTip(Ext);
        // Only once the binding is back is the saved one forgotten.
        saved.WriteBool("Exist", false);
    } else if (wasSet) {
        if (ours && !SetExtensionFileType(Ext, ""))
            throw ERegistryException("Failed to write " + MimeAppsListPath());
        RemoveInfoTip(Ext);
    }
    if (Ext == "zip") {
        TRegistry classes(TRegRoot::ClassesRoot);
        if (classes.KeyExists(CompressedFolderClass))
            classes.CreateKey(std::string(CompressedFolderClass) + BrowsableCategory);
    }
}

bool IsExtensionAssociated(const std::string& Ext) {
    const bool flag = ReadFlag(OpenMachineKey(AssocKey), Ext);
    TRegistry saved = OpenMachineKey(AssocKey + "\\." + Ext);
    WriteNeutralWhenNew(saved);
    return !(flag && !ReadFlag(saved, "Exist"));
}

void ResetAssociationFlags() {
    TRegistry flags = OpenMachineKey(AssocKey);
    std::vector<TRegValue> values;
    for (const char* ext : AssociationExts)
        values.push_back({ext, rdInteger, {}, 0});
    values.push_back({"CheckAssociations", rdInteger, {}, 0});
    values.push_back({"EnableAssociations", rdInteger, {}, 0});
    flags.WriteValues(values);
    for (const char* ext : AssociationExts)
        OpenMachineKey(AssocKey + "\\." + ext).WriteBool("Exist", false);
}

bool AssociationsKeyExists() {
    return TRegistry(TRegRoot::LocalMachine).KeyExists(AssocKey);
}

void SnapshotAssociations() {
    TRegistry user(TRegRoot::CurrentUser);
    if (!user.OpenKeyReadOnly(AssocKey)) return;
    TRegistry machine = OpenMachineKey(AssocKey);
    std::vector<TRegValue> values;
    std::vector<std::string> names(std::begin(AssociationExts), std::end(AssociationExts));
    names.insert(names.end(), {"CheckAssociations", "EnableAssociations"});
    for (const std::string& name : names) {
        if (user.GetDataType(name) == rdInteger)
            values.push_back({name, rdInteger, {}, user.ReadInteger(name)});
    }
    machine.WriteValues(values);
    for (const char* ext : AssociationExts) {
        TRegistry older(TRegRoot::CurrentUser);
        if (!older.OpenKeyReadOnly(AssocKey + "\\." + ext)) continue;
        std::vector<TRegValue> saved;
        if (older.GetDataType("Exist") == rdInteger)
            saved.push_back({"Exist", rdInteger, {}, older.ReadInteger("Exist")});
        if (older.ValueExists("Content")) {
            for (const char* name : {"Content", "Type", "ShellNew"}) {
                saved.push_back(
                    {name, rdString, older.GetDataType(name) == rdString ? older.ReadString(name) : "", 0});
            }
        }
        OpenMachineKey(AssocKey + "\\." + ext).WriteValues(saved);
    }
}

void RegisterShellExtensions() {
    if (!AppSettings().UserIsAdmin) return;
    TRegistry classes(TRegRoot::ClassesRoot);
    const std::string category = std::string(CompressedFolderClass) + BrowsableCategory;
    // The system's compressed-folder handlers are switched off; what they held is kept first.
    if (classes.KeyExists(CompressedFolderDropHandler) && classes.KeyExists(category) &&
        SaveTakenKey(CompressedFolderDropHandler) && SaveTakenKey(category)) {
        classes.DeleteKey(CompressedFolderDropHandler);
        classes.DeleteKey(category);
    }
    classes.CreateKey(std::string("\\Quillar\\shellex\\ContextMenuHandlers\\") + ContextMenuClass.ClassId);
    classes.CreateKey(std::string("\\Quillar\\shellex\\ContextMenuHandlers\\") + ContextMenuAllClass.ClassId);
    OpenClassesKey("\\Quillar\\shellex\\DropHandler").WriteString("", DropHandlerClass.ClassId);
    for (const char* owner : {"\\Directory", "\\Drive"})
        OpenClassesKey(std::string(owner) + "\\shellex\\DragDropHandlers\\Quillar")
            .WriteString("", DragDropMenuClass.ClassId);
    for (const char* owner : {"\\*", "\\Folder"})
        OpenClassesKey(std::string(owner) + "\\shellex\\ContextMenuHandlers\\Quillar")
            .WriteString("", ContextMenuAllClass.ClassId);
    for (const char* ext : InfoTipExts)
        InstallInfoTip(ext);
    const std::string folder = ProgramFileFolder();
    for (const TShellExtClass* shellClass : ShellExtClasses)
        RegisterShellExtClass(*shellClass, folder);
    const std::string infoTip = std::string("\\CLSID\\") + InfoTipClass.ClassId;
    OpenClassesKey(infoTip + "\\TypeLib").WriteString("", "{F53750A2-F4F2-421A-AF77-EB6F45A7EF3A}");
    OpenClassesKey(infoTip + "\\Version").WriteString("", "1.0");
    for (const TShellExtClass* shellClass : ShellExtClasses)
        WriteApprovedEntry(*shellClass);
}

void UnregisterShellExtensions() {
    if (!AppSettings().UserIsAdmin) return;
    TRegistry classes(TRegRoot::ClassesRoot);
    std::vector<std::string> keys = {
        "\\*\\shellex\\ContextMenuHandlers\\Quillar",
        "\\Folder\\shellex\\ContextMenuHandlers\\Quillar",
        "\\Directory\\shellex\\DragDropHandlers\\Quillar",
        "\\Drive\\shellex\\DragDropHandlers\\Quillar",
        std::string("\\Quillar\\shellex\\ContextMenuHandlers\\") + ContextMenuClass.ClassId,
        std::string("\\Quillar\\shellex\\ContextMenuHandlers\\") + ContextMenuAllClass.ClassId,
        "\\Quillar\\shellex\\DropHandler"};
    for (const char* ext : InfoTipExts)
        keys.push_back(std::string("\\.") + ext + InfoTipHandler);
    for (const TShellExtClass* shellClass : ShellExtClasses)
        keys.push_back(std::string("\\CLSID\\") + shellClass->ClassId);
    for (const std::string& key : keys)
        classes.DeleteKey(key); // a missing key is no error
    TRegistry user(TRegRoot::CurrentUser);
    for (const TShellExtClass* shellClass : ShellExtClasses)
        user.DeleteKey(std::string(ApprovedKey) + '\\' + shellClass->ClassId);
    // The system's compressed-folder handlers come back as they were.
    RestoreTakenKey(CompressedFolderDropHandler);
    RestoreTakenKey(std::string(CompressedFolderClass) + BrowsableCategory);
    TRegistry(TRegRoot::LocalMachine).DeleteKey(TakenKeys);
}
