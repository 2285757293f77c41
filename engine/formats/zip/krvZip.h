// The zip writer: creates zip archives, adds, refreshes and moves files into them, deletes
// and renames entries, keeps the entries, comments and self-extractor stub of an existing
// archive, and rewrites the archive and file comments. An archive whose target lies on a
// removable disk is spanned over as many disks as it needs.
//
// Zip64 records are written where a value needs them and only there: the Zip64 field of a
// local header whose file may reach 4 GiB, that of a directory record whose sizes or offset
// do not fit 32 bits, and the Zip64 end record with its locator for more than 65535 entries
// or a directory beyond 4 GiB. Kept entries are copied as they are (Zip64 local fields and
// data descriptors included) and their directory records get Zip64 fields by the same rule.
// A spanned set is kept to 32-bit values: what would need Zip64 there is refused before
// anything is written.
#pragma once

#include "engine/core/krvCompBase.h"
#include "engine/formats/zip/krvZipListRecord.h"
#include "engine/formats/zip/krvZipRecords.h"
#include "engine/formats/zip/krvZipWalk.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

using TOnClearDisk =
    std::function<void(TZipCommon& Sender, const std::string& Drive, std::int64_t RequiredSpace,
                       std::int64_t FreeSpace, std::int64_t TotalSpace, bool& Cancel)>;
using TOnDiskSpanFileExists = std::function<void(TZipCommon& Sender, const std::string& FileName,
                                                 TDateTime FileDate, TOverwriteMode& OverwriteMode)>;

class TZip : public TCompBase {
public:
    TZip();

    // Bytes kept free on the first disk of a spanned set.
    int LeaveSpaceOnFirstDisk = 0;

    TOnClearDisk OnClearDisk;
    TOnDiskSpanFileExists OnDiskSpanFileExists;

    void SetArcType(TArcType Value) override;

    // ---- comments -------------------------------------------------------------------------------
    // Reads the entries of ArchiveFile for the comment operations; the number of entries.
    int OpenComments();
    // The archive comment (empty when there is none).
    const std::vector<std::uint8_t>& GetArchiveComment() const { return FArchiveComment; }
    void SetArchiveComment(const void* Buffer, std::size_t Len);
    // The name and comment of entry Index; false for an index outside the entries.
    bool GetFileComment(int Index, std::string& Name, std::vector<std::uint8_t>& Comment);
    void SetFileComment(int Index, const void* Buffer, std::size_t Len);
    // Whether a comment was changed since OpenComments or the last SaveComments.
    bool CommentsChanged() const { return FCommentsChanged; }
    // Writes changed comments back into ArchiveFile; false when nothing was changed or written.
    // A read-only archive is written only when OnNonWriteableArchive allows it; every failure
    // goes through ReportError and leaves the archive as it was.
    bool SaveComments();

protected:
    friend class TDiskSpanObj;

    // The central directory of the entries of List that are not dropped.
    struct TCentralDirectory {
        std::vector<std::uint8_t> Bytes; // every record with its name, extra field and comment
        std::vector<std::size_t> RecordStarts;
        int Count = 0;
    };
    TCentralDirectory BuildCentralDirectory(TCompHeaderObj& List, std::vector<TCompEntry>& Entries);

