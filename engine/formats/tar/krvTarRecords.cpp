#include "engine/formats/tar/krvTarRecords.h"

#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvGbls.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t NameOffset = 0;
constexpr std::size_t NameLength = 100;
constexpr std::size_t ModeOffset = 100;
constexpr std::size_t SizeOffset = 124;
constexpr std::size_t MTimeOffset = 136;
constexpr std::size_t NumberLength = 12;
constexpr std::size_t ChecksumOffset = 148;
constexpr std::size_t TypeOffset = 156;
constexpr std::size_t LinkOffset = 157;
constexpr std::size_t MagicOffset = 257;
constexpr std::size_t PrefixOffset = 345;
constexpr std::size_t PrefixLength = 155;

std::string Field(const std::uint8_t* P, std::size_t Length) {
    const auto* c = reinterpret_cast<const char*>(P);
    return std::string(c, strnlen(c, Length));
}

bool AllZero(const std::uint8_t* P, std::size_t Length) {
    return std::all_of(P, P + Length, [](std::uint8_t b) { return b == 0; });
}

// A decimal number of a pax record: digits only, optionally negative (times), with a
// fraction that is dropped. False for anything else.
bool PaxNumber(const std::string& Text, std::int64_t& Value) {
    std::size_t i = 0;
    const bool negative = !Text.empty() && Text[0] == '-';
    if (negative) ++i;
    if (i >= Text.size()) return false;
    std::int64_t v = 0;
    for (; i < Text.size() && Text[i] != '.'; ++i) {
        if (Text[i] < '0' || Text[i] > '9') return false;
        if (!CheckedMul(v, 10, v) || !CheckedAdd(v, Text[i] - '0', v)) return false;
    }
    // A negative time with a fraction lies before its whole second: -1.5 is in second -2.
    const bool fraction = i < Text.size() && Text.find_first_not_of("0", i + 1) != std::string::npos;
    Value = negative ? -v - (fraction ? 1 : 0) : v;
    return true;
}

// Old GNU sparse headers: four (offset, length) pairs of 12-byte numbers in the header,
// 21 in each extension block that follows it while the "extended" byte is set.
constexpr std::size_t GnuSparseOffset = 386;
constexpr std::size_t GnuSparseInHeader = 4;
constexpr std::size_t GnuExtendedOffset = 482;
constexpr std::size_t GnuRealSizeOffset = 483;
constexpr std::size_t GnuSparseInBlock = 21;
constexpr std::size_t GnuBlockExtendedOffset = 504;

// Checks a sparse map against the file's size and the bytes stored for it; sets Refused when
// the chunks are out of order, overlap, run past the file or need more than is stored.
void CheckSparseMap(TTarSparse& Sparse, std::int64_t Stored) {
    std::int64_t end = 0, total = 0;
    for (const auto& [offset, length] : Sparse.Map) {
        std::int64_t chunkEnd = 0;
        if (offset < end || length < 0 || !CheckedAdd(offset, length, chunkEnd) ||
            chunkEnd > Sparse.RealSize || !CheckedAdd(total, length, total)) {
            Sparse.Refused = "damaged sparse map";
            return;
        }
        end = chunkEnd;
    }
    if (Sparse.RealSize < 0 || total > Stored) Sparse.Refused = "damaged sparse map";
}

// "A,B,C,D...": pairs of decimal numbers.
bool ParseSparseList(const std::string& Text, std::vector<std::pair<std::int64_t, std::int64_t>>& Map) {
    std::vector<std::int64_t> numbers;
    std::size_t p = 0;
    while (p <= Text.size()) {
        const std::size_t comma = std::min(Text.find(',', p), Text.size());
        std::int64_t v = 0;
        if (!PaxNumber(Text.substr(p, comma - p), v) || v < 0) return false;
        numbers.push_back(v);
        p = comma + 1;
    }
    if (numbers.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < numbers.size(); i += 2)
        Map.emplace_back(numbers[i], numbers[i + 1]);
    return true;
}

TTarKind KindOf(char Type, const std::string& Name) {
    switch (Type) {
    case 'S': // GNU sparse file
        return TTarKind::File;
    case '\0':
    case '0':
        // Old archives mark folders only by the trailing separator.
        return !Name.empty() && Name.back() == '/' ? TTarKind::Directory : TTarKind::File;
    case '7': // contiguous file
        return TTarKind::File;
    case '5':
    case 'D': // GNU dump directory: a folder with a listing as its data
        return TTarKind::Directory;
    case '1':
        return TTarKind::HardLink;
    case '2':
        return TTarKind::SymLink;
    default:
        return TTarKind::Other;
    }
}

} // namespace

