// The writer for an output archive type, with the compression method it is set to.
#pragma once

#include "engine/core/krvCompBase.h"

#include <memory>
#include <optional>
#include <string>

// Output archive types of the converter and the add operations.
// tyGZip: a plain gzip file of one file, made only by the window's add dialog.
enum TOutArcType : std::uint8_t { tyBh, tyCab, tyLzh, tyZip, tyTar, tyTarGzip, tyJar, tyGZip };

// A new writer for Type, its method set; nullptr when the engine has no writer for it yet.
std::unique_ptr<TCompBase> CreateWriter(TOutArcType Type);

// A name ending in ".tar.gz" or ".tgz", without regard to case.
bool NamesTarGzip(const std::string& FileName);
// The writer's type for an existing archive of Type named FileName; none when the type cannot
// be added to. A gzip file holding a tar (.tar.gz, .tgz) stays a tar.gz; a plain gzip file or
// a compress (.z) file cannot take more files.
std::optional<TOutArcType> WriterTypeForArchive(TArcType Type, const std::string& FileName);