    int GetHeadSize() override { return TZipListRecord::Size; }
    int GetLocalHeadSize() override { return TZipLocalHeader::Size; }
    void ReadHeaders(TStream32& Input, TCompHeaderObj& List) override;
    bool ReadFirstHeader(TStream32& Input, bool& Central) override;
    bool ReadHeader(TStream32& Input, std::string& Name, bool Central) override;
    const std::uint8_t* GetHeadPtr() override { return FOldImage.data(); }
    std::int64_t GetEntrySize(int Index) override;
    void InitHeader(TCompHeaderObj& List, int Index) override;
    void WriteLocalHeader(TStream32& Output) override;
    void SetHeaderFields(std::int64_t UnpackedSize, std::int64_t PackedSize) override;
    void StoreHeader(TCompHeaderObj& List, int Index) override;
    void InfoToHeader(std::uint8_t* Header, const TCompFileInfo& Info) override;
    void HeaderToInfo(const std::uint8_t* Header, TCompFileInfo& Info) override;
    void CopyKeptEntry(TCompHeaderObj& List, int Index) override;
    void CopyEntry(TCompHeaderObj& List, int Index) override;
    void WriteEmptyEndRecord(TStream32& Output) override;
    void DoFileEnd() override;
    bool FinishArchive(TStream32& Output, TCompHeaderObj& List) override;
    void ListEntries(TCompHeaderObj& List) override;
    void CheckLimits(TCompHeaderObj& List) override;
    bool AddFile(TCompHeaderObj& List, int Index) override;
    std::string TemporaryArchiveName() override;
    std::int64_t MaxArchiveSize() const override;
    std::int64_t MaxEntryBytes() const override;

private:
    // The version this writer makes entries with, and that of entries with Zip64 fields.
    static constexpr std::uint16_t ZipVersion = 20;
    static constexpr std::uint16_t Zip64Version = 45;
    // Whether the local header of a file of Size bytes gets a Zip64 field: when its data,
    // grown by deflate's worst case or the cipher header, could reach 4 GiB.
    static bool LocalNeedsZip64(std::int64_t Size);

    // The local header of an old entry at its offset, deciphered; Enciphered tells its form,
    // Zip64 whether it has a Zip64 field.
    TZipLocalHeader ReadOldLocal(const TCompEntry& Entry, const TZipCentralHeader& Central, bool& Enciphered,
                                 bool& Zip64);
    // Bytes of the entry's data descriptor (0, 12, 16, 20 or 24) after its data at DataEnd.
    std::int64_t DescriptorSize(const TZipListRecord& Record, std::int64_t DataEnd, bool Zip64);
    // Entries whose bytes overlap others' are damage a rewrite would spread: refused.
    void RefuseOverlaps(const std::vector<TZipExtent>& Extents);
    // Makes the walk's Item the old header read last, under the name the zip walk read for it
    // (so that a file of that name replaces it), with its 64-bit values and LocalOffset as
    // its offset to store.
    void SetOldHeader(const TZipWalkEntry& Item, std::int64_t LocalOffset, TCompEntry Data);
    // The directory record of List's entry Index as written: with a Zip64 field (put before
    // the other fields of Extra, which is updated) when a value needs one.
    TZipCentralHeader DirectoryRecord(TCompHeaderObj& List, int Index, std::vector<std::uint8_t>& Extra);
    // Writes the central directory and the end record to Output; the directory offset stored
    // is its position less OffsetBias.
    void WriteDirectory(TStream32& Output, TCompHeaderObj& List, std::vector<TCompEntry>& Entries,
                        std::int64_t OffsetBias);
    // The stored form of a local name: no leading separator; Utf8 tells it needs the UTF-8 flag.
    std::string ArcName(const std::string& LocalName, bool& Utf8) const;
    bool Spanning() const;
    // Whether an archive of Size bytes (and the space the first disk keeps free) fits on the
    // removable medium beside what it holds now.
    bool FitsOnDrive(std::int64_t Size);
    // Puts the archive built in Scratch in place of ArchiveFile through a temporary file beside it.
    void PlaceFromScratch(TStream32& Scratch);

    TZipLocalHeader FLocal;
    std::string FLocalName;          // the stored name of the entry being written
    bool FLocalZip64 = false;        // its local header has a Zip64 field
    std::int64_t FLocalUnpacked = 0; // its sizes
    std::int64_t FLocalPacked = 0;
    std::vector<std::uint8_t> FArchiveComment;
    // The comment operations' own list.
    TCompHeaderObj FCommentList;
    std::vector<TCompEntry> FCommentEntries;
    std::int64_t FCommentDirPos = 0;
    std::int64_t FCommentCorrection = 0;
    std::int64_t FDirPos = 0; // where the old archive's directory (or its last entry's end) lies
    // The walk over the old archive's central records (FOldCentral) or local headers, the
    // extents of the entries it read and the end of the last one's data.
    std::unique_ptr<TZipWalk> FOldWalk;
    bool FOldCentral = false;
    std::vector<TZipExtent> FOldExtents;
    std::int64_t FOldDataEnd = 0;
    std::array<std::uint8_t, TZipListRecord::Size> FOldImage{};
    bool FCommentsChanged = false;
};
