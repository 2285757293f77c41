#include "app/common/AppSettings.h"

#include "app/common/Associations.h"
#include "app/common/SettingValues.h"
#include "app/common/ShellExtensionKeys.h"
#include "app/common/SystemUtils.h"
#include "platform/Process.h"
#include "platform/Registry.h"

#include <limits>
#include <stdexcept>
#include <type_traits>
#include <variant>
#include <vector>

namespace {

// Values that are written on the first run but are not part of the record: an empty text, or
// false.
struct TOutsideText {};
struct TOutsideBool {};

using TMember = std::variant<bool TAppSettings::*, std::int32_t TAppSettings::*, std::string TAppSettings::*,
                             TOutsideText, TOutsideBool>;

struct TField {
    const char* Name;
    TMember Member;
    std::int32_t Min = std::numeric_limits<std::int32_t>::min();
    std::int32_t Max = std::numeric_limits<std::int32_t>::max();
};

struct TSection {
    const char* Name;
    std::vector<TField> Fields;
};

using S = TAppSettings;
// None, Custom and the five scanners of the configuration dialog.
constexpr std::int32_t AntivirusPresets = 7;

// The sections in the order of the first-run defaults, each with its values in that order.
const std::vector<TSection>& Sections() {
    static const std::vector<TSection> sections = {
        {"View",
         {{"ColDate", &S::ColDate},
          {"ColPacked", &S::ColPacked},
          {"ColUnpacked", &S::ColUnpacked},
          {"ColRatio", &S::ColRatio},
          {"ColMethod", &S::ColMethod},
          {"ColAttributes", &S::ColAttributes},
          {"ColPath", &S::ColPath},
          {"ColFileType", &S::ColFileType},
          {"ColCRC", &S::ColCRC},
          {"ColFileOffset", &S::ColFileOffset},
          {"ColEncrypted", &S::ColEncrypted},
          {"ColVolumeID", &S::ColVolumeID},
          {"ColFileComment", &S::ColFileComment},
          {"FullRowSelect", &S::FullRowSelect},
          {"ShowGridLines", &S::ShowGridLines},
          {"DoubleClickSel", &S::DoubleClickSel},
          {"MouseSelection", &S::MouseSelection, 1, 3},
          {"FileListFont", &S::FileListFont}}},
        {"Toolbar",
         {{"ShowFilter", &S::ShowFilter},
          {"ButtonText", &S::ButtonText},
          {"ToolTips", &S::ToolTips},
          {"FlatButtons", &S::FlatButtons},
          {"BtnNewArchive", &S::BtnNewArchive},
          {"BtnOpenArchive", &S::BtnOpenArchive},
          {"BtnCloseArchive", &S::BtnCloseArchive},
          {"BtnTestArchive", &S::BtnTestArchive},
          {"BtnAddFiles", &S::BtnAddFiles},
          {"BtnExtractFiles", &S::BtnExtractFiles},
          {"BtnDeleteFiles", &S::BtnDeleteFiles},
          {"BtnViewFiles", &S::BtnViewFiles},
          {"BtnPrintContentList", &S::BtnPrintContentList},
          {"BtnCheckOut", &S::BtnCheckOut},
          {"BtnVirusScan", &S::BtnVirusScan},
          {"BtnExplorer", &S::BtnExplorer},
          {"BtnWizard", &S::BtnWizard},
          {"BtnProperties", &S::BtnProperties},
          {"BtnComment", &S::BtnComment},
          {"BtnConfiguration", &S::BtnConfiguration},
          {"BtnHelp", &S::BtnHelp},
          {"BtnExit", &S::BtnExit},
          {"BtnInstall", &S::BtnInstall},
          {"BtnMakeExe", &S::BtnMakeExe},
          {"BtnFilter", &S::BtnFilter}}},
        {"Folders",
         {{"OpenLast", &S::OpenLast},
          {"AddLast", &S::AddLast},
          {"ExtractLast", &S::ExtractLast},
          {"ExtractSame", &S::ExtractSame},
          {"OpenLastPath", TOutsideText{}},
          {"AddLastPath", TOutsideText{}},
          {"ExtractLastPath", TOutsideText{}},
          {"OpenFolder", &S::OpenFolder},
          {"AddFolder", &S::AddFolder},
          {"ExtractFolder", &S::ExtractFolder},
          {"TemporaryFolder", &S::TemporaryFolder},
          {"CheckoutBaseFolder", &S::CheckoutBaseFolder}}},
        {"ProgramLocations",
         {{"DefaultViewer", &S::DefaultViewer},
          {"AVProduct", &S::AVProduct, 0, AntivirusPresets - 1},
          {"VirusScanner", &S::VirusScanner},
          {"Parameters", &S::Parameters},
          {"RunMinimized", &S::RunMinimized},
          {"ViewerType", &S::ViewerType, 0, 3}}},
        {"ShellExtensions",
         {{"ShellExtensions", &S::ShellExtensions},
          {"Cascade", &S::Cascade},
          {"ShowIcon", &S::ShowIcon},
          {"cmAddToArc", &S::cmAddToArc},
          {"cmAddToFile", &S::cmAddToFile},
          {"cmAddToExe", &S::cmAddToExe},
          {"cmMailArchive", &S::cmMailArchive},
          {"cmExtractTo", &S::cmExtractTo},
          {"cmExtractHere", &S::cmExtractHere},
          {"cmExtractToFolder", &S::cmExtractToFolder},
          {"cmExtractMultiple", &S::cmExtractMultiple},
          {"cmExtractMultipleTo", &S::cmExtractMultipleTo},
          {"cmExtractMultipleSep", &S::cmExtractMultipleSep},
          {"cmExtractMultipleToSep", &S::cmExtractMultipleToSep},
          {"cmDDExtractTo", &S::cmDDExtractTo},
          {"cmDDExtractHere", &S::cmDDExtractHere},
          {"cmDDExtractToFolder", &S::cmDDExtractToFolder},
          {"cmDDExtractMultipleTo", &S::cmDDExtractMultipleTo},
          {"cmDDExtractMultiple", &S::cmDDExtractMultiple},
          {"cmDDExtractMultipleSep", &S::cmDDExtractMultipleSep},
          {"cmVirusScan", &S::cmVirusScan},
          {"cmConvert", &S::cmConvert},
          {"cmTest", &S::cmTest},
          {"cmMakeExe", &S::cmMakeExe},
          {"cmRepairZip", &S::cmRepairZip},
          {"itArcTypeInfo", &S::itArcTypeInfo},
          {"itDateInfo", &S::itDateInfo},
          {"itPackedSizeInfo", &S::itPackedSizeInfo},
          {"itUnpackedSizeInfo", &S::itUnpackedSizeInfo},
          {"itNumFilesInfo", &S::itNumFilesInfo},
          {"itRatioInfo", &S::itRatioInfo},
          {"itShowListingInfo", &S::itShowListingInfo},
          {"MaxFilesInfo", &S::MaxFilesInfo, 1, 50},
          {"adPath", &S::adPath, 0, 1},
          {"adArcType", &S::adArcType, 0, 6}}},
        {"Miscellaneous",
         {{"ConfirmCompress", &S::ConfirmCompress},
          {"ConfirmDecompress", &S::ConfirmDecompress},
          {"CommentsOpen", &S::CommentsOpen},
          {"ShortcutStartMenu", &S::ShortcutStartMenu},
          {"ShortcutDesktop", &S::ShortcutDesktop},
          {"StayOnTop", &S::StayOnTop},
          {"StartupOpen", &S::StartupOpen},
          {"StartupWizard", &S::StartupWizard},
          {"ClearMRU", &S::ClearMRU},
          {"MRUList", &S::MRUList, 0, 10}}},
        {"TrayIcon",
         {{"EnableTray", &S::EnableTray},
          {"ShowMRU", &S::ShowMRU},
          {"ListFormat", &S::ListFormat, 0, 1},
          {"DoubleClick", &S::DoubleClick, 0, 2}}},
        {"Others", {{"MaskPassword", TOutsideBool{}}}},
    };
    return sections;
}

// The 18 association flags in their order, then the two switches; the machine key's subkeys.
const std::vector<TField>& AssociationFields() {
    static const std::vector<TField> fields = {{"Ace", &S::Ace},
                                               {"Arc", &S::Arc},
                                               {"Arj", &S::Arj},
                                               {"Bh", &S::Bh},
                                               {"Cab", &S::Cab},
                                               {"Gz", &S::Gz},
                                               {"Jar", &S::Jar},
                                               {"Lha", &S::Lha},
                                               {"Lzh", &S::Lzh},
                                               {"Rar", &S::Rar},
                                               {"Tar", &S::Tar},
                                               {"Tgz", &S::Tgz},
                                               {"Uue", &S::Uue},
                                               {"Uu", &S::Uu},
                                               {"Xxe", &S::Xxe},
                                               {"Z", &S::Z},
                                               {"Zip", &S::Zip},
                                               {"Zoo", &S::Zoo},
                                               {"CheckAssociations", &S::CheckAssociations},
                                               {"EnableAssociations", &S::EnableAssociations}};
    return fields;
}
const std::string AssociationsKey = std::string(ProgramKey) + "\\FileAssociations";

const TSection& SectionNamed(const std::string& Name) {
    for (const TSection& section : Sections()) {
        if (Name == section.Name) return section;
    }
    throw std::logic_error("no settings section " + Name);
}

TRegValue IntegerValue(const char* Name, std::int32_t Value) {
    return TRegValue{Name, rdInteger, {}, Value};
}

// The registry value of a field as the record holds it.
TRegValue ValueOf(const TField& Field, const TAppSettings& Record) {
    struct TVisit {
        const TField& F;
        const TAppSettings& R;
        TRegValue operator()(bool TAppSettings::*M) const { return IntegerValue(F.Name, R.*M ? 1 : 0); }
        TRegValue operator()(std::int32_t TAppSettings::*M) const { return IntegerValue(F.Name, R.*M); }
        TRegValue operator()(std::string TAppSettings::*M) const {
            return TRegValue{F.Name, rdString, R.*M, 0};
        }
        TRegValue operator()(TOutsideText) const { return TRegValue{F.Name, rdString, {}, 0}; }
        TRegValue operator()(TOutsideBool) const { return IntegerValue(F.Name, 0); }
    };
    return std::visit(TVisit{Field, Record}, Field.Member);
}

// Gives a field of the record its first-run default. The list font's default is the font the
// record holds already (the archive list's own).
void DefaultField(const TField& Field, TAppSettings& Record) {
    static const TAppSettings defaults;
    std::visit(
        [&](auto Member) {
            if constexpr (!std::is_same_v<decltype(Member), TOutsideText> &&
                          !std::is_same_v<decltype(Member), TOutsideBool>) {
                if constexpr (std::is_same_v<decltype(Member), std::string TAppSettings::*>) {
                    if (Member == &S::FileListFont) return;
                }
                Record.*Member = defaults.*Member;
            }
        },
        Field.Member);
}

// Reads a field of the open key into the record; a value that is missing, of another type or
// out of range gives the field its default.
void ReadField(const TRegistry& Reg, const TField& Field, TAppSettings& Record) {
    const TRegDataType type = Reg.GetDataType(Field.Name);
    if (auto* b = std::get_if<bool TAppSettings::*>(&Field.Member); b && type == rdInteger) {
        Record.** b = Reg.ReadBool(Field.Name);
    } else if (auto* i = std::get_if<std::int32_t TAppSettings::*>(&Field.Member); i && type == rdInteger) {
        const std::int32_t value = Reg.ReadInteger(Field.Name);
        if (value < Field.Min || value > Field.Max) return DefaultField(Field, Record);
        Record.** i = value;
    } else if (auto* t = std::get_if<std::string TAppSettings::*>(&Field.Member); t && type == rdString) {
        Record.** t = Reg.ReadString(Field.Name);
    } else {
        DefaultField(Field, Record);
    }
}

bool IsInRecord(const TField& Field) {
    return !std::holds_alternative<TOutsideText>(Field.Member) &&
           !std::holds_alternative<TOutsideBool>(Field.Member);
}

// Writes Fields of the record into Key under Root (the key is made when missing).
bool WriteFields(TRegRoot Root, const std::string& Key, bool Create, const std::vector<TField>& Fields,
                 const TAppSettings& Record, bool RecordOnly) {
    TRegistry reg(Root);
    if (!reg.OpenKey(Key, Create)) return false;
    std::vector<TRegValue> values;
    for (const TField& field : Fields) {
        if (!RecordOnly || IsInRecord(field)) values.push_back(ValueOf(field, Record));
    }
    try {
        reg.WriteValues(values);
        return true;
    } catch (const ERegistryException&) {
        return false;
    }
}

// Writes values that a later release added, when they are missing from the open key.
void WriteIfMissing(TRegistry& Reg, const char* Probe, std::vector<TRegValue> Values) {
    if (!Reg.ValueExists(Probe)) Reg.WriteValues(Values);
}

// Upgrades a section from an earlier release before it is read.
void UpgradeSection(TRegistry& Reg, const std::string& Section, TAppSettings& Record) {
    if (Section == "View") {
        WriteIfMissing(Reg, "FileListFont", {TRegValue{"FileListFont", rdString, Record.FileListFont, 0}});
    } else if (Section == "ProgramLocations") {
        WriteIfMissing(Reg, "ViewerType", {IntegerValue("ViewerType", 0)});
    } else if (Section == "ShellExtensions") {
        WriteIfMissing(Reg, "cmExtractMultipleTo",
                       {IntegerValue("cmExtractMultipleTo", 1), IntegerValue("cmExtractMultipleSep", 1),
                        IntegerValue("cmExtractMultipleToSep", 1)});
        if (!Reg.ValueExists("cmDDExtractHere")) {
            std::vector<TRegValue> dd;
            for (const char* name :
                 {"cmDDExtractTo", "cmDDExtractHere", "cmDDExtractToFolder", "cmDDExtractMultipleTo",
                  "cmDDExtractMultiple", "cmDDExtractMultipleSep"}) {
                dd.push_back(IntegerValue(name, 1));
            }
            Reg.WriteValues(dd);
            if (Record.UserIsAdmin) RegisterDragDropMenu(ProgramFileFolder());
            WriteApprovedEntry(DropHandlerClass);
        }
    } else if (Section == "TrayIcon") {
        if (!Reg.ValueExists("EnableTray")) {
            Reg.WriteValues({IntegerValue("EnableTray", 1), IntegerValue("ShowMRU", 1),
                             IntegerValue("ListFormat", 0), IntegerValue("DoubleClick", 0)});
            const std::string tray = ProgramFileFolder() + TrayProgramName;
            AddToRunKey("Quillar", QuoteArgument(tray));
            StartSiblingProgram(tray);
        }
    } else if (Section == "Miscellaneous") {
        WriteIfMissing(Reg, "ConfirmCompress",
                       {IntegerValue("ConfirmCompress", 1), IntegerValue("ConfirmDecompress", 1)});
    }
}

} // namespace

