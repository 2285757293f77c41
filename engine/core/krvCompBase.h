// The base class of every archive writer. It runs the job that all writers share: gathering
// the files to add with the file scanner, merging them with the entries of an existing
// archive (the replace and rename questions), building the new archive in a temporary file,
// copying the kept entries, compressing the new files, finishing the archive, putting it in
// place of the old one and deleting the sources of a move. The writers supply the format
// through the virtual header operations.
//
// Nothing is lost on failure: the new archive only replaces the old one after the whole job
// succeeded; an error, a full disk or a cancel leaves the old archive byte for byte as it was
// and every source file in place.
#pragma once

#include "engine/core/krvArchiveLock.h"
#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvDeflatePrefetch.h"
#include "engine/core/krvFileScan.h"
#include "engine/core/krvHeaderObj.h"
#include "engine/core/krvTempFileStream.h"
#include "engine/core/krvZipCommon.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

// The operation of a writer.
enum TSwitch : std::uint8_t { swAdd, swRefresh, swMove, swDelete, swRead };

enum TCompressMethod : std::uint8_t {
    cmStore,
    cmDeflate,
    cmFuse,
    cmFrozen5,
    cmFrozen6,
    cmMsZip,
    cmLzx,
    cmQuantum,
    cmUUEncode,
    cmXXEncode,
    cmBase64,
    cmTarred,
    cmTarGzip,
};

// Where the new archive is built.
enum TCompressionMethod : std::uint8_t { cmTempFile, cmInMemory };

// A set of TCompressMethod values.
class TCompressMethods {
public:
    constexpr TCompressMethods() = default;
    constexpr TCompressMethods(std::initializer_list<TCompressMethod> Methods) {
        for (TCompressMethod m : Methods)
            FBits |= 1U << m;
    }
    constexpr bool Contains(TCompressMethod Method) const { return (FBits >> Method) & 1U; }

private:
    std::uint32_t FBits = 0;
};

// Kinds of the header records of a job.
inline constexpr std::uint16_t hkAdd = 0;    // a gathered file to add
inline constexpr std::uint16_t hkKeep = 1;   // an old entry copied unchanged
inline constexpr std::uint16_t hkDrop = 2;   // a deleted or replaced entry, or a file not added
inline constexpr std::uint16_t hkRename = 3; // an old entry kept under a new name

// The four values by which an entry is compared with a file on disk.
struct TCompFileInfo {
    std::int64_t Size = 0;
    std::int64_t PackedSize = 0;
    std::uint32_t DosDate = 0;
    std::uint32_t Attr = 0;
};

// What the job keeps per header record beside the writer's header image.
struct TCompEntry {
    std::string SourcePath;            // a gathered file: its full local path
    std::int64_t SourceSize = 0;       // a gathered file: its size when it was found
    std::int64_t OldOffset = -1;       // an old entry: where its header lies in the old archive
    int Replaces = -1;                 // a gathered file: the old entry it replaces
    int ReplacedBy = -1;               // an old entry: the gathered file that replaces it
    std::int64_t NewLength = 0;        // bytes the entry takes in the new archive, header to end
    bool IsDir = false;                // a folder entry
    bool Enciphered = false;           // its headers are stored enciphered
    std::string RawName;               // an old entry: its name as stored
    std::vector<std::uint8_t> Extra;   // extra field (of the directory record)
    std::vector<std::uint8_t> Comment; // file comment
};

using TOnReplaceFile =
    std::function<void(TZipCommon& Sender, const std::string& FileName, const std::string& NewFilename,
                       TDateTime Date, TDateTime NewDate, std::int64_t FileSize, std::int64_t NewFileSize,
                       int Attr, int NewAttr, bool& Replace)>;
using TOnRenameDupeFile = std::function<void(TZipCommon& Sender, const std::string& FileName,
                                             std::string& NewFilename, bool& Rename)>;
using TOnRenameFile =
    std::function<void(TZipCommon& Sender, const std::string& FileName, std::string& NewFilename)>;
