#include "AceBuilder.h"

#include "TestSupport.h"
#include "ZipBuilder.h"

#include <algorithm>
#include <cstdint>

namespace testsupport {

namespace {

constexpr std::uint16_t FlagAddSize = 0x0001;
constexpr std::uint16_t FlagSplitBefore = 0x1000;
constexpr std::uint16_t FlagSplitAfter = 0x2000;
constexpr std::uint16_t FlagPassword = 0x4000;
constexpr std::uint32_t DosTime = (44u << 25) | (6u << 21) | (15u << 16) | (12u << 11);

void Put16(std::string& Out, std::uint32_t V) {
    Out += static_cast<char>(V & 0xFF);
    Out += static_cast<char>((V >> 8) & 0xFF);
}
void Put32(std::string& Out, std::uint32_t V) {
    Put16(Out, V & 0xFFFF);
    Put16(Out, V >> 16);
}

std::string MainHeader(int Volume) {
    std::string h;
    Put16(h, 0);  // header CRC (not checked by the readers)
    Put16(h, 27); // the header's size after these 4 bytes
    h += '\0';    // main header
    Put16(h, Volume > 0 ? 0x0800 : 0);
    h += "**ACE**";
    h += static_cast<char>(20); // version to extract
    h += static_cast<char>(20); // version made by
    h += static_cast<char>(2);  // host: Windows
    h += static_cast<char>(Volume);
    Put32(h, DosTime);
    h.append(8, '\0');
    h += '\0'; // no advert
    return h;
}

std::string FileHeader(const TAceEntry& E, std::uint16_t Flags, std::size_t Packed, std::uint32_t Crc) {
    std::string h;
    Put16(h, 0);
    Put16(h, static_cast<std::uint32_t>(31 + E.Name.size()));
    h += '\1';
    Put16(h, Flags);
    Put32(h, static_cast<std::uint32_t>(Packed));
    Put32(h, static_cast<std::uint32_t>(E.Data.size()));
    Put32(h, DosTime);
    Put32(h, E.Directory ? 0x10 : 0x20);
    Put32(h, ~Crc); // kept without the final inversion
    Put32(h, 0);    // stored
    Put16(h, 0);
    Put16(h, static_cast<std::uint32_t>(E.Name.size()));
    return h + E.Name;
}

std::filesystem::path VolumeName(const std::filesystem::path& First, int Index) {
    if (Index == 0) return First;
    const int n = (Index - 1) % 100;
    const std::string ext = {'.', 'c', static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
    return std::filesystem::path(First).replace_extension(ext);
}

} // namespace

std::vector<std::filesystem::path> WriteAceArchive(const std::filesystem::path& Path,
                                                   const std::vector<TAceEntry>& Entries,
                                                   std::size_t VolumeSize) {
    std::vector<std::string> volumes{MainHeader(0)};
    std::size_t room = VolumeSize ? VolumeSize : SIZE_MAX;
    for (const TAceEntry& e : Entries) {
        std::string data = e.Data;
        for (std::size_t i = 0; i < data.size() && !e.Password.empty(); ++i)
            data[i] = static_cast<char>(data[i] ^ e.Password[i % e.Password.size()]);
        const std::uint32_t crc = Crc32Of(e.Data) ^ (e.BadCrc ? 1u : 0u);
        const std::uint16_t base = FlagAddSize | (e.Password.empty() ? 0 : FlagPassword);
        std::size_t done = 0;
        do {
            if (room == 0) {
                volumes.push_back(MainHeader(static_cast<int>(volumes.size())));
                room = VolumeSize;
            }
            const std::size_t part = std::min(room, data.size() - done);
            std::uint16_t flags = base;
            if (done > 0) flags |= FlagSplitBefore;
            if (done + part < data.size()) flags |= FlagSplitAfter;
            volumes.back() += FileHeader(e, flags, part, crc) + data.substr(done, part);
            done += part;
            room -= part;
        } while (done < data.size());
    }
    std::vector<std::filesystem::path> files;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        files.push_back(VolumeName(Path, static_cast<int>(i)));
        WriteFile(files.back(), volumes[i]);
    }
    return files;
}

} // namespace testsupport
