// The directory lister: lists the entries of an archive of any known type without
// extracting anything. The owner sets ArchiveFile (which detects the type), optionally
// FileSpec, assigns OnRead and calls Activate; the lister walks the archive's headers and
// fires the per-entry events for every selected entry with the current-entry fields of the
// common base filled, then reports the totals.
#pragma once

#include "engine/core/krvZipCommon.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

using TOnReadFile = std::function<void(TZipCommon& Sender, const std::string& FileName)>;
using TOnTotals =
    std::function<void(TZipCommon& Sender, double UnpackSize, double PackSize, int Ratio, int NumFiles)>;

// What a format walk learned of one entry; the lister selects and reports it.
struct TKorvaEntry {
    std::string StoredName;       // the name as stored
    bool NameIsUtf8 = false;      // stored as UTF-8 (no code-page translation)
    bool RawName = false;         // taken as it stands (the walk made it local itself)
    bool IsDirectory = false;     // a folder entry: reported only with ShowEmptyDirs
    bool CountDirectory = false;  // a folder entry that is counted when reported (tar)
    bool UseEntrySpec = false;    // selected by the readers' entry test (zip directory)
    bool Always = false;          // the one entry of a single-file type: no mask test
    bool UnnamedByOffset = false; // a name that names no file is shown as the readers name it
    TDateTime Date = 0;
    std::uint16_t VersionMadeBy = 0;
    std::uint16_t VersionNeeded = 0;
    std::int64_t PackedSize = 0;
    std::int64_t UnpackedSize = 0;
    std::int64_t RatioPacked = -1; // stored size for the ratio and totals; -1: PackedSize
    bool NoRatio = false;          // the ratio is reported as 0
    std::uint32_t CRC = 0;
    bool Encrypted = false;
    std::uint16_t Method = 0;
    unsigned MethodFlags = 0;  // second input of the method text
    std::uint16_t Magic = 0;   // gzip's magic word, for the method text
    bool NoMethodText = false; // the method column stays empty
    std::uint16_t InternalAttr = 0;
    std::uint32_t ExternalAttr = 0;
    std::uint8_t HostSystem = 0;
    std::int64_t Offset = 0; // reported through OnRead
    std::string VolumeID;    // empty: the archive's name

    // A folder entry is shown with a trailing separator.
    void MarkFolder() {
        if (IsDirectory && !StoredName.empty() && !IsPathSeparator(StoredName.back())) StoredName += '/';
    }
};

class TKorva : public TZipCommon {
public:
    TKorva();
    ~TKorva() override;

    // Lists ArchiveFile. True when the walk ran to its end without a raised error; every
    // error reaches the owner through OnError.
    bool Activate();

    // Stored names become FileName as listed: from the OEM code page when TranslateOemChar,
    // with local separators; none of the readers' output-path rules apply.
    void SetCurrentFileName(const std::string& StoredName) override;

    bool ShowEmptyDirs = false;

    TNotifyEvent OnReadBegin;
    TNotifyEvent OnReadEnd;
    TOnReadFile OnReadFile;
    TOnTotals OnTotals;

    // Run totals, valid in OnTotals and after the run.
    int NumFiles = 0;
    double TotalPackedSize = 0;
    double TotalUnpackedSize = 0;
    std::uint8_t TotalRatio = 0;

    // Largest comment kept in FileComment; a longer stored comment is cut to it.
    static constexpr std::size_t CommentBufSize = 32768;

    class TWalk;

private:
    // The selection rules: the name, OnReadFile, the mask test, the count and totals, and
    // the report of a selected entry. Folder entries are reported only with ShowEmptyDirs.
    // True when the entry was reported.
    bool SelectEntry(TKorvaEntry& Entry);
    // Fills the current-entry fields and fires OnReadBegin, OnRead and OnReadEnd.
    void ReportEntry(const TKorvaEntry& Entry);
    void AddTotals(std::int64_t Packed, std::int64_t Unpacked);
    // The comment reader: Len bytes at Pos (Len 0: up to 2500 bytes, ending at a NUL), never
    // past the archive's end nor the comment buffer.
    std::string ReadComment(std::int64_t Pos, std::int64_t Len);
    // A stored comment as FileComment keeps it: up to its first NUL, at most the buffer's size.
    static std::string CutComment(std::string Text);
    void Walk();
    bool MatchesSpec(const std::string& Name, bool UseEntrySpec) const;

    std::unique_ptr<TFileStream32> FStream;
    std::unique_ptr<TDiskSpannObj> FDiskSpann;
    std::unique_ptr<TWalk> FWalk;
    std::string FVolumeID; // the archive's name at the start of the run
};
