// The tar writer's headers and the adding of one gathered file or folder.
#include "engine/formats/tar/krvTar.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvGzipFilter.h"
#include "engine/core/krvKernelCopy.h"
#include "engine/formats/tar/krvTarCopy.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr std::int64_t CopyBlock = 1 << 20;
// Files up to this size are read and written with their header rather than copied by the kernel.
constexpr std::int64_t SmallCopy = TarAheadLimit;
// Threads that read small files ahead: more only contend for the file system with the writer.
constexpr unsigned AheadThreads = 2;
// Files from this size on are copied by the kernel on up to CopyThreads threads.
constexpr std::int64_t ParallelCopyFrom = 4 * CopyBlock;
constexpr unsigned CopyThreads = 4;
constexpr std::int64_t EndBlocks = 2 * TarBlockSize;
constexpr std::int64_t RecordSize = 10240;

void PutText(std::uint8_t* Field, std::size_t Length, const std::string& Text) {
    std::memcpy(Field, Text.data(), std::min(Length, Text.size()));
}

} // namespace

TTar::TTar() {
    FSupportedMethods = {cmTarred, cmTarGzip};
    FCompressMethod = cmTarred;
    FBuiltInExt = ".tar";
    FDefaultExt = FBuiltInExt;
    StoredDirNames = sdRelative;
    TTar::SetArcType(atTar);
}

void TTar::SetArcType(TArcType /*Value*/) {
    FArcType = GzipMode() ? atTarGZip : atTar;
    ApplyDefaultExt();
}

int TTar::Compress() {
    FArcType = GzipMode() ? atTarGZip : atTar;
    return TCompBase::Compress();
}

void TTar::StartPrefetch(TCompHeaderObj& List) {
    FAhead.reset();
    const unsigned threads = JobThreads(Threads);
    if (threads < 2) return;
    std::vector<TTarAheadJob> jobs;
    for (int i = 0; i < List.Count(); ++i) {
        const TCompEntry& e = Entry(i);
        if (List.Value(i) == hkAdd && !e.IsDir && e.SourceSize > 0 && e.SourceSize <= TarAheadLimit)
            jobs.push_back({i, e.SourcePath, e.SourceSize});
    }
    if (jobs.size() > 1) FAhead = StartTarReadAhead(jobs, std::min(threads, AheadThreads));
}

bool TTar::BuildHeader(THeader& H, const std::string& Name, bool IsDir, std::uint32_t Mode, std::int64_t Size,
                       std::int64_t MTime) {
    H.fill(0);
    PutText(H.data() + TarNameOffset, TarNameLength, Name);
    const bool ok = PutTarNumber(H.data() + TarModeOffset, 8, (IsDir ? 040000 : 0100000) | (Mode & 07777)) &&
                    PutTarNumber(H.data() + TarUidOffset, 8, UnixUID) &&
                    PutTarNumber(H.data() + TarGidOffset, 8, UnixGID) &&
                    PutTarNumber(H.data() + TarSizeOffset, 12, IsDir ? 0 : Size) &&
                    PutTarTime(H.data() + TarMTimeOffset, 12, MTime);
    H[TarTypeOffset] = IsDir ? '5' : '0';
    std::memcpy(H.data() + TarMagicOffset, TarGnuMagic, sizeof TarGnuMagic);
    PutText(H.data() + TarUNameOffset, 31, UnixUName);
    PutText(H.data() + TarGNameOffset, 31, UnixGName);
    SetTarChecksum(H.data());
    return ok;
}

std::int64_t TTar::WriteHeader(THeader& H, const std::string& Name) {
    std::int64_t written = TarBlockSize;
    if (Name.size() > TarNameLength) {
        // The name field keeps the first 100 bytes; the whole name goes before it.
        const std::string record = TarLongNameRecord(Name, H.data());
        FOutput->WriteBuffer(record.data(), static_cast<std::int64_t>(record.size()));
        written += static_cast<std::int64_t>(record.size());
    }
    FOutput->WriteBuffer(H.data(), TarBlockSize);
    return written;
}

