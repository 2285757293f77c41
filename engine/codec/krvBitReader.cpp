#include "engine/codec/krvBitReader.h"
#include "engine/codec/krvMsbBitReader.h"

#include "engine/core/krvErrorCodes.h"

#include <algorithm>

TBitReader::TBitReader(const TDecoderIO& IO)
    : FInput(IO.Input), FCancelFlag(IO.CancelFlag), FRemaining(std::max<std::int64_t>(IO.PackedSize, 0)),
      FBuffer(static_cast<std::size_t>(DecoderBufferSize)) {}

bool TBitReader::Fill() {
    if (FCancelFlag && *FCancelFlag) throw TDecodeStop{0, true};
    FIndex = 0;
    FCount = 0;
    if (FRemaining <= 0) return false;
    const std::int64_t want = std::min(FRemaining, DecoderBufferSize);
    const std::int64_t got = FInput(FBuffer.data(), want);
    if (got <= 0) {
        FRemaining = 0;
        return false;
    }
    FCount = std::min(got, want);
    FRemaining -= FCount;
    return true;
}

void TBitReader::InputEnded() {
    throw TDecodeStop{ecDecompressionError, false};
}

void TMsbBitReader::Truncated() {
    throw TDecodeStop{ecUnexpectedEndOfFile, false};
}
