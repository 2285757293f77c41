// Locating a zip archive's directory: the end record near the end of the file, the first
// central record it points to (also when something such as a self-extractor stub was put in
// front of the archive), and the first local header.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/formats/zip/krvZipRecords.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// The end record and the longest comment it can carry.
constexpr std::int64_t EndSearchWindow = TZipEndRecord::Size + 65535;
// How far from the start a local header is looked for when there is no directory.
constexpr std::int64_t LocalScanBytes = 4 * 32768;

// Reads a central record at Pos; true when all 46 bytes were there (Found tells whether they
// carry a central signature).
bool ReadCentral(TStream32& Stream, std::int64_t Pos, std::uint8_t* Record, bool& Found, bool& Encrypted) {
    Found = false;
    Encrypted = false;
    if (ReadAt(Stream, Pos, Record, TZipCentralHeader::Size) != TZipCentralHeader::Size) return false;
    Found = TRegisterKorva::ZipHeaderKind(GetU32LE(Record), zkCentral, Encrypted) == zkCentral;
    return true;
}

// An archive too large for the end record's fields keeps the directory's size and offset in
// a zip64 end record, which a locator just in front of the end record points to (or which
// lies just in front of the locator when something was put in front of the archive).
bool ReadZip64Directory(TStream32& Stream, std::int64_t EndPos, std::int64_t& Offset, std::int64_t& Size,
                        std::int64_t& RecordPos, std::uint64_t& Entries) {
    constexpr auto locatorSize = static_cast<std::int64_t>(TZip64Locator::Size);
    constexpr auto recordSize = static_cast<std::int64_t>(TZip64EndRecord::Size);
    constexpr std::uint64_t limit = std::numeric_limits<std::int64_t>::max();
    std::uint8_t bytes[TZip64EndRecord::Size];
    if (ReadAt(Stream, EndPos - locatorSize, bytes, locatorSize) != locatorSize) return false;
    const TZip64Locator locator = TZip64Locator::FromBytes(bytes);
    if (locator.Signature != Zip64LocatorSig) return false;
    const std::uint64_t stored = locator.EndRecordOffset;
    for (std::int64_t pos :
         {stored <= limit ? static_cast<std::int64_t>(stored) : -1, EndPos - locatorSize - recordSize}) {
        if (ReadAt(Stream, pos, bytes, recordSize) != recordSize) continue;
        const TZip64EndRecord record = TZip64EndRecord::FromBytes(bytes);
        if (record.Signature != Zip64EndSig) continue;
        if (record.CentralSize > limit || record.CentralOffset > limit) return false;
        Size = static_cast<std::int64_t>(record.CentralSize);
        Offset = static_cast<std::int64_t>(record.CentralOffset);
        Entries = record.TotalEntries;
        RecordPos = pos;
        return true;
    }
    return false;
}

} // namespace

