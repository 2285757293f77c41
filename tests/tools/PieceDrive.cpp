#include "PieceDrive.h"

#include "tests/support/DiskRequests.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

TPieceDrive::TPieceDrive(const fs::path& Archive)
    : FArchive(fs::absolute(Archive)), FPieces(testsupport::SplitPieces(FArchive)) {
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
    testsupport::AnswerDiskRequests(Component, {Count(), [this](int Number) { return Insert(Number); }});
}
