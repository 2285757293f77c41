#include "engine/core/krvCrypt.h"

#include "engine/core/krvCrc.h"

#include <cerrno>
#include <sys/random.h>
#include <system_error>

namespace {

constexpr std::uint16_t FlagDataDescriptor = 0x0008;
constexpr std::uint32_t KeyMultiplier = 134775813;

} // namespace

std::uint32_t TZipCipher::UpdateKeys(std::uint8_t Plain) {
    Keys[0] = Crc32Step(Keys[0], Plain);
    Keys[1] = (Keys[1] + (Keys[0] & 0xFF)) * KeyMultiplier + 1;
    Keys[2] = Crc32Step(Keys[2], static_cast<std::uint8_t>(Keys[1] >> 24));
    return Keys[2];
}

int TZipCipher::InitCryptKeys(std::string_view Password) {
    Keys = InitialKeys;
    for (char c : Password)
        UpdateKeys(static_cast<std::uint8_t>(c));
    return 0;
}

void TZipCipher::DecryptBuf(void* Buffer, std::int64_t Count) {
    auto* p = static_cast<std::uint8_t*>(Buffer);
    for (std::int64_t i = 0; i < Count; ++i) {
        p[i] ^= DecryptByte();
        UpdateKeys(p[i]);
    }
}

void TZipCipher::EncryptBuf(void* Buffer, std::int64_t Count) {
    auto* p = static_cast<std::uint8_t*>(Buffer);
    for (std::int64_t i = 0; i < Count; ++i)
        p[i] = EncryptByte(p[i]);
}

std::uint8_t TZipCipher::EncryptByte(std::uint8_t Plain) {
    const std::uint8_t k = DecryptByte();
    UpdateKeys(Plain);
    return Plain ^ k;
}

void TZipCipher::MakeCryptHeader(std::string_view Password, std::uint32_t Crc,
                                 std::span<std::uint8_t, CryptHeaderSize> Header) {
    InitCryptKeys(Password);
    RandomFill(Header.data(), CryptHeaderSize - 2);
    Header[CryptHeaderSize - 2] = static_cast<std::uint8_t>(Crc >> 16);
    Header[CryptHeaderSize - 1] = static_cast<std::uint8_t>(Crc >> 24);
    EncryptBuf(Header.data(), CryptHeaderSize);
}

bool TZipCipher::CheckCryptHeader(std::span<std::uint8_t, 2 * CryptHeaderSize> WorkBuffer,
                                  std::uint16_t Flags, std::uint32_t Crc, std::string_view Password,
                                  std::uint32_t DosTime) {
    if (Password.empty()) return false;
    InitCryptKeys(Password);
    for (std::size_t i = 0; i < CryptHeaderSize; ++i) {
        WorkBuffer[i] = WorkBuffer[CryptHeaderSize + i] ^ DecryptByte();
        UpdateKeys(WorkBuffer[i]);
    }
    const std::uint8_t check = (Flags & FlagDataDescriptor) ? static_cast<std::uint8_t>(DosTime >> 8)
                                                            : static_cast<std::uint8_t>(Crc >> 24);
    return WorkBuffer[CryptHeaderSize - 1] == check;
}

void RandomFill(void* Buffer, std::size_t Count) {
    auto* p = static_cast<std::uint8_t*>(Buffer);
    while (Count > 0) {
        const ssize_t n = getrandom(p, Count, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        p += n;
        Count -= static_cast<std::size_t>(n);
    }
}
