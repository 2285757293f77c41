// Format detection by content: the archive type of a file and where the archive begins in
// it, for plain archives and for archives inside self-extracting executables.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvDates.h"
#include "engine/core/krvHeaderDamage.h"
#include "engine/core/krvRegisterKorva.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr std::int64_t MinArchiveSize = 20;
constexpr std::int64_t HeadSize = 32767;
// Bits of the compress flags byte: the code width (9 to 16) and two that must be clear.
constexpr std::uint8_t CompressWidthBits = 0x1F;
constexpr std::uint8_t CompressReservedBits = 0x60;

// Files below the size other types need can still be compress output (3 bytes for an empty
// file): its magic and a valid flags byte.
bool IsSmallCompressFile(TStream32& Stream) {
    std::uint8_t h[3] = {};
    if (ReadAt(Stream, 0, h, sizeof h) != sizeof h || h[0] != 0x1F || h[1] != 0x9D) return false;
    const int width = h[2] & CompressWidthBits;
    return (h[2] & CompressReservedBits) == 0 && width >= 9 && width <= 16;
}

bool IsRecognised(TArcType Type) {
    return !UnknownArcTypes.Contains(Type);
}

bool HasAceMark(std::span<const std::uint8_t> Head) {
    return Head.size() >= 14 && std::memcmp(&Head[7], "**ACE**", 7) == 0;
}

bool HasJarExtension(const std::string& FileName) {
    const std::size_t slash = FileName.rfind('/');
    const std::string name = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
    const std::size_t dot = LastDotPos(name);
    if (dot >= name.size()) return false;
    return SameTextNoCase(std::string_view(name).substr(dot), ".jar");
}

// The file's creation time as a packed DOS date-time (its modification time where the file
// system keeps no creation time); 0 when neither can be read.
std::uint32_t FileCreationDosTime(const std::string& FileName) {
    struct statx stx {};
    if (::statx(AT_FDCWD, FileName.c_str(), 0, STATX_BTIME | STATX_MTIME, &stx) != 0) return 0;
    if (stx.stx_mask & STATX_BTIME) return FileTimeToDosTime(static_cast<std::time_t>(stx.stx_btime.tv_sec));
    if (stx.stx_mask & STATX_MTIME) return FileTimeToDosTime(static_cast<std::time_t>(stx.stx_mtime.tv_sec));
    return 0;
}

// Where the lha archive of a DOS .COM program (it begins with a short or near jump over its
// data) lies behind its code, or -1. The code holds the decoder's method names too: only a
// whole header counts.
std::int64_t LhaInComProgram(TStream32& Stream, std::span<const std::uint8_t> Head, std::int64_t Size) {
    if (Head.empty() || (Head[0] != 0xEB && Head[0] != 0xE9)) return -1;
    const TReadAtFunc read = StreamReader(Stream);
    for (std::size_t p = 2; p + 5 <= Head.size(); ++p)
        if (Head[p] == '-' && Head[p + 1] == 'l' && Head[p + 2] == 'h' && Head[p + 4] == '-' &&
            PlausibleLhaHeader(read, static_cast<std::int64_t>(p) - 2, Size))
            return static_cast<std::int64_t>(p) - 2;
    return -1;
}

} // namespace

