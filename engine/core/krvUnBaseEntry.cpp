// The per-entry services of the reader base: confirmation and overwrite questions,
// passwords, the output file, stored copies, the verdict and skipped entries.
#include "engine/core/krvDates.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvExtractOutput.h"
#include "engine/core/krvFileIo.h"
#include "engine/core/krvKernelCopy.h"
#include "engine/core/krvOutputPath.h"
#include "engine/core/krvUnBase.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

bool IsArjType(TArcType Type) {
    return Type == atArj || Type == atArjExe;
}

constexpr std::int64_t StoreChunk = 32768;

} // namespace

bool TUnBase::TargetExists(const std::string& Name, std::uint32_t& Attr) {
    if (Name.empty()) return false;
    // Looked up in its folder, which the output then goes into: the files of one folder follow
    // each other, and the folder is entered once for them all.
    if (!FFolders) FFolders = std::make_unique<TOutputFolderCache>();
    std::string leaf;
    const TOutputFolder dir = FFolders->ParentOf(*this, Name, leaf);
    struct stat st {};
    if (dir ? ::fstatat(dir->Get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0
            : ::lstat(Name.c_str(), &st) != 0)
        return false;
    const std::size_t slash = Name.find_last_of('/');
    Attr = AttributesFromStat(st, slash == std::string::npos ? Name : Name.substr(slash + 1));
    return true;
}

bool TUnBase::ConfirmExtractFile(bool IsDirectory) {
    FCreatedAtConfirm.reset();
    FWrittenAhead = false;
    FEntryFailed = false;
    FEntryCounted = false;
    EntryBytesDone = 0;
    const std::optional<std::uint32_t> finalAttr = std::exchange(FAttrAtConfirm, std::nullopt);
    // A name refused by the output-path rules (reported there) is not extracted.
    if (FileName.empty()) return false;
    // An entry without a name of its own is tested, but has no file to go to: a file entry
    // is reported skipped; a folder entry is the destination itself.
    if (FEntryUnnamed && IsFileOutput()) {
        if (!IsDirectory) ReportError(FileName, "it has no name", "0", ecSkippedFile);
        return false;
    }
    if (IsDirectory) return true;

    TkrvTimerPause pause(Timer);
    bool proceed = true;
    if (OnBegin) OnBegin(*this, FileName, FilesProcessed, proceed);
    if (GetCancel() || !proceed) return false;

    if (OutputMode != omdDiskFile) return CountConfirmed();
    // Most names are new: the output is created at once, and only a name that is taken (or
    // cannot be created) is looked at and asked about.
    if (!FFolders) FFolders = std::make_unique<TOutputFolderCache>();
    if (CreateOutputOnConfirm) {
        TUniqueFd ahead = TakeCopiedAhead();
        const bool copiedAhead = static_cast<bool>(ahead);
        std::optional<mode_t> finalMode;
        if (finalAttr) finalMode = RestoreFileAttr ? OutputModeOf(*finalAttr) : DefaultOutputMode();
        FCreatedAtConfirm =
            TExtractOutput::CreateNew(*this, FileName, *FFolders, copiedAhead ? &ahead : nullptr, finalMode);
        FWrittenAhead = copiedAhead && FCreatedAtConfirm;
        if (copiedAhead && !FCreatedAtConfirm && errno != EEXIST) {
            // A destination that cannot name unnamed files (another file system below it, no
            // /proc) has the rest of the job's files made here.
            EndCopyAhead();
            FCreatedAtConfirm = TExtractOutput::CreateNew(*this, FileName, *FFolders);
        }
    }
    std::uint32_t attr = 0;
    bool exists = !FCreatedAtConfirm && TargetExists(FileName, attr);
    TOverwriteMode mode = OverwriteMode;
    if (ConfirmOverwrites) {
        OverwriteMode = omOverwrite;
        if (exists && !OnFileExists) {
            ReportError(FileName, "OnFileExists", "0", ecRequiredEventNotAssigned);
            OverwriteMode = omSkip;
        } else if (exists) {
            for (;;) {
                std::string newName;
                OnFileExists(*this, FileName, newName, OverwriteMode);
                if (newName.empty()) newName = FileName;
                if (GetCancel() || OverwriteMode == omSkip || newName == FileName) break;
                if (OverwriteMode == omOverwrite) FileName = newName;
                exists = TargetExists(FileName, attr);
                if (!exists) break;
            }
        }
        mode = OverwriteMode;
    } else if (mode == omSkip && !exists) {
        // Skipping means skipping existing files: a new one is extracted.
        mode = omOverwrite;
    }

    if (!GetCancel() && mode == omOverwrite && exists && (attr & faReadOnly) &&
        (attr & (faSysFile | faDirectory))) {
        ReportError(FileName, "", "0", ecErrorWritingToFile);
        return false;
    }
    // A read-only file in the way needs no change here: it is replaced as a whole once the
    // entry has been verified.
    if (GetCancel() || mode != omOverwrite || FileName.empty()) {
        FCreatedAtConfirm.reset();
        return false;
    }
    return CountConfirmed();
}

bool TUnBase::CountConfirmed() {
    ++FilesProcessed;
    FEntryCounted = true;
    FCountAtConfirm = FilesProcessed;
    return true;
}

bool TUnBase::CheckPassword(TStream32& ArchiveStream) {
    TkrvTimerPause pause(Timer);
    std::span<std::uint8_t, 2 * CryptHeaderSize> work(FWorkBuffer);
    std::fill(FWorkBuffer.begin(), FWorkBuffer.end(), 0);
    if (ReadRoutine(ArchiveStream, FWorkBuffer.data() + CryptHeaderSize, CryptHeaderSize, 0, false) !=
        static_cast<std::int64_t>(CryptHeaderSize)) {
        ReportError(FileName, "", "0", ecUnexpectedEndOfFile);
        return false;
    }
    if (CheckEncryptionHeader(work)) return true;
    for (const std::string& candidate : Passwords) {
        Password = candidate;
        if (CheckEncryptionHeader(work)) return true;
    }
    if (!OnGetPassword) {
        ReportError(FileName, "OnGetPassword", "0", ecRequiredEventNotAssigned);
        return false;
    }
    for (int attempt = 0; attempt < PasswordAttempts; ++attempt) {
        if (GetCancel()) break;
        bool tryAgain = true;
        OnGetPassword(*this, FileName, Password, tryAgain);
        if (!tryAgain) {
            ReportError(FileName, "", "0", ecInvalidPassword);
            break;
        }
        if (CheckEncryptionHeader(work)) {
            // Later entries try it first.
            Passwords.insert(Passwords.begin(), Password);
            return true;
        }
        Password.clear();
        ReportError(FileName, "", "0", ecInvalidPassword);
    }
    return false;
}

bool TUnBase::OpenOutputFile(const std::string& EntryName, const std::string& AFileName,
                             bool EntryEncrypted) {
    // An entry without a name keeps the name it is tested under.
    FSavedEntryName = FEntryUnnamed ? FileName : ShownStoredName(EntryName);
    FOutput.reset();
    if (EntryEncrypted && PasswordFailed) return false;
    if (OutputMode == omdDiskFile) {
        if (FCreatedAtConfirm && FCreatedAtConfirm->FileName() == AFileName) {
            FOutput = std::move(FCreatedAtConfirm);
            return true;
        }
        FCreatedAtConfirm.reset();
        FWrittenAhead = false;
        if (!FFolders) FFolders = std::make_unique<TOutputFolderCache>();
        FOutput = TExtractOutput::Create(*this, AFileName, FFolders.get());
        return FOutput != nullptr;
    }
    if (OutputMode == omdAppend) {
        FOutput = TExtractOutput::Append(*this, AFileName);
        return FOutput != nullptr;
    }
    return true;
}

TStream32* TUnBase::OutputStream() {
    return FOutput && !FOutput->Closed() ? &FOutput->Stream() : nullptr;
}

std::int64_t TUnBase::UnStore(TStream32& Input, std::int64_t Count, std::int64_t EntrySize, int CrcWidth,
                              bool EntryEncrypted) {
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::clamp<std::int64_t>(Count, 1, StoreChunk)));
    // The arj garble is undone as the data are read, the zip cipher as they are written.
    const bool readDeciphers = EntryEncrypted && IsArjType(FArcType);
    const bool writeDeciphers = EntryEncrypted && !IsArjType(FArcType);
    std::int64_t remaining = Count;
    while (remaining > 0 && !GetCancel()) {
        const std::int64_t want = std::min<std::int64_t>(remaining, std::ssize(buffer));
        const std::int64_t got = ReadRoutine(Input, buffer.data(), want, 0, readDeciphers);
        if (got <= 0) break;
        WriteRoutine(OutputStream(), buffer.data(), got, true, CrcWidth, writeDeciphers);
        remaining -= got;
        EntryBytesDone += got;
        BytesToDo -= static_cast<double>(got);
        DoProgress(EntryBytesDone, EntrySize, JobTotal);
    }
    return remaining;
}