TAppSettings& AppSettings() {
    static TAppSettings settings;
    return settings;
}

namespace {

void WriteDefaults() {
    TAppSettings defaults;
    defaults.FileListFont = AppSettings().FileListFont;
    TRegistry reg;
    if (!reg.OpenKey(ProgramKey, true))
        throw ERegistryException("Failed to create key " + std::string(ProgramKey));
    reg.WriteString("AppLocation", ProgramFilePath());
    for (const char* section : {"View", "Toolbar", "Folders", "ProgramLocations", "Miscellaneous",
                                "Favourites", "ShellExtensions"}) {
        if (!reg.CreateKey(std::string(ProgramKey) + '\\' + section)) {
            throw ERegistryException("Failed to create key " + std::string(section));
        }
    }
    for (const TSection& section : Sections()) {
        if (!WriteFields(TRegRoot::CurrentUser, std::string(ProgramKey) + '\\' + section.Name, true,
                         section.Fields, defaults, false)) {
            throw ERegistryException("Failed to set data for " + std::string(section.Name));
        }
    }
    if (!AppSettings().UserIsAdmin) return;
    TRegistry machine(TRegRoot::LocalMachine);
    if (machine.KeyExists(AssociationsKey)) return;
    if (!WriteFields(TRegRoot::LocalMachine, AssociationsKey, true, AssociationFields(), defaults, false)) {
        throw ERegistryException("Failed to create key " + AssociationsKey);
    }
    for (const char* extension : AssociationExts) {
        if (!machine.OpenKey(AssociationsKey + "\\." + extension, true)) {
            throw ERegistryException("Failed to create key " + std::string(extension));
        }
        machine.WriteBool("Exist", false);
    }
}

} // namespace

