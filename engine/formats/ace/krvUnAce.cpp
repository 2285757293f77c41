#include "engine/formats/ace/krvUnAce.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvOutputPath.h"
#include "platform/AceLibrary.h"
#include "platform/LibraryLoader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t DosDirectory = 0x10;
constexpr std::uint32_t DosReadOnly = 0x01;
constexpr std::size_t CommentBufferSize = 8192;
constexpr std::size_t TempDirSize = 255;

// The reader whose library run is in progress on this thread: the library's callbacks carry
// no pointer of the caller's.
thread_local TUnACE* CurrentUnAce = nullptr;

bool PathExists(const std::string& Name) {
    struct stat st {};
    return ::lstat(Name.c_str(), &st) == 0;
}

// A free name beside Name for the file set aside.
std::string AsideName(const std::string& Name) {
    std::string aside = Name + ".krv-XXXXXX";
    const int fd = ::mkstemp(aside.data());
    if (fd < 0) return {};
    ::close(fd);
    return aside;
}

} // namespace

struct TUnACE::TCalls {
    TLibrary Library;
    TACEInitDll InitDll = nullptr;
    TACEReadArchiveData ReadArchiveData = nullptr;
    TACEList List = nullptr;
    TACETest Test = nullptr;
    TACEExtract Extract = nullptr;
};

std::string TUnACE::LibraryName = AceLibraryName;

TUnACE::TUnACE() {
    PasswordAttempts = 3;
}

TUnACE::~TUnACE() = default;

int TUnACE::DoExtract(std::unique_ptr<TFileStream32>& /*ArchiveStream*/) {
    FRunArchive = ArchiveFile();
    ProgressByFile = ProgressByArchive = 0;
    // Looked for on every run, and freed after it.
    TCalls calls;
    calls.Library = LoadLibraryQuiet(LibraryName);
    calls.InitDll = calls.Library.Function<TACEInitDll>("ACEInitDll");
    calls.ReadArchiveData = calls.Library.Function<TACEReadArchiveData>("ACEReadArchiveData");
    calls.List = calls.Library.Function<TACEList>("ACEList");
    calls.Test = calls.Library.Function<TACETest>("ACETest");
    calls.Extract = calls.Library.Function<TACEExtract>("ACEExtract");
    if (!calls.InitDll || !calls.ReadArchiveData || !calls.List || !calls.Test || !calls.Extract) {
        ReportError(FRunArchive, "", "0", ecErrorLoadingUnacev2Dll);
        return 0;
    }
    if (!FileExists(FRunArchive)) {
        ReportError(FRunArchive, "", "0", ecFileNotFound);
        return 0;
    }
    return Run(calls);
}

int TUnACE::Run(const TCalls& Calls) {
    FTestMode = !IsFileOutput();
    std::vector<char> comment(CommentBufferSize);
    std::vector<char> tempDir(TempDirSize + 1);
    std::snprintf(tempDir.data(), tempDir.size(), "%s", TempDir().c_str());
    TAceInitDllStruc init{};
    init.CallerData = reinterpret_cast<std::uintptr_t>(this);
    init.MaxArchiveTestBytes = 0x1FFFF;
    init.MaxFileBufSize = 0x2FFFF;
    init.CommentBuf = comment.data();
    init.CommentBufSize = static_cast<std::uint32_t>(comment.size() - 1);
    init.TempDir = tempDir.data();
    init.InfoCallback = &InfoCallback;
    init.ErrorCallback = &ErrorCallback;
    init.RequestCallback = &RequestCallback;
    init.StateCallback = &StateCallback;
    if (Calls.InitDll(&init) != 0) {
        ReportError(FRunArchive, "", "0", ecErrorLoadingUnacev2Dll);
        return 2;
    }
    ScanHeaders();

    TUnACE* const previous = CurrentUnAce;
    CurrentUnAce = this;
    const TScopeExit restore{[&] {
        CurrentUnAce = previous;
        AbandonFile();
    }};
    const std::string password = Password;
    int result = 0;
    if (FTestMode) {
        TAceTestStruc test{{"", "", "", -1}, password.c_str()};
        result = Calls.Test(FRunArchive.c_str(), &test);
    } else {
        const std::string destination = ExtractDir();
        TAceExtractStruc extract{
            {"", "", "", -1}, destination.c_str(), UseStoredDirs ? 0 : -1, password.c_str()};
        result = Calls.Extract(FRunArchive.c_str(), &extract);
    }
    if (FPending) std::rethrow_exception(std::exchange(FPending, nullptr));
    return result;
}

