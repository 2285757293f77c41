// The base of every archive reader: the extraction driver (opening the archive, timing,
// activation events, the per-format worker that each reader overrides) and the services each
// worker calls per entry: selection by masks, the confirmation and overwrite questions,
// passwords, the output file, stored-entry copying, the CRC verdict, progress for skipped
// entries, and the output's date and attributes.
//
// Per entry a worker calls, in this order: MatchEntrySpec -> ConfirmExtractFile ->
// CheckPassword (encrypted entries) -> OpenOutputFile -> its decoder (or UnStore) through the
// write routine -> CloseOutputFile -> CheckCrc. An entry that is not extracted is accounted
// for with SkipEntry. The output is put in place by CheckCrc, and only when the entry passed:
// an existing file is never replaced by a failed entry.
#pragma once

#include "engine/codec/krvDecoderIO.h"
#include "engine/core/krvCopyAhead.h"
#include "engine/core/krvCrypt.h"
#include "engine/core/krvOrderedPrefetch.h"
#include "engine/core/krvZipCommon.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class TDecompressStream;
class TUniqueFd;
class TExtractOutput;
class TOutputFolderCache;

// The processor a reader was once tuned for. Kept for the callers that set it: it has no effect,
// since one decoder serves every processor.
enum TCpuType : std::uint8_t { cptAuto, cpt80286, cpt80386, cpt80486 };

// An entry's modification time as its format stores it: a packed DOS date-time (local time,
// two-second steps) or exact Unix seconds. Output files get the exact time when there is one.
struct TEntryTime {
    TEntryTime(std::uint32_t DosDate) : Dos(DosDate) {} // NOLINT: every DOS date is an entry time
    static TEntryTime Unix(std::int64_t Seconds);
    std::uint32_t Dos = 0;
    std::int64_t UnixSeconds = 0;
    bool Exact = false;
};

using TUnBase_OnFileExists = std::function<void(TZipCommon& Sender, const std::string& FileName,
                                                std::string& NewFilename, TOverwriteMode& OverwriteMode)>;

class TUnBase : public TZipCommon {
public:
    TUnBase();
    ~TUnBase() override;

    bool CreateStoredDirs = false;
    bool RestoreFileAttr = true;
    TCpuType CpuType = cptAuto; // no effect; each run turns cpt80486 back into cptAuto
    // Asked before an existing file is replaced when ConfirmOverwrites is set.
    TUnBase_OnFileExists OnFileExists;

    // Extracts the selected entries to disk files. Returns the number of entries that were
    // confirmed for extraction and not found failed.
    int Extract();
    // The same, with the data going only to the write routine a driving component installed.
    int ExtractNoOutput();

    // ---- the job's outcome (valid after Extract) ------------------------------------------------
    int FilesFailed = 0;    // entries that failed: CRC, decoding, output, password
    int ErrorsReported = 0; // errors that reached OnError during the job

