// Our stand-in for the Windows registry: keys and values under three roots (per-user,
// local-machine, classes), kept by RegistryStore.h in one file per root. TRegistry works
// like the class library's registry object: open a key (relative to the open key, or from
// the root when the path begins with a backslash), then read and write its values. Every
// write goes to the file at once; every read sees what the file holds now.
#pragma once

#include "platform/RegistryStore.h"
#include "platform/RegistryTree.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// A value that cannot be read as asked (missing, or of another type), or a write that failed.
class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TRegistry {
public:
    explicit TRegistry(TRegRoot Root = TRegRoot::CurrentUser) : FRoot(Root) {}

    TRegRoot RootKey() const { return FRoot; }
    // Changing the root closes the open key.
    void SetRootKey(TRegRoot Root);

    // Opens Key; with CanCreate the key and every missing key above it are created. False
    // when the key is missing (and not to be created), a name is not a valid key name, or
    // the store cannot be written.
    bool OpenKey(const std::string& Key, bool CanCreate);
    // Opens an existing key for reading only: writes through this object then fail.
    bool OpenKeyReadOnly(const std::string& Key);
    void CloseKey();
    // The open key's path below the root, its names joined with backslashes ("" = the root).
    std::string CurrentPath() const;

    bool KeyExists(const std::string& Key) const;
    bool CreateKey(const std::string& Key);
    // Deletes Key with everything below it; false when it did not exist or could not be saved.
    bool DeleteKey(const std::string& Key);
    bool HasSubKeys() const;
    std::vector<std::string> GetKeyNames() const;
    // The open key's value names in the order in which they were first written.
    std::vector<std::string> GetValueNames() const;

    bool ValueExists(const std::string& Name) const;
    // rdUnknown when there is no such value.
    TRegDataType GetDataType(const std::string& Name) const;
    bool DeleteValue(const std::string& Name);

    // A missing string value reads as ''; a value of another type raises ERegistryException.
    std::string ReadString(const std::string& Name) const;
    // A missing value or one of another type raises ERegistryException.
    std::int32_t ReadInteger(const std::string& Name) const;
    bool ReadBool(const std::string& Name) const { return ReadInteger(Name) != 0; }
    std::string ReadBinaryData(const std::string& Name) const;

    // Writes raise ERegistryException when the key is open read-only, no longer exists, or the
    // store cannot be saved.
    void WriteString(const std::string& Name, const std::string& Value);
    void WriteInteger(const std::string& Name, std::int32_t Value);
    void WriteBool(const std::string& Name, bool Value) { WriteInteger(Name, Value ? 1 : 0); }
    void WriteBinaryData(const std::string& Name, const std::string& Bytes);
    // Writes several values of the open key in one change: all of them or, on failure, none.
    void WriteValues(const std::vector<TRegValue>& Values);

private:
    // The path of Key: from the root when it begins with a backslash, else below the open key.
    std::vector<std::string> Resolve(const std::string& Key) const;
    bool ValidPath(const std::vector<std::string>& Path) const;
    const TRegValue* Lookup(const TRegKeyNode& Root, const std::string& Name) const;

    TRegRoot FRoot;
    std::vector<std::string> FCurrent;
    bool FReadOnly = false;
};
