#include "engine/core/krvReadAhead.h"

#include <algorithm>
#include <cstring>

TReadAheadStream::TReadAheadStream(TStream32& Source, std::int64_t BlockSize)
    : FSource(Source), FBlock(static_cast<std::size_t>(std::max<std::int64_t>(BlockSize, 512))) {
    FPosition = std::max<std::int64_t>(Source.Position(), 0);
}

std::int64_t TReadAheadStream::Read(void* Buffer, std::int64_t Count) {
    auto* out = static_cast<std::uint8_t*>(Buffer);
    std::int64_t done = 0;
    while (done < Count) {
        if (FPosition < FBlockPos || FPosition >= FBlockPos + FBlockLen) {
            // A request larger than a block goes to the source directly.
            if (Count - done >= std::ssize(FBlock)) {
                if (FSource.Seek(FPosition, soBeginning) != FPosition) break;
                const std::int64_t n = FSource.Read(out + done, Count - done);
                if (n <= 0) break;
                FPosition += n;
                done += n;
                continue;
            }
            FBlockPos = FPosition;
            FBlockLen = 0;
            if (FSource.Seek(FPosition, soBeginning) != FPosition) break;
            FBlockLen = std::max<std::int64_t>(FSource.Read(FBlock.data(), std::ssize(FBlock)), 0);
            if (FBlockLen == 0) break;
        }
        const std::int64_t at = FPosition - FBlockPos;
        const std::int64_t n = std::min(Count - done, FBlockLen - at);
        std::memcpy(out + done, FBlock.data() + at, static_cast<std::size_t>(n));
        done += n;
        FPosition += n;
    }
    return done;
}

std::int64_t TReadAheadStream::Write(const void* /*Buffer*/, std::int64_t /*Count*/) {
    return -1;
}

std::int64_t TReadAheadStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    std::int64_t target = Offset;
    if (Origin == soCurrent) target = FPosition + Offset;
    if (Origin == soEnd) target = FSource.GetSize() + Offset;
    if (target < 0) return -1;
    FPosition = target;
    return FPosition;
}