    // ---- selection (the tests of krvMatchSpec.h) -------------------------------------------
    // Whether EntryName (a local name, '/'-separated) is selected by the masks of FileSpec
    // and not excluded by those of ExcludeSpec. The masks are never changed.
    static bool MatchEntrySpec(const std::string& EntryName, const std::vector<std::string>& FileSpec,
                               const std::vector<std::string>& ExcludeSpec, bool RecurseDirs);
    bool MatchEntrySpec(const std::string& EntryName) const {
        return MatchEntrySpec(EntryName, FileSpec, ExcludeSpec, RecurseDirs);
    }
    // The writers' and lister's simpler test: one include mask matches, no exclude mask does.
    static bool MatchFileSpec(const std::string& FileName, const std::vector<std::string>& IncludeMasks,
                              const std::vector<std::string>& ExcludeMasks);
    // The folder part of a stored name.
    static std::string ExtractPathOf(const std::string& Name);
    // Text with Delta subtracted from (Subtract) or added to every byte, wrapping around.
    static std::string ShiftChars(bool Subtract, const std::string& Text, int Delta);
    // Deletes a file: to the trash (doAllowUndo; false for a missing file) or for good.
    static bool EraseFile(const std::string& FileName, TDeleteOptions Options);

protected:
    // ---- the per-format worker ------------------------------------------------------------------
    // Extracts from ArchiveStream (which a multi-volume worker may replace). Returns any
    // value the worker likes; the driver ignores it.
    virtual int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream);
    // Whether Password fits the entry whose enciphered 12-byte encryption header is in the
    // second half of WorkBuffer. The base knows no cipher: false.
    virtual bool CheckEncryptionHeader(std::span<std::uint8_t, 2 * CryptHeaderSize> WorkBuffer);

    // ---- per-entry services ---------------------------------------------------------------------
    // OnBegin and the overwrite rules for the current FileName. A directory is confirmed at
    // once. A confirmed file entry counts as processed.
    bool ConfirmExtractFile(bool IsDirectory);
    // Reads the entry's encryption header from ArchiveStream and finds a password that fits:
    // Password, then each of Passwords, then up to PasswordAttempts answers of OnGetPassword.
    // False sets the job's password-failed flag.
    bool CheckPassword(TStream32& ArchiveStream);
    // Opens the output of the current entry (nothing for output mode 7). False when it
    // cannot be opened (reported) or the entry is encrypted and the job's password failed.
    bool OpenOutputFile(const std::string& EntryName, const std::string& AFileName, bool EntryEncrypted);
    // The stream the decoders write to: the open output, or nullptr (output mode 7).
    TStream32* OutputStream();
    // Copies Count stored bytes from Input to the output through the read and write
    // routines, in chunks of at most 32768 bytes; CrcWidth is the checksum of the entry.
    // Returns the bytes not copied (0 = complete): a read of 0 bytes or the cancel flag stops.
    std::int64_t UnStore(TStream32& Input, std::int64_t Count, std::int64_t EntrySize, int CrcWidth,
                         bool EntryEncrypted);
    // UnStore of plain bytes with no checksum and no cipher from one file, at InputPos, into the
    // output file: the kernel copies them (copy_file_range), in the same steps and with the same
    // progress, from that offset without moving the input's position (one call less per entry);
    // through memory the input is first put at InputPos. Returns the bytes not copied; also
    // when InputPos lies beyond the input's end.
    std::int64_t CopyStored(TStream32& Input, std::int64_t InputPos, std::int64_t Count,
                            std::int64_t EntrySize);
    // Runs Decoder over the current entry: Packed bytes pulled from Input through the read
    // routine (deciphered when ReadEncrypted), Unpacked decoded bytes pushed through the write
    // routine with a checksum of CrcWidth, progress after each block. Damaged data are
    // reported and fail the entry; a failed write passes on.
    void DecodeEntry(TStream32& Input, std::int64_t Packed, std::int64_t Unpacked, int CrcWidth,
                     bool ReadEncrypted, const std::function<TDecodeResult(const TDecoderIO&)>& Decoder);
    // Inflates the current entry's raw deflate data from Input's position (deciphered with
    // Cipher when Enciphered) into the output: Unpacked bytes through the write routine with
    // CRC-32, the counters lowered by what really came. When the input ends before the deflate
    // stream does, MoreInput (when set) may supply more (the next disk) and answer true.
    // Damaged or short data are reported and fail the entry.
    void InflateEntry(TStream32& Input, std::int64_t Unpacked, bool Enciphered,
                      const std::function<bool(TDecompressStream&)>& MoreInput = {});
    // InflateEntry of plain data that lie at DataPos of the archive file itself, with the
    // decoding on a thread of its own while this one checksums and writes: the same pieces,
    // events and errors. False, with nothing done, where that does not pay (one thread, no
    // file output, an entry of less than a few MiB): the caller runs InflateEntry.
    bool InflateEntryAhead(std::int64_t DataPos, std::int64_t Unpacked);
    // DecodeEntry of plain data that lie at DataPos of the archive file itself, with Decoder
    // run on a thread of its own a few blocks ahead: the same output blocks, events and result
    // as a worker's TakeDecodedAhead gives. False, with nothing done, under the same rules.
    bool DecodeEntryAhead(std::int64_t DataPos, std::int64_t Packed, std::int64_t Unpacked, int CrcWidth,
                          const std::function<TDecodeResult(const TDecoderIO&)>& Decoder);
    // Where an entry's data lie and what they must give.
    struct TEntryData {
        std::int64_t DataPos = 0;
        std::int64_t Packed = 0;
        std::int64_t Unpacked = 0;
        int CrcWidth = 16;
        std::uint32_t Crc = 0;
        std::uint32_t Attr = 0; // for CloseOutputFile
        TEntryTime Time = 0u;
    };
    // The output of the current (confirmed) entry from its data: opened, filled by Decoder
    // (a stored copy when empty), closed with its date and attributes, and given its verdict.
    bool ExtractEntryData(TStream32& Input, const std::string& LocalName, const TEntryData& Data,
                          const std::function<TDecodeResult(const TDecoderIO&)>& Decoder);
    // The extraction loop of a job whose Count selected entries hold Total unpacked bytes: Next
    // gives each in turn (nullptr: no more), and Extract runs for it, until the cancel flag is
    // set. A reader that walks its headers a second time here keeps nothing per entry.
    template <class TNext, class TExtract>
    void ExtractEach(std::int64_t Count, double Total, TNext Next, TExtract Extract) {
        JobTotal = Total;
        BytesToDo = Total;
        FSelectedIndex = -1;
        for (std::int64_t i = 0; i < Count && !GetCancel(); ++i) {
            const auto* entry = Next();
            if (!entry) break;
            ++FSelectedIndex;
            Extract(*entry);
        }
        FDecodePrefetch.reset();
        FDataInArchiveFile = false;
    }
    // ExtractEach over entries read a batch at a time, so that a job keeps no record per entry:
    // Fill gives the next entry (false: no more), Plan(Batch, First) starts what is done ahead
    // for a batch whose first entry is number First among the selected ones.
    template <class TEntry, class TFill, class TPlan, class TExtract>
    void ExtractInBatches(std::int64_t Count, double Total, TFill Fill, TPlan Plan, TExtract Extract) {
        constexpr std::size_t batchSize = 1024;
        std::vector<TEntry> batch;
        std::size_t at = 0;
        int first = 0;
        const auto next = [&]() -> const TEntry* {
            if (at == batch.size()) {
                first += static_cast<int>(batch.size());
                batch.clear();
                at = 0;
                TEntry entry;
                while (batch.size() < batchSize && Fill(entry))
                    batch.push_back(std::move(entry));
                if (batch.empty()) return nullptr;
                Plan(batch, first);
            }
            return &batch[at++];
        };
        ExtractEach(Count, Total, next, Extract);
    }
    // The same over the selected Entries kept in a list.
    template <class TEntry, class TExtract>
    void ExtractSelected(const std::vector<TEntry>& Entries, double Total, TExtract Extract) {
        std::size_t at = 0;
        ExtractEach(
            std::ssize(Entries), Total, [&] { return &Entries[at++]; }, Extract);
    }
    // One selected entry's data for the decoders run ahead on worker threads: its number among
    // the selected entries (as ExtractEach comes to them), where its data lie in ArchiveFile,
    // and its decoder.
    struct TDecodeJob {
        int Index = 0;
        std::int64_t DataPos = 0;
        std::int64_t Packed = 0;
        std::int64_t Unpacked = 0;
        std::function<TDecodeResult(const TDecoderIO&)> Decoder;
    };
    // Whether an entry of these sizes is decoded ahead: not one without data, nor a huge one,
    // which would be held whole in memory. (The readers that decode ahead have slow decoders:
    // even a small entry takes longer to decode than to hand across threads.)
    static bool DecodesAhead(std::int64_t Packed, std::int64_t Unpacked);
    // A reader whose entries all lie in ArchiveFile, plain, may have them decoded ahead: Jobs
    // for the selected entries that DecodesAhead takes, in rising Index. ExtractEntryData then
    // takes each result where it would have decoded the entry itself and replays its output
    // block by block, so the events and the output are those of a one-thread run. A larger
    // entry of such a reader is decoded on a thread of its own (DecodeEntryAhead).
    void StartDecodePrefetch(std::vector<TDecodeJob> Jobs);
    // The output of the current entry, whose data lie at DataPos, decoded ahead by a worker:
    // pushed through the write routine block by block as DecodeEntry would, its damage
    // reported. False, with nothing done, when no worker decoded it.
    bool TakeDecodedAhead(std::int64_t DataPos, int CrcWidth, std::int64_t Unpacked);
    // Makes an entry current: its facts for the events, and FileName (the output path of
    // LocalName for file output, else LocalName itself). HostSystem is taken as DOS. A reader
    // that gives the header's position (HeaderPos) has an entry whose name names no file
    // ("", "/", ".") tested under its UnnamedEntryName, and skipped by that name (reported)
    // by an extraction, which has nowhere to put it.
    void SetCurrentEntry(const std::string& LocalName, std::uint16_t AMethod, std::int64_t Packed,
                         std::int64_t Unpacked, std::uint32_t Crc, bool IsEncrypted,
                         std::int64_t HeaderPos = -1);

