// The common base of every archive component that works on entries: readers, writers, the
// lister, the converter and the self-extractor maker. It holds the shared properties and
// events, the cancel flag, the routines through which all entry data are read and written
// (deciphering, ASCII translation, running checksums), progress, error reporting, output
// names under the destination folder, volume naming, method names and attribute texts.
#pragma once

#include "engine/core/krvCrypt.h"
#include "engine/core/krvDates.h"
#include "engine/core/krvDiskManager.h"
#include "engine/core/krvFileIo.h"
#include "engine/core/krvFileScan.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/core/krvStreams.h"
#include "engine/core/krvTimer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum TOverwriteMode : std::uint8_t { omOverwrite, omSkip };
enum TDateAttribute : std::uint8_t { daFileDate, daSysDate, daMaxFileDate };
enum TDeleteOptions : std::uint8_t { doFinal, doAllowUndo };
// Which part of a file's path a writer stores.
enum TStoredDirNames : std::uint8_t {
    sdNone,
    sdAbsolute,
    sdAbsoluteNoDrv,
    sdAbsoluteNoRoot,
    sdRelative,
    sdRelativeStoreStart,
    sdExplorer_Auto,
    sdExplorer_UserDefineDefaultDir,
};

// Output modes of a reader: where the data of each entry go.
inline constexpr std::uint8_t omdDiskFile = 0; // a new disk file
inline constexpr std::uint8_t omdNoOutput = 7; // only to a write routine installed by a driving component
inline constexpr std::uint8_t omdAppend = 8;   // an existing disk file, appended to

class TZipCommon;

// ---- events (the sender comes first) -----------------------------------------------------------
using TNotifyEvent = std::function<void(TZipCommon& Sender)>;
using TOnBegin =
    std::function<void(TZipCommon& Sender, const std::string& FileName, int Count, bool& Extract)>;
using TOnEnd = std::function<void(TZipCommon& Sender, const std::string& FileName, bool CRC_PASS)>;
using TOnCorruptZipHeader = std::function<void(TZipCommon& Sender, THeaderTypeState HeadFlag, bool& Cancel)>;
// An operation went on in another archive (the tar inside a gzip file): its name and type.
using TOnChangeArchive =
    std::function<void(TZipCommon& Sender, const std::string& ArchiveName, TArcType ArcType)>;
using TOnDeleteFile =
    std::function<void(TZipCommon& Sender, const std::string& FileName, int Count, int MaxCount)>;
using TOnElapsedTime = std::function<void(TZipCommon& Sender, float ElapsedTime)>;
using TOnError = std::function<void(TZipCommon& Sender, const std::string& FileName,
                                    const std::string& ExtendedMsg, const std::string& VolumeID, int ECode)>;
using TOnFileExists = std::function<void(TZipCommon& Sender, const std::string& FileName, TDateTime FileDate,
                                         TOverwriteMode& OverwriteMode)>;
using TOnGetPassword = std::function<void(TZipCommon& Sender, const std::string& FileName,
                                          std::string& Password, bool& TryAgain)>;
using TOnGetZipFirstDisk = std::function<void(TZipCommon& Sender, bool& Cancel)>;
using TOnGetZipLastDisk = std::function<void(TZipCommon& Sender, bool& Cancel)>;
using TOnGetZipNextDisk =
    std::function<void(TZipCommon& Sender, const std::string& VolumeName, bool& Cancel)>;
using TOnDiskError = std::function<void(TZipCommon& Sender, bool& Abort)>;
using TOnInsertDisk = std::function<void(TZipCommon& Sender, const std::string& VolumeName, bool& Cancel)>;
using TOnNestedTarFile = std::function<void(TZipCommon& Sender, const std::string& FileName, bool& doUnTar)>;
using TOnNextVolume = std::function<void(TZipCommon& Sender, std::string& VolumeName,
                                         const std::string& VolumeID, bool fExists, bool& Cancel)>;
using TOnProgress =
    std::function<void(TZipCommon& Sender, std::uint8_t ProgressByFile, std::uint8_t ProgressByArchive)>;
using TOnRead = std::function<void(TZipCommon& Sender, std::int64_t Offset, int Filenum)>;
using TOnRemoveTempfile = std::function<void(TZipCommon& Sender, const std::string& FileName)>;
// Something the job could not do and went on without (Text says what), for the log.
using TOnWarning =
    std::function<void(TZipCommon& Sender, const std::string& FileName, const std::string& Text)>;

// ---- the replaceable data routines ------------------------------------------------------------
// Reads Count bytes of Stream into Buffer; deciphers them when Encrypted and updates the
// running checksum of width CrcWidth (16 or 32; other widths: none). Returns the bytes read.
using TReadRoutine = std::function<std::int64_t(TStream32& Stream, void* Buffer, std::int64_t Count,
                                                int CrcWidth, bool Encrypted)>;
