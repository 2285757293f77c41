#include "engine/core/krvLhaRecords.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvGbls.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int Fixed = 22;
constexpr int MaxExtHeaders = 1024;
constexpr std::uint8_t ExtName = 1;
constexpr std::uint8_t ExtFolder = 2;

bool ReadExact(const TReadAtFunc& Read, std::int64_t At, void* Buffer, std::int64_t Count) {
    return Count >= 0 && Read(At, Buffer, Count) == Count;
}

std::string ReadBytes(const TReadAtFunc& Read, std::int64_t At, std::int64_t Count, bool& Ok) {
    std::string out(static_cast<std::size_t>(Count), '\0');
    Ok = ReadExact(Read, At, out.data(), Count);
    return out;
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
    if (!ReadExact(Read, At, h, Fixed)) return TLhaRead::End;
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
    std::vector<std::uint8_t> ext;
    for (int count = 0; extSize != 0; ++count) {
        if (count >= MaxExtHeaders || extSize < 3 || extPos + extSize > extLimit) return TLhaRead::Bad;
        ext.resize(extSize);
        if (!ReadExact(Read, extPos, ext.data(), extSize)) return TLhaRead::Bad;
        const std::string data(reinterpret_cast<const char*>(ext.data() + 1), extSize - 3u);
        if (ext[0] == ExtName) H.Name = data;
        if (ext[0] == ExtFolder) folder = data;
        extTotal += extSize;
        extPos += extSize;
        extSize = GetU16LE(ext.data() + ext.size() - 2);
    }
    if (H.Level == 2) {
        dataPos = std::max(dataPos, extPos);
        if (dataPos > Size || !CheckedAdd(dataPos, packedField, H.NextPos)) return TLhaRead::Bad;
    }
    if (H.Level == 1) {
        dataPos += extTotal;
        if (extTotal > packedField) return TLhaRead::Bad;
        H.PackedSize = packedField - extTotal;
    } else {
        H.PackedSize = packedField;
    }
    H.DataPos = dataPos;
    H.NameIsUtf8 = H.Host == LhaHostUnix;

    // Folders are separated by '\\', '/' or 0xFF.
    H.Name = FixPathSlashes(H.Name);
    if (!folder.empty()) {
        folder = FixPathSlashes(folder);
        if (folder.back() != '/') folder += '/';
        H.Name = folder + H.Name;
    }
    // Unix lha keeps a symbolic link as "name|target" (the target may be in the folder part).
    if (const std::size_t bar = H.Name.find('|'); bar != std::string::npos)
        H.LinkTarget = H.Name.substr(bar + 1);
    return TLhaRead::Ok;
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
    // Level 2: the CRC and host in the fixed part, then the name and folder headers.
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
    addExt(ExtName, name);
    if (!folder.empty()) addExt(ExtFolder, folder);
    out.push_back(0);
    out.push_back(0); // no more extended headers
    if ((out.size() & 0xFF) == 0) out.push_back(0);
    PutU16LE(out.data(), static_cast<std::uint16_t>(out.size()));
    return out;
}
