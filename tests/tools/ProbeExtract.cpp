#include "ProbeExtract.h"
#include "PieceDrive.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/read/krvReaders.h"

#include <cstdio>
#include <optional>

namespace {

struct TPendingError {
    std::string FileName;
    int Code = 0;
};

std::string Relative(const std::string& Name, const std::string& Root) {
    if (!Root.empty() && Name.compare(0, Root.size(), Root) == 0) return Name.substr(Root.size());
    return Name;
}

// Args: ARCHIVE DESTDIR [PASSWORD]; a test run ignores DESTDIR and writes nothing.
int RunReader(const std::vector<std::string>& Args, bool Test) {
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
    // A tar inside a gzip or compress file is unpacked as well.
    reader->OnNestedTarFile = [](TZipCommon&, const std::string&, bool& doUnTar) { doUnTar = true; };
    if (drive) drive->Bind(*reader);

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
    if (Test)
        reader->ExtractNoOutput();
    else
        reader->Extract();
    for (const TPendingError& e : pending)
        printError(e.FileName, e.Code);
    std::fflush(stdout);
    return allPassed ? 0 : 1;
}

} // namespace

int ProbeExtract(const std::vector<std::string>& Args) {
    if (Args.size() < 2 || Args.size() > 3) return 2;
    return RunReader(Args, false);
}

int ProbeTest(const std::vector<std::string>& Args) {
    if (Args.empty() || Args.size() > 2) return 2;
    std::vector<std::string> args = {Args[0], ""};
    if (Args.size() == 2) args.push_back(Args[1]);
    return RunReader(args, true);
}
