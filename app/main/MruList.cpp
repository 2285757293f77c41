#include "app/main/MruList.h"

#include "engine/core/krvGbls.h"
#include "platform/Registry.h"

#include <algorithm>

void TMruList::Load() {
    FItems.clear();
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(Key)) return;
    for (int i = 1; i <= 10; ++i) {
        const std::string name = "File" + std::to_string(i);
        if (reg.GetDataType(name) != rdString) continue;
        const std::string path = reg.ReadString(name);
        if (!path.empty() && std::find(FItems.begin(), FItems.end(), path) == FItems.end())
            FItems.push_back(path);
    }
    Trim();
}

void TMruList::Save() const {
    if (!AutoSave) return;
    try {
        TRegistry reg;
        reg.DeleteKey(Key);
        if (!reg.OpenKey(Key, true)) return;
        std::vector<TRegValue> values;
        for (std::size_t i = 0; i < FItems.size(); ++i)
            values.push_back(TRegValue{"File" + std::to_string(i + 1), rdString, FItems[i], 0});
        reg.WriteValues(values);
    } catch (const ERegistryException&) {
        // The list is a convenience: a store that cannot be written keeps the old one.
    }
}

void TMruList::SetMaxCount(int Value) {
    FMaxCount = std::clamp(Value, 0, 10);
    Trim();
}

void TMruList::Add(const std::string& Path) {
    Remove(Path);
    FItems.insert(FItems.begin(), Path);
    Trim();
}

void TMruList::Remove(const std::string& Path) {
    FItems.erase(std::remove(FItems.begin(), FItems.end(), Path), FItems.end());
}

void TMruList::RemoveMissing() {
    for (std::size_t i = FItems.size(); i-- > 0;)
        if (!FileExists(FItems[i])) FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(i));
}

void TMruList::Trim() {
    if (FItems.size() > static_cast<std::size_t>(FMaxCount))
        FItems.resize(static_cast<std::size_t>(FMaxCount));
}
