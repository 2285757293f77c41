// Zoo's LZW method (method 1 of a zoo archive): codes of 9 bits growing to 13, read least
// significant bit first as one continuous bit stream; code 256 clears the string table and
// code 257 ends the data; new strings are numbered from 258.
#pragma once

#include "engine/codec/krvDecoderIO.h"

// Decodes one entry up to its unpacked size or its end code. Damaged data end the entry with
// ErrorCode: 25153 "Decompression error" for a code not yet given out, a first code after a
// clear that is no byte, or a string that would pass the unpacked size; 25298 "Stack
// overflow" for a string that loops.
TDecodeResult ZooLzdDecode(const TDecoderIO& IO);