template <typename F> int TUnACE::Guarded(F Body) {
    TUnACE* self = CurrentUnAce;
    if (!self || self->FPending) return ACE_CALLBACK_RETURN_CANCEL;
    try {
        return Body(*self);
    } catch (...) {
        self->FPending = std::current_exception();
        return ACE_CALLBACK_RETURN_CANCEL;
    }
}

int TUnACE::InfoCallback(TAceCallbackData* Data) {
    return Guarded([&](TUnACE& Self) { return Self.OnInfo(*Data); });
}
int TUnACE::ErrorCallback(TAceCallbackData* Data) {
    return Guarded([&](TUnACE& Self) { return Self.OnLibraryError(*Data); });
}
int TUnACE::RequestCallback(TAceCallbackData* Data) {
    return Guarded([&](TUnACE& Self) { return Self.OnRequest(*Data); });
}
int TUnACE::StateCallback(TAceCallbackData* Data) {
    return Guarded([&](TUnACE& Self) { return Self.OnState(*Data); });
}

int TUnACE::OnInfo(const TAceCallbackData& Data) {
    if (GetCancel()) return ACE_CALLBACK_RETURN_CANCEL;
    switch (Data.Code) {
    case ACE_CALLBACK_INFO_FILELISTCREATE:
        return FTestMode ? ACE_CALLBACK_RETURN_OK : ACE_CALLBACK_RETURN_NO;
    case ACE_CALLBACK_INFO_FILELISTCREATEEND:
    case ACE_CALLBACK_INFO_FILELISTADD:
        return ACE_CALLBACK_RETURN_OK;
    default:
        return ACE_CALLBACK_RETURN_NO;
    }
}

int TUnACE::OnLibraryError(const TAceCallbackData& Data) {
    // The library stops; what it failed on is reported, never passed over.
    int code = ecCorruptInput;
    if (Data.Code == ACE_CALLBACK_ERROR_UNSUPPORTED) code = ecUnsupportedCompressionMethod;
    if (Data.Code == ACE_CALLBACK_ERROR_WRITE) code = ecErrorWritingToFile;
    if (Data.Code == ACE_CALLBACK_ERROR_READ) code = ecErrorReadingFile;
    ReportError(Data.File ? FileName : FRunArchive, "", "0", code);
    if (Data.File && FSelected) {
        MarkEntryFailed();
        FileEnd(*Data.File, false);
    }
    return ACE_CALLBACK_RETURN_CANCEL;
}

int TUnACE::OnRequest(TAceCallbackData& Data) {
    if (Data.StructureType == ACE_CALLBACK_TYPE_ARCHIVE && Data.Code == ACE_CALLBACK_REQUEST_CHANGEVOLUME)
        return NextVolume(Data);
    if (Data.StructureType == ACE_CALLBACK_TYPE_FILE && Data.Code == ACE_CALLBACK_REQUEST_OVERWRITE)
        return FileExistsAnswer();
    if (Data.StructureType == ACE_CALLBACK_TYPE_FILE && Data.Code == ACE_CALLBACK_REQUEST_PASSWORD)
        return PasswordAnswer(Data);
    return ACE_CALLBACK_RETURN_CANCEL;
}

int TUnACE::NextVolume(TAceCallbackData& Data) {
    if (!OnNextVolume) {
        ReportError(FRunArchive, "OnNextVolume", "0", ecRequiredEventNotAssigned);
        return ACE_CALLBACK_RETURN_CANCEL;
    }
    const int number = Data.Archive ? static_cast<int>(Data.Archive->VolumeNumber) : 1;
    // Named as it would lie beside the first volume (the one before may have come from
    // elsewhere).
    std::string name = GetNextVolumeName(ArchiveFile(), std::max(number - 1, 0));
    if (!Data.Archive || !GetNextVolume(name, std::to_string(number)) ||
        name.size() >= sizeof Data.Archive->ArchiveName)
        return ACE_CALLBACK_RETURN_CANCEL;
    std::snprintf(Data.Archive->ArchiveName, sizeof Data.Archive->ArchiveName, "%s", name.c_str());
    FRunArchive = name;
    return FileExists(name) ? ACE_CALLBACK_RETURN_OK : ACE_CALLBACK_RETURN_NO;
}

