#include "engine/formats/rar/krvUnRar.h"

#include "engine/core/krvCrc.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvOutputPath.h"
#include "platform/LibraryLoader.h"
#include "platform/UnrarLibrary.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t CommentBufferSize = 16384;
constexpr std::uint32_t DosDirectory = 0x10;

} // namespace

struct TUnRar::TLibraryBinding {
    TLibrary Library;
    TRAROpenArchive OpenArchive = nullptr;
    TRARCloseArchive CloseArchive = nullptr;
    TRARReadHeader ReadHeader = nullptr;
    TRARProcessFile ProcessFile = nullptr;
    TRARSetCallback SetCallback = nullptr;
};

const TUnRar::TLibraryBinding* TUnRar::Binding() {
    static const std::unique_ptr<TLibraryBinding> binding = []() -> std::unique_ptr<TLibraryBinding> {
        auto b = std::make_unique<TLibraryBinding>();
        b->Library = LoadLibraryQuiet(UnrarLibraryName);
        b->OpenArchive = b->Library.Function<TRAROpenArchive>("RAROpenArchive");
        b->CloseArchive = b->Library.Function<TRARCloseArchive>("RARCloseArchive");
        b->ReadHeader = b->Library.Function<TRARReadHeader>("RARReadHeader");
        b->ProcessFile = b->Library.Function<TRARProcessFile>("RARProcessFile");
        b->SetCallback = b->Library.Function<TRARSetCallback>("RARSetCallback");
        if (!b->OpenArchive || !b->CloseArchive || !b->ReadHeader || !b->ProcessFile || !b->SetCallback)
            return nullptr;
        return b;
    }();
    return binding.get();
}

bool TUnRar::LibraryAvailable() {
    return Binding() != nullptr;
}

int TUnRar::LibraryError(int ResultCode) {
    switch (ResultCode) {
    case ERAR_END_ARCHIVE:
        return ecEOFNotFound;
    case ERAR_NO_MEMORY:
        return ecOutOfMemory;
    case ERAR_BAD_DATA:
        return ecBadBlock;
    case ERAR_BAD_ARCHIVE:
    case ERAR_UNKNOWN_FORMAT:
        return ecInvalidArchiveType;
    case ERAR_EOPEN:
        return ecErrorOpeningFile;
    case ERAR_ECREATE:
    case ERAR_EWRITE:
        return ecErrorWritingToFile;
    case ERAR_ECLOSE:
        return ecErrorClosingFile;
    case ERAR_EREAD:
        return ecErrorReadingFile;
    case ERAR_MISSING_VOLUME:
        return ecBrokenMultiVolumeChain;
    case ERAR_BAD_PASSWORD:
        return ecInvalidPassword;
    default:
        return 0;
    }
}

TUnRar::TUnRar() = default;

TUnRar::~TUnRar() = default;

int TUnRar::DoExtract(std::unique_ptr<TFileStream32>& /*ArchiveStream*/) {
    if (!Binding()) RaiseError(ArchiveFile(), "", "0", ecUnrarDllNotFound);
    // The library opens the archive by its name; it is opened here first to learn that it can
    // be read and how large it is.
    if (std::unique_ptr<TFileStream32> handle; !OpenArchiveRead(handle, ArchiveFile())) {
        ReportError(ArchiveFile(), "", "0", FileExists(ArchiveFile()) ? ecErrorOpeningFile : ecFileNotFound);
        return 0;
    }
    Run(!IsFileOutput());
    return 0;
}

