// Code lengths of a length-limited Huffman code for symbol counts, and the canonical codes
// for lengths (shorter codes first, equal lengths in symbol order), as the LZX and deflate
// family read them. The code is always complete: a tree with only one used symbol gets a
// second one, so that a reader's table is full.
#pragma once

#include <cstdint>
#include <vector>

std::vector<std::uint8_t> HuffmanLengths(const std::vector<std::uint32_t>& Counts, int MaxLength);
std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint8_t>& Lengths);
