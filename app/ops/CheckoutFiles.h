// The files of a check-out folder: what the check-out wrote, told apart from what was there
// before or was put there (or changed) afterwards, so that removing the folder deletes only
// files the check-out wrote and files its question named.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>

// A file as it was when looked at: a file replaced or changed since differs.
struct TFileStamp {
    std::int64_t Size = 0;
    std::int64_t ModifiedNs = 0;
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    bool operator==(const TFileStamp&) const = default;
};

// Every entry below a folder that is not a folder itself (links are not followed), by its path
// relative to the folder.
using TFolderFiles = std::map<QString, TFileStamp>;

TFolderFiles FolderFiles(const QString& Folder);
// The files of After that are new or changed against Before.
TFolderFiles WrittenBetween(const TFolderFiles& Before, const TFolderFiles& After);
// The files below Folder that are not in Written as they were written, sorted.
QStringList FilesNotWritten(const QString& Folder, const TFolderFiles& Written);
// The files of Files that a question names: the first NamedFilesLimit of them.
inline constexpr int NamedFilesLimit = 20;
QStringList NamedFiles(const QStringList& Files);
// The lines that a delete question adds for Files that it deletes too (empty for none): the
// named ones, and how many more are kept.
QString NamedFilesText(const QStringList& Files);
// Deletes from Folder the files of Written still as written and the files Named (relative
// paths), then every folder left empty, Folder too. Nothing else is touched.
void RemoveFolderFiles(const QString& Folder, const TFolderFiles& Written, const QStringList& Named);