bool TTar::AddFile(TCompHeaderObj& List, int Index) {
    // A file not added is cut off the output again: a tar.gz keeps what it needs for that.
    if (FGzipOut) FGzipOut->KeepHere();
    TCompEntry& e = Entry(Index);
    std::string name = List.Name(Index);
    if (!DoBegin(name, FilesProcessed, List, Index)) return false;
    BeginEntry(FAddStart);
    TCompFileInfo info;
    HeaderToInfo(List.GetHeader(Index), info);
    struct stat st {};
    std::unique_ptr<TFileStream32> input;
    // A small file a worker read ahead is taken as it read it (as it was when it was opened).
    TTarAhead ahead;
    const bool early =
        !e.IsDir && FAhead && FAhead->Take(Index, ahead) && ahead.Ok && !NeverGathered(ahead.St);
    if (e.IsDir) {
        if (::stat(e.SourcePath.c_str(), &st) != 0) {
            ReportError(e.SourcePath, "", "0", ecErrorOpeningFile);
            return false;
        }
    } else if (early) {
        st = ahead.St;
    } else {
        input = OpenGatheredFile(e.SourcePath, st);
        if (!input) return false;
    }
    std::string stored = LocalNameToArcName(List.Name(Index));
    if (e.IsDir && (stored.empty() || stored.back() != '/')) stored += '/';
    const std::int64_t mtime =
        DateAttribute == daFileDate
            ? static_cast<std::int64_t>(st.st_mtime)
            : static_cast<std::int64_t>(DosTimeToFileTime(ApplyDateAttribute(info.DosDate)));
    const std::int64_t size = e.IsDir ? 0 : static_cast<std::int64_t>(st.st_size);
    THeader h;
    if (!BuildHeader(h, stored, e.IsDir, static_cast<std::uint32_t>(st.st_mode), size, mtime))
        Fail(e.SourcePath, "", ecMaxFileSizeExceeded);
    FileName = stored;
    CurrentFileSize = size;
    static const std::array<std::uint8_t, TarBlockSize> zeros{};
    std::int64_t done = 0;
    // Where the data start: the output's position is known without asking for it again.
    std::int64_t dataStart = FHeaderPos;
    if (size <= SmallCopy && size > 0) {
        // A small file goes out with its header and padding in one write: three calls fewer.
        CheckCancel();
        if (early) {
            FSmall = std::move(ahead.Entry);
            std::copy(h.begin(), h.end(), FSmall.begin());
            done = size;
        } else {
            FSmall.assign(h.begin(), h.end());
            FSmall.resize(static_cast<std::size_t>(TarBlockSize + size + TarPadding(size)), 0);
            for (std::int64_t r;
                 done < size && (r = input->Read(FSmall.data() + TarBlockSize + done, size - done)) > 0;)
                done += r;
        }
        if (done < size) {
            ReportError(e.SourcePath, "", "0", ecErrorReadingFile);
            return false;
        }
        if (stored.size() > TarNameLength) {
            // The long name's record goes before the header.
            dataStart += WriteHeader(h, stored);
            FOutput->WriteBuffer(FSmall.data() + TarBlockSize, std::ssize(FSmall) - TarBlockSize);
        } else {
            dataStart += TarBlockSize;
            FOutput->WriteBuffer(FSmall.data(), std::ssize(FSmall));
        }
        BytesToDo -= static_cast<double>(size);
        DoProgress(size, size, JobTotal);
        EngineHost::PumpIfDue();
    } else {
        dataStart += WriteHeader(h, stored);
    }

    // Exactly the size the header gives: a file that grew meanwhile is cut at it, one that
    // shrank is an error (its entry would be short). File to file the kernel copies the data;
    // elsewhere (or where it cannot) they pass through memory, in the same steps. A large file
    // is copied by the kernel on several threads, its steps taken here in order.
    auto* output = dynamic_cast<THandleStream32*>(FOutput);
    std::vector<std::uint8_t> buffer;
    const std::int64_t start = dataStart;
    std::unique_ptr<TParallelKernelCopy> copies;
    if (output && size >= ParallelCopyFrom && JobThreads(Threads) > 1)
        copies = std::make_unique<TParallelKernelCopy>(input->Handle, output->Handle, start, size, CopyBlock,
                                                       std::min(JobThreads(Threads), CopyThreads));
    while (done < size) {
        CheckCancel();
        const std::int64_t want = std::min<std::int64_t>(size - done, CopyBlock);
        std::int64_t got = 0;
        if (copies && copies->Copied(static_cast<std::size_t>(done / CopyBlock))) {
            got = want;
        } else if (copies) {
            // A step the workers did not copy whole is copied here, as on one thread.
            copies.reset();
            SeekOrFail(*input, done, e.SourcePath);
            SeekOrFail(*FOutput, start + done, ArchiveFile());
        }
        if (got == 0) got = output ? KernelCopy(*input, *output, want) : KernelCopyRefused;
        if (got == KernelCopyRefused) {
            output = nullptr;
            buffer.resize(static_cast<std::size_t>(CopyBlock));
            got = input->Read(buffer.data(), want);
            if (got > 0) FOutput->WriteBuffer(buffer.data(), got);
        } else if (got < 0 && (errno == ENOSPC || errno == EDQUOT || errno == EFBIG)) {
            throw EWriteError(errno == EFBIG ? 0 : ecDiskFull);
        }
        if (got <= 0) {
            ReportError(e.SourcePath, "", "0", ecErrorReadingFile);
            return false;
        }
        done += got;
        BytesToDo -= static_cast<double>(got);
        DoProgress(done, size, JobTotal);
        EngineHost::PumpIfDue();
    }
    if (copies) {
        // The workers' copies moved neither file's position.
        copies.reset();
        SeekOrFail(*FOutput, start + size, ArchiveFile());
    }
    if (size > SmallCopy) FOutput->WriteBuffer(zeros.data(), TarPadding(size));
    e.NewLength = dataStart + size + TarPadding(size) - FHeaderPos;
    std::memcpy(List.GetHeader(Index), h.data(), h.size());
    FEntryUnpacked = size;
    if (OnEnd) OnEnd(*this, FileName, true);
    return true;
}

