// Unshrink: zip method 1, dynamic LZW with 9- to 13-bit codes and partial clearing.
#pragma once

#include "engine/codec/krvDecoderIO.h"

#include <memory>

class TUnshrink {
public:
    explicit TUnshrink(const TDecoderIO& IO);
    ~TUnshrink();
    TUnshrink(const TUnshrink&) = delete;
    TUnshrink& operator=(const TUnshrink&) = delete;

    // Decodes the entry up to its unpacked size. Raises E_RAISE 25111 "Bad block" (stream
    // empty at the start, a bad control code, a code size above 13) and 25298 "Stack
    // overflow" (a code whose string never ends); the output is flushed before either.
    // Input that ends early, a string running past the unpacked size or one that leads into
    // a freed code is answered with ErrorCode 25153 "Decompression error".
    TDecodeResult Run();

private:
    struct TState;
    std::unique_ptr<TState> F;
};

// One run of TUnshrink.
TDecodeResult ZipUnshrink(const TDecoderIO& IO);
