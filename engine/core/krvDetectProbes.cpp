// The probes of format detection: places where self-extracting executables keep their
// archive, the scan for archive markers, and the uuencode and tar tests.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvHeaderDamage.h"
#include "engine/core/krvRegisterKorva.h"
#include "platform/PeResources.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

bool Starts(const std::uint8_t* B, const char* Text) {
    return std::memcmp(B, Text, std::strlen(Text)) == 0;
}

// A decimal number of at most 18 digits; false for anything else.
bool ParseDecimal(const std::string& Text, std::int64_t& Value) {
    if (Text.empty() || Text.size() > 18) return false;
    Value = 0;
    for (char c : Text) {
        if (c < '0' || c > '9') return false;
        Value = Value * 10 + (c - '0');
    }
    return true;
}

} // namespace

void TRegisterKorva::SetZipExeOffset(TStream32& Stream, std::int64_t Found) {
    const std::int64_t dir = LocateZipDirectory(Stream);
    if (dir > 0) {
        ArchiveOffset = dir;
    } else {
        ArchiveOffset = Found;
        HeaderState = htLocal;
    }
}

TArcType TRegisterKorva::ProbeStubOffsets(TStream32& Stream) {
    std::uint8_t b[6];
    for (std::int64_t offset : {6674, 6867, 7716, 8601, 13138}) {
        if (ArchiveSize < offset + 3) break;
        if (ReadAt(Stream, offset, b, 2) != 2 || b[0] != 0x1A) continue;
        if (b[1] == 0x08 || b[1] == 0x09) {
            ArchiveOffset = offset;
            return atArcExe;
        }
        if (b[1] == 0x0A || b[1] == 0x0B) {
            ArchiveOffset = offset;
            return atPakExe;
        }
    }
    if (ArchiveSize >= 1950 && ReadAt(Stream, 1947, b, 6) == 6 && Starts(b, "-lh") && b[4] == '-' &&
        PlausibleLhaHeader(StreamReader(Stream), 1945, ArchiveSize)) {
        ArchiveOffset = 1945;
        return atLhaExe;
    }
    for (std::int64_t offset : {7612, 25661}) {
        if (ArchiveSize < offset + 5) continue;
        if (ReadAt(Stream, offset, b, 4) == 4 && Starts(b, "PK\x03\x04")) {
            SetZipExeOffset(Stream, offset);
            return atZipExe;
        }
    }
    return atNA;
}

TArcType TRegisterKorva::ProbeResourceOffsets(TStream32& Stream, const std::string& FileName) {
    TPeResources module;
    if (!module.Open(FileName)) return atNA;
    for (std::uint32_t id = 1; id <= 7; ++id) {
        std::int64_t offset = 0;
        if (!ParseDecimal(module.LoadString(id, 32), offset) || offset >= ArchiveSize) break;
        std::uint8_t b[14];
        if (ReadAt(Stream, offset, b, 14) != 14) continue;
        if (Starts(b + 7, "**ACE**")) {
            ArchiveOffset = offset;
            return atAceExe;
        }
        const TArcType type = ClassifySignature(Stream, offset, true);
        if (type == atNA) continue;
        if (ZipFamilyArcTypes.Contains(type))
            SetZipExeOffset(Stream, offset);
        else
            ArchiveOffset = offset;
        return type;
    }
    return atNA;
}

TArcType TRegisterKorva::ProbeDosImageEnd(TStream32& Stream, std::span<const std::uint8_t> Head) {
    if (Head.size() < 6) return atNA;
    const std::int64_t lastPage = GetU16LE(&Head[2]);
    const std::int64_t pages = GetU16LE(&Head[4]);
    // A last page count of 0 means a full last page.
    std::int64_t offset = (pages - 1) * 512 + (lastPage == 0 ? 512 : lastPage);
    if (pages == 0 || offset <= 0 || offset >= ArchiveSize - 4) return atNA;
    std::uint8_t b[4];
    if (ReadAt(Stream, offset, b, 4) == 4 && b[2] == 0x60 && b[3] == 0xEA) offset += 2;
    ArchiveOffset = offset;
    if (offset >= ArchiveSize - 4 || ReadAt(Stream, offset, b, 4) != 4 || Starts(b, "PK\x03\x04"))
        return atNA;
    const TArcType type = ClassifySignature(Stream, offset, true);
    if (ZipFamilyArcTypes.Contains(type)) SetZipExeOffset(Stream, offset);
    return type;
}