void TTar::InfoToHeader(std::uint8_t* Header, const TCompFileInfo& Info) {
    PutTarNumber(Header + TarSizeOffset, 12, Info.Size);
    PutTarNumber(Header + TarMTimeOffset, 12, static_cast<std::int64_t>(DosTimeToFileTime(Info.DosDate)));
    const bool dir = (Info.Attr & faDirectory) != 0;
    Header[TarTypeOffset] = dir ? '5' : '0';
    PutTarNumber(Header + TarModeOffset, 8, dir ? 040755 : (Info.Attr & faReadOnly) ? 0100444 : 0100644);
}

void TTar::HeaderToInfo(const std::uint8_t* Header, TCompFileInfo& Info) {
    Info.Size = std::max<std::int64_t>(TarNumber(Header + TarSizeOffset, 12), 0);
    Info.PackedSize = Info.Size;
    Info.DosDate = FileTimeToDosTime(static_cast<std::time_t>(TarTime(Header + TarMTimeOffset, 12)));
    const bool dir = Header[TarTypeOffset] == '5';
    // Only the bits a tar header can tell: a folder, or a file that is read-only or not.
    const std::int64_t mode = TarNumber(Header + TarModeOffset, 8);
    Info.Attr = dir ? faDirectory : faArchive;
    if (!dir && mode >= 0 && (mode & 0200) == 0) Info.Attr |= faReadOnly;
}

bool TTar::FinishArchive(TStream32& Output, TCompHeaderObj& /*List*/) {
    // Two zero blocks end the archive, whatever its length; then zeros to a whole record.
    const std::int64_t size = Output.Position() + EndBlocks;
    const std::int64_t pad = EndBlocks + (RecordSize - size % RecordSize) % RecordSize;
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(pad), 0);
    Output.WriteBuffer(zeros.data(), pad);
    if (FGzipOut && !FGzipOut->Finish()) Fail(FGzipTarget, "", ecErrorWritingToFile);
    return true;
}

void TTar::ListEntries(TCompHeaderObj& List) {
    if (Switch == swDelete) return;
    for (int i = 0; i < List.Count(); ++i) {
        if (List.Value(i) != hkAdd || Entry(i).OldOffset >= 0) continue;
        const std::uint8_t* h = List.GetHeader(i);
        FileName = List.Name(i);
        PackedSize = UnpackedSize = std::max<std::int64_t>(TarNumber(h + TarSizeOffset, 12), 0);
        CRC = static_cast<std::uint32_t>(TarNumber(h + TarChecksumOffset, 8));
        Encrypted = false;
        MethodName = "Tarred";
        Method = 0;
        ExternalAttr = faArchive;
        Ratio = 0;
        VersionMadeBy = VersionNeeded = 0;
        FileDate = UnixDateToDateTime(TarTime(h + TarMTimeOffset, 12));
        if (!OnRead) break;
        OnRead(*this, 0, i);
    }
}
