#include "ProbeExtract.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/read/krvReaders.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct TPendingError {
    std::string FileName;
    int Code = 0;
};

// A spanned set given as pieces on one disk (NAME.z01, NAME.z02, ..., NAME.zip) is read as
// the set's disks are: a link named like the archive in a folder of its own stands for the
// drive, and each disk request points it at the wanted piece.
class TPieceDrive {
public:
    explicit TPieceDrive(const fs::path& Archive) : FArchive(fs::absolute(Archive)) {
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
        Insert(static_cast<int>(FPieces.size()));
    }
    ~TPieceDrive() {
        std::error_code ec;
        if (!FDrive.empty()) fs::remove_all(FDrive, ec);
    }
    bool Usable() const { return !FDrive.empty() && FPieces.size() > 1; }
    fs::path Path() const { return FDrive / FArchive.filename(); }
    int Count() const { return static_cast<int>(FPieces.size()); }
    // Puts disk Number (1-based) in the drive; false when the set has no such disk.
    bool Insert(int Number) {
        if (FDrive.empty() || Number < 1 || Number > Count()) return false;
        std::error_code ec;
        fs::remove(Path(), ec);
        fs::create_symlink(FPieces[static_cast<std::size_t>(Number - 1)], Path(), ec);
        return !ec;
    }

private:
    fs::path FArchive;
    std::vector<fs::path> FPieces;
    fs::path FDrive;
};

std::string Relative(const std::string& Name, const std::string& Root) {
    if (!Root.empty() && Name.compare(0, Root.size(), Root) == 0) return Name.substr(Root.size());
    return Name;
}

} // namespace

int ProbeExtract(const std::vector<std::string>& Args) {
    if (Args.size() < 2 || Args.size() > 3) return 2;
    const std::string& archive = Args[0];
    TRegisterKorva detector;
    detector.SetArchiveFile(archive);
    std::unique_ptr<TUnBase> reader = CreateReader(detector.ArcType());
    if (!reader) {
        std::printf("%s\tERROR %d %s\n", archive.c_str(), ecInvalidArchiveType,
                    ErrorText(ecInvalidArchiveType));
        return 1;
    }

    std::optional<TPieceDrive> drive;
    if (detector.ArcType() == atZipMV) {
        drive.emplace(archive);
        if (!drive->Usable()) drive.reset();
    }
    reader->SetArchiveFile(drive ? drive->Path().string() : archive);
    reader->SetExtractDir(Args[1]);
    reader->FileSpec = {"*"};
    reader->RecurseDirs = true;
    reader->UseStoredDirs = true;
    reader->CreateStoredDirs = true;
    reader->OverwriteMode = omOverwrite;
    if (Args.size() == 3) reader->Password = Args[2];
    reader->OnGetPassword = [](TZipCommon&, const std::string&, std::string&, bool& TryAgain) {
        TryAgain = false;
    };
    if (drive) {
        reader->OnGetZipLastDisk = [&](TZipCommon&, bool& Cancel) {
            Cancel = !drive->Insert(drive->Count());
        };
        reader->OnGetZipFirstDisk = [&](TZipCommon&, bool& Cancel) { Cancel = !drive->Insert(1); };
        reader->OnGetZipNextDisk = [&](TZipCommon&, const std::string& Volume, bool& Cancel) {
            Cancel = !drive->Insert(std::atoi(Volume.c_str()));
        };
    }

    const std::string root = reader->ExtractDir();
    std::vector<TPendingError> pending;
    bool allPassed = true;
    auto printError = [&](const std::string& Name, int Code) {
        std::printf("%s\tERROR %d %s\n", Relative(Name, root).c_str(), Code, ErrorText(Code));
        allPassed = false;
    };
    reader->OnError = [&](TZipCommon&, const std::string& FileName, const std::string&, const std::string&,
                          int Code) {
        pending.push_back({FileName, Code});
    };
    reader->OnEnd = [&](TZipCommon&, const std::string& FileName, bool Passed) {
        int code = 0;
        for (const TPendingError& e : pending) {
            if (e.FileName == FileName) {
                if (!code) code = e.Code;
            } else {
                printError(e.FileName, e.Code);
            }
        }
        pending.clear();
        if (Passed && !code) {
            std::printf("%s\tOK\n", Relative(FileName, root).c_str());
        } else {
            printError(FileName, code ? code : ecFileFailsCRCCheck);
        }
    };
    reader->Extract();
    for (const TPendingError& e : pending)
        printError(e.FileName, e.Code);
    std::fflush(stdout);
    return allPassed ? 0 : 1;
}
