#include "engine/formats/zip/krvSpannedDir.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"

#include <algorithm>

bool ZipDirectoryStartsEarlier(const TZipEndRecord& End) {
    return End.CentralDisk < End.ThisDisk;
}

TSpannedDirStream::TSpannedDirStream(TDiskSpannObj& Spann, std::unique_ptr<TFileStream32>& Disk,
                                     const TZipEndRecord& End)
    : FSpann(Spann), FHolder(Disk), FFirstDisk(End.CentralDisk), FLastDisk(End.ThisDisk),
      FStartOffset(End.CentralOffset), FSize(End.CentralSize) {}

bool TSpannedDirStream::Open() {
    FSpann.WantedDisk = FFirstDisk;
    FSpann.Request = FFirstDisk == 0 ? drFirstDisk : drNextDisk;
    FSpann.RequestOffset = FStartOffset;
    FSpann.RequestCentral = true;
    const bool opened = FSpann.OpenDisk(FHolder);
    FSpann.RequestCentral = false;
    if (!opened) return false;
    FDisk = FFirstDisk;
    FDiskBase = 0;
    FDiskStart = FStartOffset;
    FDiskEnd = std::max<std::int64_t>(FHolder->Size() - FStartOffset, 0);
    FPosition = 0;
    return true;
}

bool TSpannedDirStream::NextDisk() {
    if (FDisk < 0 || FDisk >= FLastDisk) return false;
    FSpann.WantedDisk = FDisk + 1;
    FSpann.Request = drNextDisk;
    if (!FSpann.OpenDisk(FHolder)) return false;
    ++FDisk;
    FDiskBase = FDiskEnd;
    FDiskStart = 0;
    FDiskEnd = FDiskBase + FHolder->Size();
    return true;
}

std::int64_t TSpannedDirStream::Read(void* Buffer, std::int64_t Count) {
    auto* out = static_cast<std::uint8_t*>(Buffer);
    std::int64_t done = 0;
    while (done < Count && FPosition < FSize) {
        if (!FHolder || FDisk < 0 || FPosition < FDiskBase) break;
        if (FPosition >= FDiskEnd) {
            if (!NextDisk()) break;
            continue;
        }
        const std::int64_t want = std::min({Count - done, FDiskEnd - FPosition, FSize - FPosition});
        const std::int64_t got = ::ReadAt(*FHolder, FDiskStart + (FPosition - FDiskBase), out + done, want);
        if (got <= 0) break;
        done += got;
        FPosition += got;
    }
    return done;
}

std::int64_t TSpannedDirStream::Write(const void* /*Buffer*/, std::int64_t /*Count*/) {
    return -1;
}

std::int64_t TSpannedDirStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    const std::int64_t origin = Origin == soCurrent ? FPosition : Origin == soEnd ? FSize : 0;
    std::int64_t target = 0;
    if (!CheckedAdd(origin, Offset, target)) return -1;
    // Bytes of a disk already left are out of reach.
    if (target < FDiskBase) return -1;
    FPosition = target;
    return FPosition;
}
