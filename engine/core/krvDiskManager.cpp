#include "engine/core/krvDiskManager.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/core/krvStreams.h"
#include "engine/core/krvZipCommon.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

// The folder whose drive a check is about: Path itself when it is a folder, else the folder
// it lies in (the current folder for a bare name).
std::string CheckedFolder(const std::string& Path) {
    if (Path.empty() || DirExists(Path)) return Path.empty() ? "." : Path;
    const std::size_t slash = Path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : Path.substr(0, slash);
}

// Runs a disk-error question: true when the handler asks to try again. Without a handler
// ErrorCode is reported; an answer of Abort reports 25443.
bool RetryAfter(TZipCommon& Owner, const TOnDiskError& Event, const std::string& Path, int ErrorCode) {
    if (!Event) {
        Owner.ReportError(Path, "", "0", ErrorCode);
        return false;
    }
    bool abort = true;
    Event(Owner, abort);
    if (abort) {
        Owner.ReportError(Path, "", "0", ecUserCanceled);
        return false;
    }
    return true;
}

// What tells one state of a drive from another: its volume's serial number and label, and the
// folder's file system (device and inode); a disk inserted or a file system remounted changes it.
std::string DriveState(const std::string& Folder) {
    TVolumeInfo info;
    const bool volume = TDrives::Current().GetVolumeInfo(Folder, info);
    struct stat st {};
    const bool there = ::stat(Folder.c_str(), &st) == 0;
    return std::to_string(volume) + '/' + std::to_string(info.Serial) + '/' + info.Label + '/' +
           std::to_string(there) + '/' + std::to_string(st.st_dev) + '/' + std::to_string(st.st_ino);
}

// What tells one disk's file from another's.
std::array<std::int64_t, 4> IdentityOf(const struct stat& St) {
    return {static_cast<std::int64_t>(St.st_dev), static_cast<std::int64_t>(St.st_ino),
            static_cast<std::int64_t>(St.st_size),
            static_cast<std::int64_t>(St.st_mtim.tv_sec) * 1000000000 + St.st_mtim.tv_nsec};
}

std::array<std::int64_t, 4> FileIdentity(int Handle) {
    struct stat st {};
    return ::fstat(Handle, &st) == 0 ? IdentityOf(st) : std::array<std::int64_t, 4>{};
}

// A missing file's is all zeros.
std::array<std::int64_t, 4> PathIdentity(const std::string& Name) {
    struct stat st {};
    return ::stat(Name.c_str(), &st) == 0 ? IdentityOf(st) : std::array<std::int64_t, 4>{};
}

} // namespace

int DiskNumberOfLabel(const std::string& Label) {
    static const std::string Marker = "PKBACK# ";
    const std::size_t at = Label.find(Marker);
    if (at == std::string::npos) return 0;
    int number = 0;
    for (std::size_t i = at + Marker.size();
         i < Label.size() && std::isdigit(static_cast<unsigned char>(Label[i])); ++i) {
        number = number * 10 + (Label[i] - '0');
        if (number > 99999) break;
    }
    return number;
}

bool TDiskManager::CheckDrive(TZipCommon& Owner, const std::string& APath, bool ForWriting) {
    Path = APath;
    const std::string folder = CheckedFolder(APath);
    // A folder that is not there is no drive waiting for its disk: no disk the user could
    // insert makes it appear, so it is named with the system's reason instead of asked about.
    struct stat st {};
    int missing = 0;
    bool notFolder = false;
    if (::stat(folder.c_str(), &st) != 0)
        missing =
            errno == ENOENT || errno == ENOTDIR || errno == EACCES || errno == ELOOP || errno == ENAMETOOLONG
                ? errno
                : 0;
    else if (!S_ISDIR(st.st_mode))
        notFolder = true;
    if (notFolder) missing = ENOTDIR;
    // (A folder on a drive the drives layer knows, whose medium is out, is waited for below.)
    if (missing != 0 && (notFolder || TDrives::Current().RootOf(folder).empty())) {
        Owner.ReportError(APath, folder + ": " + std::strerror(missing), "0", ecErrorOpeningFile);
        return false;
    }
    if (!IsUNCPath(APath)) {
        if (!WaitReady(Owner, folder)) return false;
        // Reading an archive from read-only media is fine; only writing needs the test.
        if (ForWriting && !WaitWritable(Owner, folder)) return false;
    }
    return ReadVolume(Owner, folder);
}

// Both waits ask at most once per change of the drive: an answer of "try again" after which
// the drive's mount is as it was (nothing inserted, nothing remounted) ends the check with the
// error, so a question answered at once by its default never turns into an endless loop.
bool TDiskManager::WaitReady(TZipCommon& Owner, const std::string& Folder) {
    TDrives& drives = TDrives::Current();
    for (;;) {
        std::uint64_t freeBytes = 0, totalBytes = 0;
        if (drives.GetDiskSpace(Folder, freeBytes, totalBytes)) return true;
        const std::string before = DriveState(Folder);
        if (!RetryAfter(Owner, Owner.OnDiskInDrvErr, Path, ecIsNotAccessible)) return false;
        if (drives.GetDiskSpace(Folder, freeBytes, totalBytes)) return true;
        if (DriveState(Folder) == before) {
            Owner.ReportError(Path, "", "0", ecIsNotAccessible);
            return false;
        }
    }
}

