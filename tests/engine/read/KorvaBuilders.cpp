#include "KorvaBuilders.h"

#include "engine/core/krvCrc.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/zip/krvZipRecords.h"

#include <cstring>

namespace korvatest {

void PutU16(std::string& Out, std::uint16_t V) {
    Out += static_cast<char>(V & 0xFF);
    Out += static_cast<char>(V >> 8);
}

void PutU32(std::string& Out, std::uint32_t V) {
    PutU16(Out, static_cast<std::uint16_t>(V & 0xFFFF));
    PutU16(Out, static_cast<std::uint16_t>(V >> 16));
}

namespace {

std::uint32_t Crc(const std::string& Data) {
    std::uint32_t c = 0xFFFFFFFF;
    UpdateCrc32Buf(Data.data(), std::ssize(Data), c);
    return c ^ 0xFFFFFFFF;
}

std::string Bytes(const std::uint8_t* P, std::size_t N) {
    return std::string(reinterpret_cast<const char*>(P), N);
}

} // namespace

std::string MakeZip(const std::vector<TZipItem>& Items, bool Central) {
    std::string out;
    std::string central;
    for (const TZipItem& item : Items) {
        TZipLocalHeader l;
        l.VersionNeeded = 20;
        l.Flags = item.Flags;
        l.DosDateTime = 0x5A8B6000;
        l.Crc = Crc(item.Data);
        l.CompressedSize = static_cast<std::uint32_t>(item.Data.size());
        l.UncompressedSize = item.UnpackedSize == 0xFFFFFFFF ? l.CompressedSize : item.UnpackedSize;
        l.NameLength = static_cast<std::uint16_t>(item.Name.size());
        TZipCentralHeader c;
        c.VersionMadeBy = 20;
        c.VersionNeeded = 20;
        c.Flags = l.Flags;
        c.DosDateTime = l.DosDateTime;
        c.Crc = l.Crc;
        c.CompressedSize = l.CompressedSize;
        c.UncompressedSize = l.UncompressedSize;
        c.NameLength = l.NameLength;
        c.CommentLength = static_cast<std::uint16_t>(item.Comment.size());
        c.ExternalAttr = item.ExternalAttr;
        c.LocalHeaderOffset = static_cast<std::uint32_t>(out.size());
        out += Bytes(l.Image().data(), TZipLocalHeader::Size) + item.Name + item.Data;
        central += Bytes(c.Image().data(), TZipCentralHeader::Size) + item.Name + item.Comment;
    }
    if (!Central) return out;
    TZipEndRecord e;
    e.EntriesOnDisk = static_cast<std::uint16_t>(Items.size());
    e.TotalEntries = e.EntriesOnDisk;
    e.CentralSize = static_cast<std::uint32_t>(central.size());
    e.CentralOffset = static_cast<std::uint32_t>(out.size());
    return out + central + Bytes(e.Image().data(), TZipEndRecord::Size);
}

std::string MakeTar(const std::vector<TTarItem>& Items) {
    std::string out;
    for (const TTarItem& item : Items) {
        char h[512] = {};
        std::memcpy(h, item.Name.data(), std::min<std::size_t>(item.Name.size(), 100));
        IntToOctField(0644, 8, true, h + 100);
        IntToOctField(0, 8, true, h + 108);
        IntToOctField(0, 8, true, h + 116);
        IntToOctField(item.Data.size(), 12, true, h + 124);
        IntToOctField(1600000000, 12, true, h + 136);
        h[156] = item.Type;
        std::memcpy(h + 157, item.Link.data(), std::min<std::size_t>(item.Link.size(), 100));
        std::memcpy(h + 257, "ustar", 6);
        std::memcpy(h + 263, "00", 2);
        IntToOctField(TarHeaderChecksum(h), 8, true, h + 148);
        out += std::string(h, 512) + item.Data;
        out.resize((out.size() + 511) / 512 * 512, '\0');
    }
    return out + std::string(1024, '\0');
}

std::string ArcEntry(std::uint8_t Method, const std::string& Name, const std::string& Data) {
    std::string h;
    h += '\x1A';
    h += static_cast<char>(Method);
    std::string name = Name;
    name.resize(13, '\0');
    h += name;
    PutU32(h, static_cast<std::uint32_t>(Data.size()));
    PutU16(h, 0x5A8B); // date
    PutU16(h, 0x6000); // time
    PutU16(h, 0x1234); // CRC-16
    if (Method != 1) PutU32(h, static_cast<std::uint32_t>(Data.size()));
    return h + Data;
}

std::string MakeZoo(const std::vector<std::string>& Names, const std::vector<int>& Next, int SystemId) {
    constexpr std::uint32_t tag = 0xFDC4A7DC;
    constexpr std::uint32_t first = 64;
    std::string out = "ZOO 2.10 Archive.\x1A";
    out.resize(20, '\0');
    PutU32(out, tag);
    PutU32(out, first);
    PutU32(out, static_cast<std::uint32_t>(-static_cast<std::int32_t>(first)));
    out.resize(first, '\0');
    auto entryPos = [&](std::size_t i) { return static_cast<std::uint32_t>(first + i * 64); };
    for (std::size_t i = 0; i <= Names.size(); ++i) {
        std::string e;
        PutU32(e, tag);
        e += '\x01';
        e += '\x00'; // stored
        const bool last = i == Names.size();
        std::uint32_t next = last ? 0 : entryPos(i + 1);
        if (!last && i < Next.size() && Next[i] >= 0) next = entryPos(static_cast<std::size_t>(Next[i]));
        PutU32(e, next);
        PutU32(e, 0); // data
        PutU16(e, 0x5A8B);
        PutU16(e, 0x6000);
        PutU16(e, 0x4321);
        PutU32(e, 10);
        PutU32(e, 10);
        e.resize(38, '\0');
        std::string name = last ? "" : Names[i];
        name.resize(13, '\0');
        e += name;
        if (SystemId >= 0) {
            e[4] = '\x02';
            PutU16(e, 4); // no long name, no folder, then the system id
            e.resize(58, '\0');
            PutU16(e, static_cast<std::uint16_t>(SystemId));
        }
        e.resize(64, '\0');
        out += e;
    }
    return out;
}

std::string MakeAce(std::uint8_t Host, const std::vector<std::string>& Names) {
    std::string out;
    PutU16(out, 0); // header CRC, not checked by the lister
    PutU16(out, 27);
    out += '\0';
    PutU16(out, 0);
    out += "**ACE**";
    out += '\x14';
    out += '\x14';
    out += static_cast<char>(Host);
    out.resize(31, '\0');
    for (const std::string& name : Names) {
        PutU16(out, 0);
        PutU16(out, static_cast<std::uint16_t>(31 + name.size()));
        out += '\x01';
        PutU16(out, 0);
        PutU32(out, 3);          // packed
        PutU32(out, 3);          // unpacked
        PutU32(out, 0x5A8B6000); // date
        PutU32(out, 0x20);       // attributes
        PutU32(out, 0);          // CRC
        PutU32(out, 0);          // method, level and parameters
        PutU16(out, 0);
        PutU16(out, static_cast<std::uint16_t>(name.size()));
        out += name + "abc";
    }
    return out;
}

void SealRar4Header(std::string& Out, std::size_t At) {
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(Out.data() + At + 2, static_cast<std::int64_t>(Out.size() - At - 2), crc);
    crc ^= 0xFFFFFFFF;
    Out[At] = static_cast<char>(crc & 0xFF);
    Out[At + 1] = static_cast<char>((crc >> 8) & 0xFF);
}

std::string MakeRar4(std::uint8_t Host, const std::vector<std::string>& Names) {
    std::string out("Rar!\x1A\x07\x00", 7);
    PutU16(out, 0);
    out += '\x73';
    PutU16(out, 0);
    PutU16(out, 13);
    out.resize(out.size() + 6, '\0');
    SealRar4Header(out, 7);
    for (const std::string& name : Names) {
        const std::size_t at = out.size();
        PutU16(out, 0);
        out += '\x74';
        PutU16(out, 0x8000); // a data area follows
        PutU16(out, static_cast<std::uint16_t>(32 + name.size()));
        PutU32(out, 3); // packed
        PutU32(out, 3); // unpacked
        out += static_cast<char>(Host);
        PutU32(out, 0);          // CRC
        PutU32(out, 0x5A8B6000); // date
        out += '\x1D';           // version
        out += '\x30';           // stored
        PutU16(out, static_cast<std::uint16_t>(name.size()));
        PutU32(out, 0x20);
        out += name;
        SealRar4Header(out, at);
        out += "abc";
    }
    return out;
}

std::string MakeHa(const std::vector<THaItem>& Items) {
    std::string out = "HA";
    PutU16(out, static_cast<std::uint16_t>(Items.size()));
    for (const THaItem& item : Items) {
        out += '\x20'; // version 2, stored
        PutU32(out, 3);
        PutU32(out, 3);
        PutU32(out, 0x11223344);
        PutU32(out, 1600000000);
        out += item.Path + '\0' + item.Name + '\0';
        out += '\x02';
        out += static_cast<char>(item.Machine);
        out += '\x20';
        out += "abc";
    }
    return out;
}

std::string Lha2Entry(const std::vector<std::string>& ExtHeaders, const std::string& Data, char Method) {
    std::string ext;
    for (const std::string& x : ExtHeaders) {
        ext += x;
        // the size of the next extended header closes each one; it is patched below
        PutU16(ext, 0);
    }
    // Sizes: each header is type + data + 2; the first size sits in the fixed part.
    std::vector<std::uint16_t> sizes;
    for (const std::string& x : ExtHeaders)
        sizes.push_back(static_cast<std::uint16_t>(x.size() + 2));
    std::size_t at = 0;
    for (std::size_t i = 0; i < ExtHeaders.size(); ++i) {
        at += ExtHeaders[i].size();
        const std::uint16_t next = i + 1 < sizes.size() ? sizes[i + 1] : 0;
        ext[at] = static_cast<char>(next & 0xFF);
        ext[at + 1] = static_cast<char>(next >> 8);
        at += 2;
    }
    std::string h;
    PutU16(h, static_cast<std::uint16_t>(26 + ext.size()));
    h += std::string("-lh") + Method + "-";
    PutU32(h, static_cast<std::uint32_t>(Data.size()));
    PutU32(h, static_cast<std::uint32_t>(Data.size()));
    PutU32(h, 1600000000);
    h += '\x20';
    h += '\x02';
    PutU16(h, 0xBEEF); // CRC-16
    h += 'U';
    PutU16(h, sizes.empty() ? 0 : sizes[0]);
    return h + ext + Data;
}

} // namespace korvatest
