// Temporary files and folders that an interrupted run must not leave behind. While one exists
// its owner keeps it registered (a TTemporaryRegistration); InstallTemporaryCleanupOnSignals,
// called once by the host program, makes SIGINT and SIGTERM remove every registered file and
// folder (a folder with everything in it) and then end the process as the signal's default
// action would.
//
// The registry is a fixed table of 64 entries: the signal handler only reads it and calls
// unlinkat, openat and getdents64, with no allocation and no lock. Each registration holds its
// own descriptor of the entry's parent folder, so the name is removed from the right folder
// whatever the owner does with its descriptors. An entry that finds the table full (or a name
// too long for it) is simply not registered: its owner still removes it on every path it
// controls.
#pragma once

#include <csignal>
#include <memory>
#include <string>

class TTemporaryRegistration {
public:
    TTemporaryRegistration() = default;
    // Registers the entry Leaf of the open folder DirFd: a file, or with Folder a folder that
    // is removed with everything in it.
    TTemporaryRegistration(int DirFd, const std::string& Leaf, bool Folder = false);
    // Registers the file Leaf of the open folder DirFd without a descriptor of its own: DirKeeper
    // keeps DirFd open for as long as the registration lasts (a folder many files go into).
    TTemporaryRegistration(int DirFd, const std::string& Leaf, std::shared_ptr<const void> DirKeeper);
    TTemporaryRegistration(TTemporaryRegistration&& Other) noexcept;
    TTemporaryRegistration& operator=(TTemporaryRegistration&& Other) noexcept;
    TTemporaryRegistration(const TTemporaryRegistration&) = delete;
    TTemporaryRegistration& operator=(const TTemporaryRegistration&) = delete;
    ~TTemporaryRegistration();

    // Ends the registration now (once the file is removed or renamed).
    void Release();

private:
    int FSlot = -1;
    std::shared_ptr<const void> FDirKeeper; // keeps a borrowed folder descriptor open
};

// Holds SIGINT and SIGTERM back in the calling thread while it lives, and makes a handler that
// runs in another thread meanwhile wait for its end. A temporary is created and registered
// under it, so that a signal cannot end the process in between and leave it behind; a signal
// that came meanwhile takes effect when the hold ends. No call is made unless a signal came.
class TCleanupSignalsHeld {
public:
    TCleanupSignalsHeld();
    ~TCleanupSignalsHeld();
    TCleanupSignalsHeld(const TCleanupSignalsHeld&) = delete;
    TCleanupSignalsHeld& operator=(const TCleanupSignalsHeld&) = delete;
};

// Installs handlers of SIGINT and SIGTERM that remove the registered files and then re-raise the
// signal with its default action restored. A signal the process ignores stays ignored.
void InstallTemporaryCleanupOnSignals();
