// The traditional zip cipher: a stream cipher of three 32-bit keys set from a password, used
// for encrypted zip, jar and bh entries and for the 12-byte encryption header in front of
// each encrypted entry's data.
//
// One object holds one key state; the component running a job owns it and hands it to the
// codec streams, so two jobs never share keys.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

inline constexpr std::size_t CryptHeaderSize = 12;

class TZipCipher {
public:
    static constexpr std::array<std::uint32_t, 3> InitialKeys{0x12345678, 0x23456789, 0x34567890};

    // Steps the keys with one plain byte; returns key 2.
    std::uint32_t UpdateKeys(std::uint8_t Plain);
    // The next keystream byte (the keys do not move).
    std::uint8_t DecryptByte() const {
        const std::uint32_t t = (Keys[2] & 0xFFFF) | 2;
        return static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
    }
    // Sets the initial keys and steps them with each byte of Password; returns 0 (success).
    int InitCryptKeys(std::string_view Password);

    // Deciphers in place, each plain byte stepping the keys. Nothing for Count below 1.
    void DecryptBuf(void* Buffer, std::int64_t Count);
    // Enciphers in place, each plain byte stepping the keys. Nothing for Count below 1.
    void EncryptBuf(void* Buffer, std::int64_t Count);
    std::uint8_t EncryptByte(std::uint8_t Plain);

    // Keys the cipher with Password and fills Header with the enciphered encryption header:
    // ten random bytes, then bits 16-23 and 24-31 of Crc (the CRC-32 of the plain entry).
    // The keys then stand ready to encipher the entry's data.
    void MakeCryptHeader(std::string_view Password, std::uint32_t Crc,
                         std::span<std::uint8_t, CryptHeaderSize> Header);
    // Keys the cipher with Password and deciphers the 12 enciphered header bytes held in the
    // second half of WorkBuffer into its first half. The last plain byte must equal bits 24-31
    // of Crc, or bits 8-15 of DosTime when bit 3 of Flags (data descriptor follows) is set.
    // The keys then stand ready to decipher the entry's data. An empty password never fits.
    bool CheckCryptHeader(std::span<std::uint8_t, 2 * CryptHeaderSize> WorkBuffer, std::uint16_t Flags,
                          std::uint32_t Crc, std::string_view Password, std::uint32_t DosTime);

    std::array<std::uint32_t, 3> Keys = InitialKeys;
};

// Fills Buffer with random bytes from the system (getrandom). Raises std::system_error when
// the system has none to give.
void RandomFill(void* Buffer, std::size_t Count);
