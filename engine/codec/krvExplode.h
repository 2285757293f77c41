// Explode: zip method 6, Shannon-Fano coded literals, lengths and distances over a 4 KiB or
// 8 KiB sliding window, with two trees (raw literals) or three (a literal tree).
#pragma once

#include "engine/codec/krvDecoderIO.h"

#include <memory>

class TExplode {
public:
    // LargeWindow: 8 KiB window (zip flag bit 1), else 4 KiB. ThreeTrees: literal tree present
    // and minimum match length 3 (zip flag bit 2), else two trees and minimum length 2.
    TExplode(const TDecoderIO& IO, bool LargeWindow, bool ThreeTrees);
    ~TExplode();
    TExplode(const TExplode&) = delete;
    TExplode& operator=(const TExplode&) = delete;

    // Decodes the entry up to its unpacked size. A tree that is over-subscribed, incomplete
    // or does not describe exactly its 64 (256) symbols raises E_RAISE 25293 "Ambiguous
    // Shannon-Fano decode tree encountered"; the output is flushed before. A copy past the
    // unpacked size or input that ends early is answered with ErrorCode 25153
    // "Decompression error". Window bytes not yet written read as zeros.
    TDecodeResult Run();

private:
    struct TState;
    std::unique_ptr<TState> F;
};

// One run of TExplode.
TDecodeResult ZipExplode(const TDecoderIO& IO, bool LargeWindow, bool ThreeTrees);
