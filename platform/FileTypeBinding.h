// The desktop's side of file associations. An archive extension is bound to a program through
// its MIME type: shared-mime-info's type where it has one, else a type of our own that the
// program installs in the user's MIME database (~/.local/share/mime). The program that opens a
// MIME type is its default handler in the user's mimeapps.list, a desktop entry id; this
// program's entry is quillar.desktop in the user's applications folder.
//
// The file type of an extension, as the association bookkeeping keeps it, is that handler:
// "Quillar" while quillar.desktop opens it, the handler's own value for any other program, ''
// when the user's list names none.
#pragma once

#include <string>
#include <vector>

inline constexpr const char* ProgramDesktopId = "quillar.desktop";
inline constexpr const char* ProgramFileType = "Quillar";

// The MIME type of files named *.Ext (Ext in lower case without the dot); '' for an extension
// this program does not know and has not installed a type of its own for.
std::string MimeTypeOfExtension(const std::string& Ext);
// The MIME types of every extension this program knows, once each, in a fixed order.
std::vector<std::string> ProgramMimeTypes();
// The type of our own for an extension no type knows: "application/x-quillar-" + Ext; '' when
// Ext holds anything but lower-case letters, digits and "+-_.".
std::string OwnMimeTypeOf(const std::string& Ext);

// Writes our package of MIME types (the types and globs shared-mime-info lacks, and a type of our
// own for each of Extensions that has none, beside those given before) into
// $XDG_DATA_HOME/mime/packages and updates the user's MIME database. False on failure.
bool InstallOwnMimeTypes(const std::vector<std::string>& Extensions = {});

std::string MimeAppsListPath();
// The value of MimeType's key in the [Default Applications] group of a mimeapps.list text;
// '' when there is none.
std::string DefaultHandlerIn(const std::string& Text, const std::string& MimeType);
// The text with MimeType's key set to Handler: in place when the key is there, else as the
// group's last key (the group added at the end when missing). An empty Handler removes the
// key's line, and the group's header when no key is left in it. Every other line stays as it
// was, byte for byte.
std::string WithDefaultHandler(const std::string& Text, const std::string& MimeType,
                               const std::string& Handler);
// The same on the user's mimeapps.list; the file is replaced whole, and removed when nothing
// is left in it. False when it cannot be read or written.
std::string DefaultHandler(const std::string& MimeType);
bool SetDefaultHandler(const std::string& MimeType, const std::string& Handler);

// The file type of an extension (see above), and setting it: "Quillar" makes quillar.desktop
// the handler, '' removes the handler's line, any other text is written back as it was read.
std::string ExtensionFileType(const std::string& Ext);
bool SetExtensionFileType(const std::string& Ext, const std::string& Type);

// quillar.desktop: the entry that opens the program's MIME types with Exec (a program and its
// arguments, already in the Exec key's form) and Icon.
std::string ProgramDesktopFile();
bool WriteProgramDesktopEntry(const std::string& Name, const std::string& Comment, const std::string& Exec,
                              const std::string& Icon);
// Removes quillar.desktop: its MimeType list alone still makes the desktop offer the program
// for those types when no handler is set. True when it is gone.
bool RemoveProgramDesktopEntry();
// The Exec value of quillar.desktop; '' when there is none.
std::string ProgramDesktopExec();