std::int64_t TarNumber(const std::uint8_t* P, std::size_t Length) {
    if (Length == 0) return 0;
    if (P[0] & 0x80) {
        // Base 256, big-endian; a set sign bit (0xFF lead) is a negative number.
        if (P[0] & 0x40) return -1;
        std::uint64_t v = P[0] & 0x3F;
        for (std::size_t i = 1; i < Length; ++i) {
            if (v >> 55) return -1;
            v = (v << 8) | P[i];
        }
        return static_cast<std::int64_t>(v);
    }
    const std::uint64_t v = OctStrToInt(std::string_view(reinterpret_cast<const char*>(P), Length));
    return v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
               ? -1
               : static_cast<std::int64_t>(v);
}

std::int64_t TarTime(const std::uint8_t* Field, std::size_t Length) {
    if (Length >= 8 && Field[0] == 0xFF) {
        // Two's complement over the whole field: what lies before its last 8 bytes is sign.
        const std::size_t low = Length - 8;
        if (!std::all_of(Field, Field + low, [](std::uint8_t b) { return b == 0xFF; }) ||
            !(Field[low] & 0x80))
            return 0;
        std::uint64_t v = 0;
        for (std::size_t i = low; i < Length; ++i)
            v = (v << 8) | Field[i];
        return static_cast<std::int64_t>(v);
    }
    return std::max<std::int64_t>(TarNumber(Field, Length), 0);
}

bool PutTarTime(std::uint8_t* Field, std::size_t Length, std::int64_t Value) {
    if (Value >= 0) return PutTarNumber(Field, Length, Value);
    if (Length < 8) return false;
    auto v = static_cast<std::uint64_t>(Value);
    for (std::size_t i = Length; i-- > 0;) {
        Field[i] = static_cast<std::uint8_t>(v & 0xFF);
        v = i > Length - 8 ? v >> 8 : ~std::uint64_t{0};
    }
    return true;
}

bool PutTarNumber(std::uint8_t* Field, std::size_t Length, std::int64_t Value) {
    if (Value < 0 || Length < 2) return false;
    if (IntToOctField(static_cast<std::uint64_t>(Value), Length, true, reinterpret_cast<char*>(Field)))
        return true;
    // Base 256: the value in the bytes after the first, which keeps only the marker bit.
    std::uint64_t v = static_cast<std::uint64_t>(Value);
    if (Length - 1 < 8 && (v >> (8 * (Length - 1))) != 0) return false;
    for (std::size_t i = Length; i-- > 1;) {
        Field[i] = static_cast<std::uint8_t>(v & 0xFF);
        v >>= 8;
    }
    Field[0] = 0x80;
    return true;
}

void SetTarChecksum(std::uint8_t* Header) {
    std::memset(Header + TarChecksumOffset, ' ', 8);
    IntToOctField(TarHeaderChecksum(Header), 8, true, reinterpret_cast<char*>(Header + TarChecksumOffset));
}

std::string TarLongNameRecord(const std::string& Name, const std::uint8_t* ModeUidGid) {
    std::array<std::uint8_t, TarBlockSize> h{};
    static constexpr char longLink[] = "././@LongLink";
    std::memcpy(h.data(), longLink, sizeof longLink - 1);
    std::memcpy(h.data() + TarModeOffset, ModeUidGid + TarModeOffset, 24);
    std::memcpy(h.data() + TarMagicOffset, ModeUidGid + TarMagicOffset, 8 + 64);
    const std::int64_t size = static_cast<std::int64_t>(Name.size()) + 1;
    PutTarNumber(h.data() + TarSizeOffset, NumberLength, size);
    PutTarNumber(h.data() + TarMTimeOffset, NumberLength, 0);
    h[TarTypeOffset] = 'L';
    SetTarChecksum(h.data());
    std::string record(reinterpret_cast<const char*>(h.data()), h.size());
    record += Name;
    record.append(static_cast<std::size_t>(1 + TarPadding(size)), '\0');
    return record;
}

TTarWalker::TTarWalker(TTarReadAt ReadAt, std::int64_t Start, std::int64_t End)
    : FReadAt(std::move(ReadAt)), FPos(Start), FLimit(End) {}

