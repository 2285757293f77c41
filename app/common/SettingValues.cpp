#include "app/common/SettingValues.h"

#include "app/common/Prompter.h"
#include "platform/Registry.h"

#include <functional>
#include <set>

namespace {

std::string SectionKey(const std::string& Section) {
    return std::string(ProgramKey) + '\\' + Section;
}

void WriteValue(const std::string& Section, const std::function<void(TRegistry&)>& Write) {
    TRegistry reg;
    if (!reg.OpenKey(SectionKey(Section), true)) return ReportSettingsStoreUnwritable();
    try {
        Write(reg);
    } catch (const ERegistryException&) {
        ReportSettingsStoreUnwritable(); // nothing was written
    }
}

template <typename T>
T ReadValue(const std::string& Section, T Neutral, const std::function<T(const TRegistry&)>& Read) {
    TRegistry reg;
    if (!reg.OpenKey(SectionKey(Section), true)) {
        ReportSettingsStoreUnwritable();
        return Neutral;
    }
    try {
        return Read(reg);
    } catch (const ERegistryException&) {
        return Neutral;
    }
}

} // namespace

void ReportSettingsStoreUnwritable() {
    static std::set<std::string> reported;
    const std::string folder = RegistryFolder();
    if (!reported.insert(folder).second) return;
    MessageDlg(
        QStringLiteral("Quillar cannot save its settings in \"%1\".\r\nIt goes on with the settings it "
                       "has now; changes are lost when it ends.")
            .arg(QString::fromStdString(folder)),
        mtWarning, mbOK);
}

bool SettingsViewKeyExists() {
    return TRegistry().KeyExists(SectionKey("View"));
}

void WriteSettingString(const std::string& Section, const std::string& Name, const std::string& Value) {
    WriteValue(Section, [&](TRegistry& Reg) { Reg.WriteString(Name, Value); });
}

void WriteSettingInteger(const std::string& Section, const std::string& Name, std::int32_t Value) {
    WriteValue(Section, [&](TRegistry& Reg) { Reg.WriteInteger(Name, Value); });
}

void WriteSettingBool(const std::string& Section, const std::string& Name, bool Value) {
    WriteValue(Section, [&](TRegistry& Reg) { Reg.WriteBool(Name, Value); });
}

std::string ReadSettingString(const std::string& Section, const std::string& Name) {
    return ReadValue<std::string>(Section, {}, [&](const TRegistry& Reg) { return Reg.ReadString(Name); });
}

bool ReadSettingBool(const std::string& Section, const std::string& Name) {
    return ReadValue<bool>(Section, false, [&](const TRegistry& Reg) { return Reg.ReadBool(Name); });
}

std::int32_t ReadSettingInteger(const std::string& Section, const std::string& Name) {
    return ReadValue<std::int32_t>(Section, -1, [&](const TRegistry& Reg) { return Reg.ReadInteger(Name); });
}

void DeleteProgramKeys(bool UserIsAdmin) {
    TRegistry(TRegRoot::CurrentUser).DeleteKey(ProgramKey);
    if (UserIsAdmin) TRegistry(TRegRoot::LocalMachine).DeleteKey(ProgramKey);
}
