// The LHA static-Huffman encoder (-lh5-, -lh6- and bh's method 3): LZSS over a sliding
// dictionary, lazy by one byte, and static Huffman codes of literals, match lengths and
// match positions per block, in the bit format the LZH decoder (krvLzhDecode) reads.
// Bytes in, bytes out: the caller pulls nothing and sees no header; it gives the input
// through a callback, takes the packed bytes through another and checksums on its side.
#pragma once

#include <cstdint>
#include <functional>

struct TLzhEncodeParams {
    int DicBit = 13; // dictionary bits (10..16): matches reach 2^DicBit - 1 bytes back
    int PBit = 4;    // bits of the position-code count in a block
};

inline constexpr TLzhEncodeParams LzhEncodeLh5{13, 4};
// A 16384-byte window; every -lh6- decoder takes it (its positions stay below 16384).
inline constexpr TLzhEncodeParams LzhEncodeLh6{14, 5};

// Delivers up to Count bytes of input into Buffer; 0 (or less) at the end of the input.
using TLzhSource = std::function<std::int64_t(std::uint8_t* Buffer, std::int64_t Count)>;
// Takes Count packed bytes.
using TLzhSink = std::function<void(const std::uint8_t* Buffer, std::int64_t Count)>;

struct TLzhEncodeResult {
    std::int64_t Read = 0;    // input bytes consumed
    std::int64_t Written = 0; // packed bytes handed to the sink
    // The packed data grew to the size of the input read so far: the caller stores the
    // input instead (what was handed to the sink is to be dropped).
    bool StoreInstead = false;
    bool Cancelled = false; // the cancel flag stopped the run
};

// Encodes the whole input. CancelFlag (may be null) is polled once per block of input.
TLzhEncodeResult LzhEncode(const TLzhSource& Input, const TLzhSink& Output, TLzhEncodeParams Params,
                           const bool* CancelFlag = nullptr);