void TTarWalker::SetPosition(std::int64_t Pos) {
    FPos = Pos;
    FEnd = TTarWalkEnd::Running;
    FEndBlock = false;
    ClearPending();
}

bool TTarWalker::Finish(TTarWalkEnd Reason) {
    FEnd = Reason;
    FEndAt = FPos;
    FPos = FLimit;
    return false;
}

bool TTarWalker::ReadRecordText(std::int64_t At, std::int64_t Size, std::string& Text) {
    Text.assign(static_cast<std::size_t>(Size), '\0');
    return Size == 0 || FReadAt(At, Text.data(), Size) == Size;
}

bool TTarWalker::ApplyPax(const std::string& Text) {
    // Records of the form "<length> <keyword>=<value>\n"; the length counts the whole record.
    std::size_t p = 0;
    while (p < Text.size()) {
        if (Text[p] == '\0') break; // padding after the last record
        const std::size_t space = Text.find(' ', p);
        if (space == std::string::npos || space == p) return false;
        std::size_t length = 0;
        for (std::size_t i = p; i < space; ++i) {
            if (Text[i] < '0' || Text[i] > '9' || length > Text.size()) return false;
            length = length * 10 + static_cast<std::size_t>(Text[i] - '0');
        }
        if (length <= space - p + 1 || length > Text.size() - p || Text[p + length - 1] != '\n') return false;
        const std::string record = Text.substr(space + 1, p + length - space - 2);
        p += length;
        const std::size_t eq = record.find('=');
        if (eq == std::string::npos) return false;
        const std::string key = record.substr(0, eq);
        const std::string value = record.substr(eq + 1);
        std::int64_t number = 0;
        if (key == "path") {
            FPaxPath = value;
        } else if (key == "linkpath") {
            FPaxLink = value;
        } else if (key == "size") {
            if (!PaxNumber(value, number) || number < 0) return false;
            FPaxSize = number;
        } else if (key == "mtime") {
            if (PaxNumber(value, number)) FPaxMTime = number;
        } else if (key.starts_with("GNU.sparse.")) {
            ApplySparseRecord(key.substr(11), value);
        }
    }
    return true;
}

void TTarWalker::ApplySparseRecord(const std::string& Key, const std::string& Value) {
    FSparseSeen = true;
    std::int64_t number = 0;
    const bool isNumber = PaxNumber(Value, number) && number >= 0;
    if (Key == "name") {
        FSparseName = Value;
    } else if (Key == "major" || Key == "minor") {
        (Key == "major" ? FSparseMajor : FSparseMinor) = isNumber ? number : 999;
    } else if (Key == "size" || Key == "realsize") {
        if (isNumber) FSparseSize = number;
        FSparseMapBad |= !isNumber;
    } else if (Key == "offset") {
        // Version 0.0: one record per number, offsets and lengths taking turns.
        FSparseMapBad |= !isNumber || (!FSparseMap.empty() && FSparseMap.back().second < 0);
        FSparseMap.emplace_back(number, -1);
    } else if (Key == "numbytes") {
        FSparseMapBad |= !isNumber || FSparseMap.empty() || FSparseMap.back().second >= 0;
        if (!FSparseMap.empty()) FSparseMap.back().second = number;
    } else if (Key == "map") {
        FSparseMapBad |= !ParseSparseList(Value, FSparseMap);
    }
}

bool TTarWalker::ReadGnuSparse(const std::uint8_t* Header, TTarEntry& Entry, std::int64_t& DataPos) {
    TTarSparse& sparse = Entry.Sparse;
    sparse.RealSize = TarNumber(Header + GnuRealSizeOffset, NumberLength);
    const auto take = [&](const std::uint8_t* Pairs, std::size_t Count) {
        for (std::size_t i = 0; i < Count; ++i) {
            const std::uint8_t* pair = Pairs + i * 2 * NumberLength;
            if (pair[0] == 0) return;
            sparse.Map.emplace_back(TarNumber(pair, NumberLength),
                                    TarNumber(pair + NumberLength, NumberLength));
        }
    };
    take(Header + GnuSparseOffset, GnuSparseInHeader);
    bool extended = Header[GnuExtendedOffset] != 0;
    std::array<std::uint8_t, TarBlockSize> block{};
    while (extended) {
        if (DataPos >= FLimit || FReadAt(DataPos, block.data(), TarBlockSize) != TarBlockSize) return false;
        DataPos += TarBlockSize;
        take(block.data(), GnuSparseInBlock);
        extended = block[GnuBlockExtendedOffset] != 0;
    }
    return true;
}

