// The adaptive-Huffman decoder of LHA's first method, -lh1- (LHarc's LZHUF coding): literals
// and match lengths 3..60 from a Huffman tree whose frequencies grow with every symbol, match
// positions in a 4 KiB dictionary as a fixed code for their upper 6 bits plus 6 plain bits.
#pragma once

#include "engine/codec/krvDecoderIO.h"

// Decodes one entry up to its unpacked size. Packed data that end early end the entry with
// ErrorCode 25176 "Unexpected end of file"; a match that would pass the unpacked size is cut.
TDecodeResult LzhAdaptiveDecode(const TDecoderIO& IO);
