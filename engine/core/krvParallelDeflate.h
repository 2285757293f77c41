// One long input deflated on several threads into one standard raw deflate stream: the input is
// cut in blocks of ParallelDeflateBlock in order, each block deflated on its own as a piece that
// joins the next (TWholeDeflater::DeflatePiece), and the pieces written in order. Block size and
// pieces do not depend on the thread count, so the output is byte-identical for any number of
// threads. The workers live for the run; twice as many blocks as threads are in hand at a time
// (their buffers reused), so no worker waits while the writer waits for an older, slower block.
#pragma once

#include "engine/core/krvCodecStreams.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

inline constexpr std::int64_t ParallelDeflateBlock = std::int64_t{1} << 20;

struct TParallelDeflateResult {
    bool Ok = false;       // the whole input went out as one stream
    std::int64_t In = 0;   // plain bytes written out
    std::uint32_t Crc = 0; // CRC-32 of the plain bytes
};

// After each block is written, Step(plain bytes of the block) runs on the calling thread; when
// it returns false the run stops there (not Ok).
using TParallelDeflateStep = std::function<bool(std::int64_t)>;

// The input is pushed in: the caller fills Room() and says how much with Fill (or Writes), and
// Finish ends the stream. The packed bytes go to Output on the calling thread, enciphered with
// Cipher when one is given. Errors of Output are thrown as they are; a block that fails to
// deflate stops the run (not Ok).
class TParallelDeflater {
public:
    TParallelDeflater(TStream32& Output, TDeflateType Level, unsigned Threads, TZipCipher* Cipher,
                      TParallelDeflateStep Step);
    ~TParallelDeflater();
    TParallelDeflater(const TParallelDeflater&) = delete;
    TParallelDeflater& operator=(const TParallelDeflater&) = delete;

    // The free part of the block being filled (never empty before Finish).
    std::span<std::uint8_t> Room();
    // Count bytes were put at the start of Room(); a full block goes to the workers. False once
    // the run stopped.
    bool Fill(std::int64_t Count);
    // Copies Count bytes in through Room and Fill.
    bool Write(const void* Data, std::int64_t Count);
    // Ends the input: every block is deflated and written, the last one final.
    TParallelDeflateResult Finish();
    // Plain bytes taken so far.
    std::int64_t Position() const;

    // Rewind may come back to the present position, until the next KeepHere: the bytes of its
    // block before it are kept, and where its block was written. Rewind(To) takes the input back
    // to To, which is the last kept position or lies in the block being filled: what was
    // written from that block on is cut off Output (which must then allow SetSize and Seek).
    // False when To is neither.
    void KeepHere();
    bool Rewind(std::int64_t To);

private:
    class TRing;
    std::unique_ptr<TRing> FRing;
};

// Deflates Input from its position to its end into Output, enciphering the packed bytes with
// Cipher when one is given, calling Step after each block written. A failure to deflate gives
// not Ok; errors of the streams are thrown as they are.
TParallelDeflateResult ParallelDeflate(TStream32& Input, TStream32& Output, TDeflateType Level,
                                       unsigned Threads, TZipCipher* Cipher,
                                       const TParallelDeflateStep& Step);
