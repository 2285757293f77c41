#include "engine/formats/zip/krvZipSpan.h"

#include "engine/formats/zip/krvZipWalk.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvDates.h"
#include "engine/core/krvUnBase.h"
#include "engine/formats/zip/krvZip.h"
#include "platform/Drives.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr std::int64_t SpanBlock = 65536;

bool Exists(const std::string& Name, struct stat& St) {
    return ::stat(Name.c_str(), &St) == 0;
}

} // namespace

TDiskSpanObj::TDiskSpanObj(TZip& Owner, TStream32& Source, TCompHeaderObj& List)
    : FOwner(Owner), FSource(Source), FList(List) {
    FHasOld = Exists(Owner.ArchiveFile(), FOld);
}

TDiskSpanObj::~TDiskSpanObj() = default;

std::string TDiskSpanObj::DiskLabel(int DiskNumber) {
    char label[32];
    std::snprintf(label, sizeof label, "PKBACK# %.3d", DiskNumber);
    return label;
}

void TDiskSpanObj::LabelDisk(TZipCommon& Owner, const std::string& Root, const std::string& CurrentLabel,
                             int DiskNumber) {
    const std::string label = DiskLabel(DiskNumber);
    if (CurrentLabel != label && !TDrives::Current().SetVolumeLabel(Root, label) && Owner.OnWarning)
        Owner.OnWarning(Owner, Owner.ArchiveFile(),
                        "The disk could not be labelled " + label + "; it is written without a label.");
}

std::string TDiskSpanObj::Folder() const {
    const std::string& name = FOwner.ArchiveFile();
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string(".") : name.substr(0, slash + 1);
}

bool TDiskSpanObj::Cancelled() const {
    return FOwner.Cancel();
}

bool TDiskSpanObj::CheckDrive() {
    TDiskManager& dm = FOwner.DiskManager;
    const bool ok = dm.CheckDrive(FOwner, Folder(), true);
    static_cast<TDiskCommon&>(*this) = dm;
    FFree = ok ? FreeSpace : 0;
    return ok;
}

bool TDiskSpanObj::Run() {
    FOwner.ProgressByFile = 0;
    FOwner.ProgressByArchive = 0;

    // The first disk, which may keep some space free.
    FDiskNumber = 1;
    const auto leave = static_cast<std::uint64_t>(std::max(FOwner.LeaveSpaceOnFirstDisk, 0));
    FRequired = leave + RequiredSpace;
    if (!PrepareDisk()) return false;
    FFree = FFree > leave ? FFree - leave : 0;

    if (static_cast<std::uint64_t>(FSource.Size()) + RequiredSpace > FFree) {
        std::uint8_t marker[4];
        PutU32LE(marker, ZipDescriptorSig);
        if (!SpanWrite(marker, 4)) return false;
    }

    const int count = FList.Count();
    for (int i = 0; i < count; ++i) {
        if (FList.Value(i) == hkDrop) continue;
        if (Cancelled()) {
            CloseDiskFile();
            return false;
        }
        TCompEntry& e = FOwner.Entry(i);
        TZipListRecord r = TZipListRecord::FromBytes(FList.GetHeader(i));
        // The header read through the zip walk, so that an enciphered one tells its real sizes.
        TZipLocalRecord local;
        if (!TZipWalk::ReadLocalHeader(FOwner, FSource, r.LocalOffset, local)) {
            CloseDiskFile();
            return false;
        }
        FOwner.FileName = FList.Name(i);
        // A local header with its name and extra field is never split over two disks:
        // readers of split sets expect each header whole on one disk.
        const auto head = static_cast<std::uint64_t>(local.DataStart - local.Position);
        if ((FFree < head || FFree == 0) && !NextDisk()) return false;
        if (FDiskNumber - 1 > 0xFFFF || FDisk->Position() > TCompBase::MaxFormatSize) {
            FOwner.RaiseError(FOwner.ArchiveFile(), "", "0", ecMaxFileSizeExceeded);
            return false;
        }
        const std::int64_t source = r.LocalOffset;
        r.Central.DiskNumberStart = static_cast<std::uint16_t>(FDiskNumber - 1);
        r.LocalOffset = FDisk->Position();
        r.ToBytes(FList.GetHeader(i));
        FSource.Seek(source, soBeginning);
        if (!SpanCopy(static_cast<std::int64_t>(head))) return false;
        FOwner.DoProgress(i + 1, count, FOwner.JobTotal);
        if (!SpanCopy(e.NewLength - static_cast<std::int64_t>(head))) return false;
        EngineHost::PumpIfDue();
    }

    // The central directory, then the end record; no record is split over two disks.
    const TZip::TCentralDirectory dir = FOwner.BuildCentralDirectory(FList, FOwner.FEntries);
    if (FFree == 0 && !NextDisk()) return false;
    int centralDisk = FDiskNumber - 1;
    std::int64_t centralOffset = FDisk->Position();
    int onLastDisk = 0; // directory records that begin on the current disk
    int recordDisk = FDiskNumber;
    for (std::size_t r = 0; r < dir.RecordStarts.size(); ++r) {
        const std::size_t start = dir.RecordStarts[r];
        const std::size_t end = r + 1 < dir.RecordStarts.size() ? dir.RecordStarts[r + 1] : dir.Bytes.size();
        // Nor is a directory record.
        if (FFree < end - start && !NextDisk()) return false;
        if (r == 0) {
            centralDisk = FDiskNumber - 1;
            centralOffset = FDisk->Position();
        }
        if (FDiskNumber != recordDisk) {
            recordDisk = FDiskNumber;
            onLastDisk = 0;
        }
        ++onLastDisk;
        if (!SpanWrite(dir.Bytes.data() + start, static_cast<std::int64_t>(end - start))) return false;
    }
    if (FFree < TZipEndRecord::Size) {
        if (!NextDisk()) return false;
        onLastDisk = 0;
    }
    TZipEndRecord end;
    end.ThisDisk = static_cast<std::uint16_t>(FDiskNumber - 1);
    end.CentralDisk = static_cast<std::uint16_t>(centralDisk);
    end.EntriesOnDisk = static_cast<std::uint16_t>(onLastDisk);
    end.TotalEntries = static_cast<std::uint16_t>(dir.Count);
    end.CentralSize = static_cast<std::uint32_t>(dir.Bytes.size());
    end.CentralOffset = static_cast<std::uint32_t>(centralOffset);
    const auto image = end.Image();
    if (!SpanWrite(image.data(), TZipEndRecord::Size)) return false;
    return CloseDiskFile();
}

