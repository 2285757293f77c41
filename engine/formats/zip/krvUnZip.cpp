// The zip reader's job and its entry loop.
#include "engine/formats/zip/krvUnZip.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvOutputPath.h"
#include "engine/formats/zip/krvSpannedDir.h"
#include "engine/formats/zip/krvZipDescriptor.h"
#include "engine/formats/zip/krvZipEntryName.h"
#include "engine/formats/zip/krvZipExtra.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <optional>

#include <sys/stat.h>

namespace {

// Reads whatever disk of a spanned set is current: the driver's stream object is replaced
// when another disk is opened, and the codec streams keep reading through this one.
class TCurrentDiskStream : public TStream32 {
public:
    explicit TCurrentDiskStream(std::unique_ptr<TFileStream32>& Holder) : FHolder(Holder) {}

    std::int64_t GetSize() override { return FHolder ? FHolder->GetSize() : 0; }
    std::int64_t Read(void* Buffer, std::int64_t Count) override {
        return FHolder ? FHolder->Read(Buffer, Count) : 0;
    }
    std::int64_t Write(const void* /*Buffer*/, std::int64_t /*Count*/) override { return -1; }
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override {
        return FHolder ? FHolder->Seek(Offset, Origin) : -1;
    }

private:
    std::unique_ptr<TFileStream32>& FHolder;
};

bool IsJarType(TArcType Type) {
    return Type == atJar || Type == atJarExe;
}

} // namespace

TUnZip::TUnZip() = default;

TUnZip::~TUnZip() = default;

int TUnZip::DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) {
    FArchive = &ArchiveStream;
    FInput = std::make_unique<TCurrentDiskStream>(ArchiveStream);
    FEntries.clear();
    FPackedTotal = 0;
    FUnpackedTotal = 0;
    FSpanned = FArcType == atZipMV;
    if (FSpanned) {
        // The end record is on the last disk, which is detected anew.
        FDiskSpann.Init(*this);
        FDiskSpann.Request = drLastDisk;
        if (!FDiskSpann.OpenDisk(ArchiveStream)) return 0;
    }
    const TZipEndRecord end = TZipEndRecord::FromBytes(EndRecord.data());
    if (FSpanned) FCurrentDisk = end.ThisDisk;
    // The entries are read from the directory found all the same.
    if (ZipDirectoryOffsetWrong && !FSpanned)
        ReportError(ArchiveFile(),
                    "the end record's directory offset is wrong; the directory lies at " +
                        std::to_string(ArchiveOffset),
                    "0", ecHeaderNotFound);

    const TWalkPlan local{FInput.get(), TZipWalkKind::Local, ArchiveOffset, -1};
    const auto walkLocalHeaders = [&] {
        ReportDirectoryDamage();
        if (!CorruptHeaderAnswered()) return;
        bool unused = false;
        const int count = ScanEntries(local, 0, unused);
        if (count > 0) ExtractEntries(local, count);
    };
    if (HeaderState == htLocal) {
        walkLocalHeaders();
    } else {
        bool directoryFound = false;
        bool diskReported = false;
        int count = 0;
        const TWalkPlan central{FInput.get(), TZipWalkKind::Central, ArchiveOffset,
                                ZipDirectoryEnd(ArchiveOffset)};
        if (FSpanned && ZipDirectoryStartsEarlier(end)) {
            // The directory begins on an earlier disk and runs on over the following ones.
            TSpannedDirStream directory(FDiskSpann, ArchiveStream, end);
            if (directory.Open())
                count =
                    ScanEntries({&directory, TZipWalkKind::Central, 0, -1}, end.TotalEntries, directoryFound);
            else
                diskReported = true;
            FCurrentDisk = directory.CurrentDisk();
        } else {
            // A set whose directory lies on its last disk counts the records of that disk.
            const std::uint64_t expected = FSpanned ? end.EntriesOnDisk : ZipEntryCount;
            count = ScanEntries(central, expected, directoryFound);
        }
        TZipLocalRecord first;
        if (directoryFound) {
            if (count > 0) ExtractEntries(central, count);
        } else if (ZipEntryCount == 0 && ZipDirectorySize == 0 && !FSpanned &&
                   !TZipWalk::ReadLocalHeader(*this, *FInput, std::max<std::int64_t>(ArchiveOffset, 0),
                                              first)) {
            // An empty archive (an end record alone) holds nothing to read: no damage.
        } else if ((HeaderState & htLocal) && !FSpanned) {
            // No directory where the end record points: the local headers are all there is.
            walkLocalHeaders();
        } else if (!GetCancel() && !diskReported) {
            ReportError(ArchiveFile(), "", "0", ecHeaderNotFound);
        }
    }
    FEntries.clear();
    FOverlapping.clear();
    FInput.reset();
    FArchive = nullptr;
    return 0;
}

