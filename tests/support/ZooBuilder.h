// Zoo archives made in the tests: directory entries of type 2 (with long names and folders)
// chained in the order given, and zoo's LZW coding of data. No Debian tool writes zoo, so the
// archives are made here and unar checks that they read as intended.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct ZooItem {
    std::string ShortName;
    std::string LongName; // empty: none
    std::string Folder;   // empty: none
    std::uint8_t Method = 0;
    std::string Packed; // the entry's data as stored
    std::string Plain;  // what they decode to (size and CRC-16)
    bool Deleted = false;
};

// The archive; LinkBack >= 0 makes the last entry's chain lead back to entry LinkBack.
std::string MakeZooArchive(const std::vector<ZooItem>& Items, int LinkBack = -1);

// Zoo's LZW: a clear code, codes of 9 to 13 bits least significant bit first, the table
// cleared whenever it is full, and the end code.
std::string ZooLzwEncode(const std::string& Data);

} // namespace testsupport