bool TTarWalker::ReadSparseMapData(TTarEntry& Entry) {
    // Version 1.0: the data begin with the map in decimal lines (the count, then an offset
    // and a length per chunk), padded to a whole block; the chunks follow.
    TTarSparse& sparse = Entry.Sparse;
    std::array<char, TarBlockSize> block{};
    std::int64_t blockEnd = Entry.DataPos;
    std::size_t p = TarBlockSize;
    const auto nextNumber = [&](std::int64_t& Value) {
        std::string digits;
        for (;;) {
            if (p == TarBlockSize) {
                if (blockEnd - Entry.DataPos >= std::min<std::int64_t>(Entry.Size, MaxRecordText) ||
                    FReadAt(blockEnd, block.data(), TarBlockSize) != TarBlockSize)
                    return false;
                blockEnd += TarBlockSize;
                p = 0;
            }
            const char c = block[p++];
            if (c == '\n') return PaxNumber(digits, Value) && Value >= 0;
            if (c < '0' || c > '9' || digits.size() > 18) return false;
            digits += c;
        }
    };
    std::int64_t count = 0;
    if (!nextNumber(count)) return false;
    for (std::int64_t i = 0; i < count; ++i) {
        std::int64_t offset = 0, length = 0;
        if (!nextNumber(offset) || !nextNumber(length)) return false;
        sparse.Map.emplace_back(offset, length);
    }
    sparse.ChunksPos = blockEnd;
    return true;
}

bool TTarWalker::ReadSparse(const std::uint8_t* Header, TTarEntry& Entry, std::int64_t& DataPos) {
    TTarSparse& sparse = Entry.Sparse;
    if (Entry.TypeFlag == 'S') {
        Entry.IsSparse = true;
        if (!ReadGnuSparse(Header, Entry, DataPos)) return false;
        sparse.ChunksPos = DataPos;
        CheckSparseMap(sparse, Entry.Size);
        return true;
    }
    if (!FSparseSeen || Entry.Kind != TTarKind::File) return true;
    Entry.IsSparse = true;
    sparse.RealSize = FSparseSize;
    if (!FSparseName.empty()) Entry.Name = FSparseName;
    if (FSparseMajor == 1 && FSparseMinor == 0) {
        if (!ReadSparseMapData(Entry)) {
            sparse.Refused = "damaged sparse map";
            return true;
        }
        CheckSparseMap(sparse, Entry.Size - (sparse.ChunksPos - DataPos));
    } else if (FSparseMajor >= 0 || FSparseMinor >= 0) {
        sparse.Refused = "sparse format " + std::to_string(FSparseMajor) + "." +
                         std::to_string(FSparseMinor) + " not supported";
    } else {
        sparse.Map = FSparseMap;
        sparse.ChunksPos = DataPos;
        if (FSparseMapBad || FSparseSize < 0)
            sparse.Refused = "damaged sparse map";
        else
            CheckSparseMap(sparse, Entry.Size);
    }
    return true;
}

void TTarWalker::ClearPending() {
    FLongName.clear();
    FLongLink.clear();
    FPaxPath.clear();
    FPaxLink.clear();
    FPaxSize = -1;
    FPaxMTime.reset();
    FStart = -1;
    FSparseMajor = -1;
    FSparseMinor = -1;
    FSparseName.clear();
    FSparseSize = -1;
    FSparseMap.clear();
    FSparseMapBad = false;
    FSparseSeen = false;
}