public:
    // Whether a local name names no file: nothing is left of it but separators and ".".
    static bool NamesNoFile(const std::string& LocalName);
    // What an entry whose name names no file is selected, shown and tested under: the offset
    // of its header and its name as stored.
    static std::string UnnamedEntryName(const std::string& LocalName, std::int64_t HeaderPos);
    // The name a reader selects an entry by: UnnamedEntryName for a name that names no file,
    // else LocalName.
    static std::string SelectionName(const std::string& LocalName, std::int64_t HeaderPos) {
        return NamesNoFile(LocalName) ? UnnamedEntryName(LocalName, HeaderPos) : LocalName;
    }

protected:
    // Plain stored data of file entries copied ahead on worker threads into unnamed files of
    // the destination (see krvCopyAhead.h), for a reader that creates its outputs on confirm:
    // Jobs for the entries it numbers in the order it comes to them. CopyAheadEntry names the
    // entry the next ConfirmExtractFile is for; a new name then gets the file copied ahead, and
    // CopyStored of that entry only reports its progress. A failed copy ahead (a full disk, say)
    // ends the copying ahead for the job, and the entry is copied as it would have been, with
    // the space held ahead given back first. Nothing is copied ahead on one thread.
    void PlanCopyAhead(std::vector<TCopyAhead::TJob> Jobs);
    void CopyAheadEntry(int Index) { FCopyAheadIndex = Index; }
    // The attributes CloseOutputFile will be given for the entry the next ConfirmExtractFile is
    // for, where the reader knows them by then: a new output is created with its final mode.
    void AttrAtConfirm(std::uint32_t Attr) { FAttrAtConfirm = Attr; }
    void EndCopyAhead();
    // UnStore of the current entry's Packed bytes; data that end early are reported and fail
    // the entry.
    void CopyStoredEntry(TStream32& Input, std::int64_t Packed, std::int64_t Unpacked, int CrcWidth,
                         bool ReadEncrypted);
    // The current entry fails without output (ECode, when not 0, is reported first): a file
    // of its name stays as it is; its verdict follows. Returns false.
    bool RefuseEntry(int ECode, std::int64_t EntrySize, int CrcWidth, std::uint32_t StoredCrc);
    // A stored entry's copy is as long as its file: when Packed and Unpacked differ one of them
    // is wrong, and the entry is refused as damaged (false).
    bool StoredSizesAgree(std::int64_t Packed, std::int64_t Unpacked, int CrcWidth, std::uint32_t StoredCrc);
    // Dates the output by DateAttribute, gives it Attr (when RestoreFileAttr) and closes it.
    void CloseOutputFile(std::uint32_t Attr, TEntryTime Time);
    // The attributes of a file entry made on Unix with permission bits Mode, for
    // CloseOutputFile with HostSystem 3: the bits apply less the umask, never set-user,
    // set-group or sticky; no bits stored gives the default mode.
    static std::uint32_t UnixModeAttr(std::uint32_t Mode);
    // A symbolic link entry pointing at Target (empty: not known), the current entry: links are
    // never created. An extraction reports it skipped by name; a test passes it (it holds no
    // data to check).
    void SkipLinkEntry(const std::string& Target, std::int64_t EntrySize);
    // The verdict on the entry: the running checksum of Width against StoredCrc (or its
    // complement), false after MarkEntryFailed or when cancelled. A passed entry's output is
    // put in place, a failed one's removed; then OnEnd fires (or 25151 is reported).
    bool CheckCrc(int Width, std::uint32_t StoredCrc);
    // Accounts for an entry that is not extracted.
    void SkipEntry(std::int64_t EntrySize);
    // The current entry has failed whatever its checksum says (a decoder error, an
    // unsupported method, a refused password).
    void MarkEntryFailed() { FEntryFailed = true; }
    // A new attempt at the current entry (another password) starts without the failure.
    void ClearEntryFailed() { FEntryFailed = false; }
    bool EntryFailed() const { return FEntryFailed; }
    // The folders of a directory entry, made below ExtractDir without following links.
    bool ForceOutputDirs(const std::string& DirName);

    void ReportError(const std::string& AFileName, const std::string& ExtendedMsg,
                     const std::string& AVolumeID, int ECode) override;

    // The reader writes every confirmed file entry through OpenOutputFile, under the name it
    // was confirmed by: the output of a new name is then created as the entry is confirmed,
    // without a look at the name first.
    bool CreateOutputOnConfirm = false;
    bool PasswordFailed = false;     // no password fitted an encrypted entry of this job
    std::int64_t EntryBytesDone = 0; // bytes of the current entry written so far

