// The writing side of the cabinet library: a compression context shaped like FCI that
// gathers files into folders of CFDATA blocks and writes them out as one cabinet or as a set
// of cabinets, each at most the parameters' size, with files that cross from one cabinet into
// the next listed in both, as readers of sets expect. Each block carries its checksum.
//
// Compressing a block is the caller's (the injected compressor of the folder's method); the
// context only knows the cabinet structure. Folder data wait in the caller's spool until the
// cabinet is written. Every cabinet file is created through the caller's
// callback, so the caller decides where its bytes go and when they are put in place.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using TCOMP = std::uint16_t;
inline constexpr TCOMP tcompMASK_TYPE = 0x000F;
inline constexpr TCOMP tcompTYPE_NONE = 0x0000;
inline constexpr TCOMP tcompTYPE_MSZIP = 0x0001;
inline constexpr TCOMP tcompTYPE_QUANTUM = 0x0002;
inline constexpr TCOMP tcompTYPE_LZX = 0x0003;
// LZX with a window of 2^WindowBits bytes (15..21).
constexpr TCOMP MakeLzxCompression(int WindowBits) {
    return static_cast<TCOMP>(tcompTYPE_LZX | (WindowBits << 8));
}
// Quantum of a level (1..7) and a window of 2^MemoryBits bytes (10..21).
constexpr TCOMP MakeQuantumCompression(int Level, int MemoryBits) {
    return static_cast<TCOMP>(tcompTYPE_QUANTUM | (Level << 4) | (MemoryBits << 8));
}

enum TFciError : int {
    fcierrNONE = 0,
    fcierrOPEN_SRC = 1,
    fcierrREAD_SRC = 2,
    fcierrALLOC_FAIL = 3,
    fcierrTEMP_FILE = 4,
    fcierrBAD_COMPR_TYPE = 5,
    fcierrCAB_FILE = 6,
    fcierrUSER_ABORT = 7,
    fcierrMCI_FAIL = 8,
    fcierrCAB_FORMAT_LIMIT = 9,
};

struct TFciErf {
    int erfOper = fcierrNONE;
    int erfType = 0;
    bool fError = false;
};

// The cabinet parameters.
struct TCCAB {
    std::uint32_t cb = 0x7FFFFFFF;             // largest cabinet
    std::uint32_t cbFolderThresh = 0x7FFFFFFF; // a folder is closed once its data pass this
    std::uint32_t cbReserveCFHeader = 0;
    std::uint32_t cbReserveCFFolder = 0;
    std::uint32_t cbReserveCFData = 0;
    int iCab = 0;
    int iDisk = 0;
    // A block that its method writes larger than its data and a stored form of them fails the
    // add (fcierrMCI_FAIL) instead of growing the cabinet: Quantum, which has no stored form,
    // on data that do not compress. MSZIP and LZX fall back to their stored forms and never do.
    int fFailOnIncompressible = 0;
    std::uint16_t setID = 0;
    std::string szDisk;
    std::string szCab;
    std::string szCabPath; // with a trailing separator, or empty
};

// Compresses the blocks of one folder, in order (a method may carry history across blocks).
class TFciCompressor {
public:
    virtual ~TFciCompressor() = default;
    // The CFDATA payload for Count (1..32768) bytes; false on failure.
    virtual bool Compress(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out) = 0;
    // How many blocks the compressor takes at once (a compressor that works on several
    // threads); the context hands it that many whenever it has them.
    virtual std::size_t BatchBlocks() const { return 1; }
    // The payloads of the blocks of 32768 bytes (the last may be shorter) that Count bytes of
    // Data make, in order; Last: they end the folder. The default compresses one after another.
    virtual bool CompressBatch(const std::uint8_t* Data, std::size_t Count,
                               std::vector<std::vector<std::uint8_t>>& Outs, bool Last);
};
// A compressor for a compression word; nullptr for a type the caller does not have.
using TFciMakeCompressor = std::function<std::unique_ptr<TFciCompressor>(TCOMP Compression)>;

