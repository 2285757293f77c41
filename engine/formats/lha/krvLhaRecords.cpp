#include "engine/formats/lha/krvLhaRecords.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvGbls.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

constexpr int Fixed = 22;
constexpr int MaxExtHeaders = 1024;
constexpr std::uint8_t ExtHeaderCrc = 0x00;
constexpr std::uint8_t ExtName = 0x01;
constexpr std::uint8_t ExtFolder = 0x02;
constexpr std::uint8_t ExtCodePage = 0x46;
constexpr std::uint8_t ExtUnixMode = 0x50;
constexpr std::uint32_t CodePageUtf8 = 65001;

bool ReadExact(const TReadAtFunc& Read, std::int64_t At, void* Buffer, std::int64_t Count) {
    return Count >= 0 && Read(At, Buffer, Count) == Count;
}

std::string ReadBytes(const TReadAtFunc& Read, std::int64_t At, std::int64_t Count, bool& Ok) {
    std::string out(static_cast<std::size_t>(Count), '\0');
    Ok = ReadExact(Read, At, out.data(), Count);
    return out;
}

// The folders of a stored name separated by '/'. A UTF-8 name has no double-byte characters:
// 0xFF and '\\' are separators wherever they stand; in other names the second byte of a
// Shift-JIS pair is part of its character.
std::string SeparateFolders(const std::string& Name, bool Utf8) {
    if (!Utf8) return FixPathSlashes(Name);
    std::string out = Name;
    for (char& c : out)
        if (c == '\\' || c == '\xFF') c = '/';
    return out;
}

// Whether the header of Length bytes at At has the CRC-16 stored at CrcAt (the CRC being taken
// with those two bytes 0).
bool HeaderCrcMatches(const TReadAtFunc& Read, std::int64_t At, std::int64_t Length, std::int64_t CrcAt) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(Length));
    if (CrcAt < At || CrcAt + 2 > At + Length || !ReadExact(Read, At, bytes.data(), Length)) return false;
    std::uint8_t* field = bytes.data() + (CrcAt - At);
    const std::uint16_t stored = GetU16LE(field);
    field[0] = field[1] = 0;
    std::uint16_t crc = 0;
    UpdateCrc16Buf(bytes.data(), Length, crc);
    return crc == stored;
}

} // namespace

char TLhaHeader::MethodChar() const {
    if (Method.size() != 5 || Method[0] != '-' || Method[4] != '-' || Method[1] != 'l' || Method[2] != 'h')
        return 0;
    return Method[3];
}

std::int64_t LhaFirstHeader(const TReadAtFunc& Read, std::int64_t Offset) {
    std::uint8_t h[Fixed];
    if (!ReadExact(Read, Offset, h, Fixed)) return Offset;
    // A level-2 header of 256, 512... bytes also begins with a 0.
    const bool level2 = h[20] == 2 && h[1] != 0 && h[2] == '-';
    return h[0] == 0 && !level2 ? Offset + 128 : Offset;
}

