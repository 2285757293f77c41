#include "FloppyDrive.h"

#include <cstdio>

namespace testsupport {

namespace fs = std::filesystem;

TFloppyDrive::TFloppyDrive(fs::path Mount, std::uint64_t AQuota) : Quota(AQuota), FMount(std::move(Mount)) {
    fs::create_directories(FMount);
}

void TFloppyDrive::InsertDisk(const fs::path& Piece, const std::string& Name, int Number) {
    for (const auto& f : fs::directory_iterator(FMount))
        fs::remove_all(f.path());
    fs::copy_file(Piece, FMount / Name);
    char label[16];
    std::snprintf(label, sizeof label, "PKBACK# %03d", Number);
    Label = label;
    ++Serial;
}

std::string TFloppyDrive::RootOf(const std::string& Path) {
    return OnDrive(Path) ? FMount.string() : TDrives::RootOf(Path);
}

bool TFloppyDrive::GetDiskSpace(const std::string& Path, std::uint64_t& Free, std::uint64_t& Total) {
    if (!OnDrive(Path)) return TDrives::GetDiskSpace(Path, Free, Total);
    std::uint64_t used = 0;
    for (const auto& f : fs::directory_iterator(FMount))
        used += f.is_regular_file() ? f.file_size() : 0;
    Total = Quota;
    Free = used < Quota ? Quota - used : 0;
    return true;
}

bool TFloppyDrive::GetVolumeInfo(const std::string& Path, TVolumeInfo& Info) {
    if (!OnDrive(Path)) return TDrives::GetVolumeInfo(Path, Info);
    Info.Label = Label;
    Info.Serial = Serial;
    return true;
}

TDriveKind TFloppyDrive::GetDriveKind(const std::string& Path) {
    return OnDrive(Path) ? dkRemovable : TDrives::GetDriveKind(Path);
}

bool TFloppyDrive::IsWriteProtected(const std::string& Path) {
    return OnDrive(Path) ? false : TDrives::IsWriteProtected(Path);
}

bool TFloppyDrive::SetVolumeLabel(const std::string& Path, const std::string& NewLabel) {
    if (!OnDrive(Path)) return TDrives::SetVolumeLabel(Path, NewLabel);
    if (!TakesLabels) return false;
    Label = NewLabel;
    Labels.push_back(NewLabel);
    return true;
}

} // namespace testsupport
