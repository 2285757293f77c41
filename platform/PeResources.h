// Reads the string-table resources of a Windows executable (PE file) as data, the way a
// data-only module load followed by a string lookup would, without running anything.
// Every offset read from the file is checked against the file and the resource section,
// so a damaged or hostile file gives no string, never a crash or a long loop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TPeResources {
public:
    TPeResources() = default;
    ~TPeResources();
    TPeResources(const TPeResources&) = delete;
    TPeResources& operator=(const TPeResources&) = delete;

    // Opens FileName; false when it is not a PE file or holds no resource directory.
    bool Open(const std::string& FileName);
    void Close();
    bool IsOpen() const { return FFd >= 0; }

    // The string resource Id (of the first language the file holds it in) as UTF-8; empty
    // when the file has no such string. At most MaxChars characters are returned.
    std::string LoadString(std::uint32_t Id, std::size_t MaxChars = 4096) const;

private:
    struct TSection {
        std::uint32_t VirtualAddress;
        std::uint32_t VirtualSize;
        std::uint32_t RawOffset;
        std::uint32_t RawSize;
    };

    bool ReadAt(std::uint64_t Pos, void* Buffer, std::size_t Count) const;
    // File offset of Count bytes at the relative virtual address Rva; false when they do not
    // lie wholly inside one section's raw data.
    bool RvaToOffset(std::uint32_t Rva, std::uint32_t Count, std::uint64_t& Offset) const;
    // Looks up Id in the resource directory at DirOffset (relative to the resource root);
    // with Id < 0 takes the first entry. Returns the entry's OffsetToData field.
    bool FindEntry(std::uint32_t DirOffset, std::int64_t Id, std::uint32_t& Target) const;
    bool InResources(std::uint64_t RelOffset, std::uint64_t Count) const;

    int FFd = -1;
    std::uint64_t FSize = 0;
    std::vector<TSection> FSections;
    std::uint64_t FRootOffset = 0; // file offset of the resource root directory
    std::uint64_t FRootSize = 0;   // bytes of the resource data behind it
};