TEntryTime TEntryTime::Unix(std::int64_t Seconds) {
    TEntryTime t(FileTimeToDosTime(static_cast<std::time_t>(Seconds)));
    t.UnixSeconds = Seconds;
    t.Exact = true;
    return t;
}

std::uint32_t TUnBase::UnixModeAttr(std::uint32_t Mode) {
    return (Mode & 0777) ? faArchive | ((S_IFREG | (Mode & 0777)) << 16) : faArchive;
}

void TUnBase::SkipLinkEntry(const std::string& Target, std::int64_t EntrySize) {
    if (IsFileOutput())
        ReportError(FileName,
                    Target.empty() ? std::string("symbolic link not created")
                                   : "symbolic link to " + Target + " not created",
                    "0", ecSkippedFile);
    SkipEntry(EntrySize);
}

std::int64_t TUnBase::CopyStored(TStream32& Input, std::int64_t InputPos, std::int64_t Count,
                                 std::int64_t EntrySize) {
    auto* in = dynamic_cast<THandleStream32*>(&Input);
    auto* out = dynamic_cast<THandleStream32*>(OutputStream());
    const auto unStoreFrom = [&](std::int64_t Pos, std::int64_t Left) {
        return Input.Seek(Pos, soBeginning) == Pos ? UnStore(Input, Left, EntrySize, 0, false) : Left;
    };
    // Copied ahead, the data are there already: only the progress of the copy is made here.
    const bool ahead = FWrittenAhead && out;
    if (!ahead && (!in || !out || !IsFileOutput() || AsciiTranslation)) return unStoreFrom(InputPos, Count);
    // Up to KernelCopyChunk at a time, with the progress of UnStore's steps.
    constexpr std::int64_t KernelCopyChunk = 32 * StoreChunk;
    std::int64_t remaining = Count;
    std::int64_t at = InputPos;
    while (remaining > 0 && !GetCancel()) {
        std::int64_t got = std::min(remaining, KernelCopyChunk);
        if (!ahead) {
            got = KernelCopyAt(in->Handle, &at, out->Handle, nullptr, got);
            if (got == KernelCopyRefused) return unStoreFrom(at, remaining);
            if (got < 0 && (errno == ENOSPC || errno == EDQUOT) && FCopyAhead) {
                // The files held ahead may be what fills the disk: given back, and tried again.
                EndCopyAhead();
                continue;
            }
            if (got < 0) FailWrite(errno == ENOSPC || errno == EDQUOT);
            if (got == 0) break; // the input ended
        }
        remaining -= got;
        for (std::int64_t step = 0; step < got; step += StoreChunk) {
            const std::int64_t n = std::min(StoreChunk, got - step);
            EntryBytesDone += n;
            BytesToDo -= static_cast<double>(n);
            DoProgress(EntryBytesDone, EntrySize, JobTotal);
        }
    }
    return remaining;
}