using TOnNonWriteableArchive =
    std::function<void(TZipCommon& Sender, const std::string& ArchiveFile, bool& WriteToFile)>;
using TOnScanFileEvent =
    std::function<void(TZipCommon& Sender, const std::string& FileName, int FilesCount, double FilesSize)>;
using TOnRecurseDir = std::function<void(TZipCommon& Sender, const std::string& Directory)>;
// Another update holds the archive: the job waits until it is done.
using TOnWaitArchive = std::function<void(TZipCommon& Sender, const std::string& ArchiveFile)>;
// A temporary file that an update of the archive left behind (it was ended before it could
// remove it) was removed: Path.
using TOnRemovedTemporary = std::function<void(TZipCommon& Sender, const std::string& Path)>;

class TCompBase : public TZipCommon {
public:
    TCompBase();
    ~TCompBase() override;

    // ---- properties ---------------------------------------------------------------------------
    TSwitch Switch = swAdd;
    // Accepts only a method of the writer's supported set; others leave it unchanged.
    void SetCompressMethod(TCompressMethod Value);
    TCompressMethod CompressMethod() const { return FCompressMethod; }
    TCompressionMethod CompressionMethod = cmTempFile;
    TDeflateType DeflateType = dtDeflateN;
    bool StoreEmptySubDirs = false;
    // With swMove: keep the source files.
    bool VerifyBeforeDelete = false;
    // Extensions (with or without the dot) of files that are stored, not compressed.
    std::vector<std::string> StoreFilesOfType;
    // Empty or "." restores the writer's own; otherwise a dot, at most 4 characters, lower case.
    void SetDefaultExt(const std::string& Value);
    const std::string& DefaultExt() const { return FDefaultExt; }
    // The folder the explorer StoredDirNames modes make paths relative to.
    std::string DefaultDir;

    TOnReplaceFile OnReplaceFile;
    TOnRenameDupeFile OnRenameDupeFile;
    TOnRenameFile OnRenameFile;
    TOnNonWriteableArchive OnNonWriteableArchive;
    TOnScanFileEvent OnFileScanStatus;
    TOnRecurseDir OnRecurseDir;
    TOnWaitArchive OnWaitArchive;
    TOnRemovedTemporary OnRemovedTemporary;
    // A file of the archive's name is not read but replaced whole by the new archive (put in
    // its place by a rename once the new one is written, so the name never goes missing).
    bool ReplaceArchive = false;

    // Stores the name only (no detection); a name without extension gets DefaultExt.
    void SetArchiveFile(const std::string& Name) override;
    void SetArcType(TArcType Value) override;
    // Appends DefaultExt to an ArchiveFile without extension.
    void ApplyDefaultExt();

    // Runs the job: the number of entries deleted (swDelete) or files added. Every error,
    // also one thrown by an event handler, is reported through OnError and gives 0; the old
    // archive is left as it was.
    virtual int Compress();

    static bool IsEncryptableArcType(TArcType Type);
    // ORs the zip deflate option bits of DeflateType into Flags.
    void DeflateFlagBits(std::uint16_t& Flags) const;

    // ---- results of the last job ----------------------------------------------------------------
    int FilesAdded() const { return FFilesAdded; }
    int FilesDeleted() const { return FFilesDeleted; }
    bool ArchiveWritten() const { return FArchiveWritten; }
    // Whether Path is a file the job gathered to add (an error about it is its source's).
    bool IsGatheredSource(const std::string& Path) const;

