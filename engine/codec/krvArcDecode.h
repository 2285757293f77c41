// The decoders of arc's methods: 3 packed (run-length), 4 squeezed (Huffman and run-length),
// 5 to 7 crunched (12-bit LZW with a hashed string table; 6 and 7 with run-length, 7 with the
// newer hash), 8 crunched with codes of 9 to 12 bits (and run-length), 9 squashed (9 to 13
// bits). The stored methods 1 and 2 need no decoder.
#pragma once

#include "engine/codec/krvDecoderIO.h"

// Decodes one entry of Method (3..9) up to its unpacked size; the data end where the packed
// bytes (or the squeezed end code) end, and nothing beyond the unpacked size is produced.
// Damaged data end the entry with ErrorCode: 25152 "File contains invalid decode tree" (a
// squeeze tree of more than 256 nodes or with a child outside it), 25298 "Stack overflow" (an
// LZW string that never ends), 25134 "Incorrect number of bits" (method 8 not made with 12-bit
// codes), 25326 "Unsupported compression method" (any other method).
TDecodeResult ArcDecode(const TDecoderIO& IO, int Method);