bool TDiskManager::WaitWritable(TZipCommon& Owner, const std::string& Folder) {
    TDrives& drives = TDrives::Current();
    for (;;) {
        if (!drives.IsWriteProtected(Folder)) return true;
        const std::string before = DriveState(Folder);
        if (!RetryAfter(Owner, Owner.OnDiskWriteProtectErr, Path, ecDiskIsWriteProtected)) return false;
        if (!drives.IsWriteProtected(Folder)) return true;
        if (DriveState(Folder) == before) {
            Owner.ReportError(Path, "", "0", ecDiskIsWriteProtected);
            return false;
        }
    }
}

bool TDiskManager::ReadVolume(TZipCommon& Owner, const std::string& Folder) {
    TDrives& drives = TDrives::Current();
    for (;;) {
        TVolumeInfo info;
        if (drives.GetVolumeInfo(Folder, info)) {
            VolumeLabel = info.Label;
            DiskNumber = DiskNumberOfLabel(info.Label);
            SerialNumber = info.Serial;
            DriveType = drives.GetDriveKind(Folder);
            if (DriveType == dkNoRootDir) {
                Owner.ReportError(Path, "", "0", ecIsNotAccessible);
                return false;
            }
            Root = drives.RootOf(Folder);
            drives.GetDiskSpace(Folder, FreeSpace, TotalSpace);
            MediaKind = 0;
            return true;
        }
        const std::string question =
            Folder + " " + ErrorText(ecIsNotAccessible) + "\r\n\r\n" + (errno ? std::strerror(errno) : "");
        if (EngineHost::Ask(question, abRetryCancel) != mrRetry) {
            Owner.ReportError(Path, "", "0", ecIsNotAccessible);
            return false;
        }
    }
}

// ---- spanned zip disks -----------------------------------------------------------------------

void TDiskSpannObj::Init(TZipCommon& Owner) {
    FOwner = &Owner;
    FSetName = Owner.ArchiveFile();
    FLastNumber = -1;
    FGaveUp = false;
    FEndDisk = {};
    Request = drLastDisk;
    DiskCounter = 0;
    FLastDisk = {};
}

