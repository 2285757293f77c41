// Path, folder and file-name routines that the dialogs and the main window share. Paths use
// '/' as their separator.
#pragma once

#include <string>
#include <vector>

// Path with one trailing separator added when it has none; an empty Path stays empty.
std::string AddBackslash(const std::string& Path);
// Text without its first character when that is a separator ('\' or '/').
std::string StripLeadingBackslash(const std::string& Text);

// A new, private (0700) folder "zf_XXXXXX" in $TMPDIR or /tmp, made at once so that no one else
// can take its name; its full path, or '' when it could not be made.
std::string GetTempDirName();

// Deletes Path (a file, or a folder with everything in it), or, when its last part has
// wildcards, every entry of its folder that matches. Links are deleted, never followed. True
// when something was deleted and nothing failed. A Path (or, with wildcards, a folder) that is
// empty, relative, the root or the home folder is refused.
bool ShellDeleteFiles(const std::string& Path);

// Deletes everything in Folder, hidden entries included, and then Folder itself; an entry that
// cannot be deleted stays (and so does its folder). Links are deleted, never followed (a Folder
// that is a link too). When the current folder is Folder, its parent becomes the current folder
// first. An empty or relative Folder, the root and the home folder are refused (false); true
// when Folder is gone.
bool DeleteFolderTree(const std::string& Folder);

// Appends the full path of every file under Folder whose name matches Mask (wildcards '*' and
// '?', "*.*" = every name) to List, depth first, names in byte order; sub-folders are entered
// only when their own names match Mask. Links to files count as files; links to folders are not
// entered. Returns the number appended. A folder on the way that is there but cannot be read is
// appended to Unreadable when given.
int FindFilesRecursive(const std::string& Folder, const std::string& Mask, std::vector<std::string>& List,
                       std::vector<std::string>* Unreadable = nullptr);
int ListFolderFiles(const std::string& Folder, std::vector<std::string>& List,
                    std::vector<std::string>* Unreadable = nullptr);

// Every file under Folder as a blank and a quoted path each (as QuoteArgument quotes them):
// the file part of a command line. '' when there is none.
std::string GetQuotedFileList(const std::string& Folder);

// The folder an archive is extracted into when each archive gets its own: the extension's dot
// becomes "_" (/a/data.zip -> /a/data_zip); a name without extension gets "_" appended.
std::string MakeNameExtFolder(const std::string& ArchiveName);

// False for an empty Name, "." and "..", and a Name with a forbidden character: always '/',
// NUL, '"', '<', '>', '\' and '|'; without LongNames also "'", '+', ';', '=', '[' and ']'.
bool IsValidFileName(const std::string& Name, bool LongNames);
