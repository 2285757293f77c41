// The cabinet header as the decompression context reads it: its size, signature and flags, and
// the little-endian numbers of its records.
#pragma once

#include <cstdint>
#include <string>

namespace cabinet_layout {

constexpr std::uint32_t CabSignature = 0x4643534D; // "MSCF"
constexpr int CabHeaderSize = 36;
constexpr std::uint16_t CabHasPrev = 0x0001;
constexpr std::uint16_t CabHasNext = 0x0002;
constexpr std::uint16_t CabHasReserve = 0x0004;
// The open flags of a cabinet opened for reading (C run-time binary, read only).
constexpr int OpenReadBinary = 0x8000;

// A cabinet's name for the one before or after it, taken as a bare file name: it never leads
// out of the cabinet's folder.
inline std::string BareName(const std::string& Name) {
    const std::size_t slash = Name.find_last_of("/\\");
    const std::string bare = slash == std::string::npos ? Name : Name.substr(slash + 1);
    return bare == "." || bare == ".." ? std::string() : bare;
}

inline std::uint16_t U16(const std::uint8_t* P) {
    return static_cast<std::uint16_t>(P[0] | (P[1] << 8));
}
inline std::uint32_t U32(const std::uint8_t* P) {
    return P[0] | (P[1] << 8) | (P[2] << 16) | (std::uint32_t{P[3]} << 24);
}

} // namespace cabinet_layout