bool TDiskSpanObj::SpanWrite(const std::uint8_t* Data, std::int64_t Count) {
    while (Count > 0) {
        if (Cancelled()) return false;
        if (FFree == 0 && !NextDisk()) return false;
        const std::int64_t n = std::min<std::int64_t>(Count, static_cast<std::int64_t>(FFree));
        FDisk->WriteBuffer(Data, n);
        Data += n;
        Count -= n;
        FFree -= static_cast<std::uint64_t>(n);
    }
    return true;
}

bool TDiskSpanObj::SpanCopy(std::int64_t Count) {
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::min<std::int64_t>(std::max<std::int64_t>(Count, 1), SpanBlock)));
    while (Count > 0) {
        const std::int64_t n = std::min<std::int64_t>(Count, static_cast<std::int64_t>(buffer.size()));
        FSource.ReadBuffer(buffer.data(), n);
        if (!SpanWrite(buffer.data(), n)) return false;
        Count -= n;
    }
    return true;
}

bool TDiskSpanObj::CloseDiskFile() {
    if (!FDisk) return true;
    const bool ok = FDisk->Close();
    FDisk.reset();
    if (!ok) FOwner.RaiseError(FOwner.ArchiveFile(), "", "0", ecErrorWritingToFile);
    return ok;
}

bool TDiskSpanObj::NextDisk() {
    if (!CloseDiskFile()) return false;
    ++FDiskNumber;
    FRequired = RequiredSpace;
    return PrepareDisk();
}

std::string TDiskSpanObj::DiskState() const {
    TVolumeInfo info;
    TDrives& drives = TDrives::Current();
    const bool volume = drives.GetVolumeInfo(Folder(), info);
    std::uint64_t freeBytes = 0, totalBytes = 0;
    drives.GetDiskSpace(Folder(), freeBytes, totalBytes);
    struct stat st {};
    const bool archive = Exists(FOwner.ArchiveFile(), st);
    return std::to_string(volume) + '/' + std::to_string(info.Serial) + '/' + info.Label + '/' +
           std::to_string(freeBytes) + '/' + std::to_string(archive) + '/' + std::to_string(st.st_dev) + '/' +
           std::to_string(st.st_ino) + '/' + std::to_string(st.st_size);
}

