// The machine-wide bookkeeping of file associations under the local-machine key
// "\Software\Quillar\FileAssociations": one flag per archive type (true while this program
// holds the extension) and, per extension, what the extension was bound to before
// (Exist, Type, Content, ShellNew), so that every association can be undone. The file type of
// an extension is its desktop handler (platform/FileTypeBinding.h). Also the registration of
// the shell-extension classes of the sibling libraries, which live outside this program.
#pragma once

#include <string>

struct TAppSettings;

// The 18 extensions the program associates, lower case without the dot, in their order.
inline constexpr const char* AssociationExts[] = {"ace", "arc", "arj", "bh",  "cab", "gz",
                                                  "jar", "lha", "lzh", "rar", "tar", "tgz",
                                                  "uu",  "uue", "xxe", "z",   "zip", "zoo"};

// The record's flag of an extension of AssociationExts.
bool TAppSettings::*AssociationFlagOf(const std::string& Ext);

// Ext: lower case without the dot ("zip"). Saves the extension's current binding (unless it
// is this program's already), sets its flag and installs the info-tip handler.
void AssociateExtension(const std::string& Ext);
// Clears the flag and gives the extension back what it was bound to before. Another
// program's binding made meanwhile is left alone, and so is a type that a still-flagged
// extension shares.
void UnassociateExtension(const std::string& Ext);
// False exactly when the flag is set and nothing was saved before it.
bool IsExtensionAssociated(const std::string& Ext);
// Every flag, CheckAssociations and EnableAssociations false; every saved binding forgotten.
void ResetAssociationFlags();
bool AssociationsKeyExists();
// Copies an older per-user bookkeeping key into the machine key.
void SnapshotAssociations();

// Both do nothing unless the user is an administrator. Registration switches the system's own
// compressed-folder handlers off and keeps what they held; removal gives them back.
void RegisterShellExtensions();
void UnregisterShellExtensions();
