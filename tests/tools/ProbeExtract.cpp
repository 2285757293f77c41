#include "ProbeExtract.h"
#include "ThreadsFromEnvironment.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/read/krvReaders.h"
#include "engine/read/krvZipCheck.h"
#include "tests/support/DiskRequests.h"

#include <cstdio>
#include <functional>

namespace {

struct TPendingError {
    std::string FileName;
    int Code = 0;
    std::string Message; // the error's extended message
    int Stretch = 0;     // the run's stretch it came in: from one begin or verdict to the next
};

std::string Relative(const std::string& Name, const std::string& Root) {
    if (!Root.empty() && Name.compare(0, Root.size(), Root) == 0) return Name.substr(Root.size());
    return Name;
}

} // namespace

namespace {

// The words of a verdict line.
struct TVerdictWords {
    const char* Passed;
    const char* Failed;
};

// Sets Component up for every entry of its archive (the given password offered once; the
// pieces of a split set are found by name, a disk question is answered OK without a disk
// change), runs it and prints a verdict line per entry. Exit status 0 when every entry passed
// and no error was reported (an empty archive passes).
int ProbeRun(TUnBase& Component, const std::string& PasswordArg, TVerdictWords Words,
             const std::function<void()>& Run) {
    Component.FileSpec = {"*"};
    Component.RecurseDirs = true;
    Component.OverwriteMode = omOverwrite;
    Component.Threads = ThreadsFromEnvironment();
    Component.Password = PasswordArg;
    // Readers that ask for every password (arj) get the one given, once.
    bool offered = PasswordArg.empty();
    Component.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& Password, bool& TryAgain) {
        TryAgain = !offered;
        if (TryAgain) Password = PasswordArg;
        offered = true;
    };
    Component.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool Exists, bool& Cancel) {
        Cancel = !Exists;
    };
    // A tar inside a gzip file is unpacked too.
    Component.OnNestedTarFile = [](TZipCommon&, const std::string&, bool& DoUnTar) { DoUnTar = true; };
    testsupport::AnswerDiskRequestsOk(Component);

    const std::string root = Component.ExtractDir();
    std::vector<TPendingError> pending;
    bool allPassed = true;
    // An error's line ends with its extended message, when it has one.
    auto printError = [&](const std::string& Name, int Code, const std::string& Message) {
        std::printf("%s\t%s %d %s%s%s\n", Relative(Name, root).c_str(), Words.Failed, Code, ErrorText(Code),
                    Message.empty() ? "" : ": ", Message.c_str());
        allPassed = false;
    };
    // An entry's errors are those since its begin (a retried entry keeps its earlier ones): an
    // error reported after one verdict and before the next begin is an entry of its own.
    int stretch = 0;
    std::string begun;
    bool open = false;
    Component.OnError = [&](TZipCommon&, const std::string& FileName, const std::string& Message,
                            const std::string&, int Code) {
        pending.push_back({FileName, Code, Message, stretch});
    };
    Component.OnBegin = [&](TZipCommon&, const std::string& FileName, int, bool&) {
        std::vector<TPendingError> kept;
        for (const TPendingError& e : pending)
            if (open && begun == FileName && e.FileName == FileName && e.Stretch == stretch)
                kept.push_back(e);
            else
                printError(e.FileName, e.Code, e.Message);
        ++stretch;
        for (TPendingError& e : kept)
            e.Stretch = stretch;
        pending = std::move(kept);
        begun = FileName;
        open = true;
    };
    Component.OnEnd = [&](TZipCommon&, const std::string& FileName, bool Passed) {
        const TPendingError* own = nullptr;
        for (const TPendingError& e : pending) {
            if (e.FileName == FileName && e.Stretch == stretch) {
                if (!own) own = &e;
            } else {
                printError(e.FileName, e.Code, e.Message);
            }
        }
        if (Passed && !own) {
            std::printf("%s\t%s\n", Relative(FileName, root).c_str(), Words.Passed);
        } else {
            printError(FileName, own ? own->Code : ecFileFailsCRCCheck, own ? own->Message : std::string());
        }
        pending.clear();
        ++stretch;
        open = false;
    };
    Run();
    for (const TPendingError& e : pending)
        printError(e.FileName, e.Code, e.Message);
    std::fflush(stdout);
    return allPassed ? 0 : 1;
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
    reader->SetArchiveFile(archive);
    reader->SetExtractDir(Args[1]);
    reader->UseStoredDirs = true;
    reader->CreateStoredDirs = true;
    return ProbeRun(*reader, Args.size() == 3 ? Args[2] : std::string(), {"OK", "ERROR"},
                    [&] { reader->Extract(); });
}

int ProbeTest(const std::vector<std::string>& Args) {
    if (Args.empty() || Args.size() > 2) return 2;
    TZipCheck tester;
    tester.SetArchiveFile(Args[0]);
    // The verdicts reach the reader's end event that ProbeRun sets.
    tester.OnStatus = [&tester](TZipCommon& Sender, const std::string& FileName, bool Passed) {
        if (tester.TUnBase::OnEnd) tester.TUnBase::OnEnd(Sender, FileName, Passed);
    };
    return ProbeRun(tester, Args.size() == 2 ? Args[1] : std::string(), {"PASS", "FAIL"},
                    [&] { tester.Activate(); });
}
