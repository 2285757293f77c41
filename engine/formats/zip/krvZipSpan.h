// Spanning a finished zip archive over removable disks: the entries of the temporary archive
// are copied disk after disk, each disk asked for through the writer's events and labelled
// "PKBACK# 001" and so on, and the central directory and the end record go on the last one.
// A disk holds one file, named as the archive.
#pragma once

#include "engine/core/krvDiskManager.h"
#include "engine/core/krvHeaderObj.h"
#include "engine/core/krvStreams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <sys/stat.h>

class TZip;
class TZipCommon;

class TDiskSpanObj : public TDiskCommon {
public:
    // Source is the finished temporary archive whose entries List describes.
    TDiskSpanObj(TZip& Owner, TStream32& Source, TCompHeaderObj& List);
    ~TDiskSpanObj();

    // True when every entry, the central directory and the end record were written. False
    // when a disk request was cancelled or the job's cancel flag was set; the disks written
    // so far stay as they are.
    bool Run();

    // Space a disk must offer beyond what the first disk keeps free.
    static constexpr std::uint64_t RequiredSpace = 10000;
    static std::string DiskLabel(int DiskNumber);
    // Labels the disk at Root as disk DiskNumber unless CurrentLabel is that label already. A
    // medium that takes no label (on Linux every one but FAT) is written unlabelled, and the
    // owner's warning says so: the set is told apart by the disk numbers of its records.
    static void LabelDisk(TZipCommon& Owner, const std::string& Root, const std::string& CurrentLabel,
                          int DiskNumber);

private:
    bool PrepareDisk();
    bool ClearDisk();
    bool OpenDiskFile();
    bool NextDisk();
    bool CheckDrive();
    bool CloseDiskFile();
    // Writes Count bytes, going on to further disks while they do not fit.
    bool SpanWrite(const std::uint8_t* Data, std::int64_t Count);
    // The same with bytes of the source from its position.
    bool SpanCopy(std::int64_t Count);
    bool Cancelled() const;
    std::string Folder() const;
    // What an answer to a disk request may change: the volume, its free space and the file of
    // the archive's name.
    std::string DiskState() const;
    // Whether St is the file the job updates (the archive as it was when the run began).
    bool IsOldArchive(const struct stat& St) const;

    TZip& FOwner;
    TStream32& FSource;
    TCompHeaderObj& FList;
    std::unique_ptr<TFileStream32> FDisk;
    int FDiskNumber = 0;           // 1 for the first disk
    std::uint64_t FRequired = 0;   // free space the current disk must have
    std::uint64_t FFree = 0;       // space left on the current disk
    std::uint32_t FLastSerial = 0; // serial number of the disk last written
    struct stat FOld {};           // the archive the job updates, when there is one
    bool FHasOld = false;
};
