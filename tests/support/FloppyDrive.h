// A removable drive whose disks are the contents of one folder, for the tests of spanned sets:
// each disk holds Quota bytes and has a label and a serial number; a new disk is "inserted" by
// changing the folder's files and giving the disk a new serial number (and label). Also a guard
// that installs a drives layer for the life of a test.
#pragma once

#include "platform/Drives.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class TFloppyDrive : public TDrives {
public:
    TFloppyDrive(std::filesystem::path Mount, std::uint64_t AQuota);

    std::uint64_t Quota;
    std::uint32_t Serial = 100;
    std::string Label;
    std::vector<std::string> Labels; // every label written
    bool TakesLabels = true;         // false: a medium that takes no label (not FAT)

    // Inserts a disk of a spanned set that holds the one file Piece under the name Name and
    // carries the label of disk Number (1-based), "PKBACK# 001" and on.
    void InsertDisk(const std::filesystem::path& Piece, const std::string& Name, int Number);

    std::string RootOf(const std::string& Path) override;
    bool GetDiskSpace(const std::string& Path, std::uint64_t& Free, std::uint64_t& Total) override;
    bool GetVolumeInfo(const std::string& Path, TVolumeInfo& Info) override;
    TDriveKind GetDriveKind(const std::string& Path) override;
    bool IsWriteProtected(const std::string& Path) override;
    bool SetVolumeLabel(const std::string& Path, const std::string& NewLabel) override;

private:
    bool OnDrive(const std::string& Path) const { return Path.rfind(FMount.string(), 0) == 0; }
    std::filesystem::path FMount;
};

// Installs Drives and restores the previous drives layer on destruction.
class DrivesGuard {
public:
    explicit DrivesGuard(std::unique_ptr<TDrives> Drives) : FPrevious(TDrives::Install(std::move(Drives))) {}
    ~DrivesGuard() { TDrives::Install(std::move(FPrevious)); }
    DrivesGuard(const DrivesGuard&) = delete;
    DrivesGuard& operator=(const DrivesGuard&) = delete;

private:
    std::unique_ptr<TDrives> FPrevious;
};

} // namespace testsupport