void TUnRar::Run(bool TestMode) {
    const TLibraryBinding& lib = *Binding();
    ScanHeaders();
    FNextScanned = 0;

    std::vector<char> comment(CommentBufferSize);
    RAROpenArchiveData open{};
    const std::string archive = ArchiveFile();
    open.ArcName = archive.c_str();
    open.OpenMode = RAR_OM_EXTRACT;
    open.CmtBuf = comment.data();
    open.CmtBufSize = static_cast<unsigned>(comment.size());
    void* handle = lib.OpenArchive(&open);
    if (!handle || open.OpenResult != 0) {
        if (handle) lib.CloseArchive(handle);
        RaiseError(archive, "", "0",
                   LibraryError(open.OpenResult ? static_cast<int>(open.OpenResult) : int{ERAR_BAD_ARCHIVE}));
    }
    const TScopeExit close{[&] { lib.CloseArchive(handle); }};
    lib.SetCallback(handle, &RarDllCallback, reinterpret_cast<std::intptr_t>(this));

    auto header = std::make_unique<RARHeaderData>();
    FReached = 0;
    int result = lib.ReadHeader(handle, header.get());
    if (result != 0) {
        ReportError(archive, FScan.Damage, "0", ecBadFileHeader);
        FailUnreached(ecBadFileHeader);
        return;
    }
    int done = 0;
    while (!GetCancel()) {
        const bool wasFile = !IsDirectory(*header);
        const int before = FilesProcessed + FilesFailed;
        const int stop = ProcessEntry(handle, *header, TestMode);
        if (stop != 0) {
            if (GetCancel()) break;
            // A volume that is not there, where the walk found the one before it cut off.
            if (FScan.DamageCode != 0) ReportError(archive, FScan.Damage, "0", FScan.DamageCode);
            FailUnreached(LibraryError(stop));
            break;
        }
        if (wasFile && FilesProcessed + FilesFailed > before) ++done;
        // Every selected file is done: later volumes are not asked for.
        if (FScan.Complete && done > 0 && done >= std::ssize(FScan.Files)) break;
        *header = RARHeaderData{};
        result = lib.ReadHeader(handle, header.get());
        if (result != 0) {
            if (GetCancel()) break;
            if (result != ERAR_END_ARCHIVE) {
                // Damage the walk found, and says where, is the cause of a header the library
                // cannot read.
                const bool damage =
                    FScan.DamageCode != 0 && (result == ERAR_BAD_DATA || result == ERAR_BAD_ARCHIVE);
                const int code = damage ? FScan.DamageCode : LibraryError(result);
                ReportError(archive, FScan.Damage, "0", code);
                FailUnreached(code);
            } else if (FScan.DamageCode != 0) {
                // The library found its end where the archive is damaged (cut off, or without
                // its end block): the run fails, and so do the files it did not come to.
                ReportError(archive, FScan.Damage, "0", FScan.DamageCode);
                FailUnreached(FScan.DamageCode);
            }
            break;
        }
    }
}

bool TUnRar::IsDirectory(const RARHeaderData& Header) {
    // A Unix entry's attributes are its mode, whose permission bits are no DOS attributes.
    return (Header.Flags & RHDF_DIRECTORY) || (Header.HostOS != 3 && (Header.FileAttr & DosDirectory));
}

void TUnRar::FailUnreached(int ECode) {
    // The selected files the library never came to: each is named, and fails.
    for (std::size_t i = FReached; i < FScan.Files.size() && !GetCancel(); ++i) {
        const TScannedFile& file = FScan.Files[i];
        SetCurrentEntry(file.Name, 0, 0, file.Size, file.Crc, false);
        ReportError(FileName, "not reached: the archive is damaged before it", "0",
                    ECode ? ECode : ecBadFileHeader);
        RefuseEntry(0, file.Size, 32, file.Crc);
    }
    FReached = FScan.Files.size();
}

int TUnRar::ProcessEntry(void* Handle, const RARHeaderData& Header, bool TestMode) {
    FStoredName = ArcNameToLocalName(Header.FileName, false);
    FEntrySize = static_cast<std::int64_t>(std::min<std::uint64_t>(Header.UnpSize, INT64_MAX));
    FReceived = 0;
    FOperation = 0;
    if (IsFileOutput())
        SetCurrentFileName(FStoredName);
    else
        FileName = ShownStoredName(FStoredName);
    const bool isDir = IsDirectory(Header);
    if (FStoredName.empty()) {
        // A name the library could not read: the entry is damage, never passed over quietly.
        ReportError(ArchiveFile(), "", "0", ecBadFileHeader);
        ++FilesFailed;
        ++FReached;
        return Skip(Handle);
    }
    if (isDir || !MatchEntrySpec(FStoredName)) return Skip(Handle);
    ++FReached;
    if (Header.HostOS == 3 && (Header.FileAttr & S_IFMT) == S_IFLNK) {
        SkipLinkEntry("", FEntrySize);
        return Skip(Handle);
    }

    UnpackedSize = CurrentFileSize = FEntrySize;
    FileDate = DosDateToDateTime(Header.FileTime);
    Encrypted = (Header.Flags & RHDF_ENCRYPTED) != 0;
    RunningCrc32 = 0xFFFFFFFF;
    FEntryCrc = 0xFFFFFFFF;
    if (!ConfirmExtractFile(false)) {
        SkipEntry(FEntrySize);
        return Skip(Handle);
    }
    if (!OpenOutputFile(FStoredName, FileName, false)) {
        MarkEntryFailed();
        SkipEntry(FEntrySize);
        CheckCrc(32, RunningCrc32 ^ 0xFFFFFFFF);
        return Skip(Handle);
    }
    FOperation = TestMode ? RAR_TEST : RAR_EXTRACT;
    // The library only decodes: the data come through the callback into the verified output.
    const int result = Process(Handle, RAR_TEST);
    if (result != 0) {
        if (!GetCancel()) ReportError(FileName, "", "0", LibraryError(result));
        MarkEntryFailed();
    } else if (FReceived != FEntrySize) {
        ReportError(FileName, "", "0", ecErrorReadingFile);
        MarkEntryFailed();
    }
    FOperation = 0;
    CloseOutputFile(Header.FileAttr, Header.FileTime);
    // The library checks what libarchive checks; the CRC-32 the header gives is checked here
    // (libarchive passes stored rar 5 data unchecked).
    const std::uint32_t stored = FScan.CrcOf(FStoredName, FNextScanned);
    // The reader's own CRC of the data, whatever write routine a driving component set.
    RunningCrc32 = FEntryCrc;
    CheckCrc(32, stored ? stored : RunningCrc32 ^ 0xFFFFFFFF);
    // An entry the library cannot decode (enciphered or damaged data) leaves the others
    // readable where the library can go on; the next header says whether it can.
    return Continues(result);
}

