#include "platform/PeResources.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t RtString = 6;
constexpr std::uint32_t SubdirectoryBit = 0x80000000U;
constexpr std::size_t MaxSections = 96;
constexpr std::uint32_t MaxStringBlock = 0xFFFF; // block ids are 16-bit

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void AppendUtf8(std::string& Out, std::uint32_t Cp) {
    if (Cp < 0x80) {
        Out += static_cast<char>(Cp);
    } else if (Cp < 0x800) {
        Out += static_cast<char>(0xC0 | (Cp >> 6));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else if (Cp < 0x10000) {
        Out += static_cast<char>(0xE0 | (Cp >> 12));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Cp >> 18));
        Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    }
}

// UTF-16LE to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::vector<std::uint8_t>& Units) {
    std::string out;
    const std::size_t n = Units.size() / 2;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t c = U16(&Units[2 * i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n) {
            const std::uint32_t d = U16(&Units[2 * (i + 1)]);
            if (d >= 0xDC00 && d < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

} // namespace

TPeResources::~TPeResources() {
    Close();
}

void TPeResources::Close() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
    FSize = 0;
    FSections.clear();
    FRootOffset = FRootSize = 0;
}

bool TPeResources::ReadAt(std::uint64_t Pos, void* Buffer, std::size_t Count) const {
    if (FFd < 0 || Pos > FSize || Count > FSize - Pos) return false;
    auto* p = static_cast<char*>(Buffer);
    std::size_t done = 0;
    while (done < Count) {
        const ssize_t n = ::pread(FFd, p + done, Count - done, static_cast<off_t>(Pos + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool TPeResources::RvaToOffset(std::uint32_t Rva, std::uint32_t Count, std::uint64_t& Offset) const {
    for (const TSection& s : FSections) {
        const std::uint64_t start = s.VirtualAddress;
        if (Rva < start) continue;
        const std::uint64_t delta = Rva - start;
        if (delta + Count > s.RawSize) continue;
        Offset = static_cast<std::uint64_t>(s.RawOffset) + delta;
        return Offset + Count <= FSize;
    }
    return false;
}

bool TPeResources::InResources(std::uint64_t RelOffset, std::uint64_t Count) const {
    return RelOffset <= FRootSize && Count <= FRootSize - RelOffset;
}

bool TPeResources::Open(const std::string& FileName) {
    Close();
    FFd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0) return false;
    struct stat st {};
    if (::fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Close();
        return false;
    }
    FSize = static_cast<std::uint64_t>(st.st_size);

    std::uint8_t dos[64];
    if (!ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
        Close();
        return false;
    }
    const std::uint64_t pe = U32(dos + 0x3C);
    std::uint8_t coff[24];
    if (!ReadAt(pe, coff, sizeof coff) || coff[0] != 'P' || coff[1] != 'E' || coff[2] != 0 || coff[3] != 0) {
        Close();
        return false;
    }
    const std::size_t sectionCount = U16(coff + 6);
    const std::uint16_t optSize = U16(coff + 20);
    std::vector<std::uint8_t> opt(optSize);
    if (sectionCount == 0 || sectionCount > MaxSections || optSize < 2 ||
        !ReadAt(pe + 24, opt.data(), optSize)) {
        Close();
        return false;
    }
    std::size_t countPos = 0;
    std::size_t dirPos = 0;
    switch (U16(opt.data())) {
    case 0x10B: // PE32
        countPos = 92;
        dirPos = 96;
        break;
    case 0x20B: // PE32+
        countPos = 108;
        dirPos = 112;
        break;
    default:
        Close();
        return false;
    }
    // The resource table is the third data directory.
    if (countPos + 4 > optSize || U32(&opt[countPos]) < 3 || dirPos + 3 * 8 > optSize) {
        Close();
        return false;
    }
    const std::uint32_t resRva = U32(&opt[dirPos + 16]);
    const std::uint32_t resSize = U32(&opt[dirPos + 20]);

    std::vector<std::uint8_t> table(sectionCount * 40);
    if (resRva == 0 || resSize == 0 || !ReadAt(pe + 24 + optSize, table.data(), table.size())) {
        Close();
        return false;
    }
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::uint8_t* s = &table[i * 40];
        FSections.push_back({U32(s + 12), U32(s + 8), U32(s + 20), U32(s + 16)});
    }
    // The resources reach to the end of the section that holds their root.
    for (const TSection& s : FSections) {
        if (resRva < s.VirtualAddress || resRva - s.VirtualAddress >= s.RawSize) continue;
        FRootOffset = static_cast<std::uint64_t>(s.RawOffset) + (resRva - s.VirtualAddress);
        const std::uint64_t end = static_cast<std::uint64_t>(s.RawOffset) + s.RawSize;
        if (FRootOffset >= FSize) break;
        FRootSize = (end < FSize ? end : FSize) - FRootOffset;
        break;
    }
    if (FRootSize < 16) {
        Close();
        return false;
    }
    return true;
}

bool TPeResources::FindEntry(std::uint32_t DirOffset, std::int64_t Id, std::uint32_t& Target) const {
    std::uint8_t head[16];
    if (!InResources(DirOffset, 16) || !ReadAt(FRootOffset + DirOffset, head, 16)) return false;
    const std::uint32_t count = static_cast<std::uint32_t>(U16(head + 12)) + U16(head + 14);
    const std::uint64_t first = static_cast<std::uint64_t>(DirOffset) + 16;
    if (count == 0 || !InResources(first, static_cast<std::uint64_t>(count) * 8)) return false;
    std::vector<std::uint8_t> entries(static_cast<std::size_t>(count) * 8);
    if (!ReadAt(FRootOffset + first, entries.data(), entries.size())) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t name = U32(&entries[i * 8]);
        if (Id < 0 || ((name & SubdirectoryBit) == 0 && name == static_cast<std::uint64_t>(Id))) {
            Target = U32(&entries[i * 8 + 4]);
            return true;
        }
    }
    return false;
}

std::string TPeResources::LoadString(std::uint32_t Id, std::size_t MaxChars) const {
    if (FFd < 0) return {};
    const std::uint32_t block = Id / 16 + 1;
    const std::uint32_t index = Id % 16;
    if (block > MaxStringBlock) return {};
    // type -> name (the block of 16 strings) -> language -> data entry
    std::uint32_t typeDir = 0;
    std::uint32_t nameDir = 0;
    std::uint32_t dataEntry = 0;
    if (!FindEntry(0, RtString, typeDir) || !(typeDir & SubdirectoryBit)) return {};
    if (!FindEntry(typeDir & ~SubdirectoryBit, block, nameDir) || !(nameDir & SubdirectoryBit)) return {};
    if (!FindEntry(nameDir & ~SubdirectoryBit, -1, dataEntry) || (dataEntry & SubdirectoryBit)) return {};

    std::uint8_t entry[16];
    if (!InResources(dataEntry, 16) || !ReadAt(FRootOffset + dataEntry, entry, 16)) return {};
    const std::uint32_t dataSize = U32(entry + 4);
    std::uint64_t data = 0;
    if (!RvaToOffset(U32(entry), dataSize, data)) return {};

    // Sixteen counted UTF-16 strings; skip to the wanted one.
    std::uint64_t pos = 0;
    for (std::uint32_t i = 0;; ++i) {
        std::uint8_t lenBytes[2];
        if (pos + 2 > dataSize || !ReadAt(data + pos, lenBytes, 2)) return {};
        const std::uint64_t len = U16(lenBytes);
        pos += 2;
        if (len * 2 > dataSize - pos) return {};
        if (i == index) {
            const std::uint64_t take = len < MaxChars ? len : MaxChars;
            std::vector<std::uint8_t> units(static_cast<std::size_t>(take * 2));
            if (!units.empty() && !ReadAt(data + pos, units.data(), units.size())) return {};
            return Utf16ToUtf8(units);
        }
        pos += len * 2;
    }
}
