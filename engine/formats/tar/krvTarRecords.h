// The tar format's records and the walk over them, shared by the lister and the tar reader:
// the 512-byte header with its checksum, octal and base-256 numbers, the ustar name prefix,
// GNU long-name and long-link records ('L', 'K') and pax extended records ('x'; global
// records 'g' are stepped over). The walk yields one entry per member with those records
// folded into it, and ends at the end-of-archive block, the archive's end, a header that
// fails its checksum or an entry whose data run past the archive's end. Sparse files (GNU's
// 'S' entries and the pax forms 0.0, 0.1 and 1.0) come with their map of stored chunks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

inline constexpr std::int64_t TarBlockSize = 512;

// A numeric header field: octal digits (anything else skipped, as old writers padded with
// blanks or NULs), or the base-256 form whose first byte has its high bit set. -1 for a
// negative or unrepresentable value.
std::int64_t TarNumber(const std::uint8_t* Field, std::size_t Length);

// The modification time field: as TarNumber, and a time before 1970 in GNU's base-256 form
// (two's complement, first byte 0xFF). 0 for a field that holds no time.
std::int64_t TarTime(const std::uint8_t* Field, std::size_t Length);
// Writes a modification time as GNU tar does: octal when it fits, a time before 1970 as
// base-256 two's complement.
bool PutTarTime(std::uint8_t* Field, std::size_t Length, std::int64_t Value);

// Writes Value into a numeric header field: octal digits ending in NUL when they fit, else
// the base-256 form (high bit of the first byte set). False, with the field untouched, for a
// negative value or one the field cannot hold at all.
bool PutTarNumber(std::uint8_t* Field, std::size_t Length, std::int64_t Value);

// Field offsets of the 512-byte header that writers fill.
inline constexpr std::size_t TarNameOffset = 0;
inline constexpr std::size_t TarNameLength = 100;
inline constexpr std::size_t TarModeOffset = 100;
inline constexpr std::size_t TarUidOffset = 108;
inline constexpr std::size_t TarGidOffset = 116;
inline constexpr std::size_t TarSizeOffset = 124;
inline constexpr std::size_t TarMTimeOffset = 136;
inline constexpr std::size_t TarChecksumOffset = 148;
inline constexpr std::size_t TarTypeOffset = 156;
inline constexpr std::size_t TarMagicOffset = 257;
inline constexpr std::size_t TarUNameOffset = 265;
inline constexpr std::size_t TarGNameOffset = 297;
// The old GNU magic: "ustar", two blanks and a NUL across magic and version.
inline constexpr char TarGnuMagic[8] = {'u', 's', 't', 'a', 'r', ' ', ' ', '\0'};

// Stores the header's checksum: seven octal digits and a NUL.
void SetTarChecksum(std::uint8_t* Header);
// The GNU long-name record ('L') for Name: its header and its data padded to whole blocks.
// The header copies ModeUidGid's mode, owner and magic fields.
std::string TarLongNameRecord(const std::string& Name, const std::uint8_t* ModeUidGid);
// Bytes of data padding after Size bytes of data.
inline std::int64_t TarPadding(std::int64_t Size) {
    return (TarBlockSize - Size % TarBlockSize) % TarBlockSize;
}

enum class TTarKind : std::uint8_t { File, Directory, HardLink, SymLink, Other };

// A sparse file: its stored chunks, each (offset in the file, length), in order and apart;
// everything between them is a hole of zeros.
struct TTarSparse {
    std::vector<std::pair<std::int64_t, std::int64_t>> Map;
    std::int64_t RealSize = 0;  // the file's size
    std::int64_t ChunksPos = 0; // where the stored chunks begin, one after the other
    // Why the file cannot be read (a damaged map, a form not known here); empty when it can.
    std::string Refused;
};

