#include "app/dialogs/SettingValues.h"

#include "platform/Registry.h"

#include <functional>

namespace {

std::string SectionKey(const std::string& Section) {
    return std::string(ProgramKey) + '\\' + Section;
}

void WriteValue(const std::string& Section, const std::function<void(TRegistry&)>& Write) {
    TRegistry reg;
    if (!reg.OpenKey(SectionKey(Section), true)) return;
    try {
        Write(reg);
    } catch (const ERegistryException&) {
        // Nothing was written.
    }
}

template <typename T>
T ReadValue(const std::string& Section, T Neutral, const std::function<T(const TRegistry&)>& Read) {
    TRegistry reg;
    if (!reg.OpenKey(SectionKey(Section), true)) return Neutral;
    try {
        return Read(reg);
    } catch (const ERegistryException&) {
        return Neutral;
    }
}

} // namespace

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
