// Which writer an add takes: by the detected type of an existing archive, or by the extension
// of a new one.
#pragma once

#include "engine/core/krvGbls.h"
#include "engine/write/krvWriters.h"

#include <optional>
#include <string>

// The writer's type for an existing archive of Type named FileName; none when the type cannot
// be added to. A gzip file holding a tar (.tar.gz, .tgz) stays a tar.gz; a plain gzip file or
// a compress (.z) file cannot take more files.
std::optional<TOutArcType> WriterTypeForArchive(TArcType Type, const std::string& FileName);
// The writer's type for a new archive by its extension, compared as a whole and without
// regard to case; an unknown or empty extension gives zip.
TOutArcType WriterTypeForNewArchive(const std::string& FileName);
// The name a new archive is written under: ".zip" added to a name without extension, and a
// ".gz" name becomes ".tar.gz", since a tar.gz is what the writer makes of it.
std::string NewArchiveName(const std::string& FileName);