TArcType TRegisterKorva::MarkerScan(TStream32& Stream, std::int64_t Start) {
    constexpr std::int64_t scanBytes = 6 * 32768;
    if (Start >= ArchiveSize) return atNA;
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min(scanBytes, ArchiveSize - Start)));
    const std::int64_t n = ReadAt(Stream, Start, buf.data(), std::ssize(buf));
    const std::uint8_t* b = buf.data();
    for (std::int64_t p = 0; p < n; ++p) {
        const std::int64_t f = Start + p;
        const std::int64_t left = n - p;
        switch (b[p]) {
        case 'R':
            if (left >= 4 && Starts(b + p, "Rar!")) {
                ArchiveOffset = f;
                return f == 0 ? atRar : atRarExe;
            }
            break;
        case 0x60:
            // two arj headers in a row: the second one follows the first's header, CRC and
            // (empty) extended header
            if (left >= 4 && b[p + 1] == 0xEA) {
                const std::int64_t next = p + GetU16LE(b + p + 2) + 10;
                if (next + 2 <= n && b[next] == 0x60 && b[next + 1] == 0xEA) {
                    ArchiveOffset = f;
                    return f == 0 ? atArj : atArjExe;
                }
            }
            break;
        case 'P':
            if (left >= 8 && Starts(b + p, "PK\x03\x04") &&
                std::memcmp(b + p + 4, "\x74\x0B\x3D\x00", 4) != 0) {
                SetZipExeOffset(Stream, f);
                return Start == 0 ? atZip : atZipExe;
            }
            break;
        case '*':
            if (f >= 7 && f + 5 < ArchiveSize && left >= 5 && Starts(b + p + 1, "*ACE")) {
                ArchiveOffset = f - 7;
                return f == 7 ? atAce : atAceExe;
            }
            break;
        case '-':
            if (f >= 2 && f + 5 < ArchiveSize && left >= 5 && b[p + 1] == 'l' && b[p + 2] == 'h' &&
                b[p + 4] == '-' && PlausibleLhaHeader(StreamReader(Stream), f - 2, ArchiveSize)) {
                ArchiveOffset = f - 2;
                return f == 2 ? atLha : atLhaExe;
            }
            break;
        case 'B':
            if (left >= 8 && Starts(b + p, "BH\x05\x07") && !Starts(b + p + 4, "\x0F\x94\xC3\x84")) {
                ArchiveOffset = f;
                return f == 0 ? atBh : atBhExe;
            }
            break;
        default:
            break;
        }
    }
    return atNA;
}

bool TRegisterKorva::ProbeUuencode(TStream32& Stream) {
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::int64_t>(ArchiveSize, 5000)));
    const std::int64_t n = ReadAt(Stream, 0, buf.data(), std::ssize(buf));
    for (std::int64_t p = 0; p + 2 < n; ++p) {
        if (p > 0 && buf[p - 1] != '\n') continue;
        if (p + 7 > n) break;
        // "begin " and the file's mode: three or four octal digits.
        if (Starts(&buf[p], "begin ") && buf[p + 6] >= '0' && buf[p + 6] <= '7') {
            ArchiveOffset = 1;
            return true;
        }
    }
    return false;
}

bool TRegisterKorva::ProbeTar(TStream32& Stream) {
    constexpr std::int64_t block = 512;
    if (ArchiveSize < block + 1) return false;
    if (ReadAt(Stream, 0, HeaderBuffer.data(), block) != block) return false;
    std::int64_t offset = 0;
    if (HeaderBuffer[156] == 'V') {
        // a volume header: the archive's first member follows it
        offset = block;
        if (ArchiveSize - block < block || ReadAt(Stream, block, HeaderBuffer.data(), block) != block) {
            ArchiveOffset = -1;
            return false;
        }
    }
    if (IsTarHeaderValid(HeaderBuffer.data())) {
        ArchiveOffset = offset;
        return true;
    }
    ArchiveOffset = -1;
    return false;
}
