// Drives and volumes: where a path's file system is mounted, whether it is ready, its free
// and total space, its label and serial number, its kind (removable, fixed, network, CD,
// RAM) and whether it is mounted read-only. The default implementation reads statvfs,
// /proc/self/mountinfo, /sys/block/*/removable and /dev/disk/by-label; tests install their
// own (folders standing in for removable disks). A volume label is written only on a FAT
// medium, through fatlabel (dosfstools) on the device mounted there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Drive kinds, numbered as the engine stores them.
enum TDriveKind : int {
    dkUnknown = 0,
    dkNoRootDir = 1,
    dkRemovable = 2,
    dkFixed = 3,
    dkRemote = 4,
    dkCDRom = 5,
    dkRamDisk = 6,
};

struct TVolumeInfo {
    std::string Label;
    std::uint32_t Serial = 0;
};

class TDrives {
public:
    virtual ~TDrives() = default;

    // The mount point of the file system that holds Path (an existing path), or empty.
    virtual std::string RootOf(const std::string& Path);
    // Free and total bytes of the file system holding Path; false when it cannot be asked
    // (nothing mounted, no medium, the path is gone).
    virtual bool GetDiskSpace(const std::string& Path, std::uint64_t& FreeBytes, std::uint64_t& TotalBytes);
    // Label and serial number of the volume holding Path; false when there is none to ask.
    virtual bool GetVolumeInfo(const std::string& Path, TVolumeInfo& Info);
    virtual TDriveKind GetDriveKind(const std::string& Path);
    // True when the file system holding Path is mounted read-only.
    virtual bool IsWriteProtected(const std::string& Path);
    // Writes Label on the FAT volume holding Path with fatlabel on its device; false for any
    // other file system, without the tool, or when the device may not be written.
    virtual bool SetVolumeLabel(const std::string& Path, const std::string& Label);

    // The installed implementation; Install(nullptr) restores the default. Returns the previous one.
    static TDrives& Current();
    static std::unique_ptr<TDrives> Install(std::unique_ptr<TDrives> Drives);
};

// One line of /proc/self/mountinfo, the fields the drive layer uses.
struct TMountEntry {
    std::string MountPoint;
    std::string FsType;
    std::string Source; // the device, e.g. /dev/sdb1
    bool ReadOnly = false;
};

// Parses mountinfo text; octal escapes (\040) in paths are decoded.
bool ParseMountInfoLine(const std::string& Line, TMountEntry& Entry);
// The entry whose mount point is the longest prefix of the absolute, resolved Path.
bool FindMountFor(const std::string& MountInfoText, const std::string& Path, TMountEntry& Entry);
// Decodes udev's \xHH escapes of /dev/disk/by-label names.
std::string DecodeUdevName(const std::string& Name);
