// Small archives built byte by byte for the lister's tests: the cases real tools do not make
// (damaged, hostile or rare layouts).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvatest {

void PutU16(std::string& Out, std::uint16_t V);
void PutU32(std::string& Out, std::uint32_t V);

struct TZipItem {
    std::string Name;
    std::string Data;
    std::uint16_t Flags = 0;
    std::uint32_t ExternalAttr = 0x20;
    std::string Comment;
    std::uint32_t UnpackedSize = 0xFFFFFFFF; // 0xFFFFFFFF: the data's size
};

// A stored zip; without Central only the local headers are written.
std::string MakeZip(const std::vector<TZipItem>& Items, bool Central = true);

struct TTarItem {
    std::string Name;
    std::string Data;
    char Type = '0';
    std::string Link; // target of a link entry
};
std::string MakeTar(const std::vector<TTarItem>& Items);

// An arc header of 29 bytes (method 1: 25) with its data.
std::string ArcEntry(std::uint8_t Method, const std::string& Name, const std::string& Data);

// A zoo archive whose directory entries link in the order given; Next overrides the link of
// an entry (an index into Names, or -1 for the usual link). With a SystemId (0 Unix, 1 DOS)
// the entries are of type 2, whose variable part says where they were made.
std::string MakeZoo(const std::vector<std::string>& Names, const std::vector<int>& Next = {},
                    int SystemId = -1);

// An ace archive made on Host (2 Win32, 3 Unix) holding stored entries of three bytes.
std::string MakeAce(std::uint8_t Host, const std::vector<std::string>& Names);

// Sets the CRC of the rar 4 block header that begins at At and ends with Out.
void SealRar4Header(std::string& Out, std::size_t At);
// A rar 4 archive of stored entries of three bytes made on Host (2 Win32, 3 Unix).
std::string MakeRar4(std::uint8_t Host, const std::vector<std::string>& Names);

struct THaItem {
    std::string Path; // folder, with ha's 0xFF separators
    std::string Name;
    std::uint8_t Machine = 1; // 1 DOS, 2 Unix
};
// An ha archive of stored entries of three bytes.
std::string MakeHa(const std::vector<THaItem>& Items);

// An lha level-2 entry: extended headers as given (type byte + data each), then the data.
std::string Lha2Entry(const std::vector<std::string>& ExtHeaders, const std::string& Data, char Method = '0');

} // namespace korvatest
