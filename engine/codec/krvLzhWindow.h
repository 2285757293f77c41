// The output side of the LHA family of decoders: a 64 KiB sliding window that is also the
// output buffer, pushed to the caller in blocks of 32 KiB. Every distance of the LHA and arj
// methods (at most 16 dictionary bits) stays inside it, and no byte or copy goes past the
// entry's unpacked size.
#pragma once

#include "engine/codec/krvDecoderIO.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

class TLzhWindow {
public:
    static constexpr std::uint32_t Size = 65536;
    static constexpr std::uint32_t Block = 32768;

    // Window bytes not yet written read as Fill (LHA's decoders start from blanks).
    TLzhWindow(const TDecoderIO& IO, std::uint8_t Fill);

    // Appends one byte; the caller checks Done() first.
    void Put(std::uint8_t Byte) {
        FWindow[FPos++] = Byte;
        ++FProduced;
        if ((FPos & (Block - 1)) == 0) FlushBlock();
    }

    // Copies Length bytes from Distance (1..Size) back; a copy that would pass the unpacked
    // size is cut at it. A distance of 0 or beyond the window is damage (TDecodeStop 25153).
    void Copy(std::uint32_t Distance, std::uint32_t Length) {
        // Most matches lie behind the write position and end before the block does.
        if (Distance - 1 < FPos && FPos + Length < ((FPos | (Block - 1)) + 1) && Length <= Room()) {
            std::uint8_t* to = FWindow.data() + FPos;
            const std::uint8_t* from = to - Distance;
            // Eight bytes at a time from a source at least eight bytes back: a short distance
            // repeats its pattern, so a whole number of patterns back serves as well.
            const std::uint32_t step = Distance >= 8 ? Distance : Distance * ((8 + Distance - 1) / Distance);
            std::uint32_t i = 0;
            for (; i < Length && i < step - Distance; ++i)
                to[i] = from[i];
            for (; i + 8 <= Length; i += 8)
                std::memcpy(to + i, to + i - step, 8);
            for (; i < Length; ++i)
                to[i] = from[i];
            FPos += Length;
            FProduced += Length;
            return;
        }
        CopyAcross(Distance, Length);
    }

    std::int64_t Room() const { return FLimit - FProduced; }
    bool Done() const { return FProduced >= FLimit; }
    std::int64_t Produced() const { return FProduced; }

    // Runs Body, the decoder proper, and ends with a flush of what is left. A TDecodeStop
    // becomes the result's ErrorCode or Cancelled; an E_RAISE passes on after the flush.
    TDecodeResult Run(const std::function<void()>& Body);

private:
    // Copy for matches that wrap around the window, reach a block's end or the unpacked size.
    void CopyAcross(std::uint32_t Distance, std::uint32_t Length);
    void Flush();
    // Flush at a block boundary, then stop the run when the cancel flag is set.
    void FlushBlock();

    TDecodedOutput FOutput;
    const bool* FCancelFlag;
    std::int64_t FLimit;
    std::int64_t FProduced = 0;
    std::vector<std::uint8_t> FWindow;
    std::uint32_t FPos = 0;        // next write position; Size means 0 after the flush
    std::uint32_t FFlushStart = 0; // first byte not yet pushed
};