bool WriteDefaultSettings() {
    try {
        WriteDefaults();
        return true;
    } catch (const ERegistryException&) {
        ReportSettingsStoreUnwritable();
        return false;
    }
}

void LoadSettings() {
    TAppSettings& record = AppSettings();
    TRegistry machine(TRegRoot::LocalMachine);
    const bool machineOpen = machine.OpenKeyReadOnly(AssociationsKey);
    for (const TField& field : AssociationFields()) {
        if (machineOpen) {
            ReadField(machine, field, record);
        } else {
            DefaultField(field, record);
        }
    }
    for (const char* name :
         {"View", "Toolbar", "Folders", "ProgramLocations", "ShellExtensions", "TrayIcon", "Miscellaneous"}) {
        const TSection& section = SectionNamed(name);
        TRegistry reg;
        const bool open = reg.OpenKey(std::string(ProgramKey) + '\\' + name, true);
        if (open) {
            try {
                UpgradeSection(reg, name, record);
            } catch (const ERegistryException&) {
                // The upgrade is tried again on the next start; the defaults serve meanwhile.
                ReportSettingsStoreUnwritable();
            }
        } else {
            ReportSettingsStoreUnwritable();
        }
        for (const TField& field : section.Fields) {
            if (open) {
                ReadField(reg, field, record);
            } else {
                DefaultField(field, record);
            }
        }
    }
}

