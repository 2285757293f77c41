// Which writer an add takes: by the detected type of an existing archive, or by the extension
// of a new one.
#pragma once

#include "engine/core/krvGbls.h"
#include "engine/write/krvWriters.h"

#include <optional>
#include <string>

// WriterTypeForArchive (the writer's type for an existing archive) is the writer table's.
// The same for the window's add dialog, where a plain gzip file takes the gzip writer: the file
// added is written as a gzip file of its own beside it.
std::optional<TOutArcType> WriterTypeForAddDialog(TArcType Type, const std::string& FileName);
// The writer's type for a new archive by its extension, compared as a whole and without
// regard to case; an unknown or empty extension gives zip.
TOutArcType WriterTypeForNewArchive(const std::string& FileName);
// The writer's type of the archive types the new-archive dialogs list, by their 1-based index
// in NewArchiveFilter: 1 bh, 2 cab, 3 jar, 4 lha, 5 lzh, 6 tar, 8 tar.gz, 7 and any other zip.
// Every type the writers make as a new archive is listed (a plain gzip name becomes tar.gz).
TOutArcType WriterTypeForFilterIndex(int FilterIndex);
inline constexpr const char* NewArchiveFilter =
    "BlakHole Archive (*.bh)|*.bh|Microsoft Cabinet (*.cab)|*.cab|Javasoft Archive (*.jar)|*.jar|LHA Archive "
    "(*.lha)|*.lha|LZH Archive (*.lzh)|*.lzh|Unix Tape Archive (*.tar)|*.tar|Zip Archive (*.zip)|*.zip|"
    "Gzipped Tape Archive (*.tgz)|*.tgz";

// A ".gz" name that is no ".tar.gz": the add dialog makes a plain gzip file of one file under
// it, where the other ways of adding make a tar.gz.
bool NamesPlainGzip(const std::string& FileName);
// The name a new archive is written under: ".zip" added to a name without extension, and a
// ".gz" name becomes ".tar.gz", since a tar.gz is what the writer makes of it.
std::string NewArchiveName(const std::string& FileName);
