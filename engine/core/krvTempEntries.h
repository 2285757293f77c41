// Temporaries a run owns: a private folder, or a file, made under a unique name and removed
// (a folder with everything in it) when the object ends, and on SIGINT or SIGTERM once the
// host has called InstallTemporaryCleanupOnSignals.
#pragma once

#include "engine/core/krvFileIo.h"
#include "platform/TemporaryCleanup.h"

#include <string>

class TTempFolder {
public:
    TTempFolder() = default;
    // Makes the folder "<Prefix>XXXXXX" in Dir, mode 0700; Path() is empty when it could not
    // be made.
    TTempFolder(const std::string& Dir, const std::string& Prefix);
    TTempFolder(TTempFolder&& Other) noexcept;
    TTempFolder& operator=(TTempFolder&& Other) noexcept;
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    ~TTempFolder();

    const std::string& Path() const { return FPath; }
    bool Made() const { return !FPath.empty(); }
    // Removes the folder and what it holds now (links in it are removed, never followed).
    void Remove();

private:
    std::string FPath;
    TTemporaryRegistration FRegistration;
};

class TTempFile {
public:
    // Makes the empty file "krvXXXXXX" (mode 0600) in Dir, or in the system's temporary folder
    // when Dir is empty or cannot be made; Path() is empty when it could not be made.
    explicit TTempFile(const std::string& Dir);
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    ~TTempFile();

    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
    TTemporaryRegistration FRegistration;
    TUniqueFd FLock; // held until the file is removed
};
