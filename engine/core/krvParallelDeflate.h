// One long input deflated on several threads into one standard raw deflate stream: the input is
// read in blocks of BlockSize in order, each block deflated on its own as a piece that joins the
// next (TWholeDeflater::DeflatePiece), and the pieces written in order. Block size and pieces do
// not depend on the thread count, so the output is byte-identical for any number of threads.
// The workers live for the run; twice as many blocks as threads are in hand at a time (their
// buffers reused), so no worker waits while the writer waits for an older, slower block.
#pragma once

#include "engine/core/krvCodecStreams.h"

#include <cstdint>
#include <functional>

inline constexpr std::int64_t ParallelDeflateBlock = std::int64_t{1} << 20;

struct TParallelDeflateResult {
    bool Ok = false;       // the whole input went out as one stream
    std::int64_t In = 0;   // plain bytes read
    std::uint32_t Crc = 0; // CRC-32 of the plain bytes
};

// Deflates Input from its position to its end into Output, enciphering the packed bytes with
// Cipher when one is given. After each block is written, Step(plain bytes of the block) runs on
// the calling thread; when it returns false the run stops there (not Ok). A failure to deflate
// gives not Ok; errors of the streams are thrown as they are.
TParallelDeflateResult ParallelDeflate(TStream32& Input, TStream32& Output, TDeflateType Level,
                                       unsigned Threads, TZipCipher* Cipher,
                                       const std::function<bool(std::int64_t)>& Step);