TLhaRead ReadLhaHeader(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size, TLhaHeader& H) {
    H = TLhaHeader{};
    H.HeaderPos = At;
    std::uint8_t h[Fixed + 5];
    if (At >= Size) return TLhaRead::End;
    if (!ReadExact(Read, At, h, Fixed)) {
        // The end mark is a single 0; anything else that ends here is a header cut short.
        return ReadExact(Read, At, h, 1) && h[0] == 0 ? TLhaRead::End : TLhaRead::Bad;
    }
    H.Level = h[20];
    // A header size of 0 ends the archive (a level-2 size is 16 bits).
    if (h[0] == 0 && (H.Level != 2 || h[1] == 0)) return TLhaRead::End;
    // Level 3 (32-bit header fields) is not read: the archive cannot be walked past it.
    if (H.Level > 2) return TLhaRead::Bad;
    H.Method.assign(reinterpret_cast<const char*>(h + 2), 5);
    H.IsDirectory = H.Method == "-lhd-";
    const std::int64_t packedField = GetU32LE(h + 7);
    H.UnpackedSize = GetU32LE(h + 11);
    H.Time = GetU32LE(h + 15);
    H.Attr = h[19];

    std::int64_t extPos = 0;
    std::int64_t extLimit = Size; // extended headers must end before this
    std::uint16_t extSize = 0;
    std::int64_t dataPos = 0;
    bool ok = true;
    if (H.Level < 2) {
        const std::int64_t headerEnd = At + h[0] + 2;
        const int nameLen = h[21];
        // The name and the CRC must fit the header; level 1 adds the host and a size field.
        if (Fixed + nameLen + (H.Level == 1 ? 5 : 2) > h[0] + 2 || headerEnd > Size) return TLhaRead::Bad;
        // The checksum of byte 1 covers the rest of the base header.
        bool whole = true;
        const std::string base = ReadBytes(Read, At + 2, h[0], whole);
        unsigned sum = 0;
        for (const char c : base)
            sum += static_cast<unsigned char>(c);
        H.HeaderDamaged = !whole || static_cast<std::uint8_t>(sum) != h[1];
        H.Name = ReadBytes(Read, At + Fixed, nameLen, ok);
        std::uint8_t tail[5];
        if (!ok || !ReadExact(Read, At + Fixed + nameLen, tail, H.Level == 1 ? 3 : 2)) return TLhaRead::Bad;
        H.Crc = GetU16LE(tail);
        if (H.Level == 1) {
            H.Host = tail[2];
            if (!ReadExact(Read, headerEnd - 2, tail, 2)) return TLhaRead::Bad;
            extSize = GetU16LE(tail);
        }
        extPos = headerEnd;
        dataPos = headerEnd;
        // Level 1's extended headers lie inside its packed size.
        if (!CheckedAdd(headerEnd, packedField, H.NextPos)) return TLhaRead::Bad;
        extLimit = std::min(H.NextPos, Size);
    } else {
        const std::int64_t total = GetU16LE(h);
        if (total < Fixed + 4 || !ReadExact(Read, At + Fixed - 1, h + Fixed - 1, 5)) return TLhaRead::Bad;
        H.Crc = GetU16LE(h + 21);
        H.Host = h[23];
        extSize = GetU16LE(h + 24);
        extPos = At + 26;
        // Some writers leave extended headers out of the header size: they are read up to
        // the end of the file.
        extLimit = Size;
        // The data begin where the header size says, however long the extended headers are
        // (unless they run past it, as OS-9's lha writes them).
        dataPos = At + total;
        H.UnixTime = true;
    }

    std::string folder;
    std::int64_t extTotal = 0;
    std::int64_t crcAt = -1; // the header CRC's field, when there is one
    std::vector<std::uint8_t> ext;
    bool named = false, foldered = false;
    for (int count = 0; extSize != 0; ++count) {
        if (count >= MaxExtHeaders || extSize < 3 || extPos + extSize > extLimit) return TLhaRead::Bad;
        ext.resize(extSize);
        if (!ReadExact(Read, extPos, ext.data(), extSize)) return TLhaRead::Bad;
        const std::string data(reinterpret_cast<const char*>(ext.data() + 1), extSize - 3u);
        // A header holds one name and one folder: a second is damage (another header's type
        // byte changed into one of these).
        if ((ext[0] == ExtName && std::exchange(named, true)) ||
            (ext[0] == ExtFolder && std::exchange(foldered, true)))
            H.ExtensionsBad = true;
        if (ext[0] == ExtName) H.Name = data;
        if (ext[0] == ExtFolder) folder = data;
        if (ext[0] == ExtHeaderCrc && data.size() >= 2) crcAt = extPos + 1;
        if (ext[0] == ExtCodePage && data.size() >= 4 && GetU32LE(ext.data() + 1) == CodePageUtf8)
            H.NameIsUtf8 = true;
        if (ext[0] == ExtUnixMode && data.size() >= 2) H.Mode = GetU16LE(ext.data() + 1);
        extTotal += extSize;
        extPos += extSize;
        extSize = GetU16LE(ext.data() + ext.size() - 2);
    }
    if (H.Level == 2) {
        // The extended headers fill the header, but for padding zeros (a writer adds one so that
        // the size's low byte is not 0): anything else there is one cut off by a damaged size.
        if (extPos < dataPos) {
            bool whole = true;
            const std::string rest = ReadBytes(Read, extPos, dataPos - extPos, whole);
            H.ExtensionsBad = H.ExtensionsBad || !whole || rest.find_first_not_of('\0') != std::string::npos;
        }
        dataPos = std::max(dataPos, extPos);
        if (dataPos > Size || !CheckedAdd(dataPos, packedField, H.NextPos)) return TLhaRead::Bad;
        if (crcAt >= 0) H.HeaderDamaged = !HeaderCrcMatches(Read, At, dataPos - At, crcAt);
    }
    if (H.Level == 1) {
        dataPos += extTotal;
        if (extTotal > packedField) return TLhaRead::Bad;
        H.PackedSize = packedField - extTotal;
    } else {
        H.PackedSize = packedField;
    }
    H.DataPos = dataPos;
    H.NameIsUtf8 = H.NameIsUtf8 || H.Host == LhaHostUnix;

    // Folders are separated by '\\', '/' or 0xFF.
    H.Name = SeparateFolders(H.Name, H.NameIsUtf8);
    if (!folder.empty()) {
        folder = SeparateFolders(folder, H.NameIsUtf8);
        if (folder.back() != '/') folder += '/';
        H.Name = folder + H.Name;
    }
    // Unix lha keeps a symbolic link as "name|target" (the target may be in the folder part),
    // in a folder entry whose Unix mode, when given, is a link's. Any other entry may have '|'
    // in its name: it is an ordinary file or folder.
    const std::uint16_t type = H.Mode & S_IFMT;
    const bool linkMode = type == S_IFLNK || (type == 0 && H.IsDirectory);
    if (const std::size_t bar = H.Name.find('|'); linkMode && bar != std::string::npos) {
        H.IsLink = true;
        H.LinkTarget = H.Name.substr(bar + 1);
    }
    return TLhaRead::Ok;
}