std::int64_t TRegisterKorva::LocateZipDirectory(TStream32& Stream) {
    HeaderState = 0;
    ZipCommentPos = 0;
    ZipOffsetCorrection = 0;
    ZipDirectoryOffsetWrong = false;
    ZipDirectorySize = -1;
    ZipEntryCount = 0;
    ZipEndRecordPos = -1;
    const std::int64_t size = Stream.Size();
    if (size <= 0) return 0;

    // 1. The end record, searched backwards from the last place it can start.
    const std::int64_t window = std::min(size, EndSearchWindow);
    const std::int64_t base = size - window;
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(window));
    const std::int64_t got = ReadAt(Stream, base, tail.data(), window);
    std::int64_t found = -1;
    bool endEncrypted = false;
    for (std::int64_t i = got - TZipEndRecord::Size; i >= 0; --i) {
        if (tail[i] != 'P') continue;
        if (ZipHeaderKind(GetU32LE(&tail[i]), zkEnd, endEncrypted) == zkEnd) {
            found = i;
            break;
        }
    }
    if (found < 0) return 0;

    const std::span<std::uint8_t> end(&tail[found], TZipEndRecord::Size);
    if (endEncrypted) DecryptZipHeader(end, zkEnd);
    std::copy(end.begin(), end.end(), EndRecord.begin());
    const std::int64_t endPos = base + found;
    ZipEndRecordPos = endPos;
    const TZipEndRecord endFields = TZipEndRecord::FromBytes(EndRecord.data());
    ZipCommentPos =
        endFields.CommentLength != 0 ? endPos + static_cast<std::int64_t>(TZipEndRecord::Size) : 0;
    HeaderState |= htEnding;

    // 2. The first central record: where the end record says, else as far in front of the
    // end record as the directory is long (the archive was moved by what precedes it).
    std::int64_t storedOffset = endFields.CentralOffset;
    std::int64_t dirSize = endFields.CentralSize;
    std::int64_t dirEnd = endPos;
    ZipEntryCount = endFields.TotalEntries;
    if (storedOffset == 0xFFFFFFFF || dirSize == 0xFFFFFFFF || endFields.TotalEntries == 0xFFFF)
        ReadZip64Directory(Stream, endPos, storedOffset, dirSize, dirEnd, ZipEntryCount);
    ZipDirectorySize = dirSize;
    std::uint8_t central[TZipCentralHeader::Size];
    bool isCentral = false;
    bool centralEncrypted = false;
    std::int64_t dirPos = storedOffset;
    ReadCentral(Stream, storedOffset, central, isCentral, centralEncrypted);
    if (!isCentral) {
        if (!CheckedSub(dirEnd, dirSize, dirPos)) return 0;
        if (!ReadCentral(Stream, dirPos, central, isCentral, centralEncrypted)) return 0;
        if (isCentral && !CheckedSub(dirPos, storedOffset, ZipOffsetCorrection)) isCentral = false;
    }

    if (isCentral) {
        HeaderState |= htCentral;
        std::copy(std::begin(central), std::end(central), CentralRecord.begin());
        if (centralEncrypted) DecryptZipHeader(CentralRecord, zkCentral);
        // A directory found in front of where the end record says is one whose offset field is
        // wrong, unless the records' offsets are all as far off (the archive's front was cut
        // away): a correction that puts the first local header before the file is not one.
        if (ZipOffsetCorrection < 0 &&
            TZipCentralHeader::FromBytes(CentralRecord.data()).LocalHeaderOffset + ZipOffsetCorrection < 0) {
            ZipOffsetCorrection = 0;
            ZipDirectoryOffsetWrong = true;
        }
        std::int64_t localPos = -1;
        CheckedAdd(TZipCentralHeader::FromBytes(CentralRecord.data()).LocalHeaderOffset, ZipOffsetCorrection,
                   localPos);
        LocalRecord.fill(0);
        if (ReadAt(Stream, localPos, LocalRecord.data(), TZipLocalHeader::Size) == TZipLocalHeader::Size) {
            bool localEncrypted = false;
            if (ZipHeaderKind(GetU32LE(LocalRecord.data()), zkLocal, localEncrypted) == zkLocal) {
                HeaderState |= htLocal;
                if (localEncrypted) DecryptZipHeader(LocalRecord, zkLocal);
            }
        }
        return dirPos;
    }

    // 3. No directory: the first local header near the start of the file.
    const std::int64_t scan = std::min(size, LocalScanBytes);
    std::vector<std::uint8_t> head(static_cast<std::size_t>(scan));
    const std::int64_t n = ReadAt(Stream, 0, head.data(), scan);
    for (std::int64_t p = 0; p + 4 <= n; ++p) {
        bool encrypted = false;
        if (head[p] == 'P' && ZipHeaderKind(GetU32LE(&head[p]), zkLocal, encrypted) == zkLocal) {
            HeaderState = htLocal;
            return p;
        }
    }
    return -1;
}

std::int64_t TRegisterKorva::ZipDirectoryEnd(std::int64_t DirPos) const {
    std::int64_t end = -1;
    if (ZipDirectorySize < 0 || DirPos < 0 || !CheckedAdd(DirPos, ZipDirectorySize, end)) return -1;
    return end;
}
