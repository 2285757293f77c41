// The registry's keys and values in memory: one tree per root. Key and value names compare
// without regard to the case of the letters A-Z and keep the case they were created with;
// values keep the order in which they were first written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum TRegDataType { rdUnknown, rdString, rdInteger, rdBinary };

struct TRegValue {
    std::string Name; // empty: the key's default value
    TRegDataType Type = rdString;
    std::string Data; // the text of a string value, the bytes of a binary value
    std::int32_t Integer = 0;
};

class TRegKeyNode {
public:
    std::string Name;
    std::vector<TRegValue> Values;
    std::vector<TRegKeyNode> SubKeys;

    TRegKeyNode* FindSubKey(std::string_view KeyName);
    const TRegKeyNode* FindSubKey(std::string_view KeyName) const;
    // The sub-key of that name, added when it is missing.
    TRegKeyNode& SubKey(std::string_view KeyName);
    bool RemoveSubKey(std::string_view KeyName);

    const TRegValue* FindValue(std::string_view ValueName) const;
    // Sets a value; a value of the same name keeps its place and its name's case.
    void SetValue(TRegValue Value);
    bool RemoveValue(std::string_view ValueName);

    // The key at Path (parts as SplitKeyPath gives them) below this one, or nullptr.
    TRegKeyNode* Find(const std::vector<std::string>& Path);
    const TRegKeyNode* Find(const std::vector<std::string>& Path) const;
    // The key at Path, with every missing key on the way created.
    TRegKeyNode& Create(const std::vector<std::string>& Path);
};

// True when two key or value names are the same name.
bool SameRegName(std::string_view A, std::string_view B);

// The parts of a key path: split at backslashes, empty parts dropped ("\a\\b\" is a, b).
std::vector<std::string> SplitKeyPath(std::string_view Path);

// A key name holds no backslash and no control character and is not empty.
bool IsValidKeyName(std::string_view Name);