std::int64_t FindLhaHeader(const TReadAtFunc& Read, std::int64_t From, std::int64_t Size) {
    // The method id "-l??-" stands 2 bytes into a header.
    return FindHeader(Read, From, Size, "-l", 2, [&](std::int64_t At) {
        TLhaHeader h;
        return ReadLhaHeader(Read, At, Size, h) == TLhaRead::Ok && !h.HeaderDamaged && h.NextPos <= Size;
    });
}

std::string LhaNameAt(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size) {
    std::uint8_t h[Fixed];
    if (!ReadExact(Read, At, h, Fixed) || h[2] != '-' || h[3] != 'l' || h[6] != '-' || h[20] > 1) return {};
    return NameBytesAt(Read, At + Fixed, h[21], Size);
}

void FollowLhaHeader(const TReadAtFunc& Read, std::int64_t Size, TLhaHeader& H) {
    const auto find = [&](std::int64_t From) { return FindLhaHeader(Read, From, Size); };
    const auto isNext = [&](std::int64_t At) {
        TLhaHeader next;
        const TLhaRead r = ReadLhaHeader(Read, At, Size, next);
        // Every archive ends with an end mark: the end of the file where a header must be is a
        // cut. An end mark followed by a method id, or with a whole header behind it, is a
        // header whose size was damaged to 0.
        if (r == TLhaRead::Ok) return true;
        if (r != TLhaRead::End || At >= Size) return false;
        // Nor is a 0 inside a whole header (at most 64 KiB long) that begins between the data
        // and it: the sizes put the next header a few bytes into that one.
        for (std::int64_t x = find(std::max(H.DataPos, At - 0xFFFF)); x >= 0 && x < At; x = find(x + 1)) {
            TLhaHeader covering;
            if (ReadLhaHeader(Read, x, Size, covering) == TLhaRead::Ok && covering.DataPos > At) return false;
        }
        std::uint8_t id[5] = {};
        const bool methodId = Read(At + 2, id, 5) == 5 && id[0] == '-' && id[1] == 'l' && id[4] == '-';
        return !methodId && (At + 1 >= Size || find(At + 1) < 0);
    };
    FollowHeaders(
        H.DataPos, H.NextPos, Size, isNext, find, [&](std::int64_t At) { return LhaNameAt(Read, At, Size); },
        H);
}

