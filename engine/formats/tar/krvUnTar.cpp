#include "engine/formats/tar/krvUnTar.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvDates.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvFileIo.h"
#include "engine/core/krvOutputPath.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <optional>
#include <string_view>

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

// A name of nothing but separators and "." parts ("/", "./") leaves no place to put the entry.
bool NameLeavesNothing(const std::string& Name) {
    std::size_t p = 0;
    while (p <= Name.size()) {
        const std::size_t sep = std::min(Name.find_first_of("/\\", p), Name.size());
        const std::string_view part(Name.data() + p, sep - p);
        if (!part.empty() && part != ".") return false;
        p = sep + 1;
    }
    return true;
}

const char* KindText(const TTarEntry& Entry) {
    switch (Entry.Kind) {
    case TTarKind::HardLink:
        return "hard link to a file that is not in the archive";
    default:
        return "entry type not extracted";
    }
}

} // namespace

TUnTar::TUnTar() {
    CreateOutputOnConfirm = true;
}

TUnTar::~TUnTar() = default;

int TUnTar::DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) {
    FFiles.clear();
    FUnpackedTotal = 0;
    if (!ArchiveStream) return 0;
    const int count = ScanTarHeaders(*ArchiveStream);
    if (!FFiles.empty() && !GetCancel()) FindLinkTargets(*ArchiveStream);
    if (count > 0) ExtractTarEntries(*ArchiveStream, count);
    FFiles.clear();
    return 0;
}

TTarWalker TUnTar::WalkerOf(TStream32& Stream) {
    const auto* file = dynamic_cast<const THandleStream32*>(&Stream);
    return TTarWalker(
        [&Stream, file](std::int64_t At, void* Buffer, std::int64_t Count) {
            if (!file || At < 0) return ReadAt(Stream, At, Buffer, Count);
            return ReadFileAt(file->Handle, At, Buffer, Count);
        },
        0, Stream.Size());
}

std::int64_t TUnTar::NextValidHeader(TStream32& Stream, std::int64_t From) {
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(128 * TarBlockSize));
    for (std::int64_t got;
         !GetCancel() && (got = ReadAt(Stream, From, chunk.data(), std::ssize(chunk))) >= TarBlockSize;
         From += got / TarBlockSize * TarBlockSize)
        for (std::int64_t at = 0; at + TarBlockSize <= got; at += TarBlockSize)
            if (IsTarHeaderValid(chunk.data() + at)) return From + at;
    return -1;
}

bool TUnTar::NextSelected(TStream32& Stream, TTarWalker& Walker, TTarEntry& Entry, bool Report) {
    for (;;) {
        if (NextListed(Walker, Entry, Report)) return true;
        if (GetCancel() || Walker.EndReason() != TTarWalkEnd::BadHeader) return false;
        // A block that is no header: reported, and the walk goes on at the next block that is
        // one, as GNU tar skips to it (the entries in between are lost with their header).
        const std::int64_t bad = Walker.EndAt();
        const std::int64_t next = NextValidHeader(Stream, bad + TarBlockSize);
        if (Report)
            ReportError(
                ArchiveFile(),
                "no valid header at offset " + std::to_string(bad) +
                    (next < 0 ? std::string() : "; the walk goes on at offset " + std::to_string(next)),
                "0", ecBadFileHeader);
        if (next < 0) return false;
        Walker.SetPosition(next);
    }
}

bool TUnTar::NextListed(TTarWalker& Walker, TTarEntry& Entry, bool Report) {
    while (!GetCancel() && Walker.Next(Entry)) {
        // A volume label names the archive, not a file.
        if (Entry.TypeFlag == 'V') continue;
        if (Entry.Name.empty()) {
            // Skipped with a message, as bsdtar does, under the name the list shows; the
            // entries after it are read.
            if (Report)
                ReportError(UnnamedEntryName("", Entry.HeaderPos), "it has no name", "0", ecSkippedFile);
            continue;
        }
        // The names hard links point at (their data are found by a walk of their own).
        if (Report && Entry.Kind == TTarKind::HardLink) FFiles.try_emplace(LinkKey(Entry.LinkName));
        std::string tested = Entry.Name;
        if (Entry.Kind == TTarKind::Directory && tested.size() > 1 && tested.back() == '/') tested.pop_back();
        if (MatchEntrySpec(tested)) return true;
    }
    return false;
}