// Writes Count bytes of Buffer to Output (none for components that consume the data
// themselves). DataFlag: the bytes are entry data (deciphered when Encrypted, checksummed).
// Returns the count written; a failure raises.
using TWriteRoutine = std::function<std::int64_t(TStream32* Output, void* Buffer, std::int64_t Count,
                                                 bool DataFlag, int CrcWidth, bool Encrypted)>;
// Lets the host run, then reports the current percentages.
using TProgressRoutine = std::function<void()>;

class TZipCommon : public TRegisterKorva {
public:
    TZipCommon();
    ~TZipCommon() override;

    // ---- properties ---------------------------------------------------------------------------
    bool AsciiTranslation = false;
    bool ConfirmOverwrites = false;
    TDateAttribute DateAttribute = daFileDate;
    TDeleteOptions DeleteOptions = doAllowUndo;
    std::vector<std::string> ExcludeSpec;
    std::vector<std::string> FileSpec;
    // Attributes of the files a writer gathers, and those that leave a file out.
    TkrvFileAttrs Attributes{fsZeroAttr, fsReadOnly, fsArchive};
    TkrvFileAttrs AttributesEx;
    bool IncludeHiddenDirs = false;
    int PasswordAttempts = 3;
    bool RecurseDirs = false;
    TStoredDirNames StoredDirNames = sdRelative;
    bool UseStoredDirs = true;
    TOverwriteMode OverwriteMode = omOverwrite;
    std::string Password;
    std::vector<std::string> Passwords;
    bool TranslateOemChar = true;

    // Destination folder of a reader, kept with one trailing separator. An empty value takes
    // the folder of ArchiveFile (or stays empty without one). A relative value stays relative
    // to the current folder.
    void SetExtractDir(const std::string& Value);
    const std::string& ExtractDir() const { return FExtractDir; }

    // Folder for temporary files: the stored value when it names an existing folder, else the
    // system temporary folder. Setting a missing folder asks the host whether to create it.
    std::string TempDir();
    void SetTempDir(const std::string& Value);
    // True while the component is being set up from saved settings: TempDir asks nothing.
    bool Loading = false;
    // Threads a job may use for work that is independent per entry (0: one per core, 1: none
    // besides the job's own). Events, questions and results are those of a one-thread run.
    unsigned Threads = 0;

    // The job's cancel flag, reached through CancelPtr (which helpers share).
    bool Cancel() const { return GetCancel(); }
    virtual bool GetCancel() const;
    // Stores the flag; when it becomes set, 25443 is reported.
    virtual void SetCancel(bool Value);
    // Aimed at the component's own flag by the constructor and by each job's start, or at the
    // flag of the component that drives this one (DriveCancelFrom), so that cancelling the
    // driver cancels its inner component's jobs too.
    bool* CancelPtr = nullptr;
    void AimCancelAtOwnFlag() { CancelPtr = FDriverCancel ? FDriverCancel : &FCancel; }
    void DriveCancelFrom(TZipCommon& Driver) {
        FDriverCancel = Driver.CancelPtr;
        CancelPtr = FDriverCancel;
    }

    // Name of the current entry, with the output path applied (readers), the stored-name rule
    // (writers) or as stored (lister).
    std::string FileName;

    // ---- the current entry (valid during the per-entry events) ---------------------------------
    TDateTime FileDate = 0;
    std::uint16_t VersionMadeBy = 0;
    std::uint16_t VersionNeeded = 0;
    std::int64_t PackedSize = 0;
    std::int64_t UnpackedSize = 0;
    std::uint32_t CRC = 0;
    bool Encrypted = false;
    std::string MethodName;
    std::uint16_t Method = 0;
    std::uint16_t InternalAttr = 0;
    std::uint32_t ExternalAttr = 0;
    std::uint8_t Ratio = 0;
    std::string FileComment;
    std::string VolumeID;
    // Host system of the entry as rar and ace store it (3 = Unix); chooses the attribute text.
    std::uint8_t HostSystem = 0;

    // ---- job state ----------------------------------------------------------------------------
    int FilesProcessed = 0;           // files processed by the job
    double JobTotal = 0;              // bytes of the whole job
    double BytesToDo = 0;             // bytes of the job still to do
    std::int64_t CurrentFileSize = 0; // size of the current file
    std::uint32_t MaxFileDate = 0;    // newest packed DOS date-time of the job
    std::uint8_t ProgressByFile = 0;  // percentages last reported
    std::uint8_t ProgressByArchive = 0;
    std::uint32_t RunningCrc32 = 0; // running checksums of the current entry
    std::uint16_t RunningCrc16 = 0;
    std::uint8_t InputMode = 0;
    std::uint8_t OutputMode = omdDiskFile;
    std::vector<std::string> WorkList;
    // The start of a reader's or writer's job: the cancel flag is aimed at the component's
    // own and cleared, the processed count, job totals, newest date and percentages are
    // zeroed, and the progress routine is the component's own again.
    void ResetJobState();