// A source file as the get-open-info callback opens it.
struct TFciSource {
    std::uint16_t Date = 0;
    std::uint16_t Time = 0;
    std::uint16_t Attribs = 0;
    std::int64_t Size = -1; // the file's size when known: a folder it would overfill is closed first
    // Reads up to Count bytes: the count read, 0 at the end, -1 on failure or abort.
    std::function<std::int64_t(void* Buffer, std::int64_t Count)> Read;
};
using TFciGetOpenInfo = std::function<bool(const std::string& Source, TFciSource& Info)>;

// A cabinet file being written.
class TFciOutput {
public:
    virtual ~TFciOutput() = default;
    virtual bool Write(const void* Buffer, std::int64_t Count) = 0;
    // The cabinet is whole.
    virtual bool Close() = 0;
};
using TFciCreateCabinet = std::function<std::unique_ptr<TFciOutput>(const std::string& Path)>;
// Fills Cab with the next cabinet's name (and disk); false ends the write.
using TFciGetNextCabinet = std::function<bool(TCCAB& Cab, std::uint32_t PreviousCabEstimatedSize)>;
// Where the folders' data wait until their cabinet is written: appended to, read back
// anywhere, emptied once a cabinet set is written.
class TFciSpool {
public:
    virtual ~TFciSpool() = default;
    // False, with errno saying why (ENOSPC: the disk is full), when not all was written.
    virtual bool Append(const void* Data, std::size_t Count) = 0;
    virtual bool ReadAt(std::int64_t Pos, void* Data, std::size_t Count) = 0;
    virtual bool Clear() = 0;
};
// The spool of a context; nullptr when it cannot be made.
using TFciCreateSpool = std::function<std::unique_ptr<TFciSpool>()>;
// Reads Count bytes at Pos of the open file Fd; false (errno set) when they are not all there.
bool ReadFully(int Fd, std::int64_t Pos, void* Data, std::size_t Count);
// A spool in a new file Name that is unlinked at once (nullptr when it cannot be created).
std::unique_ptr<TFciSpool> CreateFileSpool(const std::string& Name);
// Status: 0 a block of a file (cb1 compressed, cb2 plain bytes), 1 a folder, 2 a cabinet.
// -1 aborts.
using TFciStatus = std::function<int(int Type, std::uint32_t Cb1, std::uint32_t Cb2)>;

inline constexpr std::size_t CabBlockSize = 32768;
inline constexpr std::uint16_t CabMaxFolderBlocks = 65535;

// The checksum of a CFDATA block: Data, then its two size fields, folded into 32 bits.
std::uint32_t CabDataChecksum(const std::uint8_t* Data, std::size_t Count, std::uint32_t Seed);

class TFciContext {
public:
    // Null (with Erf set) when the spool cannot be made.
    static std::unique_ptr<TFciContext> Create(TFciErf& Erf, const TCCAB& Cab,
                                               TFciCreateCabinet CreateCabinet,
                                               const TFciCreateSpool& CreateSpool,
                                               TFciMakeCompressor MakeCompressor);
    ~TFciContext();
    TFciContext(const TFciContext&) = delete;
    TFciContext& operator=(const TFciContext&) = delete;

    bool AddFile(const std::string& Source, const std::string& StoredName, bool Execute,
                 const TFciGetNextCabinet& GetNextCab, const TFciStatus& Status,
                 const TFciGetOpenInfo& GetOpenInfo, TCOMP Compression);
    bool FlushFolder(const TFciGetNextCabinet& GetNextCab, const TFciStatus& Status);
    // Writes everything added as a cabinet, or a set when it does not fit one.
    bool FlushCabinet(bool GetNextCab, const TFciGetNextCabinet& GetNextCabinet, const TFciStatus& Status);

    const TFciErf& Erf() const;

    class TImpl;

private:
    explicit TFciContext(std::unique_ptr<TImpl> Impl);
    std::unique_ptr<TImpl> FImpl;
};