int TUnTar::ScanTarHeaders(TStream32& Stream) {
    TTarWalker walker = WalkerOf(Stream);
    TTarEntry entry;
    int selected = 0;
    bool lastCut = false; // the last entry's data are cut off (reported when it is extracted)
    while (NextSelected(Stream, walker, entry, true)) {
        lastCut = entry.Truncated;
        const std::uint32_t dosDate = DateTimeToDosDate(UnixDateToDateTime(entry.MTime));
        MaxFileDate = std::max(MaxFileDate, dosDate);
        FUnpackedTotal += static_cast<double>(entry.FileSize());
        ++selected;
    }
    lastCut = lastCut || entry.Truncated;
    // A cut archive: the entries before the cut are still extracted.
    const std::string at = "offset " + std::to_string(walker.EndAt());
    if (walker.EndReason() == TTarWalkEnd::Truncated && !lastCut)
        ReportError(ArchiveFile(), "archive cut off at " + at, "0", ecUnexpectedEndOfFile);
    // The end-of-archive block must be there: without it the archive was cut at a header.
    if (walker.EndReason() == TTarWalkEnd::End && !walker.EndBlockSeen())
        ReportError(ArchiveFile(), "archive cut off at " + at + ": no end-of-archive block", "0",
                    ecUnexpectedEndOfFile);
    return selected;
}

void TUnTar::FindLinkTargets(TStream32& Stream) {
    TTarWalker walker = WalkerOf(Stream);
    TTarEntry entry;
    while (!GetCancel() && walker.Next(entry)) {
        if (entry.TypeFlag == 'V' || entry.Name.empty() || entry.Kind != TTarKind::File) continue;
        const auto target = FFiles.find(LinkKey(entry.Name));
        if (target != FFiles.end()) target->second = DataOf(entry);
    }
    // A name no file entry has stays without data (its links fail).
    std::erase_if(FFiles, [](const auto& File) { return File.second.Size == 0 && File.second.Pos == 0; });
}

void TUnTar::ExtractTarEntries(TStream32& Stream, int Count) {
    HostSystem = 3;
    TTarWalker walker = WalkerOf(Stream);
    const auto fill = [&](TTarEntry& Entry) { return NextSelected(Stream, walker, Entry, false); };
    // The plain data of the files of a batch (and of the hard links to them) are copied ahead
    // on the other cores.
    const auto plan = [&](const std::vector<TTarEntry>& Batch, int First) {
        std::vector<TCopyAhead::TJob> ahead;
        for (std::size_t i = 0; i < Batch.size(); ++i) {
            const std::optional<TDataRef> data = FileData(Batch[i]);
            if (data && !data->Sparse && !data->Truncated && data->Size > 0)
                ahead.push_back({First + static_cast<int>(i), data->Pos, data->Size});
        }
        PlanCopyAhead(std::move(ahead));
    };
    int index = 0;
    ExtractInBatches<TTarEntry>(Count, FUnpackedTotal, fill, plan, [&](const TTarEntry& Entry) {
        CopyAheadEntry(index++);
        ExtractEntry(Stream, Entry);
    });
    EndCopyAhead();
}

void TUnTar::ExtractEntry(TStream32& Stream, const TTarEntry& entry) {
    Method = 0;
    PackedSize = entry.Size;
    UnpackedSize = entry.FileSize();
    FileDate = UnixDateToDateTime(entry.MTime);
    if (IsFileOutput())
        SetCurrentFileName(entry.Name);
    else
        FileName = ShownStoredName(entry.Name);
    if (NameLeavesNothing(entry.Name)) {
        // "./" is the destination itself, which is there; "/" and the like name nothing.
        if (entry.Kind == TTarKind::Directory && !entry.Name.starts_with('/')) return;
        ReportError(entry.Name, "name leaves no file or folder to make: skipped", "0", ecSkippedFile);
        SkipEntry(entry.FileSize());
        return;
    }

    switch (entry.Kind) {
    case TTarKind::Directory:
        if (ConfirmExtractFile(true) && IsFileOutput() && CreateStoredDirs && UseStoredDirs)
            ForceOutputDirs(FileName);
        break;
    case TTarKind::File:
        ExtractFile(Stream, entry, DataOf(entry));
        break;
    case TTarKind::HardLink: {
        // A plain copy of the file it names.
        if (const std::optional<TDataRef> target = FileData(entry)) {
            ExtractFile(Stream, entry, *target);
            break;
        }
        ReportError(FileName.empty() ? entry.Name : FileName, KindText(entry), "0", ecUnknownFileType);
        ++FilesFailed;
        SkipEntry(entry.Size);
        break;
    }
    case TTarKind::SymLink:
        SkipLinkEntry(entry.LinkName, entry.Size);
        break;
    default:
        ReportError(FileName.empty() ? entry.Name : FileName, KindText(entry), "0", ecUnknownFileType);
        ++FilesFailed;
        SkipEntry(entry.Size);
        break;
    }
}