    TDiskManager DiskManager;
    TkrvTimer Timer;
    // The key state of the traditional zip cipher for the job's entries.
    TZipCipher Cipher;

    static constexpr int EngineVersionMajor = 4;
    static constexpr int EngineVersionMinor = 8;
    static std::string EngineVersion() { return "4.8"; }

    // ---- routines that a driving component may replace ----------------------------------------
    TReadRoutine ReadRoutine;         // default ReadData
    TWriteRoutine WriteRoutine;       // default DecryptByteWrite (the first write routine)
    TWriteRoutine BlockWriteRoutine;  // default DecryptBlockWrite
    TProgressRoutine ProgressRoutine; // default: pump the host, then OnProgress
    // Binds the three kinds of routine back to this component's own.
    void ResetRoutines();
    void ResetProgressRoutine();

    // ---- events -------------------------------------------------------------------------------
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TOnBegin OnBegin;
    TOnEnd OnEnd;
    TOnChangeArchive OnChangeArchive;
    TOnCorruptZipHeader OnCorruptZipHeader;
    TOnDeleteFile OnDeleteFile;
    TOnElapsedTime OnElapsedTime;
    TOnError OnError;
    TOnFileExists OnFileExists;
    TOnGetPassword OnGetPassword;
    TOnGetZipFirstDisk OnGetZipFirstDisk;
    TOnGetZipLastDisk OnGetZipLastDisk;
    TOnGetZipNextDisk OnGetZipNextDisk;
    TOnDiskError OnDiskInDrvErr;
    TOnDiskError OnDiskWriteProtectErr;
    TOnInsertDisk OnInsertDisk;
    TOnNestedTarFile OnNestedTarFile;
    TOnNextVolume OnNextVolume;
    TOnProgress OnProgress;
    TOnRead OnRead;
    TOnRemoveTempfile OnRemoveTempfile;
    TOnWarning OnWarning;

    // ---- virtual operations -------------------------------------------------------------------
    virtual std::int64_t DecryptByteWrite(TStream32* Output, void* Buffer, std::int64_t Count, bool DataFlag,
                                          int CrcWidth, bool Encrypted);
    virtual TDateTime DosDateToDateTime(std::uint32_t DosDateTime);
    virtual std::int64_t DecryptBlockWrite(TStream32* Output, void* Buffer, std::int64_t Count, bool DataFlag,
                                           int CrcWidth, bool Encrypted);
    // The name of the volume after FileName; VolumeNo counts from 0 for the second volume.
    virtual std::string GetNextVolumeName(const std::string& FileName, int VolumeNo);
    virtual std::int64_t ReadData(TStream32& Stream, void* Buffer, std::int64_t Count, int CrcWidth,
                                  bool Encrypted);
    virtual void ClearWorkList();
    // Readers: FileName := the output path of StoredName under ExtractDir. A name that would
    // leave the destination is reported (25244) and leaves FileName empty, so it is skipped.
    virtual void SetCurrentFileName(const std::string& StoredName);
    virtual void DecryptBuffer(bool Encrypted, void* Buffer, std::int64_t Count);
    virtual void PostProcess(const std::string& ArchiveName);
    // Pauses the timer, fires OnError and raises E_RAISE with the code's text. With the
    // cancel flag set the code becomes 25443 and nothing is raised.
    virtual void RaiseError(const std::string& FileName, const std::string& ExtendedMsg,
                            const std::string& VolumeID, int ECode);
    // The same without raising: the job goes on.
    virtual void ReportError(const std::string& FileName, const std::string& ExtendedMsg,
                             const std::string& VolumeID, int ECode);

    // Runs a job (a lister, reader or writer run): Body does the work and Exit, which always
    // runs after it, restores what the job changed and fires the closing events. Whatever
    // leaves either of them ends the job: an exception is turned into its error code
    // (JobErrorCode) and reported through ReportError unless it was reported where it was
    // raised; TJobEnded ends it quietly. True when Body and Exit ran to their ends.
    bool RunJob(const std::function<void()>& Body, const std::function<void()>& Exit);