    // The largest entry and archive sizes and entry count of a format of 32-bit fields (a
    // writer whose format holds more says so through MaxEntryBytes and MaxArchiveSize).
    static constexpr std::int64_t MaxFormatSize = 0xFFFFFFFFLL;
    static constexpr int MaxFormatEntries = 65535;

protected:
    // ---- the job --------------------------------------------------------------------------------
    virtual void DoCompress(TCompHeaderObj& List);
    // Hook per entry listed by swRead.
    virtual void DoReadFile(const std::string& Name);
    // swRead: fires OnRead for every entry of the existing archive.
    virtual void ReadArchive();
    bool CheckArchiveWriteable(const std::string& FileName);
    // Takes the update lock of the archive Name (waiting for another update of it, firing
    // OnWaitArchive); a cancel while waiting ends the job. Holding it, removes the temporary
    // files beside the archive that no running process holds (OnRemovedTemporary).
    void LockArchive(TArchiveLock& Lock, const std::string& Name);
    void ProcessFileList(TCompHeaderObj& List);
    void AddToList(const TFileObject& Item);
    void AddHeaderRecord(const std::string& Name, const std::string& SourcePath, std::uint32_t Attr,
                         std::uint32_t Date, std::int64_t Size);
    // Adds one gathered file; false when it was not added (the output is cut back then).
    virtual bool AddFile(TCompHeaderObj& List, int Index);
    // The shared store/deflate path: writes the entry's local header, its data and fixes the header.
    virtual bool CompressFile(TStream32& Input, TCompHeaderObj& List, int Index);
    bool StoreFile(TStream32& Input);
    // The steps of CompressFile. BeginEntry clears the entry state at the output's position, or
    // at At where the caller knows it (FAddStart while nothing is written before the entry).
    void BeginEntry(std::int64_t At = -1);
    bool AddFolderEntry(TCompHeaderObj& List, int Index);
    // A file of Size (at most Limit) bytes, deflated in memory in one call; one of at most
    // SmallFileSize bytes is stored when that does not make it smaller. TooLarge, with Input
    // rewound, when the file has grown beyond Limit; Failed (reported) when it shrank.
    enum class TWholeFile { Written, TooLarge, Failed };
    TWholeFile WriteWholeFile(TStream32& Input, std::int64_t Size, std::int64_t Limit,
                              const std::string& SourcePath);
    // The file at Index as a worker deflated it ahead: Written, or TooLarge when there is no
    // result for this very file (Input is then read as usual).
    TWholeFile WritePrefetched(TStream32& Input, int Index);
    // Writes the entry's data, enciphered when a password is set: Bytes of Plain bytes.
    void PutWholeEntry(std::vector<std::uint8_t>& Bytes, bool Deflated, std::int64_t Plain,
                       std::uint32_t Crc);
    // Streams the file's data (checksummed first when enciphered); false after reporting a
    // read, write or CRC error.
    bool WriteFileData(TStream32& Input, std::int64_t Size, const std::string& SourcePath);
    // The traditional cipher's header for data with CRC Crc, at the output's position.
    void WriteCipherHeader(std::uint32_t Crc);
    // Sets the header's final values, rewrites the local header and stores the header record.
    void CompleteEntry(TCompHeaderObj& List, int Index, std::int64_t DataStart);
    // Seeks Stream to Position from its start; a failure raises ecSeekError for FileName.
    void SeekOrFail(TStream32& Stream, std::int64_t Position, const std::string& FileName);
    // OnBegin and OnRenameFile for a record; false when the entry is to be skipped.
    bool DoBegin(std::string& FileName, int Count, TCompHeaderObj& List, int Index);

