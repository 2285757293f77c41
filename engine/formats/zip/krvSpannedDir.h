// The central directory of a zip set spanned over disks (or split into pieces) read as one
// stream, for a directory that starts on an earlier disk than the end record's. Position 0 is
// the directory's first byte, at the offset the end record gives on the disk where the
// directory starts; reading on past the end of a disk asks for the next one through the
// owner's disk events, up to the set's last disk. Reads go forward: a disk once left is not
// asked for again, and its bytes cannot be read any more.
#pragma once

#include "engine/core/krvDiskManager.h"
#include "engine/core/krvStreams.h"
#include "engine/formats/zip/krvZipRecords.h"

#include <cstdint>
#include <memory>

// Whether the end record puts the directory's start on an earlier disk than its own.
bool ZipDirectoryStartsEarlier(const TZipEndRecord& End);

class TSpannedDirStream : public TStream32 {
public:
    // Disk is the owner's archive stream, which each change of disk replaces; Spann is bound
    // to the owner already.
    TSpannedDirStream(TDiskSpannObj& Spann, std::unique_ptr<TFileStream32>& Disk, const TZipEndRecord& End);

    // Asks for the disk where the directory starts, which must hold a central record at the
    // offset the end record gives. False when the owner gave up (its cancel flag is then set)
    // or when that disk lacks the record (reported).
    bool Open();
    // The disk in hand (0-based), -1 before Open.
    int CurrentDisk() const { return FDisk; }

    // The directory's size as the end record gives it: nothing past it is read.
    std::int64_t GetSize() override { return FSize; }
    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;

private:
    bool NextDisk();

    TDiskSpannObj& FSpann;
    std::unique_ptr<TFileStream32>& FHolder;
    int FFirstDisk;
    int FLastDisk;
    std::int64_t FStartOffset; // where the directory starts on its first disk
    std::int64_t FSize;
    int FDisk = -1;
    std::int64_t FDiskBase = 0;  // stream position of the first directory byte on the disk in hand
    std::int64_t FDiskStart = 0; // where that byte lies on the disk
    std::int64_t FDiskEnd = 0;   // stream position just past the disk's last byte
    std::int64_t FPosition = 0;
};
