// The zip records as the engine reads and writes them: the local header, the central
// directory record, the end of central directory record and the data descriptor. Each
// record converts from and to its little-endian image; the name, extra field and comments
// that follow a record are not part of it.
#pragma once

#include <array>
#include <cstdint>

inline constexpr std::uint32_t ZipLocalSig = 0x04034B50;      // "PK" 3 4
inline constexpr std::uint32_t ZipCentralSig = 0x02014B50;    // "PK" 1 2
inline constexpr std::uint32_t ZipEndSig = 0x06054B50;        // "PK" 5 6
inline constexpr std::uint32_t ZipDescriptorSig = 0x08074B50; // "PK" 7 8, also the spanning marker
inline constexpr std::uint32_t Zip64EndSig = 0x06064B50;      // "PK" 6 6
inline constexpr std::uint32_t Zip64LocatorSig = 0x07064B50;  // "PK" 6 7

// General-purpose flag bits.
inline constexpr std::uint16_t zfEncrypted = 0x0001;
inline constexpr std::uint16_t zfOption1 = 0x0002;    // implode: 8 KiB window; deflate: level bit
inline constexpr std::uint16_t zfOption2 = 0x0004;    // implode: three trees; deflate: level bit
inline constexpr std::uint16_t zfDescriptor = 0x0008; // sizes and CRC follow the data
inline constexpr std::uint16_t zfUtf8 = 0x0800;       // name and comment are UTF-8

// Compression methods.
inline constexpr std::uint16_t zmStored = 0;
inline constexpr std::uint16_t zmShrunk = 1;
inline constexpr std::uint16_t zmReduced1 = 2;
inline constexpr std::uint16_t zmReduced4 = 5;
inline constexpr std::uint16_t zmImploded = 6;
inline constexpr std::uint16_t zmDeflated = 8;

struct TZipLocalHeader {
    static constexpr std::size_t Size = 30;
    std::uint32_t Signature = ZipLocalSig;
    std::uint16_t VersionNeeded = 0;
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;
    std::uint32_t DosDateTime = 0; // time in the low word, date in the high word
    std::uint32_t Crc = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
    std::uint16_t NameLength = 0;
    std::uint16_t ExtraLength = 0;

    static TZipLocalHeader FromBytes(const std::uint8_t* P);
    void ToBytes(std::uint8_t* P) const;
    std::array<std::uint8_t, Size> Image() const {
        std::array<std::uint8_t, Size> a{};
        ToBytes(a.data());
        return a;
    }
};

struct TZipCentralHeader {
    static constexpr std::size_t Size = 46;
    std::uint32_t Signature = ZipCentralSig;
    std::uint16_t VersionMadeBy = 0;
    std::uint16_t VersionNeeded = 0;
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;
    std::uint32_t DosDateTime = 0;
    std::uint32_t Crc = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
    std::uint16_t NameLength = 0;
    std::uint16_t ExtraLength = 0;
    std::uint16_t CommentLength = 0;
    std::uint16_t DiskNumberStart = 0;
    std::uint16_t InternalAttr = 0;
    std::uint32_t ExternalAttr = 0;
    std::uint32_t LocalHeaderOffset = 0;

    static TZipCentralHeader FromBytes(const std::uint8_t* P);
    void ToBytes(std::uint8_t* P) const;
    std::array<std::uint8_t, Size> Image() const {
        std::array<std::uint8_t, Size> a{};
        ToBytes(a.data());
        return a;
    }
};

struct TZipEndRecord {
    static constexpr std::size_t Size = 22;
    std::uint32_t Signature = ZipEndSig;
    std::uint16_t ThisDisk = 0;
    std::uint16_t CentralDisk = 0;
    std::uint16_t EntriesOnDisk = 0;
    std::uint16_t TotalEntries = 0;
    std::uint32_t CentralSize = 0;
    std::uint32_t CentralOffset = 0;
    std::uint16_t CommentLength = 0;

    static TZipEndRecord FromBytes(const std::uint8_t* P);
    void ToBytes(std::uint8_t* P) const;
    std::array<std::uint8_t, Size> Image() const {
        std::array<std::uint8_t, Size> a{};
        ToBytes(a.data());
        return a;
    }
};

// The Zip64 end record, which holds the directory's values when the end record's fields
// cannot, and the locator in front of the end record that points to it.
struct TZip64EndRecord {
    static constexpr std::size_t Size = 56;
    std::uint32_t Signature = Zip64EndSig;
    std::uint64_t RecordSize = 0; // bytes after this field
    std::uint16_t VersionMadeBy = 0;
    std::uint16_t VersionNeeded = 0;
    std::uint32_t ThisDisk = 0;
    std::uint32_t CentralDisk = 0;
    std::uint64_t EntriesOnDisk = 0;
    std::uint64_t TotalEntries = 0;
    std::uint64_t CentralSize = 0;
    std::uint64_t CentralOffset = 0;

    static TZip64EndRecord FromBytes(const std::uint8_t* P);
    void ToBytes(std::uint8_t* P) const;
    std::array<std::uint8_t, Size> Image() const {
        std::array<std::uint8_t, Size> a{};
        ToBytes(a.data());
        return a;
    }
};

struct TZip64Locator {
    static constexpr std::size_t Size = 20;
    std::uint32_t Signature = Zip64LocatorSig;
    std::uint32_t EndRecordDisk = 0;
    std::uint64_t EndRecordOffset = 0;
    std::uint32_t TotalDisks = 0;

    static TZip64Locator FromBytes(const std::uint8_t* P);
    void ToBytes(std::uint8_t* P) const;
    std::array<std::uint8_t, Size> Image() const {
        std::array<std::uint8_t, Size> a{};
        ToBytes(a.data());
        return a;
    }
};

struct TZipDataDescriptor {
    static constexpr std::size_t Size = 16;
    std::uint32_t Signature = ZipDescriptorSig;
    std::uint32_t Crc = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;

    static TZipDataDescriptor FromBytes(const std::uint8_t* P);
    void ToBytes(std::uint8_t* P) const;
};