void TUnZip::ReportDirectoryDamage() {
    // The entries found through their local headers are read all the same, but the archive
    // itself is damaged: the run does not pass.
    ReportError(ArchiveFile(), "central directory missing or damaged", "0", ecHeaderNotFound);
}

bool TUnZip::CheckEncryptionHeader(std::span<std::uint8_t, 2 * CryptHeaderSize> WorkBuffer) {
    return Cipher.CheckCryptHeader(WorkBuffer, FLocalFlags, FLocalCrc, Password, FLocalDosDateTime & 0xFFFF);
}

bool TUnZip::OpenEntryDisk(const TEntryRef& Entry) {
    const int disk = static_cast<int>(std::min<std::uint32_t>(Entry.Disk, Zip64Marker16));
    if (disk == FCurrentDisk && *FArchive) return true;
    FDiskSpann.WantedDisk = disk;
    FDiskSpann.Request = disk == 0 ? drFirstDisk : drNextDisk;
    FDiskSpann.RequestOffset = Entry.LocalOffset;
    if (!FDiskSpann.OpenDisk(*FArchive)) return false;
    FCurrentDisk = disk;
    return true;
}

bool TUnZip::RequestNextDisk() {
    FDiskSpann.WantedDisk = FCurrentDisk + 1;
    FDiskSpann.Request = drNextDisk;
    if (!FDiskSpann.OpenDisk(*FArchive)) return false;
    ++FCurrentDisk;
    return true;
}

void TUnZip::ExtractEntries(const TWalkPlan& Plan, int Count) {
    const bool centralPath = Plan.Kind == TZipWalkKind::Central;
    // The workers stop with the extraction, however it ends.
    const TScopeExit stopPrefetch{[this] { FInflatePrefetch.reset(); }};
    std::optional<TZipWalk> walk;
    if (!FSpanned) {
        // The second walk, a batch of entries ahead of the extraction at a time: the workers
        // inflate ahead within the batch.
        walk.emplace(*this, *Plan.Stream, Plan.Kind, Plan.Start, Plan.End);
        FEntries.clear();
    }
    constexpr std::size_t batchSize = 1024;
    std::size_t at = 0;
    bool stop = false;
    const auto next = [&]() -> const TEntryRef* {
        if (stop) return nullptr;
        if (at == FEntries.size()) {
            if (!walk) return nullptr;
            FInflatePrefetch.reset();
            FEntries.clear();
            at = 0;
            TEntryRef entry;
            while (FEntries.size() < batchSize && NextSelected(*walk, entry, false))
                FEntries.push_back(std::move(entry));
            if (FEntries.empty()) return nullptr;
            StartInflatePrefetch();
        } else if (at == 0) {
            StartInflatePrefetch();
        }
        FEntryIndex = static_cast<int>(at);
        return &FEntries[at++];
    };
    ExtractEach(Count, FUnpackedTotal, next, [&](const TEntryRef& Entry) {
        if (FSpanned && !OpenEntryDisk(Entry))
            stop = true;
        else
            ExtractEntry(Entry, centralPath);
    });
}

void TUnZip::ExtractEntry(const TEntryRef& Entry, bool CentralPath) {
    TZipLocalRecord record;
    const bool read = TZipWalk::ReadLocalHeader(*this, *FInput, Entry.LocalOffset, record);
    if (!read || (CentralPath && !LocalHeaderAgrees(Entry, record))) {
        const std::string at = std::to_string(Entry.LocalOffset);
        FailUnread(CentralPath ? Entry.Name : ArchiveFile(),
                   !read ? "no local header at " + at
                   : Entry.Overlaps
                       ? "the local header at " + at + " lies within another entry's data"
                       : "the local header at " + at + " differs from the directory's name or CRC");
        SkipEntry(Entry.UncompressedSize);
        return;
    }
    const TZipLocalHeader& local = record.Header;
    FLocalFlags = local.Flags;
    FLocalCrc = local.Crc;
    FLocalDosDateTime = local.DosDateTime;
    std::int64_t modTime = 0;
    FLocalTime = ZipExtraModTime(record.Extra, local.DosDateTime, modTime) ? TEntryTime::Unix(modTime)
                                                                           : TEntryTime(local.DosDateTime);
    FCompressedSize = Entry.CompressedSize;
    FUncompressedSize = Entry.UncompressedSize;
    FFlags = Entry.Central.Flags;
    FMethod = Entry.Central.Method;
    FDosDateTime = Entry.Central.DosDateTime;
    // The local walk knows no host.
    VersionMadeBy = CentralPath ? Entry.Central.VersionMadeBy : 0;
    VersionNeeded = Entry.Central.VersionNeeded;
    HostSystem = CentralPath ? Entry.Host : 0;
    // With a data descriptor the local header's CRC field holds no CRC (writers leave 0
    // there, or the value that keys the password check): the directory's or the
    // descriptor's counts.
    FStoredCrc = local.Crc;
    if (CentralPath && ((Entry.CompressedSize != 0 && local.Crc == 0) || (local.Flags & zfDescriptor)))
        FStoredCrc = Entry.Crc;
    if (Entry.HasDescriptor) FStoredCrc = Entry.Crc;
    FDataStart = record.DataStart;

    Method = FMethod;
    PackedSize = FCompressedSize;
    UnpackedSize = FUncompressedSize;
    CRC = FStoredCrc;
    ExternalAttr = Entry.Central.ExternalAttr;
    // The name the Entry was selected by: on the central path the directory's, as the
    // list shows it.
    FEntryName = Entry.Name;
    if (IsFileOutput())
        SetCurrentFileName(FEntryName);
    else
        FileName = ShownStoredName(FEntryName);
    if (IsFileOutput() && !FileName.empty() && FEntryName.back() != '/' && NamesNoFile(FEntryName)) {
        // A file Entry named "." (or only separators) would be written over the
        // destination folder itself: it is skipped, and said so by its name.
        ReportError(FEntryName, "no file name to extract it under", "0", ecSkippedFile);
        ++FilesFailed;
        SkipEntry(Entry.UncompressedSize);
        return;
    }
    FEntryDamage = EntryDamage(Entry, record, CentralPath);
    FInput->Seek(FDataStart, soBeginning);
    ZipProcessEntry(Entry);
}