std::string TDiskSpannObj::PieceName(int Disk) const {
    const std::size_t slash = FSetName.find_last_of('/');
    const std::size_t dot = FSetName.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string stem = hasExtension ? FSetName.substr(0, dot) : FSetName;
    const std::string extension = hasExtension ? FSetName.substr(dot) : std::string();
    // Opened from a piece before the last (NAME.z01): the last is NAME.zip.
    const bool fromPiece =
        extension.size() >= 4 && std::toupper(static_cast<unsigned char>(extension[1])) == 'Z' &&
        std::all_of(extension.begin() + 2, extension.end(),
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
    const bool upper = extension.size() > 1 && std::isupper(static_cast<unsigned char>(extension[1])) != 0;
    if (Disk < 0 || (FLastNumber >= 0 && Disk >= FLastNumber))
        return fromPiece ? stem + (upper ? ".ZIP" : ".zip") : FSetName;
    char piece[16];
    std::snprintf(piece, sizeof piece, ".%c%02d", upper ? 'Z' : 'z', Disk + 1);
    return stem + piece;
}

bool TDiskSpannObj::LastDiskPresent(const std::string& File) {
    TZipCommon& o = *FOwner;
    o.HeaderState = 0;
    o.DetectArcType(File);
    return (o.HeaderState & htEnding) != 0;
}

TDiskSpannObj::TFit TDiskSpannObj::DiskFits(const std::string& File) {
    std::uint8_t status = fsOpenOk;
    TFileStream32 disk(File, fmOpenRead | fmShareDenyNone, status);
    if (status != fsOpenOk) return dfWrongDisk;
    const TIdentity identity = FileIdentity(disk.Handle);

    // A disk labelled as one of a spanned set must be the wanted one.
    const std::size_t slash = File.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : File.substr(0, slash + 1);
    TVolumeInfo info;
    if (TDrives::Current().GetVolumeInfo(folder, info)) {
        VolumeLabel = info.Label;
        SerialNumber = info.Serial;
        DiskNumber = DiskNumberOfLabel(info.Label);
        if (DiskNumber > 0 && DiskNumber != WantedDisk + 1) return dfWrongDisk;
    }
    if (Request == drNextDisk && DiskNumber == 0 && identity == FLastDisk) return dfWrongDisk;
    // The set's last disk is no other disk of it (a piece missing leaves it in the drive).
    if (FLastNumber >= 0 && WantedDisk != FLastNumber && DiskNumber == 0 && identity == FEndDisk)
        return dfWrongDisk;
    if (Request != drFirstDisk && !RequestCentral) return dfFits;

    // The first disk holds a local header at the requested place (the set's marker at 0); the
    // disk where the directory starts, a central record.
    std::array<std::uint8_t, 4> sig{};
    if (disk.Seek(RequestOffset, soBeginning) != RequestOffset || disk.Read(sig.data(), 4) != 4)
        return dfWrongContent;
    bool enciphered = false;
    if (RequestCentral)
        return TRegisterKorva::ZipHeaderKind(GetU32LE(sig.data()), zkCentral, enciphered) == zkCentral
                   ? dfFits
                   : dfWrongContent;
    const bool local = TRegisterKorva::ZipHeaderKind(GetU32LE(sig.data()), zkLocal, enciphered) == zkLocal;
    const bool marker = RequestOffset == 0 && sig == std::array<std::uint8_t, 4>{'P', 'K', 7, 8};
    return local || marker ? dfFits : dfWrongContent;
}

TDiskSpannObj::TFit TDiskSpannObj::FindDisk(std::string& File) {
    const std::string& drive = FOwner->ArchiveFile();
    const std::string piece = PieceName(Request == drLastDisk ? -1 : WantedDisk);
    if (Request == drLastDisk) {
        // The archive as opened is the last disk mostly; opened from its first piece, the
        // last piece is found by name.
        for (const std::string* candidate : {&drive, &piece}) {
            if (candidate == &piece && (piece == drive || !FileExists(piece))) continue;
            if (LastDiskPresent(*candidate)) {
                File = *candidate;
                return dfFits;
            }
        }
        File = drive;
        return dfWrongDisk;
    }
    if (piece != drive && FileExists(piece)) {
        const TFit onPiece = DiskFits(piece);
        if (onPiece == dfFits || DiskFits(drive) != dfFits) {
            // A piece that is there but not the disk asked for is what the error names.
            File = piece;
            return onPiece;
        }
    }
    File = drive;
    return DiskFits(drive);
}

std::array<TDiskSpannObj::TIdentity, 2> TDiskSpannObj::Snapshot() const {
    return {PathIdentity(FOwner->ArchiveFile()),
            PathIdentity(PieceName(Request == drLastDisk ? -1 : WantedDisk))};
}

bool TDiskSpannObj::AskForDisk() {
    TZipCommon& o = *FOwner;
    bool cancel = true;
    switch (Request) {
    case drLastDisk:
        o.OnGetZipLastDisk(o, cancel);
        break;
    case drFirstDisk:
        o.OnGetZipFirstDisk(o, cancel);
        break;
    case drNextDisk:
        o.OnGetZipNextDisk(o, std::to_string(WantedDisk + 1), cancel);
        break;
    }
    return !cancel && !o.GetCancel();
}

bool TDiskSpannObj::OpenDisk(std::unique_ptr<TFileStream32>& Stream) {
    Stream.reset();
    if (!FOwner || FGaveUp) return false;
    TZipCommon& o = *FOwner;

    const char* eventName = nullptr;
    bool assigned = false;
    switch (Request) {
    case drLastDisk:
        eventName = "OnGetZipLastDisk";
        assigned = static_cast<bool>(o.OnGetZipLastDisk);
        break;
    case drFirstDisk:
        eventName = "OnGetZipFirstDisk";
        assigned = static_cast<bool>(o.OnGetZipFirstDisk);
        break;
    case drNextDisk:
        eventName = "OnGetZipNextDisk";
        assigned = static_cast<bool>(o.OnGetZipNextDisk);
        break;
    }
    if (!assigned) {
        o.ReportError(o.ArchiveFile(), eventName ? eventName : "", "0", ecRequiredEventNotAssigned);
        return false;
    }

    std::string file;
    TFit fit = dfWrongDisk;
    for (;;) {
        fit = FindDisk(file);
        if (fit == dfFits) break;
        const auto before = Snapshot();
        if (!AskForDisk()) {
            // The user gave up on the disk: the job is cancelled.
            o.SetCancel(true);
            return false;
        }
        if (Snapshot() == before) {
            // Nothing was changed by the answer, so asking again could not end: the piece is
            // missing, or the disk offered is the right one damaged (or the directory points
            // nowhere). One error, and the job gets no further disk.
            const std::string piece = PieceName(Request == drLastDisk ? -1 : WantedDisk);
            if (fit == dfWrongContent)
                o.ReportError(file, "", "0", ecBadFileHeader);
            else
                o.ReportError(FileExists(piece) ? file : piece, "", "0", ecFileNotFound);
            FGaveUp = true;
            return false;
        }
    }
    if (Request == drLastDisk)
        FLastNumber = static_cast<int>(TZipEndRecord::FromBytes(o.EndRecord.data()).ThisDisk);
    else if (Request == drFirstDisk)
        Request = drNextDisk;
    else
        ++DiskCounter;

    std::uint8_t status = fsOpenOk;
    auto disk = std::make_unique<TFileStream32>(file, fmOpenRead | fmShareDenyNone, status);
    if (status != fsOpenOk) {
        o.ReportError(file, "", "0", ecErrorOpeningFile);
        return false;
    }
    o.ArchiveSize = disk->Size();
    FLastDisk = FileIdentity(disk->Handle);
    if (Request == drLastDisk) FEndDisk = FLastDisk;
    Stream = std::move(disk);
    return true;
}