struct TTarEntry {
    std::string Name;     // the full stored name ('/'-separated)
    std::string LinkName; // target of a link
    char TypeFlag = '0';
    TTarKind Kind = TTarKind::File;
    std::int64_t Size = 0;  // bytes of data behind the header
    std::int64_t MTime = 0; // seconds since 1970-01-01 00:00 UTC
    std::uint32_t Mode = 0;
    std::uint32_t Checksum = 0; // the header's stored checksum
    std::int64_t StartPos = 0;  // the entry's first record (a long-name or pax record, or its header)
    std::int64_t HeaderPos = 0; // its own header
    std::int64_t DataPos = 0;
    bool Truncated = false; // its data run past the archive's end
    bool IsSparse = false;
    TTarSparse Sparse;
    // The size of the file it stands for: the real size of a sparse file, else Size.
    std::int64_t FileSize() const { return IsSparse ? Sparse.RealSize : Size; }
};

// Why a walk ended.
enum class TTarWalkEnd : std::uint8_t {
    Running,   // not ended yet
    End,       // the end-of-archive block, or the archive's end at a header boundary
    BadHeader, // a block that is no valid header (checksum, numbers, record bounds)
    Truncated, // the archive ends inside a header, a record or an entry's data
};

// Reads up to Count bytes at At; returns the count read.
using TTarReadAt = std::function<std::int64_t(std::int64_t At, void* Buffer, std::int64_t Count)>;

class TTarWalker {
public:
    TTarWalker(TTarReadAt ReadAt, std::int64_t Start, std::int64_t End);

    // The next entry; false when the walk has ended (EndReason says why). An entry whose data
    // are cut off is still returned, with Truncated set; the walk ends after it.
    bool Next(TTarEntry& Entry);
    TTarWalkEnd EndReason() const { return FEnd; }
    // The walk ended at the end-of-archive block (or in its zeros, cut short); an archive
    // that ends at a header boundary without it was cut there.
    bool EndBlockSeen() const { return FEndBlock; }
    // Where the walk stopped: the block that ended it.
    std::int64_t EndAt() const { return FEndAt; }
    // Where the next header is looked for.
    std::int64_t Position() const { return FPos; }
    // Goes on at Pos (after damage): records seen before it are dropped.
    void SetPosition(std::int64_t Pos);

    // Long names and pax records longer than this are damage.
    static constexpr std::int64_t MaxRecordText = 1 << 20;

private:
    bool Finish(TTarWalkEnd Reason);
    bool ReadRecordText(std::int64_t At, std::int64_t Size, std::string& Text);
    bool ApplyPax(const std::string& Text);
    void ApplySparseRecord(const std::string& Key, const std::string& Value);
    // Fills Entry's sparse map from the records seen before its header, from its header and
    // extension blocks ('S'), or from the map at the start of its data (pax 1.0). False when
    // the archive ends inside the map.
    bool ReadSparse(const std::uint8_t* Header, TTarEntry& Entry, std::int64_t& DataPos);
    bool ReadGnuSparse(const std::uint8_t* Header, TTarEntry& Entry, std::int64_t& DataPos);
    bool ReadSparseMapData(TTarEntry& Entry);
    void ClearPending();

    TTarReadAt FReadAt;
    std::int64_t FPos;
    std::int64_t FLimit; // the archive's end
    TTarWalkEnd FEnd = TTarWalkEnd::Running;
    bool FEndBlock = false;
    std::int64_t FEndAt = 0;

    // Records waiting for the header they belong to.
    std::string FLongName;
    std::string FLongLink;
    std::string FPaxPath;
    std::string FPaxLink;
    std::int64_t FPaxSize = -1;
    std::optional<std::int64_t> FPaxMTime;
    std::int64_t FStart = -1;
    // Sparse records of pax headers.
    std::int64_t FSparseMajor = -1;
    std::int64_t FSparseMinor = -1;
    std::string FSparseName;
    std::int64_t FSparseSize = -1;
    std::vector<std::pair<std::int64_t, std::int64_t>> FSparseMap;
    bool FSparseMapBad = false;
    bool FSparseSeen = false;
};
