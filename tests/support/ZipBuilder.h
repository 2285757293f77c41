// Builds small zip archives in memory, record by record, for tests that
// need exact control of the records (a stub in front, offsets, comments, enciphered headers).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// How an entry's CRC and sizes follow its data (general-purpose flag bit 3; its local header
// then holds zeros): no descriptor, one with its "PK" 7 8 signature, or one without.
enum class TZipDescriptorStyle { None, Signed, Unsigned };

// An entry with every field chosen: attributes, host, method and packed data, flags, date.
struct TZipItem {
    std::string Name;
    std::string Data;                  // the plain content (its CRC is stored)
    std::uint32_t ExternalAttr = 0x20; // DOS archive bit
    std::uint16_t VersionMadeBy = 20;  // host system in the high byte (3 = Unix)
    std::uint16_t Method = 0;
    std::string Packed; // the packed data of another method (else Data)
    std::uint16_t Flags = 0;
    std::uint32_t DosDateTime = 0x00210000; // 1980-01-01 00:00:00
    std::string Extra;                      // the extra field of both records
    TZipDescriptorStyle Descriptor = TZipDescriptorStyle::None;
    bool Descriptor64 = false; // the descriptor's sizes are 8 bytes each
};

// A Unix entry: Mode is the whole st_mode (type and permission bits).
TZipItem UnixItem(const std::string& Name, const std::string& Data, std::uint32_t Mode);

struct TZipSpec {
    std::vector<std::pair<std::string, std::string>> Entries; // stored name, data
    std::vector<TZipItem> Items;                              // further entries, after Entries
    std::string Prefix;                                       // bytes in front of the archive, such as a stub
    bool AdjustOffsets = false;  // offsets count from the start of the file, prefix included
    std::string Comment;         // archive comment (at most 65535 bytes)
    bool EncryptHeaders = false; // "PL" records with enciphered fixed parts and names

    TZipSpec& Add(const TZipItem& Item) {
        Items.push_back(Item);
        return *this;
    }
    TZipSpec& Add(const std::string& Name, const std::string& Data) { return Add(TZipItem{Name, Data}); }
};

struct TZipLayout {
    std::size_t FirstLocal = 0; // file position of the first local header
    std::size_t Directory = 0;  // file position of the first central record
    std::size_t EndRecord = 0;  // file position of the end record
};

std::string MakeStoredZip(const TZipSpec& Spec, TZipLayout* Layout = nullptr);

// The CRC-32 of Data.
std::uint32_t Crc32Of(const std::string& Data);
// Data as a raw deflate stream (no zlib header or trailer).
std::string DeflateRaw(const std::string& Data, int Level = 6);

} // namespace testsupport
