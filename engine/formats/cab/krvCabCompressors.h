// The block compressors the cabinet writer hands to the cabinet library, one per folder:
// stored, MSZIP (zlib through the codec streams), LZX and Quantum (our encoders).
#pragma once

#include "engine/core/krvCodecStreams.h"
#include "platform/CabinetFci.h"

#include <memory>

// nullptr for a compression word of a method we have no encoder for. MSZIP and LZX run on
// Threads threads; the output is the same for any count.
std::unique_ptr<TFciCompressor> MakeCabCompressor(TCOMP Compression, TDeflateType Level,
                                                  unsigned Threads = 1);