TArcType TRegisterKorva::DetectArcType(const std::string& FileName) {
    ZipCommentPos = 0;
    ZipOffsetCorrection = 0;
    if (FileName.empty()) return atNA;
    ArchiveOffset = -1;
    HeaderState = 0;

    // Only regular files are read: opening a pipe or a device could wait for ever.
    struct stat st {};
    const bool regular = ::stat(FileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    std::uint8_t status = fsOpenFailed;
    std::unique_ptr<TFileStream32> file;
    if (regular) file = std::make_unique<TFileStream32>(FileName, fmOpenRead | fmShareDenyNone, status);
    TArcType result = atNA;
    if (status == fsOpenOk) {
        TFileStream32& stream = *file;
        ArchiveSize = stream.Size();
        if (ArchiveSize >= MinArchiveSize) {
            std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min(ArchiveSize, HeadSize)));
            head.resize(static_cast<std::size_t>(ReadAt(stream, 0, head.data(), std::ssize(head))));
            if (head.size() >= 2 && head[0] == 'M' && head[1] == 'Z')
                result = DetectExecutable(stream, head, FileName);
            else
                result = DetectPlain(stream, head);
        } else if (IsSmallCompressFile(stream)) {
            result = atGZip;
        }
    } else {
        ArchiveSize = 0;
    }

    if (IsRecognised(result)) {
        if (ArchiveOffset < 0) ArchiveOffset = 0;
        if (result == atZip && HasJarExtension(FileName)) result = atJar;
        ArchiveDate = FileCreationDosTime(FileName);
    } else {
        ArchiveOffset = 0;
    }
    return result;
}

TArcType TRegisterKorva::DetectPlain(TStream32& Stream, std::span<const std::uint8_t> Head) {
    // An lzh archive behind a block of 128 zero bytes.
    if (!Head.empty() && Head[0] == 0 && Head.size() > 134 && Head[130] == '-' && Head[131] == 'l' &&
        Head[134] == '-' && PlausibleLhaHeader(StreamReader(Stream), 128, ArchiveSize)) {
        ArchiveOffset = 128;
        return atLha;
    }
    // A tar header's checksum is a far stronger sign than the two bytes its first name
    // begins with, so tar comes before the signatures.
    if (ProbeTar(Stream)) return atTar;

    const std::int64_t zeros =
        std::find_if(Head.begin(), Head.end(), [](std::uint8_t c) { return c != 0; }) - Head.begin();
    TArcType result = zeros < std::ssize(Head) ? ClassifySignature(Stream, zeros, false) : atNA;
    switch (result) {
    case atFileOpenErr:
    case atUnknown:
        return result;
    case atJar:
    case atZip:
    case atZipExe: {
        const std::int64_t dir = LocateZipDirectory(Stream);
        ArchiveOffset = dir;
        // The last disk of a spanned set may hold the end record alone, the directory lying
        // on the disks before it.
        if (zeros == 0 && Head.size() >= 4 && GetU32LE(Head.data()) == ZipEndSig &&
            (HeaderState & htEnding) && TZipEndRecord::FromBytes(EndRecord.data()).ThisDisk != 0)
            return atZipMV;
        if (dir <= 0 && !(HeaderState & htLocal)) {
            ArchiveOffset = zeros;
            HeaderState |= htLocal;
        }
        return result;
    }
    case atZipMV:
        ArchiveOffset = LocateZipDirectory(Stream);
        return result;
    default:
        break;
    }
    if (IsRecognised(result)) return HasAceMark(Head) ? atAce : result;

    if (HasAceMark(Head)) return atAce;
    if (ProbeUuencode(Stream)) return atUUE;
    const std::int64_t dir = LocateZipDirectory(Stream);
    if (dir > 0) {
        ArchiveOffset = dir;
        return TZipEndRecord::FromBytes(EndRecord.data()).ThisDisk == 0 ? atZip : atZipMV;
    }
    if (const std::int64_t at = LhaInComProgram(Stream, Head, ArchiveSize); at >= 0) {
        ArchiveOffset = at;
        return atLhaExe;
    }
    return atNA;
}

TArcType TRegisterKorva::DetectExecutable(TStream32& Stream, std::span<const std::uint8_t> Head,
                                          const std::string& FileName) {
    TArcType result = ProbeStubOffsets(Stream);
    if (IsRecognised(result)) return result;
    result = ProbeResourceOffsets(Stream, FileName);
    if (result != atNA) return result;
    result = ProbeDosImageEnd(Stream, Head);
    if (IsRecognised(result)) return result;

    std::fill_n(EndRecord.begin(), 4, 0);
    const std::int64_t dir = LocateZipDirectory(Stream);
    ArchiveOffset = dir;
    if (dir > 0) return atZipExe;
    return MarkerScan(Stream, 17000);
}
