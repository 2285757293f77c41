#include "PieceDrive.h"

#include "engine/core/krvZipCommon.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

TPieceDrive::TPieceDrive(const fs::path& Archive) : FArchive(fs::absolute(Archive)) {
    const fs::path stem = FArchive.parent_path() / FArchive.stem();
    for (int n = 1; n < 100; ++n) {
        char ext[8];
        std::snprintf(ext, sizeof ext, ".z%02d", n);
        fs::path piece = stem;
        piece += ext;
        if (!fs::exists(piece)) break;
        FPieces.push_back(piece);
    }
    FPieces.push_back(FArchive);
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/krvprobe-drive-XXXXXX";
    if (::mkdtemp(folder.data())) FDrive = folder;
    Insert(Count());
}

TPieceDrive::~TPieceDrive() {
    std::error_code ec;
    if (!FDrive.empty()) fs::remove_all(FDrive, ec);
}

bool TPieceDrive::Insert(int Number) {
    if (FDrive.empty() || Number < 1 || Number > Count()) return false;
    std::error_code ec;
    fs::remove(Path(), ec);
    fs::create_symlink(FPieces[static_cast<std::size_t>(Number - 1)], Path(), ec);
    return !ec;
}

void TPieceDrive::Bind(TZipCommon& Component) {
    Component.OnGetZipLastDisk = [this](TZipCommon&, bool& Cancel) { Cancel = !Insert(Count()); };
    Component.OnGetZipFirstDisk = [this](TZipCommon&, bool& Cancel) { Cancel = !Insert(1); };
    Component.OnGetZipNextDisk = [this](TZipCommon&, const std::string& Volume, bool& Cancel) {
        Cancel = !Insert(std::atoi(Volume.c_str()));
    };
}
