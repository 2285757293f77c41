// Huffman codes of the LHA static-Huffman encoder: code lengths from symbol frequencies,
// limited to 16 bits, and the canonical codes that the decoder rebuilds from the lengths.
#pragma once

#include <cstdint>
#include <span>

inline constexpr int LzhMaxCodeLength = 16;

// Fills Lengths (one per frequency) with the code lengths of a Huffman code for Freq, none
// longer than 16 bits. Returns the number of symbols in use; with fewer than two, every
// length is 0 and Single holds the symbol in use (0 when none is).
int LzhMakeLengths(std::span<const std::uint32_t> Freq, std::span<std::uint8_t> Lengths, int& Single);

// The canonical codes of Lengths: shorter codes first, in symbol order within a length.
void LzhMakeCodes(std::span<const std::uint8_t> Lengths, std::span<std::uint16_t> Codes);
