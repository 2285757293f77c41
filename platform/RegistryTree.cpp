#include "platform/RegistryTree.h"

#include <algorithm>

namespace {

char FoldAscii(char C) {
    return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C;
}

template <typename Items> auto FindIn(Items& List, std::string_view Name) {
    const auto it =
        std::find_if(List.begin(), List.end(), [&](const auto& I) { return SameRegName(I.Name, Name); });
    return it == List.end() ? nullptr : &*it;
}

template <typename Items> bool RemoveFrom(Items& List, std::string_view Name) {
    const auto it =
        std::find_if(List.begin(), List.end(), [&](const auto& I) { return SameRegName(I.Name, Name); });
    if (it == List.end()) return false;
    List.erase(it);
    return true;
}

} // namespace

bool SameRegName(std::string_view A, std::string_view B) {
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(),
                                              [](char X, char Y) { return FoldAscii(X) == FoldAscii(Y); });
}

std::vector<std::string> SplitKeyPath(std::string_view Path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= Path.size()) {
        const std::size_t end = std::min(Path.find('\\', start), Path.size());
        if (end > start) parts.emplace_back(Path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool IsValidKeyName(std::string_view Name) {
    return !Name.empty() && std::none_of(Name.begin(), Name.end(), [](char C) {
        const auto u = static_cast<unsigned char>(C);
        return u < 0x20 || u == 0x7F || C == '\\';
    });
}

TRegKeyNode* TRegKeyNode::FindSubKey(std::string_view KeyName) {
    return FindIn(SubKeys, KeyName);
}

const TRegKeyNode* TRegKeyNode::FindSubKey(std::string_view KeyName) const {
    return FindIn(SubKeys, KeyName);
}

TRegKeyNode& TRegKeyNode::SubKey(std::string_view KeyName) {
    if (TRegKeyNode* found = FindSubKey(KeyName)) return *found;
    SubKeys.push_back(TRegKeyNode{std::string(KeyName), {}, {}});
    return SubKeys.back();
}

bool TRegKeyNode::RemoveSubKey(std::string_view KeyName) {
    return RemoveFrom(SubKeys, KeyName);
}

const TRegValue* TRegKeyNode::FindValue(std::string_view ValueName) const {
    return FindIn(Values, ValueName);
}

void TRegKeyNode::SetValue(TRegValue Value) {
    for (TRegValue& existing : Values) {
        if (SameRegName(existing.Name, Value.Name)) {
            Value.Name = existing.Name;
            existing = std::move(Value);
            return;
        }
    }
    Values.push_back(std::move(Value));
}

bool TRegKeyNode::RemoveValue(std::string_view ValueName) {
    return RemoveFrom(Values, ValueName);
}

TRegKeyNode* TRegKeyNode::Find(const std::vector<std::string>& Path) {
    TRegKeyNode* node = this;
    for (const std::string& part : Path) {
        node = node->FindSubKey(part);
        if (!node) return nullptr;
    }
    return node;
}

const TRegKeyNode* TRegKeyNode::Find(const std::vector<std::string>& Path) const {
    return const_cast<TRegKeyNode*>(this)->Find(Path);
}

TRegKeyNode& TRegKeyNode::Create(const std::vector<std::string>& Path) {
    TRegKeyNode* node = this;
    for (const std::string& part : Path)
        node = &node->SubKey(part);
    return *node;
}
