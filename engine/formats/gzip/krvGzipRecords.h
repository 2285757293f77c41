// The gzip member header, shared by the lister and the gzip reader, and the magic words of
// the gzip family (gzip, its old form, compress, pack). A header is: magic, method, flags,
// modification time, extra flags, system; then, by flag, the extra field, the stored name,
// the comment (both NUL-terminated) and a CRC-16 of the header.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

inline constexpr std::uint16_t GzipMagic = 0x8B1F;     // 1F 8B
inline constexpr std::uint16_t GzipMagicOld = 0x9E1F;  // 1F 9E, read as 1F 8B
inline constexpr std::uint16_t CompressMagic = 0x9D1F; // 1F 9D, Unix compress (.Z)
inline constexpr std::uint8_t GzipDeflated = 8;

inline constexpr std::uint8_t GzFlagText = 0x01;
inline constexpr std::uint8_t GzFlagHeaderCrc = 0x02;
inline constexpr std::uint8_t GzFlagExtra = 0x04;
inline constexpr std::uint8_t GzFlagName = 0x08;
inline constexpr std::uint8_t GzFlagComment = 0x10;
inline constexpr std::uint8_t GzFlagEncrypted = 0x20;
inline constexpr std::uint8_t GzFlagReserved = 0xC0;

inline constexpr std::int64_t GzipFixedHeader = 10;
inline constexpr std::int64_t GzipTrailer = 8; // CRC-32 and size modulo 2^32

struct TGzipMember {
    std::uint16_t Magic = 0;
    std::uint8_t Method = 0;
    std::uint8_t Flags = 0;
    std::uint32_t MTime = 0; // seconds since 1970-01-01 00:00 UTC; 0 when not stored
    std::uint8_t ExtraFlags = 0;
    std::uint8_t System = 0;
    std::int64_t ExtraLength = 0;
    // The stored name as stored (its first 4096 bytes).
    std::string Name;
    std::string Comment;
    std::int64_t DataStart = 0; // where the compressed data begin

    bool IsGzip() const { return Magic == GzipMagic || Magic == GzipMagicOld; }
};

enum class TGzipHeaderResult : std::uint8_t {
    Ok,
    NotGzip,      // no magic of the gzip family
    Truncated,    // the file ends inside the header
    BadHeaderCrc, // the header's CRC-16 does not match
};

// Reads up to Count bytes at At; returns the count read.
using TGzipReadAt = std::function<std::int64_t(std::int64_t At, void* Buffer, std::int64_t Count)>;

// Reads the member header at At (the file ends at End). For compress and pack files only the
// magic is read, and the data start at At.
TGzipHeaderResult ReadGzipHeader(const TGzipReadAt& ReadAt, std::int64_t At, std::int64_t End,
                                 TGzipMember& Member);

// The member's name when it stores a usable file name (not ".", "..", a path or longer than
// 255 bytes), else the archive's file name less its extension.
std::string GzipStoredName(const TGzipMember& Member, const std::string& ArchiveFile);

// The header a writer puts before a member's deflate data: method 8, the name flag when Name
// is not empty, MTime, the extra flags (2: best compression, 4: fastest) and the system
// (3: Unix, so readers take the name's bytes as UTF-8), then Name and its NUL.
std::string GzipHeaderBytes(const std::string& Name, std::uint32_t MTime, std::uint8_t ExtraFlags);