void TUnBase::ApplyAttributes(std::uint32_t Attr) {
    FOutput->SetMode(OutputModeOf(Attr));
}

mode_t TUnBase::OutputModeOf(std::uint32_t Attr) const {
    mode_t mode = DefaultOutputMode();
    const std::uint32_t unixMode = Attr >> 16;
    const std::uint32_t unixType = unixMode & S_IFMT;
    if (HostSystem == 3 && unixMode != 0 && (unixType == 0 || unixType == S_IFREG)) {
        // Made on Unix: its permission bits less the umask, never set-user, set-group or sticky.
        // The mask is read once, as for the default mode.
        static const mode_t mask = CurrentUmask();
        mode = static_cast<mode_t>(unixMode & 0777 & ~mask);
    } else if (Attr & faReadOnly) {
        mode &= ~static_cast<mode_t>(0222);
    }
    return mode;
}

std::time_t TUnBase::OutputTimeOf(std::uint32_t DosDate) {
    // The entries of an archive mostly share a few dates, and each local-time conversion reads
    // the time zone's file again: the last one of the job is kept.
    if (!FLastDosTime || FLastDosTime->first != DosDate)
        FLastDosTime.emplace(DosDate, DosTimeToFileTime(DosDate));
    return FLastDosTime->second;
}

void TUnBase::CloseOutputFile(std::uint32_t Attr, TEntryTime Time) {
    if (!IsFileOutput()) {
        FileName = FSavedEntryName;
        return;
    }
    if (!FOutput) return;
    // The stored time itself when the format keeps whole seconds: a DOS date-time would
    // round odd seconds.
    FOutput->SetTimes(Time.Exact && DateAttribute == daFileDate ? static_cast<std::time_t>(Time.UnixSeconds)
                                                                : OutputTimeOf(ApplyDateAttribute(Time.Dos)));
    if (RestoreFileAttr && Attr != faArchive) ApplyAttributes(Attr);
    FLastWasCR = false;
    if (!FOutput->Close()) {
        MarkEntryFailed();
        ReportError(FileName, std::strerror(errno), "0", ecErrorClosingFile);
    }
}

