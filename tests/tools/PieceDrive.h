// A spanned set given as pieces on one disk (NAME.z01, NAME.z02, ..., NAME.zip) is read as
// the set's disks are: a link named like the archive in a folder of its own stands for the
// drive, and each disk request points it at the wanted piece.
#pragma once

#include <filesystem>
#include <vector>

class TZipCommon;

class TPieceDrive {
public:
    // The drive holds the last piece to begin with.
    explicit TPieceDrive(const std::filesystem::path& Archive);
    ~TPieceDrive();
    TPieceDrive(const TPieceDrive&) = delete;
    TPieceDrive& operator=(const TPieceDrive&) = delete;

    // The set has pieces before the last and the drive could be made.
    bool Usable() const { return !FDrive.empty() && FPieces.size() > 1; }
    // The archive's name on the drive.
    std::filesystem::path Path() const { return FDrive / FArchive.filename(); }
    int Count() const { return static_cast<int>(FPieces.size()); }
    // Puts disk Number (1-based) in the drive; false when the set has no such disk.
    bool Insert(int Number);
    // Answers Component's requests for the first, next and last disk by inserting them.
    void Bind(TZipCommon& Component);

private:
    std::filesystem::path FArchive;
    std::vector<std::filesystem::path> FPieces;
    std::filesystem::path FDrive;
};
