#include "engine/codec/krvLzhWindow.h"

#include "engine/core/krvErrorCodes.h"

#include <algorithm>
#include <cstring>

TLzhWindow::TLzhWindow(const TDecoderIO& IO, std::uint8_t Fill)
    : FOutput(IO.Output), FCancelFlag(IO.CancelFlag), FLimit(std::max<std::int64_t>(IO.UnpackedSize, 0)),
      FWindow(Size, Fill) {}

void TLzhWindow::CopyAcross(std::uint32_t Distance, std::uint32_t Length) {
    if (Distance == 0 || Distance > Size) throw TDecodeStop{ecDecompressionError, false};
    std::uint32_t length = static_cast<std::uint32_t>(std::min<std::int64_t>(Length, Room()));
    std::uint32_t from = (FPos - Distance) & (Size - 1);
    while (length > 0) {
        const std::uint32_t blockEnd = (FPos | (Block - 1)) + 1;
        const std::uint32_t n = std::min({length, blockEnd - FPos, Size - from});
        std::uint8_t* to = FWindow.data() + FPos;
        const std::uint8_t* src = FWindow.data() + from;
        if (Distance >= n) {
            std::memmove(to, src, n);
        } else {
            // The copy overlaps what it produces: byte by byte, forwards.
            for (std::uint32_t i = 0; i < n; ++i)
                to[i] = src[i];
        }
        FPos += n;
        from = (from + n) & (Size - 1);
        FProduced += n;
        length -= n;
        if ((FPos & (Block - 1)) == 0) FlushBlock();
    }
}

void TLzhWindow::Flush() {
    const std::uint32_t start = FFlushStart;
    const std::uint32_t count = FPos - start;
    // A sink that raises must not see the same bytes again.
    FFlushStart = FPos;
    if (FPos == Size) {
        FPos = 0;
        FFlushStart = 0;
    }
    if (count > 0) FOutput(FWindow.data() + start, count);
}

void TLzhWindow::FlushBlock() {
    Flush();
    if (FCancelFlag && *FCancelFlag) throw TDecodeStop{0, true};
}

TDecodeResult TLzhWindow::Run(const std::function<void()>& Body) {
    TDecodeResult result = RunDecoderBody(Body, [this] { Flush(); });
    result.Produced = FProduced;
    return result;
}
