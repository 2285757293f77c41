// The output side of the legacy zip decoders: a block buffer pushed to the caller's output,
// a sliding window of the last bytes for back-references, and the bound of the entry's
// unpacked size, which no byte and no copy may pass.
#pragma once

#include "engine/codec/krvDecoderIO.h"

#include <cstdint>
#include <functional>
#include <vector>

class TDecodeOutput {
public:
    // WindowSize: a power of two up to 8192.
    TDecodeOutput(const TDecoderIO& IO, std::uint32_t WindowSize);

    // Appends one byte; a byte past the unpacked size is damage (TDecodeStop).
    void Put(std::uint8_t Byte) {
        if (FProduced >= FLimit) PastEnd();
        PutUnchecked(Byte);
    }

    // Copies Length bytes that lie Distance (1..window size) back in the window, one at a
    // time so that a copy may overlap what it produces. Window bytes never written read as
    // zeros. A copy past the unpacked size is damage (TDecodeStop).
    void Copy(std::uint32_t Distance, std::uint32_t Length);

    // Bytes that still fit before the unpacked size is reached.
    std::int64_t Room() const { return FLimit - FProduced; }
    bool Done() const { return FProduced >= FLimit; }
    std::int64_t Produced() const { return FProduced; }

    // Pushes the buffered bytes to the output (nothing when empty).
    void Flush();

    // Runs Body, the decoder proper, and ends with a flush. A TDecodeStop becomes the result's
    // ErrorCode or Cancelled; an E_RAISE passes on after what was decoded has been flushed.
    TDecodeResult Run(const std::function<void()>& Body);

private:
    void PutUnchecked(std::uint8_t Byte) {
        FBuffer[FFill++] = Byte;
        FWindow[FPos] = Byte;
        FPos = (FPos + 1) & FMask;
        ++FProduced;
        if (FFill == FBuffer.size()) FlushBlock();
    }
    // Flush, then stop the run when the cancel flag is set.
    void FlushBlock();
    [[noreturn]] static void PastEnd();

    TDecodedOutput FOutput;
    const bool* FCancelFlag;
    std::int64_t FLimit;
    std::int64_t FProduced = 0;
    std::vector<std::uint8_t> FBuffer;
    std::size_t FFill = 0;
    std::vector<std::uint8_t> FWindow;
    std::uint32_t FMask;
    std::uint32_t FPos = 0;
};