int TUnACE::FileExistsAnswer() {
    // A file in the library's way is kept: one the reader wants replaced was set aside when
    // the file started, so the library never writes over a file that has not been verified.
    if (FSkip || FExists || !FSelected) return ACE_CALLBACK_RETURN_NO;
    ReportError(FileName, "", "0", ecErrorOpeningFile);
    MarkEntryFailed();
    return ACE_CALLBACK_RETURN_NO;
}

int TUnACE::PasswordAnswer(TAceCallbackData& Data) {
    if (!OnGetPassword) {
        ReportError(FileName, "OnGetPassword", "0", ecRequiredEventNotAssigned);
        return ACE_CALLBACK_RETURN_CANCEL;
    }
    bool tryAgain = true;
    for (int attempt = 1; attempt <= PasswordAttempts; ++attempt) {
        OnGetPassword(*this, FileName, Password, tryAgain);
        if (!tryAgain || GetCancel()) {
            ReportError(FileName, "", "0", ecInvalidPassword);
            return ACE_CALLBACK_RETURN_CANCEL;
        }
        if (Password.empty()) {
            if (attempt == PasswordAttempts) ReportError(FileName, "", "0", ecPasswordFailed);
            continue;
        }
        FPasswordText = Password;
        Data.Password = FPasswordText.c_str();
        return ACE_CALLBACK_RETURN_OK;
    }
    return ACE_CALLBACK_RETURN_CANCEL;
}

int TUnACE::OnState(const TAceCallbackData& Data) {
    if (GetCancel()) return ACE_CALLBACK_RETURN_OK;
    if (!Data.File) return ACE_CALLBACK_RETURN_OK;
    switch (Data.StructureType) {
    case ACE_CALLBACK_TYPE_FILE:
        if (Data.Code == ACE_CALLBACK_STATE_STARTFILE) return FileStart(*Data.File);
        break;
    case ACE_CALLBACK_TYPE_PROGRESS:
        FileData(Data);
        break;
    case ACE_CALLBACK_TYPE_CRCCHECK:
        FileEnd(*Data.File, Data.CrcOk != 0);
        break;
    default:
        break;
    }
    return ACE_CALLBACK_RETURN_OK;
}

int TUnACE::FileStart(const TAceFileData& File) {
    AbandonFile();
    FStoredName = ArcNameToLocalName(File.SourceFileName ? File.SourceFileName : "", TranslateOemChar);
    FSkip = FExists = FSelected = false;
    FIsDirectory = (File.Attributes & DosDirectory) != 0;
    FEntrySize = static_cast<std::int64_t>(std::min<std::uint64_t>(File.Size, INT64_MAX));
    FReceived = 0;
    if (FTestMode) {
        FileName = FStoredName;
    } else {
        SetCurrentFileName(FStoredName);
        FLibraryTarget = File.DestinationFileName ? File.DestinationFileName : "";
        // The library writes where the stored name says: never outside the destination.
        if (!PathIsBelow(FLibraryTarget, ExtractDir())) {
            if (!FileName.empty()) ReportError(FStoredName, "", "0", ecInvalidFileName);
            return ACE_CALLBACK_RETURN_CANCEL;
        }
        FExists = PathExists(FLibraryTarget);
    }
    FSelected = !FileName.empty() && MatchEntrySpec(FStoredName);
    if (!FSelected) return ACE_CALLBACK_RETURN_OK;
    FileDate = DosDateToDateTime(File.Time);
    UnpackedSize = CurrentFileSize = FEntrySize;
    PackedSize = static_cast<std::int64_t>(std::min<std::uint64_t>(File.CompressedSize, INT64_MAX));
    Encrypted = (File.Flags & 0x4000) != 0;
    RunningCrc32 = 0xFFFFFFFF;
    FSelected = ConfirmExtractFile(FIsDirectory);
    if (!FSelected || FIsDirectory) {
        if (!FIsDirectory) SkipEntry(FEntrySize);
        FSelected = false;
        return ACE_CALLBACK_RETURN_OK;
    }
    if (FTestMode) {
        OpenOutputFile(FStoredName, FileName, false);
        return ACE_CALLBACK_RETURN_OK;
    }
    if (FExists) {
        // The file in the way waits beside it until the library's verdict.
        FAside = AsideName(FLibraryTarget);
        if (FAside.empty() || ::rename(FLibraryTarget.c_str(), FAside.c_str()) != 0) {
            if (!FAside.empty()) ::unlink(FAside.c_str());
            FAside.clear();
            ReportError(FileName, "", "0", ecErrorOpeningFile);
            FSkip = true;
            return ACE_CALLBACK_RETURN_OK;
        }
        FExists = false;
    }
    return ACE_CALLBACK_RETURN_OK;
}

