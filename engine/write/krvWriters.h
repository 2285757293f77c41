// The writer for an output archive type, with the compression method it is set to.
#pragma once

#include "engine/core/krvCompBase.h"

#include <memory>

// Output archive types of the converter and the add operations.
// tyGZip: a plain gzip file of one file, made only by the window's add dialog.
enum TOutArcType : std::uint8_t { tyBh, tyCab, tyLzh, tyZip, tyTar, tyTarGzip, tyJar, tyGZip };

// A new writer for Type, its method set; nullptr when the engine has no writer for it yet.
std::unique_ptr<TCompBase> CreateWriter(TOutArcType Type);