std::optional<TUnTar::TDataRef> TUnTar::FileData(const TTarEntry& Entry) const {
    if (Entry.Kind == TTarKind::File) return DataOf(Entry);
    if (Entry.Kind != TTarKind::HardLink) return std::nullopt;
    const auto found = FFiles.find(LinkKey(Entry.LinkName));
    if (found == FFiles.end()) return std::nullopt;
    return found->second;
}

std::int64_t TUnTar::CopySparse(TStream32& Stream, const TTarSparse& Sparse) {
    // Holes are left as holes of the output file (a test has nothing of them to check).
    TStream32* output = IsFileOutput() ? OutputStream() : nullptr;
    std::int64_t at = 0;                  // in the file
    std::int64_t from = Sparse.ChunksPos; // in the archive
    const auto skipHole = [&](std::int64_t Until) {
        if (Until <= at) return;
        if (output) output->Seek(Until - at, soCurrent);
        EntryBytesDone += Until - at;
        BytesToDo -= static_cast<double>(Until - at);
        at = Until;
        DoProgress(EntryBytesDone, Sparse.RealSize, JobTotal);
    };
    for (const auto& [offset, length] : Sparse.Map) {
        if (GetCancel()) return Sparse.RealSize - at;
        skipHole(offset);
        if (Stream.Seek(from, soBeginning) != from) return Sparse.RealSize - at;
        const std::int64_t left = UnStore(Stream, length, Sparse.RealSize, 0, false);
        at += length - left;
        if (left > 0) return Sparse.RealSize - at;
        from += length;
    }
    skipHole(Sparse.RealSize);
    if (output) {
        try {
            output->SetSize(Sparse.RealSize); // a hole at the end
        } catch (const std::exception& e) {
            ReportError(FileName, e.what(), "0", ecErrorWritingToFile);
            MarkEntryFailed();
        }
    }
    return 0;
}

TUnTar::TDataRef TUnTar::DataOf(const TTarEntry& Entry) {
    return {Entry.DataPos, Entry.Size, Entry.Truncated,
            Entry.IsSparse ? std::make_shared<const TTarSparse>(Entry.Sparse) : nullptr};
}

void TUnTar::ExtractFile(TStream32& Stream, const TTarEntry& Entry, const TDataRef& Data) {
    const std::int64_t fileSize = Data.Sparse ? Data.Sparse->RealSize : Data.Size;
    // A new output is made with its final mode at once (no chmod after it where that holds).
    AttrAtConfirm(UnixModeAttr(Entry.Mode));
    FileDate = UnixDateToDateTime(Entry.MTime); // shown if the output is asked about
    if (!ConfirmExtractFile(false)) {
        SkipEntry(fileSize);
        return;
    }
    if (Data.Sparse && !Data.Sparse->Refused.empty()) {
        // Never other bytes in its place: a sparse form not read here fails by name.
        ReportError(FileName, Data.Sparse->Refused, "0", ecUnsupportedCompressionMethod);
        MarkEntryFailed();
        SkipEntry(fileSize);
        CheckCrc(32, RunningCrc32);
        return;
    }
    CurrentFileSize = fileSize;
    if (!OpenOutputFile(Entry.Name, FileName, false)) {
        MarkEntryFailed();
        SkipEntry(fileSize);
    } else {
        RunningCrc32 = 0;
        std::int64_t remaining = fileSize;
        if (Data.Sparse)
            remaining = CopySparse(Stream, *Data.Sparse);
        else
            remaining = CopyStored(Stream, Data.Pos, Data.Size, Data.Size);
        if (remaining > 0 && !GetCancel()) {
            // The archive ends inside the entry's data: nothing of it is kept.
            ReportError(FileName, "", "0", ecUnexpectedEndOfFile);
            MarkEntryFailed();
            BytesToDo -= static_cast<double>(remaining);
        }
        CloseOutputFile(UnixModeAttr(Entry.Mode), TEntryTime::Unix(Entry.MTime));
    }
    // A stored copy has no checksum of its own: the verdict is the copy's.
    CheckCrc(32, RunningCrc32);
}