private:
    int RunExtraction();
    // What a worker decoded: the result, the output and the size of each block it came in.
    struct TDecoded {
        std::int64_t DataPos = 0;
        TDecodeResult Result;
        std::vector<std::uint8_t> Plain;
        std::vector<std::int64_t> Blocks;
    };
    // The decoder's output pushed through the write routine: progress and checksum per block.
    void PutDecodedBlock(const std::uint8_t* Buffer, std::int64_t Count, int CrcWidth, std::int64_t Unpacked);
    // Damaged or short output is reported and fails the entry.
    void FinishDecode(TDecodeResult Result, std::int64_t Unpacked);
    // The archive file opened anew for a thread that decodes an entry of Unpacked bytes ahead;
    // none where that does not pay.
    TUniqueFd ArchiveForDecodeAhead(std::int64_t Unpacked) const;
    std::unique_ptr<TOrderedPrefetch<TDecoded>> FDecodePrefetch;
    bool FDataInArchiveFile = false; // the job's entries lie in ArchiveFile, plain
    int FSelectedIndex = -1;         // of the entry ExtractSelected is at
    void ApplyAttributes(std::uint32_t Attr);
    // The permission bits CloseOutputFile gives a file of attributes Attr.
    mode_t OutputModeOf(std::uint32_t Attr) const;
    std::optional<std::uint32_t> FAttrAtConfirm;
    bool TargetExists(const std::string& Name, std::uint32_t& Attr);
    // A confirmed file entry counts as processed; true.
    bool CountConfirmed();
    // The file time of a packed DOS date-time, the job's last one kept.
    std::time_t OutputTimeOf(std::uint32_t DosDate);
    std::optional<std::pair<std::uint32_t, std::time_t>> FLastDosTime;

    std::unique_ptr<TOutputFolderCache> FFolders;
    std::unique_ptr<TExtractOutput> FOutput;
    // The output of the confirmed entry, created when it was confirmed under a new name; taken
    // by OpenOutputFile, removed when the entry ends without it.
    std::unique_ptr<TExtractOutput> FCreatedAtConfirm;
    // The file of the current entry was copied ahead: its data are there.
    bool FWrittenAhead = false;
    // The unnamed file copied ahead for the current entry (invalid when none).
    TUniqueFd TakeCopiedAhead();
    std::unique_ptr<TCopyAhead> FCopyAhead;
    std::vector<TCopyAhead::TJob> FCopyAheadJobs; // planned, not started yet
    int FCopyAheadIndex = -1;
    std::string FSavedEntryName;
    std::array<std::uint8_t, 2 * CryptHeaderSize> FWorkBuffer{};
    bool FEntryFailed = false;
    bool FEntryUnnamed = false; // the current entry's name names no file
    bool FEntryCounted = false; // the current entry was counted as processed
    int FCountAtConfirm = 0;    // FilesProcessed right after it was
};