int TUnRar::Continues(int Result) {
    return Result == ERAR_MISSING_VOLUME ? Result : 0;
}

int TUnRar::Skip(void* Handle) {
    return Continues(Process(Handle, RAR_SKIP));
}

int TUnRar::Process(void* Handle, int Operation) {
    const int result = Binding()->ProcessFile(Handle, Operation, nullptr, nullptr);
    if (FPending) {
        std::exception_ptr pending = std::exchange(FPending, nullptr);
        std::rethrow_exception(pending);
    }
    return result;
}

int TUnRar::RarDllCallback(unsigned Msg, std::intptr_t UserData, std::intptr_t P1, std::intptr_t P2) {
    auto& self = *reinterpret_cast<TUnRar*>(UserData);
    // Nothing is thrown through the library: the exception waits for its call to return.
    if (self.FPending) return -1;
    try {
        return self.Callback(Msg, P1, P2);
    } catch (...) {
        self.FPending = std::current_exception();
        return -1;
    }
}

int TUnRar::Callback(unsigned Msg, std::intptr_t P1, std::intptr_t P2) {
    switch (Msg) {
    case UCM_CHANGEVOLUME:
        return ChangeVolume(reinterpret_cast<char*>(P1));
    case UCM_PROCESSDATA:
        return ProcessData(reinterpret_cast<const void*>(P1), P2);
    case UCM_NEEDPASSWORD:
        return NeedPassword(reinterpret_cast<char*>(P1), P2);
    default:
        return 0;
    }
}

int TUnRar::ChangeVolume(char* Name) {
    // Data that run past the end of a damaged (cut) volume need no next one: nobody is asked.
    if (FScan.DamageCode != 0) return -1;
    std::string volume = Name;
    if (OnNextVolume && GetNextVolume(volume, std::to_string(VolumeNumber + 2))) {
        if (volume.size() >= static_cast<std::size_t>(RAR_NAME_SIZE)) return -1;
        std::memcpy(Name, volume.c_str(), volume.size() + 1);
        return 0;
    }
    // No volume: the entry that runs on into it fails (reported with the library's result).
    DoProgress(1, 1, 1);
    return -1;
}

int TUnRar::ProcessData(const void* Data, std::int64_t Count) {
    if (GetCancel()) return -1;
    if (FOperation == 0) return 0;
    if (Count > FEntrySize - FReceived) {
        // More data than the entry's size: damage.
        MarkEntryFailed();
        return -1;
    }
    FReceived += Count;
    UpdateCrc32Buf(Data, Count, FEntryCrc);
    EntryBytesDone += Count;
    BytesToDo -= static_cast<double>(Count);
    WriteRoutine(OutputStream(), const_cast<void*>(Data), Count, true, 32, false);
    DoProgress(EntryBytesDone, FEntrySize, JobTotal);
    return GetCancel() ? -1 : 0;
}

int TUnRar::NeedPassword(char* Buffer, std::int64_t Size) {
    if (Size <= 0) return -1;
    if (!OnGetPassword) {
        ReportError(FileName, "", "0", ecInvalidPassword);
        return -1;
    }
    bool tryAgain = true;
    if (Password.empty()) OnGetPassword(*this, FileName, Password, tryAgain);
    if (!tryAgain || Password.empty()) return -1;
    const std::size_t n = std::min<std::size_t>(Password.size(), static_cast<std::size_t>(Size - 1));
    std::memcpy(Buffer, Password.data(), n);
    Buffer[n] = 0;
    return 0;
}
