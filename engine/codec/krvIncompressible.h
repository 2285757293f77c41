// Data that deflate cannot make smaller (compressed or random bytes), told apart at a small
// fraction of the cost of deflating it, and written as stored blocks instead: the deflater
// spends as long on such data as on text only to store it in the end.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// True only when deflate would gain next to nothing on Data: its bytes are spread almost evenly
// (a Huffman code could save no more than a fraction of a percent) and hardly any four bytes
// repeat within deflate's window. Decided by Data alone.
bool LooksIncompressible(std::span<const std::uint8_t> Data);

// Appends Data to Out as stored deflate blocks of up to 65,535 bytes, starting on a byte
// boundary and ending on one; the last block is the stream's final one when Final.
void AppendStoredBlocks(std::span<const std::uint8_t> Data, bool Final, std::vector<std::uint8_t>& Out);