std::string TUnZip::DescriptorDamage(const TEntryRef& Entry, const TZipLocalRecord& Record) {
    // The descriptor follows the data the directory's compressed size spans, and holds the
    // directory's CRC and sizes: a copy of the directory's values that says otherwise is
    // damage, whichever of the two is wrong.
    TZipDescriptorSearch search;
    search.ReadAt = [this](std::int64_t Pos, void* Buffer, std::int64_t Count) {
        return ReadAt(*FInput, Pos, Buffer, Count);
    };
    search.Zip64 = !FindZipExtraField(Record.Extra, ZipExtraZip64).empty();
    TZipDescriptorHit hit;
    std::int64_t end = 0;
    if (!CheckedAdd(Record.DataStart, Entry.CompressedSize, end) ||
        !ZipDescriptorAt(search, end, Entry.CompressedSize, &Entry.Crc, hit)) {
        // A local header that holds the sizes (found equal to the directory's) vouches for
        // them where a writer left the descriptor out.
        if (Record.Header.CompressedSize != 0) return {};
        return "no data descriptor where the directory's compressed size ends the data";
    }
    if (hit.Uncompressed != static_cast<std::uint64_t>(Entry.ShownUncompressed))
        return "data descriptor's uncompressed size differs from the directory's";
    if (hit.Crc != Entry.Crc) return "data descriptor's CRC differs from the directory's";
    return {};
}

std::string TUnZip::EntryDamage(const TEntryRef& Entry, const TZipLocalRecord& Record, bool CentralPath) {
    const TZipLocalHeader& local = Record.Header;
    if (Entry.SizeOutOfRange) return "size field beyond any file";
    if (!ZipExtraWellFormed(Record.Extra)) return "local extra field runs past its end";
    // Data that run past the end of their disk are cut off (a spanned set's go on to the next).
    std::int64_t dataEnd = 0;
    if (!FSpanned &&
        (!CheckedAdd(Record.DataStart, Entry.CompressedSize, dataEnd) || dataEnd > FInput->GetSize()))
        return "data cut off by the end of the archive at " + std::to_string(FInput->GetSize());
    if (CentralPath) {
        if (local.Method != Entry.Central.Method) return "local header's method differs from the directory's";
        if ((local.Flags ^ Entry.Central.Flags) & zfEncrypted)
            return "local header's encryption flag differs from the directory's";
        // A header written before the sizes were known holds 0 (or leaves them to a descriptor).
        TZip64Values values{local.UncompressedSize, local.CompressedSize, 0, 0};
        ApplyZip64Extra(Record.Extra, values);
        const bool descriptor = (local.Flags & zfDescriptor) != 0;
        if (!(descriptor && values.CompressedSize == 0) &&
            values.CompressedSize != static_cast<std::uint64_t>(Entry.CompressedSize))
            return "local header's compressed size differs from the directory's";
        if (!(descriptor && values.UncompressedSize == 0) &&
            values.UncompressedSize != static_cast<std::uint64_t>(Entry.ShownUncompressed))
            return "local header's uncompressed size differs from the directory's";
        if (descriptor && !Entry.SizeOutOfRange && !FSpanned) {
            const std::string why = DescriptorDamage(Entry, Record);
            if (!why.empty()) return why;
        }
    }
    const std::int64_t packed =
        (Entry.Central.Flags & zfEncrypted) ? Entry.CompressedSize - 12 : Entry.CompressedSize;
    if (Entry.Central.Method == zmStored && !Entry.DataEndUnknown && packed != Entry.UncompressedSize)
        return "stored entry's sizes differ";
    return {};
}

