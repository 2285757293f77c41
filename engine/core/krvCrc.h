// The engine's checksums: CRC-32, CRC-16, adler32 and the tar header sum.
//
// The CRC updates never invert: a CRC-32 starts from 0xFFFFFFFF and the caller takes the
// result XOR 0xFFFFFFFF; a CRC-16 starts from 0 and is taken as it is. The zip cipher steps
// its keys with the same CRC-32 byte step.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

class TStream32;
struct TJobRecord;

// CRC-32 with the reflected polynomial 0xEDB88320.
extern const std::array<std::uint32_t, 256> Crc32Table;
// CRC-16 with the reflected polynomial 0xA001.
extern const std::array<std::uint16_t, 256> Crc16Table;

inline std::uint32_t Crc32Step(std::uint32_t Crc, std::uint8_t Byte) {
    return Crc32Table[(Crc ^ Byte) & 0xFF] ^ (Crc >> 8);
}

// Updates Crc over Count bytes (nothing for Count below 1).
void UpdateCrc32Buf(const void* Buffer, std::int64_t Count, std::uint32_t& Crc);
void UpdateCrc16Buf(const void* Buffer, std::int64_t Count, std::uint16_t& Crc);

// adler32 (modulo 65521). A missing buffer gives 1; a Count below 1 returns Adler unchanged.
std::uint32_t Adler32(std::uint32_t Adler, const void* Buffer, std::int64_t Count);

// The sum of the 512 bytes of a tar header as unsigned values, the eight bytes of the
// checksum field (148 to 155) counted as blanks.
std::uint32_t TarHeaderChecksum(const void* Header);
// True when that sum equals the octal number in the checksum field.
bool IsTarHeaderValid(const void* Header);

// The running CRC-32 of the whole content of Stream, read from position 0 (the caller applies
// the final XOR). The stream is rewound to 0 afterwards. The bytes read are taken off
// *Record.BytesToDo; Progress fires as the data pass; a set *CancelFlag stops the pass.
std::uint32_t GetStreamCrc32(TStream32& Stream, const TJobRecord& Record,
                             std::function<void(TStream32&)> Progress = {}, const bool* CancelFlag = nullptr);