    // ---- format operations (the writers override them) -----------------------------------------
    virtual int GetHeadSize();
    virtual int GetLocalHeadSize();
    // Reads all headers of the old archive into List (each kind hkKeep, or hkDrop for swDelete):
    // ReadFirstHeader, then ReadNextHeader until no header follows.
    virtual void ReadHeaders(TStream32& Input, TCompHeaderObj& List);
    // Sets up the walk over the old archive's headers (from the known start of its entries,
    // else from 0) and reads the first one; false when there is none. Central: the walk goes
    // over a central directory.
    virtual bool ReadFirstHeader(TStream32& Input, bool& Central);
    // Reads the next header of the walk; false when no header follows.
    virtual bool ReadNextHeader(bool Central);
    // Reads one header of the old archive: its image (GetHeadPtr), its Name and its job data
    // (FOldEntry). A header that cannot be right ends the job.
    virtual bool ReadHeader(TStream32& Input, std::string& Name, bool Central);
    // The image of the header read last; the base reports that the writer has none.
    virtual const std::uint8_t* GetHeadPtr();
    // Bytes the old entry of record Index takes, header to the end of its data.
    virtual std::int64_t GetEntrySize(int Index);
    // Slots kept free for formats to come; nothing calls them.
    virtual int Reserved46() { return 0; }
    virtual int Reserved58(const std::string& Name);
    // Clears and fills the writer's header image for the file of record Index.
    virtual void InitHeader(TCompHeaderObj& List, int Index);
    // Writes the header image (with the name) at the output's position.
    virtual void WriteLocalHeader(TStream32& Output);
    // Completes the header image after the data were written.
    virtual void SetHeaderFields(std::int64_t UnpackedSize, std::int64_t PackedSize);
    // Stores the header image into the list at Index.
    virtual void StoreHeader(TCompHeaderObj& List, int Index);
    virtual void InfoToHeader(std::uint8_t* Header, const TCompFileInfo& Info);
    virtual void HeaderToInfo(const std::uint8_t* Header, TCompFileInfo& Info);
    // Copies a kept entry; Index's header learns its new offset.
    virtual void CopyKeptEntry(TCompHeaderObj& List, int Index);
    // Copies an entry kept under a new name, writing its header anew.
    virtual void CopyEntry(TCompHeaderObj& List, int Index);
    virtual void WriteEmptyEndRecord(TStream32& Output);
    virtual void DoFileEnd();
    virtual bool FinishArchive(TStream32& Output, TCompHeaderObj& List);
    virtual void ListEntries(TCompHeaderObj& List);
    // Checks the limits of the format before anything is written (raises).
    virtual void CheckLimits(TCompHeaderObj& List);
    // Whether empty folders that are added get entries of their own: StoreEmptySubDirs.
    virtual bool StoresEmptyFolders() const { return StoreEmptySubDirs; }

    // ---- errors -----------------------------------------------------------------------------------
    // RaiseError, and when the cancel flag kept it from raising, ends the job all the same.
    [[noreturn]] void Fail(const std::string& FileName, const std::string& ExtendedMsg, int ECode);
    // Ends the job as cancelled (the old archive stays as it was).
    [[noreturn]] void ThrowCancelled();
    void CheckCancel() {
        if (Cancel()) ThrowCancelled();
    }

    // ---- job state --------------------------------------------------------------------------------
    TCompEntry& Entry(int Index) { return FEntries.at(static_cast<std::size_t>(Index)); }
    void AddEntryRecord(TCompHeaderObj& List, const void* Header, const std::string& Name, std::uint16_t Kind,
                        TCompEntry Data);
    bool IsStoredType(const std::string& Name) const;
    // Copies Count bytes of the old archive at Offset to the output's position.
    void CopyInput(std::int64_t Offset, std::int64_t Count);
    // Copies the Count bytes of old entry Index at Offset unchanged (header to end of data),
    // refusing an archive that would outgrow the format.
    void CopyOldEntryBytes(TCompHeaderObj& List, int Index, std::int64_t Offset, std::int64_t Count);
    // The name the temporary archive is made beside: the archive itself, or, for a writer that
    // puts the archive in place itself (spanning over removable disks), a folder ending in '/'
    // to build it in as a scratch file.
    virtual std::string TemporaryArchiveName();
    // The temporary file the new archive is built in, beside FinalName.
    virtual std::unique_ptr<TTempFileStream> CreateTempStream(const std::string& FinalName);
    // The stream a writer that packs the whole archive on its way out (tar.gz) writes it
    // through into Temp; nullptr (the default) writes it into Temp as it is. The writer
    // finishes that stream in FinishArchive.
    virtual std::unique_ptr<TStream32> WrapOutput(TTempFileStream& Temp);
    // Puts the whole new archive in place.
    virtual void PlaceArchive(TTempFileStream& Temp);
    // The largest old archive the writer reads and new archive it writes.
    virtual std::int64_t MaxArchiveSize() const { return MaxFormatSize; }
    // The largest file the shared store/deflate path adds, and the most bytes its data take.
    virtual std::int64_t MaxEntryBytes() const { return MaxFormatSize; }
    // Opens a gathered file for reading: only a regular file, never the archive being built
    // or the old one. Reports 25235 and gives nullptr otherwise; St holds its status.
    std::unique_ptr<TFileStream32> OpenGatheredFile(const std::string& Path, struct stat& St);
    // Whether the file of St is one never gathered (the old archive, the one being built).
    bool NeverGathered(const struct stat& St) const;
    bool NeverGathered(std::uint64_t Device, std::uint64_t Inode) const;
    // Puts an archive built in memory in place of ArchiveFile.
    void WriteMemoryImage(TMemoryStream32& Image);
    static constexpr std::int64_t CopyChunk = 1 << 20;
    // The stored name of a local file name (the StoredDirNames rule).
    std::string StoredNameOf(const std::string& FullName) const;