bool TTarWalker::Next(TTarEntry& Entry) {
    if (FEnd != TTarWalkEnd::Running) return false;
    std::array<std::uint8_t, TarBlockSize> header{};
    for (;;) {
        if (FPos >= FLimit) return Finish(FStart >= 0 ? TTarWalkEnd::Truncated : TTarWalkEnd::End);
        const std::int64_t got = FReadAt(FPos, header.data(), TarBlockSize);
        if (got != TarBlockSize) {
            // A cut inside the end-of-archive blocks loses nothing.
            FEndBlock = got > 0 && AllZero(header.data(), static_cast<std::size_t>(got));
            return Finish(FEndBlock && FStart < 0 ? TTarWalkEnd::End : TTarWalkEnd::Truncated);
        }
        if (AllZero(header.data(), header.size())) {
            FEndBlock = true;
            return Finish(FStart >= 0 ? TTarWalkEnd::BadHeader : TTarWalkEnd::End);
        }
        // A header without a name is still a header: its entry is reported, not the rest lost.
        if (!IsTarHeaderValid(header.data())) return Finish(TTarWalkEnd::BadHeader);

        const std::int64_t headerPos = FPos;
        if (FStart < 0) FStart = headerPos;
        const char type = static_cast<char>(header[TypeOffset]);
        const bool metadata = type == 'L' || type == 'K' || type == 'x' || type == 'g';
        std::int64_t size = TarNumber(header.data() + SizeOffset, NumberLength);
        if (!metadata && FPaxSize >= 0) size = FPaxSize;
        // A hard link has no data, whatever size some writers put in its header.
        if (type == '1') size = 0;
        std::int64_t dataPos = 0, next = 0;
        const std::int64_t padded = size >= 0 ? (size + TarBlockSize - 1) / TarBlockSize * TarBlockSize : -1;
        if (size < 0 || size > std::numeric_limits<std::int64_t>::max() - TarBlockSize ||
            !CheckedAdd(headerPos, TarBlockSize, dataPos) || !CheckedAdd(dataPos, padded, next))
            return Finish(TTarWalkEnd::BadHeader);

        if (metadata) {
            if (size > MaxRecordText) return Finish(TTarWalkEnd::BadHeader);
            std::string text;
            if (!ReadRecordText(dataPos, size, text)) return Finish(TTarWalkEnd::Truncated);
            if (type == 'L' || type == 'K') {
                text.resize(strnlen(text.c_str(), text.size()));
                (type == 'L' ? FLongName : FLongLink) = text;
            } else if (type == 'x' && !ApplyPax(text)) {
                return Finish(TTarWalkEnd::BadHeader);
            }
            FPos = next;
            continue;
        }

        Entry = TTarEntry{};
        if (!FPaxPath.empty()) {
            Entry.Name = FPaxPath;
        } else if (!FLongName.empty()) {
            Entry.Name = FLongName;
        } else {
            Entry.Name = Field(header.data() + NameOffset, NameLength);
            const std::string prefix = Field(header.data() + PrefixOffset, PrefixLength);
            // Only the POSIX form has a prefix there; GNU's keeps other fields in that place.
            if (std::memcmp(header.data() + MagicOffset, "ustar", 6) == 0 && !prefix.empty())
                Entry.Name = prefix + "/" + Entry.Name;
        }
        Entry.LinkName = !FPaxLink.empty()    ? FPaxLink
                         : !FLongLink.empty() ? FLongLink
                                              : Field(header.data() + LinkOffset, NameLength);
        Entry.TypeFlag = type;
        Entry.Kind = KindOf(type, Entry.Name);
        Entry.Size = size;
        Entry.MTime = FPaxMTime ? *FPaxMTime : TarTime(header.data() + MTimeOffset, NumberLength);
        Entry.Mode = static_cast<std::uint32_t>(
            std::max<std::int64_t>(TarNumber(header.data() + ModeOffset, 8), 0) & 07777);
        Entry.Checksum = static_cast<std::uint32_t>(
            OctStrToInt(std::string_view(reinterpret_cast<const char*>(header.data()) + ChecksumOffset, 8)));
        Entry.StartPos = FStart;
        Entry.HeaderPos = headerPos;
        Entry.DataPos = dataPos;
        if (!ReadSparse(header.data(), Entry, dataPos)) {
            ClearPending();
            return Finish(TTarWalkEnd::Truncated);
        }
        // GNU's extension blocks come before the data.
        Entry.DataPos = dataPos;
        if (!CheckedAdd(dataPos, padded, next)) return Finish(TTarWalkEnd::BadHeader);
        ClearPending();
        FEndAt = headerPos;
        if (size > FLimit - dataPos) {
            Entry.Truncated = true;
            FEnd = TTarWalkEnd::Truncated;
            FPos = FLimit;
        } else if (next > FLimit) {
            // Its data are whole, but the archive ends inside their padding: whatever came
            // next is lost.
            FEnd = TTarWalkEnd::Truncated;
            FPos = FLimit;
        } else {
            FPos = next;
        }
        return true;
    }
}
