// A minimal zip writer for tests that need archives no real tool makes: hostile names,
// chosen attributes and host systems, damaged records. Entries are stored (method 0) unless
// a method and ready packed data are given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct TestZipEntry {
    std::string Name;
    std::string Data;                  // the plain content (its CRC is stored)
    std::uint32_t ExternalAttr = 0x20; // DOS archive bit
    std::uint16_t VersionMadeBy = 20;  // host in the high byte (3 = Unix)
    std::uint16_t Method = 0;
    std::string Packed; // the packed data for another method (else Data)
    std::uint16_t Flags = 0;
    std::uint32_t DosDateTime = 0x58A76000; // 2024-05-07 12:00:00
};

class TestZip {
public:
    TestZip& Add(const TestZipEntry& Entry);
    TestZip& Add(const std::string& Name, const std::string& Data) { return Add(TestZipEntry{Name, Data}); }
    // A Unix entry: Mode is the whole st_mode (type and permission bits).
    TestZip& AddUnix(const std::string& Name, const std::string& Data, std::uint32_t Mode);
    // The archive: local headers with data, central directory, end record.
    std::string Bytes() const;

private:
    std::vector<TestZipEntry> FEntries;
};

std::uint32_t Crc32Of(const std::string& Data);
// Data as a raw deflate stream (no zlib header or trailer).
std::string DeflateRaw(const std::string& Data, int Level = 6);

} // namespace testsupport
