#include "engine/formats/gzip/krvGZip.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvDeflatePrefetch.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvParallelDeflate.h"
#include "engine/core/krvUnBase.h"
#include "engine/formats/gzip/krvGzipRecords.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Bytes read from a source at a time when it streams through zlib.
constexpr std::int64_t ReadBlock = 256 * 1024;

bool SameFileOnDisk(const std::string& A, const std::string& B) {
    struct stat sa {
    }, sb{};
    return ::stat(A.c_str(), &sa) == 0 && ::stat(B.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string BaseName(const std::string& Path) {
    const std::size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

} // namespace

TGZip::TGZip() {
    FSupportedMethods = {cmDeflate};
    FCompressMethod = cmDeflate;
    FBuiltInExt = ".gz";
    FDefaultExt = FBuiltInExt;
    ConfirmOverwrites = true;
    DeleteOptions = doAllowUndo;
    TGZip::SetArcType(atGZip);
}

void TGZip::SetArcType(TArcType /*Value*/) {
    FArcType = atGZip;
    ApplyDefaultExt();
}

void TGZip::SetArchiveFile(const std::string& Name) {
    if (Loading && !FileExists(Name)) {
        FArchiveFile.clear();
        return;
    }
    FArchiveFile = Name;
    ApplyDefaultExt();
    SetCancel(false);
}

std::uint8_t GzipExtraFlags(TDeflateType Level) {
    return Level == dtDeflateX ? 2 : Level == dtDeflateF || Level == dtDeflateS ? 4 : 0;
}

void WriteGzipTrailer(TStream32& Output, std::uint32_t Crc, std::int64_t Size) {
    std::uint8_t trailer[GzipTrailer];
    PutU32LE(trailer, Crc);
    PutU32LE(trailer + 4, static_cast<std::uint32_t>(Size & 0xFFFFFFFF));
    Output.WriteBuffer(trailer, GzipTrailer);
}

std::string TGZip::OutputFolder() const {
    if (!FExplorerDir.empty()) return FExplorerDir;
    const std::string folder = FolderOf(ArchiveFile());
    if (!folder.empty()) return folder;
    char* cwd = ::getcwd(nullptr, 0);
    const std::string result = cwd ? AppendBackslash(cwd) : std::string("./");
    std::free(cwd);
    return result;
}

std::string TGZip::OutputNameOf(const std::string& Folder, const std::string& Source) const {
    std::string out = Folder + BaseName(Source);
    switch (Extension) {
    case exNone:
        if (out == Source) out = ReplaceFileExt(out, DefaultExt());
        break;
    case exAppendGZ:
        out = ReplaceFileExt(out, DefaultExt());
        break;
    case exUnderScore:
        if (!BaseName(out).empty()) out.back() = '_';
        break;
    }
    return out;
}

void TGZip::Gather(std::vector<TSource>& Sources) {
    TkrvFileScan scan;
    scan.FileSpec = FileSpec;
    scan.RecurseDirs = RecurseDirs;
    scan.IncludeHiddenDirs = IncludeHiddenDirs;
    scan.Attributes = Attributes;
    scan.AttributesEx = AttributesEx;
    scan.CancelFlag = CancelPtr;
    scan.OnScanFile = [this](TkrvFileScan&, const std::string& Name, int Count, double Size) {
        if (OnFileScanStatus) OnFileScanStatus(*this, Name, Count, Size);
    };
    scan.OnRecurseDir = [this](TkrvFileScan&, const std::string& Dir) {
        if (OnRecurseDir) OnRecurseDir(*this, Dir);
    };
    scan.TakeFile = [&Sources, this](TkrvFileScan&, const TFileObject& Item) {
        if (Item.Attr & faDirectory) return;
        if (IsExcluded(Item.FullName, FolderOf(Item.FullName))) return;
        Sources.push_back({Item.FullName, Item.Size, Item.Time, static_cast<std::int64_t>(Item.ModTime)});
        MaxFileDate = std::max(MaxFileDate, Item.Time);
    };
    scan.Scan();
    JobTotal = scan.FilesSize;
    BytesToDo = JobTotal;
}

int TGZip::Compress() {
    FFilesAdded = 0;
    FArchiveWritten = false;
    ResetJobState();
    FActivated = false;
    const bool confirm = ConfirmOverwrites;
    RunJob(
        [&] {
            if (Switch == swDelete) Fail(ArchiveFile(), "", ecInvalidArchiveType);
            if (Switch == swRead) return;
            if (!DiskManager.CheckDrive(*this, ArchiveFile(), true)) return;
            if (FileSpec.empty()) return;
            FExplorerDir.clear();
            if (StoredDirNames == sdExplorer_UserDefineDefaultDir && !DefaultDir.empty())
                FExplorerDir = AppendBackslash(DefaultDir);
            std::vector<TSource> sources;
            Gather(sources);
            CheckCancel();
            if (sources.empty()) {
                ReportError(ArchiveFile(), "", "0", ecNothingToDo);
                return;
            }
            FActivated = true;
            if (OnActivate) OnActivate(*this);
            Timer.Start();
            const std::string folder = OutputFolder();
            int count = 0;
            for (const TSource& s : sources) {
                EngineHost::PumpIfDue();
                CheckCancel();
                FilesProcessed = ++count;
                const std::string out =
                    !OutputName.empty() && sources.size() == 1 ? OutputName : OutputNameOf(folder, s.Path);
                if (CompressOne(s, out, count)) {
                    ++FFilesAdded;
                    FArchiveWritten = true;
                }
            }
            Timer.Stop();
            if (OnElapsedTime) OnElapsedTime(*this, Timer.Elapsed());
        },
        [&] {
            ConfirmOverwrites = confirm;
            if (Timer.Running()) Timer.Stop();
            if (std::exchange(FActivated, false) && OnDeactivate) OnDeactivate(*this);
        });
    return FFilesAdded;
}

bool TGZip::CompressOne(const TSource& Source, const std::string& OutName, int Count) {
    std::string name = Source.Path;
    bool proceed = true;
    if (OnBegin) {
        TkrvTimerPause pause(Timer);
        OnBegin(*this, name, Count, proceed);
    }
    FileName = Source.Path;
    if (!proceed) return false;
    // A source is never written over by its own gzip file.
    if (OutName == Source.Path || SameFileOnDisk(OutName, Source.Path)) {
        ReportError(Source.Path, OutName, "0", ecSameInputAndOutputFileNames);
        return false;
    }
    struct stat st {};
    if (ConfirmOverwrites && ::lstat(OutName.c_str(), &st) == 0) {
        if (!OnFileExists) Fail(OutName, "OnFileExists", ecRequiredEventNotAssigned);
        TOverwriteMode mode = omOverwrite;
        {
            TkrvTimerPause pause(Timer);
            OnFileExists(*this, OutName, DosDateToDateTime(Source.DosDate), mode);
        }
        if (mode == omSkip) {
            BytesToDo -= static_cast<double>(Source.Size);
            if (OnEnd) OnEnd(*this, Source.Path, true);
            return false;
        }
        if (!CheckArchiveWriteable(OutName)) throw TJobEnded{};
    }

    std::uint8_t status = fsOpenOk;
    TFileStream32 input(Source.Path, fmOpenRead | fmShareDenyNone, status);
    if (status != fsOpenOk) Fail(Source.Path, "", ecErrorOpeningFile);
    struct stat in {};
    if (::fstat(input.Handle, &in) != 0 || !S_ISREG(in.st_mode)) Fail(Source.Path, "", ecErrorOpeningFile);
    std::unique_ptr<TTempFileStream> temp = CreateTempStream(OutName);
    TTempFileStream& output = *temp;
    if (output.Status() != fsOpenOk) Fail(OutName, "", ecErrorOpeningFile);

    const std::int64_t unixTime =
        DateAttribute == daFileDate
            ? static_cast<std::int64_t>(in.st_mtime)
            : static_cast<std::int64_t>(DosTimeToFileTime(ApplyDateAttribute(Source.DosDate)));
    const std::uint32_t mtime =
        static_cast<std::uint32_t>(std::clamp<std::int64_t>(unixTime, 0, 0xFFFFFFFFLL));
    CurrentFileSize = Source.Size;
    if (!WriteMember(input, Source.Size, output, BaseName(Source.Path), mtime)) throw TJobEnded{};
    const timespec times[2] = {in.st_atim, in.st_mtim};
    ::futimens(output.Handle, times);
    output.Commit();

    PackedSize = output.Size();
    UnpackedSize = FMemberSize;
    CRC = FMemberCrc;
    FileDate = UnixDateToDateTime(mtime);
    VersionMadeBy = 400;
    VersionNeeded = 400;
    Encrypted = false;
    Method = GzipDeflated;
    MethodName = DeflateTypeName(GzipDeflated);
    Ratio = static_cast<std::uint8_t>(CompressRatio64(UnpackedSize, PackedSize));
    if (OnEnd) OnEnd(*this, Source.Path, true);
    if (OnRead) OnRead(*this, 0, 1);
    if (Switch == swMove && !VerifyBeforeDelete && TUnBase::EraseFile(Source.Path, DeleteOptions) &&
        OnDeleteFile)
        OnDeleteFile(*this, Source.Path, Count, static_cast<int>(FilesProcessed));
    return true;
}

bool TGZip::WriteMember(TStream32& Input, std::int64_t Expected, TStream32& Output,
                        const std::string& StoredName, std::uint32_t MTime) {
    const std::string header = GzipHeaderBytes(StoredName, MTime, GzipExtraFlags(DeflateType));
    Output.WriteBuffer(header.data(), static_cast<std::int64_t>(header.size()));
    const std::int64_t start = Input.Position();
    std::uint32_t crc = 0xFFFFFFFFU;
    std::int64_t total = 0;
    bool done = false;
    if (Expected <= WholeBufferLimit) {
        // Whole in memory and deflated in one call, unless it grew beyond the bound.
        std::vector<std::uint8_t> plain(static_cast<std::size_t>(std::max<std::int64_t>(Expected, 0) + 1));
        std::int64_t n = 0;
        for (std::int64_t r; (r = Input.Read(plain.data() + n, std::ssize(plain) - n)) > 0;) {
            n += r;
            if (n == std::ssize(plain)) {
                if (n > WholeBufferLimit) break;
                plain.resize(
                    std::min<std::size_t>(plain.size() * 2, static_cast<std::size_t>(WholeBufferLimit + 1)));
            }
        }
        CheckCancel();
        if (n <= WholeBufferLimit) {
            plain.resize(static_cast<std::size_t>(n));
            UpdateCrc32Buf(plain.data(), n, crc);
            if (!FWholeDeflater || FWholeDeflaterType != DeflateType) {
                FWholeDeflater = std::make_unique<TWholeDeflater>(DeflateType);
                FWholeDeflaterType = DeflateType;
            }
            std::vector<std::uint8_t> packed(static_cast<std::size_t>(FWholeDeflater->Bound(n)));
            const std::int64_t size = FWholeDeflater->Deflate(plain, packed);
            if (size <= 0) Fail(FileName, "", ecErrorWritingToFile);
            Output.WriteBuffer(packed.data(), size);
            total = n;
            BytesToDo -= static_cast<double>(n);
            DoProgress(n, n, JobTotal);
            done = true;
        } else if (Input.Seek(start, soBeginning) != start) {
            Fail(FileName, "", ecSeekError);
        }
    }
    if (!done) {
        // A large input: deflated in blocks on the job's threads into the member's one stream.
        const TParallelDeflateResult packed = ParallelDeflate(
            Input, Output, DeflateType, JobThreads(Threads), nullptr, [&](std::int64_t Block) {
                // Counted by the blocks written, not read: the same for any thread count.
                total += Block;
                BytesToDo -= static_cast<double>(Block);
                DoProgress(total, std::max(Expected, total), JobTotal);
                EngineHost::PumpIfDue();
                return !Cancel();
            });
        CheckCancel();
        if (!packed.Ok) Fail(FileName, "", ecErrorWritingToFile);
        total = packed.In;
        crc = packed.Crc ^ 0xFFFFFFFFU;
    }
    FMemberCrc = crc ^ 0xFFFFFFFFU;
    FMemberSize = total;
    WriteGzipTrailer(Output, FMemberCrc, total);
    return !Cancel();
}
