// Unreduce: zip methods 2 to 5, follower sets and a run-length/back-reference stage over a
// 4 KiB window, with compression factor 1 to 4 (method - 1).
#pragma once

#include "engine/codec/krvDecoderIO.h"

#include <memory>

class TUnreduce {
public:
    // Factor outside 1..4 raises E_RAISE 25326 "Unsupported compression method".
    TUnreduce(const TDecoderIO& IO, int Factor);
    ~TUnreduce();
    TUnreduce(const TUnreduce&) = delete;
    TUnreduce& operator=(const TUnreduce&) = delete;

    // Decodes the entry up to its unpacked size. Damaged data (a follower set longer than 32,
    // an index beyond its set, a copy past the unpacked size, input that ends early) is
    // answered with ErrorCode 25153 "Decompression error". Window bytes not yet written read
    // as zeros.
    TDecodeResult Run();

private:
    struct TState;
    std::unique_ptr<TState> F;
};

// One run of TUnreduce.
TDecodeResult ZipUnreduce(const TDecoderIO& IO, int Factor);
