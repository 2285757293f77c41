// The Unix compress (.Z) decoder: LZW with codes of 9 up to 16 bits, read least significant
// bit first, in block mode with the clear code 256. Codes come in groups of eight: when the
// code width grows or the table is cleared, the rest of the current group is padding (the
// layout compress and ncompress write).
#pragma once

#include "engine/codec/krvDecoderIO.h"

// Decodes a whole .Z file, its 3-byte header included: IO.PackedSize bytes in, at most
// IO.UnpackedSize bytes out. Damaged data are answered with ErrorCode: 25139 "Incomplete
// code set" (a header with reserved flags or a maximum width outside 9..16), 25140 "Corrupt
// input" (a code beyond the table), 25176 "Unexpected end of file" (the file ends inside the
// header or inside a code), 25153 "Decompression error" (more output than UnpackedSize).
TDecodeResult LzwDecompress(const TDecoderIO& IO);
