#include "platform/Registry.h"

#include <algorithm>

void TRegistry::SetRootKey(TRegRoot Root) {
    CloseKey();
    FRoot = Root;
}

std::vector<std::string> TRegistry::Resolve(const std::string& Key) const {
    std::vector<std::string> path;
    if (Key.empty() || Key.front() != '\\') path = FCurrent;
    for (std::string& part : SplitKeyPath(Key))
        path.push_back(std::move(part));
    return path;
}

bool TRegistry::ValidPath(const std::vector<std::string>& Path) const {
    return std::all_of(Path.begin(), Path.end(),
                       [](const std::string& Part) { return IsValidKeyName(Part); });
}

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
    std::vector<std::string> path = Resolve(Key);
    if (!ValidPath(path)) return false;
    bool found = LoadRegistryRoot(FRoot)->Find(path) != nullptr;
    if (!found && CanCreate) {
        found = UpdateRegistryRoot(FRoot, [&](TRegKeyNode& Root) {
            Root.Create(path);
            return true;
        });
    }
    if (!found) return false;
    FCurrent = std::move(path);
    FReadOnly = false;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& Key) {
    std::vector<std::string> path = Resolve(Key);
    if (!ValidPath(path) || !LoadRegistryRoot(FRoot)->Find(path)) return false;
    FCurrent = std::move(path);
    FReadOnly = true;
    return true;
}

void TRegistry::CloseKey() {
    FCurrent.clear();
    FReadOnly = false;
}

std::string TRegistry::CurrentPath() const {
    std::string path;
    for (const std::string& part : FCurrent)
        path += (path.empty() ? "" : "\\") + part;
    return path;
}

bool TRegistry::KeyExists(const std::string& Key) const {
    const std::vector<std::string> path = Resolve(Key);
    return ValidPath(path) && LoadRegistryRoot(FRoot)->Find(path) != nullptr;
}

bool TRegistry::CreateKey(const std::string& Key) {
    const std::vector<std::string> path = Resolve(Key);
    return ValidPath(path) && UpdateRegistryRoot(FRoot, [&](TRegKeyNode& Root) {
               Root.Create(path);
               return true;
           });
}

bool TRegistry::DeleteKey(const std::string& Key) {
    std::vector<std::string> path = Resolve(Key);
    if (path.empty() || !ValidPath(path)) return false; // a root is never deleted
    const std::string last = path.back();
    path.pop_back();
    return UpdateRegistryRoot(FRoot, [&](TRegKeyNode& Root) {
        TRegKeyNode* parent = Root.Find(path);
        return parent && parent->RemoveSubKey(last);
    });
}

bool TRegistry::HasSubKeys() const {
    const auto root = LoadRegistryRoot(FRoot);
    const TRegKeyNode* key = root->Find(FCurrent);
    return key && !key->SubKeys.empty();
}

namespace {

template <typename Items> std::vector<std::string> NamesOf(const Items& List) {
    std::vector<std::string> names;
    for (const auto& item : List)
        names.push_back(item.Name);
    return names;
}

} // namespace

std::vector<std::string> TRegistry::GetKeyNames() const {
    const auto root = LoadRegistryRoot(FRoot);
    const TRegKeyNode* key = root->Find(FCurrent);
    return key ? NamesOf(key->SubKeys) : std::vector<std::string>{};
}

std::vector<std::string> TRegistry::GetValueNames() const {
    const auto root = LoadRegistryRoot(FRoot);
    const TRegKeyNode* key = root->Find(FCurrent);
    return key ? NamesOf(key->Values) : std::vector<std::string>{};
}

const TRegValue* TRegistry::Lookup(const TRegKeyNode& Root, const std::string& Name) const {
    const TRegKeyNode* key = Root.Find(FCurrent);
    return key ? key->FindValue(Name) : nullptr;
}

bool TRegistry::ValueExists(const std::string& Name) const {
    return Lookup(*LoadRegistryRoot(FRoot), Name) != nullptr;
}

TRegDataType TRegistry::GetDataType(const std::string& Name) const {
    const auto root = LoadRegistryRoot(FRoot);
    const TRegValue* value = Lookup(*root, Name);
    return value ? value->Type : rdUnknown;
}

bool TRegistry::DeleteValue(const std::string& Name) {
    return !FReadOnly && UpdateRegistryRoot(FRoot, [&](TRegKeyNode& Root) {
        TRegKeyNode* key = Root.Find(FCurrent);
        return key && key->RemoveValue(Name);
    });
}

std::string TRegistry::ReadString(const std::string& Name) const {
    const auto root = LoadRegistryRoot(FRoot);
    const TRegValue* value = Lookup(*root, Name);
    if (!value) return {};
    if (value->Type != rdString) throw ERegistryException("Invalid data type for '" + Name + "'");
    return value->Data;
}

std::int32_t TRegistry::ReadInteger(const std::string& Name) const {
    const auto root = LoadRegistryRoot(FRoot);
    const TRegValue* value = Lookup(*root, Name);
    if (!value || value->Type != rdInteger) throw ERegistryException("Invalid data type for '" + Name + "'");
    return value->Integer;
}

std::string TRegistry::ReadBinaryData(const std::string& Name) const {
    const auto root = LoadRegistryRoot(FRoot);
    const TRegValue* value = Lookup(*root, Name);
    if (!value || value->Type != rdBinary) throw ERegistryException("Invalid data type for '" + Name + "'");
    return value->Data;
}

void TRegistry::WriteValues(const std::vector<TRegValue>& Values) {
    const bool written = !FReadOnly && UpdateRegistryRoot(FRoot, [&](TRegKeyNode& Root) {
        // The open key may have been deleted since it was opened: then nothing is written.
        TRegKeyNode* key = Root.Find(FCurrent);
        if (!key) return false;
        for (const TRegValue& value : Values)
            key->SetValue(value);
        return true;
    });
    if (!written) {
        throw ERegistryException("Failed to set data for '" + (Values.empty() ? "" : Values.front().Name) +
                                 "'");
    }
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
    WriteValues({TRegValue{Name, rdString, Value, 0}});
}

void TRegistry::WriteInteger(const std::string& Name, std::int32_t Value) {
    WriteValues({TRegValue{Name, rdInteger, {}, Value}});
}

void TRegistry::WriteBinaryData(const std::string& Name, const std::string& Bytes) {
    WriteValues({TRegValue{Name, rdBinary, Bytes, 0}});
}