bool TDiskSpanObj::IsOldArchive(const struct stat& St) const {
    return FHasOld && St.st_dev == FOld.st_dev && St.st_ino == FOld.st_ino;
}

bool TDiskSpanObj::PrepareDisk() {
    if (!FOwner.OnInsertDisk) {
        FOwner.RaiseError(FOwner.ArchiveFile(), "OnInsertDisk", "0", ecRequiredEventNotAssigned);
        return false;
    }
    struct stat st {};
    if (CheckDrive() && !Exists(FOwner.ArchiveFile(), st) && FFree >= FRequired) return OpenDiskFile();

    // The same disk may be offered again (it is asked for once more), but answers that leave
    // the drive as it was time after time could go on for ever: the run ends after a few.
    constexpr int MaxUnchangedAnswers = 3;
    int unchanged = 0;
    bool holdsOld = false;
    for (;;) {
        const std::string before = DiskState();
        bool cancel = true;
        {
            TkrvTimerPause pause(FOwner.Timer);
            FOwner.OnInsertDisk(FOwner, std::to_string(FDiskNumber), cancel);
        }
        if (cancel || Cancelled()) {
            FOwner.SetCancel(true);
            return false;
        }
        unchanged = DiskState() == before ? unchanged + 1 : 0;
        if (unchanged >= MaxUnchangedAnswers) {
            FOwner.RaiseError(FOwner.ArchiveFile(),
                              holdsOld ? "the disk holds the archive being updated" : "", "0",
                              ecNotEnoughDiskSpace);
            return false;
        }
        holdsOld = false;
        if (!CheckDrive()) continue;
        // The disk just written, inserted again: asked for once more before anything on it
        // (its own piece of the set) could be offered for overwriting.
        if (SerialNumber != 0 && SerialNumber == FLastSerial) continue;
        if (Exists(FOwner.ArchiveFile(), st)) {
            // The archive this job updates is never erased before the new set is written:
            // the set needs another disk.
            if (IsOldArchive(st)) {
                holdsOld = true;
                continue;
            }
            if (!FOwner.OnDiskSpanFileExists) {
                FOwner.RaiseError(FOwner.ArchiveFile(), "OnFileExists", "0", ecRequiredEventNotAssigned);
                return false;
            }
            TOverwriteMode mode = omOverwrite;
            FOwner.OnDiskSpanFileExists(FOwner, FOwner.ArchiveFile(), UnixDateToDateTime(st.st_mtime), mode);
            if (mode == omSkip || Cancelled()) {
                FOwner.SetCancel(true);
                return false;
            }
            if (!TUnBase::EraseFile(FOwner.ArchiveFile(), FOwner.DeleteOptions) || !CheckDrive()) continue;
        }
        if (FreeSpace < TotalSpace && !ClearDisk()) return false;
        if (FFree >= FRequired) break;
    }
    return OpenDiskFile();
}

bool TDiskSpanObj::ClearDisk() {
    if (!FOwner.OnClearDisk) {
        CheckDrive();
        if (FFree >= FRequired) return true;
        FOwner.RaiseError(FOwner.ArchiveFile(), "OnClearDisk", "0", ecRequiredEventNotAssigned);
        return false;
    }
    for (;;) {
        bool cancel = true;
        {
            TkrvTimerPause pause(FOwner.Timer);
            FOwner.OnClearDisk(FOwner, Root, static_cast<std::int64_t>(FRequired),
                               static_cast<std::int64_t>(FreeSpace), static_cast<std::int64_t>(TotalSpace),
                               cancel);
        }
        if (cancel || Cancelled()) {
            FOwner.SetCancel(true);
            return false;
        }
        CheckDrive();
        if (FFree >= FRequired) return true;
    }
}

bool TDiskSpanObj::OpenDiskFile() {
    std::uint8_t status = fsOpenOk;
    auto disk = std::make_unique<TFileStream32>(FOwner.ArchiveFile(), fmCreate, status);
    if (status != fsOpenOk) return false;
    FDisk = std::move(disk);
    LabelDisk(FOwner, Root.empty() ? Folder() : Root, VolumeLabel, FDiskNumber);
    CheckDrive();
    FLastSerial = SerialNumber;
    return true;
}
