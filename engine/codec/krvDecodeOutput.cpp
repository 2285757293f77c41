#include "engine/codec/krvDecodeOutput.h"

#include "engine/core/krvErrorCodes.h"

#include <algorithm>

TDecodeOutput::TDecodeOutput(const TDecoderIO& IO, std::uint32_t WindowSize)
    : FOutput(IO.Output), FCancelFlag(IO.CancelFlag), FLimit(std::max<std::int64_t>(IO.UnpackedSize, 0)),
      FBuffer(static_cast<std::size_t>(DecoderBufferSize)), FWindow(WindowSize, 0), FMask(WindowSize - 1) {}

void TDecodeOutput::Copy(std::uint32_t Distance, std::uint32_t Length) {
    if (Distance == 0 || Distance > FWindow.size()) throw TDecodeStop{ecDecompressionError, false};
    if (static_cast<std::int64_t>(Length) > Room()) PastEnd();
    std::uint32_t from = (FPos - Distance) & FMask;
    for (std::uint32_t i = 0; i < Length; ++i) {
        PutUnchecked(FWindow[from]);
        from = (from + 1) & FMask;
    }
}

void TDecodeOutput::Flush() {
    const std::size_t count = FFill;
    FFill = 0; // a sink that raises must not see the same bytes again
    if (count > 0) FOutput(FBuffer.data(), static_cast<std::int64_t>(count));
}

void TDecodeOutput::FlushBlock() {
    Flush();
    if (FCancelFlag && *FCancelFlag) throw TDecodeStop{0, true};
}

void TDecodeOutput::PastEnd() {
    throw TDecodeStop{ecDecompressionError, false};
}

TDecodeResult RunDecoderBody(const std::function<void()>& Body, const std::function<void()>& Flush) {
    TDecodeResult result;
    try {
        Body();
    } catch (const TDecodeStop& stop) {
        result.ErrorCode = stop.Code;
        result.Cancelled = stop.Cancelled;
    } catch (const E_RAISE&) {
        Flush();
        throw;
    }
    Flush();
    return result;
}

TDecodeResult TDecodeOutput::Run(const std::function<void()>& Body) {
    TDecodeResult result = RunDecoderBody(Body, [this] { Flush(); });
    result.Produced = FProduced;
    return result;
}