    TCompressMethods FSupportedMethods{cmStore, cmDeflate};
    TCompressMethod FCompressMethod = cmDeflate;
    std::string FDefaultExt;
    std::string FBuiltInExt;

    TCompHeaderObj* FList = nullptr; // the job's header list
    std::vector<TCompEntry> FEntries;
    TStream32* FInput = nullptr;  // the old archive
    TStream32* FOutput = nullptr; // the new archive
    // Files deflated ahead on worker threads during the run (several threads only).
    std::unique_ptr<TDeflatePrefetch> FPrefetch;
    // Starts FPrefetch for the files of List that will be deflated whole.
    virtual void StartPrefetch(TCompHeaderObj& List);
    // Stops the workers StartPrefetch started (at the end of the run, however it ends).
    virtual void StopPrefetch() { FPrefetch.reset(); }
    // With swMove: erases the sources of the files added, firing OnDeleteFile for each.
    void DeleteMovedSources();
    // Whether a file of Size bytes named Name is deflated in one call.
    bool DeflatesWhole(const std::string& Name, std::int64_t Size) const;
    // The whole-buffer deflater of the current DeflateType, made when first needed.
    std::unique_ptr<TWholeDeflater> FWholeDeflater;
    TDeflateType FWholeDeflaterType = dtDeflateN;
    std::int64_t FInputSize = 0;
    std::int64_t FKnownCentralOffset = -1; // where the old archive's entries begin (-1: not known)
    bool FNewArchive = true;
    // FinishArchive put the archive in place itself (spanned disks): the temporary one is dropped.
    bool FOutputPlaced = false;
    // Record index by stored name.
    std::unordered_map<std::string, int> FNameIndex;
    // The old archive's header that ReadHeader read last: its name and job data.
    std::string FOldName;
    TCompEntry FOldEntry;
    TStream32* FHeaderInput = nullptr; // the old archive ReadHeaders walks

    int FFilesAdded = 0;
    int FFilesDeleted = 0;
    bool FSomethingToDo = false;
    bool FArchiveWritten = false;
    bool FActivated = false; // OnActivate fired: the job's exit fires OnDeactivate
    std::vector<std::string> FMoveList;
    std::string FGroupDir; // folder of the mask group being gathered
    std::string FExplorerDir;
    bool FScanFailed = false;
    // Device and inode of files that are never gathered: the old archive and the temporary one.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> FNeverGather;
    // Further files a writer keeps out of its archive (the tar.gz a tar is wrapped into).
    std::vector<std::string> FAlsoNeverGather;

    // The entry being compressed.
    std::uint32_t FEntryCrc = 0; // CRC-32 (after the final XOR)
    std::uint16_t FEntryMethod = 0;
    bool FEntryEncrypted = false;
    bool FEntryDeflated = false;
    std::int64_t FEntryUnpacked = 0;
    std::int64_t FHeaderPos = 0;
    std::int64_t FAddStart = 0; // the output's position as AddFile is called
};
