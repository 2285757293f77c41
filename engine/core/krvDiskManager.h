// Drive checks before a run, and the reading side of zip archives spanned over removable
// disks. Disks are asked for through the owning component's events; the drives themselves
// are seen through platform/Drives.h.
#pragma once

#include "platform/Drives.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class TZipCommon;
class TFileStream32;

// What the last check learned of a drive.
class TDiskCommon {
public:
    std::string Path; // the path checked
    std::string Root; // mount point of its file system
    TDriveKind DriveType = dkUnknown;
    std::uint32_t SerialNumber = 0;
    std::string VolumeLabel;
    int DiskNumber = 0; // from a "PKBACK# nnn" label, else 0
    int MediaKind = 0;  // removable-media kind; not known on this platform, stays 0
    std::uint64_t FreeSpace = 0;
    std::uint64_t TotalSpace = 0;
};

// The number in a spanned-disk label "PKBACK# 003" (3), or 0 when the label has none.
int DiskNumberOfLabel(const std::string& Label);

class TDiskManager : public TDiskCommon {
public:
    // Checks that the drive holding Path is ready (asking OnDiskInDrvErr to insert a disk),
    // when ForWriting that it is not write-protected (asking OnDiskWriteProtectErr), and
    // reads its label, serial number, kind and space. Failures are reported through the
    // owner's ReportError; false ends the caller's run.
    bool CheckDrive(TZipCommon& Owner, const std::string& Path, bool ForWriting);
    bool IsRemovable() const { return DriveType == dkRemovable; }

private:
    bool WaitReady(TZipCommon& Owner, const std::string& Folder);
    bool WaitWritable(TZipCommon& Owner, const std::string& Folder);
    bool ReadVolume(TZipCommon& Owner, const std::string& Folder);
};

// Request kinds of TDiskSpannObj.
enum TDiskRequest : std::uint16_t { drLastDisk = 0, drFirstDisk = 1, drNextDisk = 2 };

class TDiskSpannObj : public TDiskCommon {
public:
    // Binds the owner (its cancel flag, error routines and disk events); request drLastDisk.
    // The owner's ArchiveFile names the set: the pieces of a split set are found beside it.
    void Init(TZipCommon& Owner);
    // Frees Stream and opens the requested disk read-only: the piece of a split set that
    // holds it, found by name beside the archive (NAME.z01, NAME.z02, ..., NAME.zip), else
    // the owner's ArchiveFile as the drive holds it, asking the owner's events for another
    // disk. An answer that changes nothing ends the request with one error; so does every
    // later request of the job. False (with the owner's cancel flag set when the user gave
    // up) when no fitting disk was supplied.
    bool OpenDisk(std::unique_ptr<TFileStream32>& Stream);

    TDiskRequest Request = drLastDisk;
    int WantedDisk = 0;              // zip disk number (0-based) of the disk to open next
    std::int64_t RequestOffset = 0;  // first disk: where a local header must stand
    bool RequestCentral = false;     // the disk must hold a central record at RequestOffset instead
    std::int64_t BytesRemaining = 0; // data of the current entry still on later disks
    int DiskCounter = 0;             // next disks opened so far

private:
    enum TFit { dfFits, dfWrongDisk, dfWrongContent };
    using TIdentity = std::array<std::int64_t, 4>;
    bool LastDiskPresent(const std::string& File);
    // Whether File is the disk asked for.
    TFit DiskFits(const std::string& File);
    // The file that holds the disk asked for (the piece by name first, then the drive), with
    // the verdict on it.
    TFit FindDisk(std::string& File);
    // The name of the piece of a split set that holds Disk (0-based; the last disk when it is
    // the set's last or not known yet).
    std::string PieceName(int Disk) const;
    // What the files the request looks at are now: an answer that leaves them as they were
    // changed nothing.
    std::array<TIdentity, 2> Snapshot() const;
    bool AskForDisk();
    TZipCommon* FOwner = nullptr;
    std::string FSetName; // the archive as the job opened it
    int FLastNumber = -1; // the set's last disk (0-based), once its end record was read
    bool FGaveUp = false; // a disk could not be had: later requests fail at once
    // The file of the disk opened last (device, inode, size, modification time): a next
    // disk whose label tells no number must at least be another file.
    TIdentity FLastDisk{};
    TIdentity FEndDisk{}; // the file of the set's last disk
};