bool TUnBase::CheckCrc(int Width, std::uint32_t StoredCrc) {
    const bool cancelled = GetCancel();
    bool verdict = false;
    if (!cancelled) {
        if (Width == 16) {
            const std::uint16_t stored = static_cast<std::uint16_t>(StoredCrc);
            verdict = RunningCrc16 == stored || static_cast<std::uint16_t>(RunningCrc16 ^ 0xFFFF) == stored;
        } else {
            verdict = RunningCrc32 == StoredCrc || (RunningCrc32 ^ 0xFFFFFFFFU) == StoredCrc;
        }
    }
    const bool crcFailed = !cancelled && !verdict && !FEntryFailed;
    if (FEntryFailed) verdict = false;

    FCreatedAtConfirm.reset(); // an entry that never opened its output leaves no file
    FWrittenAhead = false;
    if (FOutput) {
        if (verdict && !FOutput->Commit()) {
            verdict = false;
            ReportError(FileName, std::strerror(errno), "0", ecErrorOpeningFile);
        }
        FOutput.reset(); // a failed entry's output is removed here
    }
    if (!verdict) {
        ++FilesFailed;
        if (FEntryCounted && FilesProcessed == FCountAtConfirm && FilesProcessed > 0) --FilesProcessed;
    }
    FEntryCounted = false;

    if (OnEnd)
        OnEnd(*this, FileName, verdict);
    else if (crcFailed)
        ReportError(FileName, "", "0", ecFileFailsCRCCheck);
    return verdict;
}

void TUnBase::SkipEntry(std::int64_t EntrySize) {
    FCreatedAtConfirm.reset();
    BytesToDo -= static_cast<double>(EntrySize);
    DoProgress(EntrySize, EntrySize, JobTotal);
}

bool TUnBase::ForceOutputDirs(const std::string& DirName) {
    if (!IsFileOutput() || DirName.empty()) return true;
    const std::string& root = FExtractDir;
    std::vector<std::string> parts;
    std::string base = root;
    if (!root.empty() && DirName.compare(0, root.size(), root) == 0) {
        std::string part;
        for (std::size_t i = root.size(); i <= DirName.size(); ++i) {
            if (i == DirName.size() || DirName[i] == '/') {
                if (!part.empty() && part != ".") parts.push_back(part);
                part.clear();
            } else {
                part += DirName[i];
            }
        }
    } else {
        base = DirName;
    }
    TUniqueFd dir(OpenDirBeneath(base, parts, true));
    if (dir) return true;
    ReportError(DirName, std::strerror(errno), "0", ecErrorCreatingDir);
    return false;
}

void TUnBase::PlanCopyAhead(std::vector<TCopyAhead::TJob> Jobs) {
    EndCopyAhead();
    if (!CreateOutputOnConfirm || !IsFileOutput() || AsciiTranslation || JobThreads(Threads) < 2) return;
    // A small file is copied here sooner than it is handed across threads and named.
    std::erase_if(Jobs, [](const TCopyAhead::TJob& Job) { return Job.Size < TCopyAhead::MinSize; });
    FCopyAheadJobs = std::move(Jobs);
}

void TUnBase::EndCopyAhead() {
    FCopyAhead.reset();
    FCopyAheadJobs.clear();
    FCopyAheadIndex = -1;
}

TUniqueFd TUnBase::TakeCopiedAhead() {
    if (FCopyAheadIndex < 0) return {};
    if (!FCopyAhead) {
        if (FCopyAheadJobs.empty()) return {};
        // The unnamed files go into the destination, once it is there.
        TUniqueFd folder(OpenDirBeneath(ExtractDir(), {}, false));
        if (!folder) return {};
        // Two workers keep the large files off this thread's way; more would only contend with
        // it for the pages they fill.
        FCopyAhead = std::make_unique<TCopyAhead>(ArchiveFile(), std::move(folder), std::move(FCopyAheadJobs),
                                                  std::min(JobThreads(Threads), 2U), CancelPtr);
        FCopyAheadJobs.clear();
    }
    int error = 0;
    TUniqueFd file = FCopyAhead->Take(FCopyAheadIndex, error);
    // A copy that failed is made again here, as a one-thread run makes it, after the space held
    // ahead is given back.
    if (error != 0) EndCopyAhead();
    return file;
}