int LhaLevelFor(const std::string& StoredName) {
    return StoredName.size() <= LhaLevel0MaxName && NameBytesOf(StoredName) == TNameBytes::Ascii ? 0 : 2;
}

std::vector<std::uint8_t> LhaHeaderBytes(const TLhaHeader& H) {
    std::vector<std::uint8_t> out(Fixed, 0);
    std::memcpy(out.data() + 2, H.Method.data(), std::min<std::size_t>(H.Method.size(), 5));
    PutU32LE(out.data() + 7, static_cast<std::uint32_t>(H.PackedSize));
    PutU32LE(out.data() + 11, static_cast<std::uint32_t>(H.UnpackedSize));
    PutU32LE(out.data() + 15, H.Time);
    out[19] = H.Attr;
    out[20] = static_cast<std::uint8_t>(H.Level);
    std::uint8_t crc[2];
    PutU16LE(crc, H.Crc);
    if (H.Level == 0) {
        std::string name = H.Name;
        std::replace(name.begin(), name.end(), '/', '\\');
        out[21] = static_cast<std::uint8_t>(name.size());
        out.insert(out.end(), name.begin(), name.end());
        out.insert(out.end(), crc, crc + 2);
        out[0] = static_cast<std::uint8_t>(out.size() - 2);
        unsigned sum = 0;
        for (std::size_t i = 2; i < out.size(); ++i)
            sum += out[i];
        out[1] = static_cast<std::uint8_t>(sum);
        return out;
    }
    // Level 2: the CRC and host in the fixed part, then the name and folder headers. Byte 19
    // is reserved there and holds 0x20, which readers take for a sign of an lzh header.
    std::string folder = H.Name;
    std::string name;
    if (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    } else {
        const std::size_t slash = folder.rfind('/');
        name = slash == std::string::npos ? folder : folder.substr(slash + 1);
        folder = slash == std::string::npos ? std::string() : folder.substr(0, slash);
    }
    if (!folder.empty()) folder += '/';
    std::replace(folder.begin(), folder.end(), '/', '\xFF');
    out[19] = 0x20;
    out.resize(Fixed - 1);
    out.insert(out.end(), crc, crc + 2);
    out.push_back(LhaHostUnix);
    const auto addExt = [&out](std::uint8_t Type, const std::string& Data) {
        std::uint8_t size[2];
        PutU16LE(size, static_cast<std::uint16_t>(Data.size() + 3));
        out.insert(out.end(), size, size + 2); // the size of this one, in the field before it
        out.push_back(Type);
        out.insert(out.end(), Data.begin(), Data.end());
    };
    // The header CRC comes first, as other writers put it; it is filled in at the end.
    const std::size_t crcAt = out.size() + 3;
    addExt(ExtHeaderCrc, std::string(2, '\0'));
    addExt(ExtName, name);
    if (!folder.empty()) addExt(ExtFolder, folder);
    if (H.Mode != 0) {
        std::string mode(2, '\0');
        PutU16LE(reinterpret_cast<std::uint8_t*>(mode.data()), H.Mode);
        addExt(ExtUnixMode, mode);
    }
    out.push_back(0);
    out.push_back(0); // no more extended headers
    if ((out.size() & 0xFF) == 0) out.push_back(0);
    PutU16LE(out.data(), static_cast<std::uint16_t>(out.size()));
    std::uint16_t headerCrc = 0;
    UpdateCrc16Buf(out.data(), static_cast<std::int64_t>(out.size()), headerCrc);
    PutU16LE(out.data() + crcAt, headerCrc);
    return out;
}
