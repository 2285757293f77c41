// Arj's method 4 ("fastest"): literals and matches over a sliding dictionary with fixed
// unary-prefixed codes for lengths and distances, most significant bit first.
#pragma once

#include "engine/codec/krvDecoderIO.h"

// Decodes one entry up to its unpacked size. Packed data that end early end the entry with
// ErrorCode 25176 "Unexpected end of file"; a match that would pass the unpacked size is cut.
TDecodeResult ArjDecodeFastest(const TDecoderIO& IO);
