// The zip reader: finds the entries of a zip archive (types atZip, atZipExe and atZipMV)
// through its central directory, or by walking its local headers when the directory is
// unusable, and extracts stored, shrunk, reduced, imploded and deflated entries, with the
// traditional zip cipher, the enciphered-header ("PL") form, data descriptors, archives behind
// a self-extractor stub, and sets spanned over several disks.
#pragma once

#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvDeflatePrefetch.h"
#include "engine/core/krvDiskManager.h"
#include "engine/core/krvUnBase.h"
#include "engine/formats/zip/krvZipRecords.h"
#include "engine/formats/zip/krvZipWalk.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TUnZip : public TUnBase {
public:
    TUnZip();
    ~TUnZip() override;

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;
    // Whether Password fits the current entry: the check byte of its deciphered encryption
    // header against the local header's CRC (or, with a data descriptor, its DOS time).
    bool CheckEncryptionHeader(std::span<std::uint8_t, 2 * CryptHeaderSize> WorkBuffer) override;

private:
    // One selected entry: what the zip walk read, and what the reader found wrong with it.
    struct TEntryRef : TZipWalkEntry {
        // Its local header overlaps another entry's (or two records point at one header):
        // the entry is refused as damage.
        bool Overlaps = false;
        std::int64_t Record = 0; // its number among the walk's records
    };

    // ---- finding the entries (krvUnZipScan.cpp) -------------------------------------------------
    // The records are walked twice, so that nothing is kept per entry: the first walk counts
    // the selected entries and their bytes, reports what it finds missing and finds the
    // entries whose data overlap; the second gives the same entries one by one as they are
    // extracted. A spanned set's entries are kept from the first walk instead (its disks are
    // not asked for twice).
    struct TWalkPlan {
        TStream32* Stream = nullptr;
        TZipWalkKind Kind = TZipWalkKind::Central;
        std::int64_t Start = 0;
        std::int64_t End = -1;
    };
    // The first walk. Fewer directory records than Expected (when not 0) is reported as damage.
    // Returns the number of selected entries.
    int ScanEntries(const TWalkPlan& Plan, std::uint64_t Expected, bool& DirectoryFound);
    // The next record of Walk that the job takes (its local header there, its name selected),
    // as an entry; Report: the first walk, which reports a missing local header.
    bool NextSelected(TZipWalk& Walk, TEntryRef& Entry, bool Report);
    // The entries whose extents overlap another's, found by a walk of their own when the
    // records are not in the order of their data.
    void FindOverlapsOutOfOrder(const TWalkPlan& Plan);
    static bool DigitalSignatureAt(TStream32& Stream, std::int64_t Pos);
    // Fails an entry whose data cannot be reached, saying Why: its error and its verdict.
    void FailUnread(const std::string& Name, const std::string& Why);
    // Names and fails the entries that a directory which ends before its count does not reach.
    void FailEntriesNotReached(const TWalkPlan& Plan);
    // Reports an archive whose entries can only be found through their local headers.
    void ReportDirectoryDamage();
    bool CorruptHeaderAnswered();
    void AddToTotals(std::uint32_t DosDateTime, std::int64_t Compressed, std::int64_t Uncompressed,
                     std::uint16_t Flags);

    // ---- extracting (krvUnZip.cpp) --------------------------------------------------------------
    void ExtractEntries(const TWalkPlan& Plan, int Count);
    void ExtractEntry(const TEntryRef& Entry, bool CentralPath);
    bool ZipProcessEntry(const TEntryRef& Entry);
    // Whether the local header read for a directory entry is that entry's own.
    bool LocalHeaderAgrees(const TEntryRef& Entry, const TZipLocalRecord& Record) const;
    // What is wrong with an entry's records that makes its data unreadable as they stand: a
    // size beyond any file, a local header whose method, encryption flag or sizes disagree
    // with the directory, a data descriptor that does, a local extra field that runs past its
    // end, stored data whose sizes differ. Empty when nothing is.
    std::string EntryDamage(const TEntryRef& Entry, const TZipLocalRecord& Record, bool CentralPath);
    // What the data descriptor after the data of a directory entry says against the directory.
    std::string DescriptorDamage(const TEntryRef& Entry, const TZipLocalRecord& Record);
    // Makes the disk holding the entry's local header current (spanned sets).
    bool OpenEntryDisk(const TEntryRef& Entry);
    bool RequestNextDisk();

    // ---- decoding (krvUnZipDecode.cpp) ----------------------------------------------------------
    // True for the methods ZipExtractEntry decodes.
    static bool ZipMethodSupported(std::uint16_t Method);
    void ZipExtractEntry();
    void ZipStoreEntry(std::int64_t Packed);
    void ZipInflateEntry(std::int64_t Packed);
    // The entry inflated in one call when its data fit in memory; false (nothing written, the
    // input where it was) when the stream decoder must do it.
    bool ZipInflateWhole(std::int64_t Packed);
    // Entries inflated ahead on worker threads (krvUnZipPrefetch.cpp).
    struct TInflated {
        bool Ok = false;
        std::int64_t DataStart = 0; // where the worker found the data
        std::vector<std::uint8_t> Plain;
    };
    void StartInflatePrefetch();
    // The current entry's data as a worker inflated them; false when there is no such result.
    bool TakeInflated(std::vector<std::uint8_t>& Plain);
    void ZipLegacyEntry(std::int64_t Packed);
    // The target of the current entry, a symbolic link, read from its data when they are plain
    // (stored or deflated) and of a path's length; empty otherwise.
    std::string ZipLinkTarget();
    void PutDecoded(const std::uint8_t* Buffer, std::int64_t Count);

    TDiskSpannObj FDiskSpann;
    bool FSpanned = false;                              // reading a set spanned over disks
    int FCurrentDisk = 0;                               // disk of the open stream (spanned sets)
    std::unique_ptr<TFileStream32>* FArchive = nullptr; // the driver's archive stream
    std::unique_ptr<TStream32> FInput;                  // reads whatever disk is current
    std::vector<TEntryRef> FEntries;                    // a spanned set's selected entries; the batch in hand
    std::vector<std::int64_t> FOverlapping; // numbers of the records whose extents overlap, sorted
    TZipOverlapCheck FOverlapCheck;         // of the first walk
    std::vector<TZipExtent> FExtents;       // of a spanned set's records
    std::unique_ptr<TWholeInflater> FWholeInflater;
    std::unique_ptr<TOrderedPrefetch<TInflated>> FInflatePrefetch;
    int FEntryIndex = 0; // of the current entry in FEntries
    double FPackedTotal = 0;
    double FUnpackedTotal = 0;

    // The current entry.
    std::uint16_t FFlags = 0;
    std::uint16_t FMethod = 0;
    std::int64_t FCompressedSize = 0;
    std::int64_t FUncompressedSize = 0;
    std::uint32_t FDosDateTime = 0;
    std::uint32_t FStoredCrc = 0;
    std::uint16_t FLocalFlags = 0;
    std::uint32_t FLocalCrc = 0;
    std::uint32_t FLocalDosDateTime = 0;
    TEntryTime FLocalTime = 0u; // the extended timestamp's when the header has one
    std::int64_t FDataStart = 0;
    std::string FEntryName;   // its stored name as a local name
    std::string FEntryDamage; // what its records say wrong (EntryDamage)
};
