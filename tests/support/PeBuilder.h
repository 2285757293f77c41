// Builds small Windows executables (PE files) in memory, with a string table among their
// resources, for tests of what reads executables as data. Nothing in them runs.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace testsupport {

struct TPeOptions {
    bool Pe32Plus = false;   // a 64-bit (PE32+) optional header
    std::size_t MinSize = 0; // pad the file with zeros to at least this size
    std::uint16_t Language = 0x409;
};

// A PE file whose string table holds Strings (id -> ASCII text). The resource section starts
// at file offset 0x200; the DOS header's image ends at 0x80.
std::string MakePeFile(const std::map<std::uint32_t, std::string>& Strings, const TPeOptions& Options = {});

// File offsets inside what MakePeFile builds, for tests that damage it on purpose.
inline constexpr std::size_t PeHeaderOffset = 0x80;    // "PE\0\0"
inline constexpr std::size_t PeResourceOffset = 0x200; // root resource directory

} // namespace testsupport
