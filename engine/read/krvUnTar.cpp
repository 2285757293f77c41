#include "engine/read/krvUnTar.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvDates.h"
#include "engine/core/krvErrorCodes.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <sys/stat.h>

namespace {

// A stored name as the walk compares link targets: without leading "./" and separators.
std::string LinkKey(std::string Name) {
    for (;;) {
        if (Name.starts_with("./"))
            Name.erase(0, 2);
        else if (Name.starts_with("/"))
            Name.erase(0, 1);
        else
            return Name;
    }
}

const char* KindText(const TTarEntry& Entry) {
    switch (Entry.Kind) {
    case TTarKind::SymLink:
        return "symbolic link not extracted";
    case TTarKind::HardLink:
        return "hard link to a file that is not in the archive";
    default:
        return "entry type not extracted";
    }
}

} // namespace

TUnTar::TUnTar() = default;

TUnTar::~TUnTar() = default;

int TUnTar::DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) {
    FEntries.clear();
    FFiles.clear();
    FUnpackedTotal = 0;
    if (!ArchiveStream) return 0;
    ScanTarHeaders(*ArchiveStream);
    if (!FEntries.empty()) ExtractTarEntries(*ArchiveStream);
    FEntries.clear();
    FFiles.clear();
    return 0;
}

void TUnTar::ScanTarHeaders(TStream32& Stream) {
    const std::int64_t end = Stream.Size();
    TTarWalker walker([&Stream](std::int64_t At, void* Buffer,
                                std::int64_t Count) { return ReadAt(Stream, At, Buffer, Count); },
                      0, end);
    TTarEntry entry;
    bool lastCut = false; // the last entry's data are cut off (reported when it is extracted)
    while (!GetCancel() && walker.Next(entry)) {
        lastCut = entry.Truncated;
        // A volume label names the archive, not a file.
        if (entry.TypeFlag == 'V') continue;
        if (entry.Kind == TTarKind::File)
            FFiles[LinkKey(entry.Name)] = {entry.DataPos, entry.Size, entry.Truncated};
        std::string tested = entry.Name;
        if (entry.Kind == TTarKind::Directory && tested.size() > 1 && tested.back() == '/') tested.pop_back();
        if (!MatchEntrySpec(tested)) continue;
        const std::uint32_t dosDate = DateTimeToDosDate(UnixDateToDateTime(entry.MTime));
        MaxFileDate = std::max(MaxFileDate, dosDate);
        FUnpackedTotal += static_cast<double>(entry.Size);
        FEntries.push_back(std::move(entry));
    }
    // A damaged or cut archive: the entries before the damage are still extracted.
    if (walker.EndReason() == TTarWalkEnd::BadHeader) ReportError(ArchiveFile(), "", "0", ecBadFileHeader);
    if (walker.EndReason() == TTarWalkEnd::Truncated && !lastCut)
        ReportError(ArchiveFile(), "", "0", ecUnexpectedEndOfFile);
}

void TUnTar::ExtractTarEntries(TStream32& Stream) {
    BytesToDo = FUnpackedTotal;
    JobTotal = FUnpackedTotal;
    HostSystem = 3;
    for (const TTarEntry& entry : FEntries) {
        if (GetCancel()) break;
        Method = 0;
        PackedSize = entry.Size;
        UnpackedSize = entry.Size;
        FileDate = UnixDateToDateTime(entry.MTime);
        if (IsFileOutput())
            SetCurrentFileName(entry.Name);
        else
            FileName = entry.Name;

        switch (entry.Kind) {
        case TTarKind::Directory:
            if (ConfirmExtractFile(true) && IsFileOutput() && CreateStoredDirs && UseStoredDirs)
                ForceOutputDirs(FileName);
            break;
        case TTarKind::File:
            ExtractFile(Stream, entry, {entry.DataPos, entry.Size, entry.Truncated});
            break;
        case TTarKind::HardLink: {
            // A plain copy of the file it names.
            const auto target = FFiles.find(LinkKey(entry.LinkName));
            if (target != FFiles.end()) {
                ExtractFile(Stream, entry, target->second);
                break;
            }
            [[fallthrough]];
        }
        default:
            ReportError(FileName.empty() ? entry.Name : FileName, KindText(entry), "0", ecUnknownFileType);
            ++FilesFailed;
            SkipEntry(entry.Size);
            break;
        }
    }
}

void TUnTar::ExtractFile(TStream32& Stream, const TTarEntry& Entry, const TDataRef& Data) {
    if (!ConfirmExtractFile(false)) {
        SkipEntry(Data.Size);
        return;
    }
    CurrentFileSize = Data.Size;
    if (!OpenOutputFile(Entry.Name, FileName, false)) {
        MarkEntryFailed();
        SkipEntry(Data.Size);
    } else {
        RunningCrc32 = 0;
        std::int64_t remaining = Data.Size;
        if (Stream.Seek(Data.Pos, soBeginning) == Data.Pos)
            remaining = UnStore(Stream, Data.Size, Data.Size, 0, false);
        if (remaining > 0 && !GetCancel()) {
            // The archive ends inside the entry's data: nothing of it is kept.
            ReportError(FileName, "", "0", ecUnexpectedEndOfFile);
            MarkEntryFailed();
            BytesToDo -= static_cast<double>(remaining);
        }
        // Its permission bits (never set-user or set-group ones); none stored: the default.
        const std::uint32_t attr =
            (Entry.Mode & 0777) ? faArchive | ((S_IFREG | Entry.Mode) << 16) : faArchive;
        CloseOutputFile(attr, DateTimeToDosDate(UnixDateToDateTime(Entry.MTime)));
    }
    // A stored copy has no checksum of its own: the verdict is the copy's.
    CheckCrc(32, RunningCrc32);
}