void TUnACE::FileData(const TAceCallbackData& Data) {
    if (!FSelected || !Data.Buffer || Data.BufferSize == 0) return;
    const auto count = static_cast<std::int64_t>(Data.BufferSize);
    FReceived += count;
    EntryBytesDone += count;
    BytesToDo -= static_cast<double>(count);
    if (FTestMode) WriteRoutine(OutputStream(), const_cast<void*>(Data.Buffer), count, true, 32, false);
    DoProgress(EntryBytesDone, FEntrySize, JobTotal);
}

void TUnACE::FileEnd(const TAceFileData& File, bool Verdict) {
    if (!FSelected) {
        // What the library wrote of a file the reader did not want is removed again.
        if (!FTestMode && !FExists && !FIsDirectory && !FLibraryTarget.empty())
            ::unlink(FLibraryTarget.c_str());
        return;
    }
    FSelected = false;
    if (!Verdict || FSkip) MarkEntryFailed();
    if (FTestMode) {
        CloseOutputFile(File.Attributes, File.Time);
        CheckCrc(32, RunningCrc32 ^ 0xFFFFFFFF);
        return;
    }
    if (!EntryFailed()) {
        const std::time_t modTime = DosTimeToFileTime(ApplyDateAttribute(File.Time));
        const timespec times[2] = {{modTime, 0}, {modTime, 0}};
        ::utimensat(AT_FDCWD, FLibraryTarget.c_str(), times, AT_SYMLINK_NOFOLLOW);
        if (RestoreFileAttr && (File.Attributes & DosReadOnly)) ::chmod(FLibraryTarget.c_str(), 0444);
        // The file goes to the reader's name; the one set aside back to its own.
        if (FileName != FLibraryTarget && ::rename(FLibraryTarget.c_str(), FileName.c_str()) != 0) {
            ReportError(FileName, "", "0", ecErrorWritingToFile);
            MarkEntryFailed();
        } else if (FileName == FLibraryTarget && !FAside.empty()) {
            ::unlink(FAside.c_str());
            FAside.clear();
        }
    }
    // A failed entry leaves nothing of its own: the file set aside comes back, and what the
    // library wrote where nothing was goes.
    if (EntryFailed() && !FSkip && FAside.empty()) ::unlink(FLibraryTarget.c_str());
    RestoreAside();
    CheckCrc(32, RunningCrc32 ^ 0xFFFFFFFF);
}

void TUnACE::AbandonFile() {
    if (FSelected) {
        // The library left the file without a verdict (it stopped, or a volume was refused).
        FSelected = false;
        MarkEntryFailed();
        if (!FTestMode && !FSkip && FAside.empty() && !FLibraryTarget.empty())
            ::unlink(FLibraryTarget.c_str());
        RestoreAside();
        CheckCrc(32, RunningCrc32 ^ 0xFFFFFFFF);
    }
    RestoreAside();
}

void TUnACE::RestoreAside() {
    if (FAside.empty()) return;
    // The library's file (whole or not) gives way to the one that was there.
    if (::rename(FAside.c_str(), FLibraryTarget.c_str()) != 0)
        ReportError(FAside, "", "0", ecErrorWritingToFile);
    FAside.clear();
}