bool SaveSettings() {
    const TAppSettings& record = AppSettings();
    bool ok = true;
    for (const char* name : {"View", "Toolbar", "Folders"}) {
        ok = WriteFields(TRegRoot::CurrentUser, std::string(ProgramKey) + '\\' + name, true,
                         SectionNamed(name).Fields, record, true) &&
             ok;
    }
    // The machine's key is not made here: without it there is nothing to switch.
    if (record.UserIsAdmin && TRegistry(TRegRoot::LocalMachine).KeyExists(AssociationsKey)) {
        const std::vector<TField>& fields = AssociationFields();
        ok = WriteFields(TRegRoot::LocalMachine, AssociationsKey, false, {fields.end() - 2, fields.end()},
                         record, true) &&
             ok;
    }
    for (const char* name : {"ProgramLocations", "ShellExtensions", "Miscellaneous", "TrayIcon"}) {
        std::vector<TField> fields = SectionNamed(name).Fields;
        // The shell-extension switch is kept in this section as well.
        if (std::string(name) == "Miscellaneous")
            fields.insert(fields.begin() + 2, {"ShellExtensions", &S::ShellExtensions});
        ok = WriteFields(TRegRoot::CurrentUser, std::string(ProgramKey) + '\\' + name, true, fields, record,
                         true) &&
             ok;
    }
    if (!ok) ReportSettingsStoreUnwritable();
    return ok;
}