    // ---- services -----------------------------------------------------------------------------
    bool IsFileOutput() const { return OutputMode == omdDiskFile || OutputMode == omdAppend; }
    // Reads a stored name of Count bytes (all of them, whatever the length) without checksum
    // or deciphering; the result ends at the first NUL.
    std::string ReadNameBuffer(TStream32& Stream, std::int64_t Count);
    // Width 16 updates RunningCrc16, width 32 RunningCrc32; other widths do nothing.
    void UpdateCrc(int Width, const void* Buffer, std::int64_t Count);
    // Closes a disk-file output (modes 0 and 8); false when closing failed.
    bool CloseOutput(TFileStream32* Output);
    void DoProgress(std::int64_t FileBytesDone, std::int64_t FileSize, double JobTotalBytes);
    // The progress hook the component hands to its streams.
    void StreamProgress(TStream32& Stream);
    TStream32::TProgressEvent StreamProgressEvent();
    // RaiseError with 25136 "Error writing to file" for the current file.
    void RaiseWriteError();
    std::string GetArcTypeName() const;
    std::string GetAttributeString(std::uint32_t Attr, char Fill) const;
    std::string GetFileTypeName(const std::string& FileName) const;
    // There is no shell image list in the engine: always -1.
    int GetFileIconIndex(const std::string& FileName) const;
    std::uint32_t ApplyDateAttribute(std::uint32_t DosDate) const;
    // True when FileName matches one mask of ExcludeSpec, each mask first put through the
    // StoredDirNames rule against DefaultDir.
    bool IsExcluded(const std::string& FileName, const std::string& DefaultDir) const;
    // Includes or excludes one attribute in Attributes / AttributesEx.
    void SetAttribute(TkrvFileAttr Attr, bool On);
    void SetAttributeEx(TkrvFileAttr Attr, bool On);

    // The name of the next volume of a multi-volume set, found through OnNextVolume.
    bool GetNextVolume(std::string& VolumeName, const std::string& VolumeID);
    // Replaces Stream by the next volume, opened for reading; false when there is none.
    bool OpenNextVolume(std::unique_ptr<TFileStream32>& Stream);

    static bool IsZipArcType(TArcType Type);
    static bool IsKnownArcType(TArcType Type);
    static bool IsCompressibleArcType(TArcType Type);
    static bool IsExtractableArcType(TArcType Type);
    static bool IsTestableArcType(TArcType Type);

protected:
    // Ends a job that was cancelled or whose failure was reported already: RunJob reports
    // nothing more.
    struct TJobEnded {};

    // The common output writer: ASCII translation, the write, the checksum.
    std::int64_t WriteOutput(TStream32* Output, const void* Buffer, std::int64_t Count, bool DataFlag,
                             int CrcWidth);
    // Reports a failed write through OnError, then raises (disk full: EWriteError 25160;
    // otherwise E_RAISE 25136).
    [[noreturn]] void FailWrite(bool DiskFull);

    std::string FExtractDir;
    std::string FTempDir;
    bool FCancel = false;
    bool* FDriverCancel = nullptr; // the cancel flag of a driving component
    // ASCII translation: the last byte written was CR (so an LF that follows needs none).
    bool FLastWasCR = false;
    // Position in Password of the next arj garble byte.
    std::size_t FArjPasswordPos = 0;
};

// ---- free functions ----------------------------------------------------------------------------
// The error code of an exception that ended a job: E_RAISE keeps its code; running out of
// memory is 25253; a stream write error 25160 (full disk) or 25136, a stream read error
// 25236, any other stream error 25299; anything else 25355.
int JobErrorCode(const std::exception& Error);
// A new, empty, uniquely named file ("krv" + 6 characters) in Dir when it exists (created
// when missing), else in the system temporary folder. Empty when none could be made. Lock,
// when given, receives the descriptor that holds the file's lock (CreateTempFileAt).
std::string CreateTempFileName(const std::string& Dir, TUniqueFd* Lock = nullptr);
// Writes VolumeNo (1 to 3 digits) into FileName: Mode 0 over the end of the base name,
// Mode 1 over the end of the extension; other modes leave the name. A base or extension that
// ends in a number counts on from it instead, keeping its digits (rand.001 -> rand.003 for
// VolumeNo 2). False when VolumeNo is outside 0..999.
bool GetVolumeFileName(const std::string& FileName, int VolumeNo, int Mode, std::string& Result,
                       bool ShortNames);
// The method column text of an entry. IsDirectory and Magic (gzip's magic word) are the
// entry facts some types name their method by.
std::string CompressMethodName(TArcType ArcType, unsigned Method, unsigned Flags, bool IsDirectory = false,
                               std::uint16_t Magic = 0);
// The attribute text of an entry of ArcType (see TZipCommon::GetAttributeString).
std::string AttributeString(TArcType ArcType, std::uint8_t HostSystem, std::uint32_t Attr, char Fill);
// The StoredDirNames rule applied to a local path. DefaultDir is the folder the path was
// gathered under; ExplorerDir the writer's explorer default folder.
std::string ApplyStoredDirNames(TStoredDirNames Mode, const std::string& Path, const std::string& DefaultDir,
                                const std::string& ExplorerDir = {});
