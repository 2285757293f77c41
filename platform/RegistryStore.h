// Where the registry's roots are kept and how they are changed: one text file per root
// (RegistryText.h) in $XDG_CONFIG_HOME/quillar (~/.config/quillar when it is not set).
// A change takes an exclusive lock on the root's lock file, reads the file as it is now,
// applies the change and puts the new text in place with rename(2), so changes made at the
// same time by several objects, threads or processes are all kept and a reader never sees
// half a file. Readers take no lock.
#pragma once

#include "platform/RegistryTree.h"

#include <functional>
#include <memory>
#include <string>

enum class TRegRoot { CurrentUser, LocalMachine, ClassesRoot };

// "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT".
const char* RegRootName(TRegRoot Root);

// The folder of the root files, and the file of one root.
std::string RegistryFolder();
std::string RegistryFileName(TRegRoot Root);

// The root as it is stored now; an empty tree when there is no file yet or it cannot be read.
// The tree is shared with later loads of the same text and never changes.
std::shared_ptr<const TRegKeyNode> LoadRegistryRoot(TRegRoot Root);

// Runs Change on the root as it is stored now and saves the result when Change returns true.
// False when the root could not be locked, read or saved (nothing changed then), or when
// Change returned false. Text that was damaged is kept beside the file as "<file>.damaged"
// before the first save drops the lines that could not be read.
bool UpdateRegistryRoot(TRegRoot Root, const std::function<bool(TRegKeyNode&)>& Change);

// True when this process may change the root: its file and its lock file are regular files it
// may write, or can be made (a file or folder in their way, or an unwritable folder, says no).
bool RegistryRootWritable(TRegRoot Root);
