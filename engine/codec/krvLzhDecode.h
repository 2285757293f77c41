// The LHA static-Huffman decoder (the -lh5- family): blocks of a 16-bit symbol count, a
// code-length code, the literal/length code lengths and the position code lengths, then
// literals and matches over a sliding dictionary. One decoder serves lha -lh4- to -lh7-,
// arj methods 1 to 3, zoo method 2 and bh methods 1 and 3, told apart by their parameters.
#pragma once

#include "engine/codec/krvDecoderIO.h"

struct TLzhParams {
    int DicBit = 13; // dictionary bits (at most 16); there are DicBit + 1 position codes
    int PBit = 4;    // bits of the position-code count
};

inline constexpr TLzhParams LzhLh4{12, 4};
inline constexpr TLzhParams LzhLh5{13, 4};
inline constexpr TLzhParams LzhLh6{15, 5};
inline constexpr TLzhParams LzhLh7{16, 5};
inline constexpr TLzhParams LzhArj{16, 5};

// Decodes one entry up to its unpacked size. Damaged data end the entry with ErrorCode:
// 25120 "Bad Huffman code" for a code-length set that is incomplete, over-subscribed or
// larger than its alphabet (or a single code outside it), 25176 "Unexpected end of file" for
// packed data that end early, 25153 "Decompression error" for a distance outside the window.
// A match that would pass the unpacked size is cut at it.
TDecodeResult LzhDecode(const TDecoderIO& IO, TLzhParams Params);
