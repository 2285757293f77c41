#include "engine/core/krvCrc.h"

#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvGbls.h"

#include <libdeflate.h>
#include <string_view>
#include <zlib.h>

namespace {

template <typename T, unsigned Poly> constexpr std::array<T, 256> MakeReflectedTable() {
    std::array<T, 256> table{};
    for (unsigned n = 0; n < 256; ++n) {
        unsigned c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? Poly ^ (c >> 1) : c >> 1;
        table[n] = static_cast<T>(c);
    }
    return table;
}

// Bytes summed before the modulo: small enough that the sums stay below 2^31 for any start value.
constexpr std::int64_t AdlerBlock = 3854;
constexpr std::uint32_t AdlerBase = 65521;

constexpr std::size_t TarSumOffset = 148;
constexpr std::size_t TarSumLength = 8;
constexpr std::size_t TarHeaderSize = 512;

} // namespace

constinit const std::array<std::uint32_t, 256> Crc32Table = MakeReflectedTable<std::uint32_t, 0xEDB88320U>();
constinit const std::array<std::uint16_t, 256> Crc16Table = MakeReflectedTable<std::uint16_t, 0xA001U>();

void UpdateCrc32Buf(const void* Buffer, std::int64_t Count, std::uint32_t& Crc) {
    if (!Buffer || Count < 1) return;
    // libdeflate's crc32 (several times zlib's speed) inverts on the way in and out;
    // inverting around it leaves the plain update.
    Crc = ~libdeflate_crc32(~Crc, Buffer, static_cast<std::size_t>(Count));
}

namespace {

// CRC-16 eight bytes at a time: Slices[k][b] is the CRC of byte b followed by k zero bytes.
struct TCrc16Slices {
    std::array<std::array<std::uint16_t, 256>, 8> T{};
    constexpr TCrc16Slices() {
        // Made again here: clang does not read the table's constinit value while it evaluates.
        T[0] = MakeReflectedTable<std::uint16_t, 0xA001U>();
        for (std::size_t k = 1; k < 8; ++k)
            for (std::size_t b = 0; b < 256; ++b)
                T[k][b] = static_cast<std::uint16_t>((T[k - 1][b] >> 8) ^ T[0][T[k - 1][b] & 0xFF]);
    }
};
constinit const TCrc16Slices Crc16Slices;

} // namespace

void UpdateCrc16Buf(const void* Buffer, std::int64_t Count, std::uint16_t& Crc) {
    if (!Buffer || Count < 1) return;
    const auto* p = static_cast<const std::uint8_t*>(Buffer);
    const auto& t = Crc16Slices.T;
    std::uint16_t crc = Crc;
    std::int64_t i = 0;
    for (; i + 8 <= Count; i += 8, p += 8) {
        const std::uint32_t low = crc ^ (p[0] | (p[1] << 8));
        crc = static_cast<std::uint16_t>(t[7][low & 0xFF] ^ t[6][low >> 8] ^ t[5][p[2]] ^ t[4][p[3]] ^
                                         t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]]);
    }
    for (; i < Count; ++i, ++p)
        crc = static_cast<std::uint16_t>(Crc16Table[(crc ^ *p) & 0xFF] ^ (crc >> 8));
    Crc = crc;
}

std::uint32_t Adler32(std::uint32_t Adler, const void* Buffer, std::int64_t Count) {
    if (!Buffer) return 1;
    if (Count < 1) return Adler;
    const auto* p = static_cast<const std::uint8_t*>(Buffer);
    std::uint32_t s1 = Adler & 0xFFFF;
    std::uint32_t s2 = Adler >> 16;
    while (Count > 0) {
        const std::int64_t n = Count < AdlerBlock ? Count : AdlerBlock;
        for (std::int64_t i = 0; i < n; ++i) {
            s1 += p[i];
            s2 += s1;
        }
        s1 %= AdlerBase;
        s2 %= AdlerBase;
        p += n;
        Count -= n;
    }
    return (s2 << 16) | s1;
}

std::uint32_t TarHeaderChecksum(const void* Header) {
    // Every byte summed (a loop the compiler widens), then the checksum field counted as blanks.
    const auto* p = static_cast<const std::uint8_t*>(Header);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < TarHeaderSize; ++i)
        sum += p[i];
    for (std::size_t i = TarSumOffset; i < TarSumOffset + TarSumLength; ++i)
        sum -= p[i];
    return sum + TarSumLength * std::uint32_t{' '};
}

bool IsTarHeaderValid(const void* Header) {
    const std::string_view field(static_cast<const char*>(Header) + TarSumOffset, TarSumLength);
    return OctStrToInt(field) == TarHeaderChecksum(Header);
}

std::uint32_t GetStreamCrc32(TStream32& Stream, const TJobRecord& Record,
                             std::function<void(TStream32&)> Progress, const bool* CancelFlag) {
    TCalcStreamCRC crc(Stream, std::move(Progress), CancelFlag, 0, Record, 32);
    Stream.SetPosition(0);
    return crc.Crc();
}