bool TUnZip::LocalHeaderAgrees(const TEntryRef& Entry, const TZipLocalRecord& Record) const {
    // Two records that point at one local header, or a header inside another entry's data.
    return !Entry.Overlaps && ZipLocalHeaderAgrees(Record, Entry.RawName, Entry.Extra, Entry.Crc);
}

bool TUnZip::ZipProcessEntry(const TEntryRef& Entry) {
    std::uint32_t attr = Entry.Central.ExternalAttr;
    const bool nameIsFolder = !FileName.empty() && FileName.back() == '/';
    if (IsJarType(FArcType)) {
        // Only the permission bits of an entry made on Unix count in a jar.
        if (nameIsFolder)
            attr = faDirectory;
        else
            attr = HostSystem == ZipHostUnix ? (attr & 0xFFFF0000) | faArchive : faArchive;
    } else if (nameIsFolder || (HostSystem == 3 && ((attr >> 16) & S_IFMT) == S_IFDIR)) {
        // A name ending in a separator, or a Unix folder, is a folder whatever its DOS bits say.
        attr |= faDirectory;
    }
    const bool isDirectory = (attr & faDirectory) != 0;
    // A Unix symbolic link keeps its target as its data: it is never made, nor written as a
    // file; a test still checks its data.
    if (!isDirectory && HostSystem == 3 && ((attr >> 16) & S_IFMT) == S_IFLNK && IsFileOutput()) {
        SkipLinkEntry(ZipLinkTarget(), FUncompressedSize);
        return true;
    }
    // The output of an entry that will be written (not one refused before, nor an encrypted one,
    // whose password may be asked for) is created as the entry is confirmed.
    CreateOutputOnConfirm = !Entry.DataEndUnknown && FEntryDamage.empty() && ZipMethodSupported(FMethod) &&
                            !(FFlags & zfEncrypted);
    FileDate = DosDateToDateTime(Entry.Central.DosDateTime); // shown if the output is asked about
    if (!ConfirmExtractFile(isDirectory)) {
        SkipEntry(FUncompressedSize);
        return false;
    }
    if (!FEntryDamage.empty()) {
        // Records that contradict each other: nothing is written, and the entry fails as
        // damaged, whatever its data would give.
        ReportError(FileName, FEntryDamage, "0", ecBadFileHeader);
        MarkEntryFailed();
        SkipEntry(FUncompressedSize);
        return CheckCrc(32, FStoredCrc);
    }
    if (Entry.DataEndUnknown && !isDirectory) {
        // Where its data end is not known: nothing is written, and the entry fails.
        ReportError(FileName, "", "0", ecHeaderNotFound);
        MarkEntryFailed();
        SkipEntry(FUncompressedSize);
        return CheckCrc(32, FStoredCrc);
    }

    if (!isDirectory && !ZipMethodSupported(FMethod)) {
        // Before any password check: an entry no decoder here can read (bzip2, or AES
        // encryption, which stores method 99) fails as such, never as a wrong password.
        ReportError(FileName, "", "0", ecUnsupportedCompressionMethod);
        MarkEntryFailed();
        SkipEntry(FUncompressedSize);
        return CheckCrc(32, FStoredCrc);
    }

    Encrypted = !isDirectory && (FFlags & zfEncrypted) != 0;
    bool askedNow = false;
    if (Encrypted && !PasswordFailed) {
        askedNow = true;
        if (!CheckPassword(*FInput)) PasswordFailed = true;
    }

    if (isDirectory) {
        if (IsFileOutput() && CreateStoredDirs && !ForceOutputDirs(FileName)) MarkEntryFailed();
        RunningCrc32 = FStoredCrc;
    } else if (Encrypted && PasswordFailed) {
        // No password fits: nothing is written, and an existing file stays as it is.
        if (!askedNow) ReportError(FileName, "", "0", ecPasswordFailed);
        MarkEntryFailed();
        SkipEntry(FUncompressedSize);
    } else if (!OpenOutputFile(FEntryName, FileName, Encrypted)) {
        MarkEntryFailed();
        SkipEntry(FUncompressedSize);
    } else {
        ZipExtractEntry();
        RunningCrc32 ^= 0xFFFFFFFF;
        CloseOutputFile(attr, FLocalTime);
    }
    return CheckCrc(32, FStoredCrc);
}
