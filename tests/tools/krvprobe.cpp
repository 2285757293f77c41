// Test driver of the engine: each sub-command runs one engine operation on files given on
// the command line and prints its result in a stable, tab-separated form for the interop
// tests.
//
//   krvprobe detect FILE   the detected archive type's name and the archive offset
//   krvprobe extract ARCHIVE DESTDIR [PASSWORD]   see ProbeExtract.h
//   krvprobe test ARCHIVE [PASSWORD]              see ProbeExtract.h
//   krvprobe list ARCHIVE  the lister's entries and totals (ProbeList.cpp)
//   krvprobe add ...       adds files to a zip, jar, lha or bh archive (ProbeWrite.h)
//   krvprobe delete ...    deletes entries of an archive with the writer of its type
//   krvprobe sfx ...       makes a self-extracting program (ProbeSfx.h)
//   krvprobe repair ...    rebuilds a damaged zip archive (ProbeRepair.h)
//   krvprobe convert ...   converts an archive into another type (ProbeConvert.h)
#include "engine/core/krvGbls.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/core/krvStreams.h"
#include "platform/TemporaryCleanup.h"

#include "ProbeConvert.h"
#include "ProbeExtract.h"
#include "ProbeList.h"
#include "ProbeRepair.h"
#include "ProbeSfx.h"
#include "ProbeWrite.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using TArgs = std::vector<std::string>;

struct TCommand {
    const char* Name;
    const char* Usage;
    int (*Run)(const TArgs& Args);
};

bool CheckReadable(const std::string& FileName) {
    struct stat st {};
    std::uint8_t status = fsOpenFailed;
    if (::stat(FileName.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        TFileStream32 stream(FileName, fmOpenRead | fmShareDenyNone, status);
    if (status == fsOpenOk) return true;
    std::fprintf(stderr, "krvprobe: cannot read %s\n", FileName.c_str());
    return false;
}

int CmdDetect(const TArgs& Args) {
    if (Args.size() != 1) return 2;
    if (!CheckReadable(Args[0])) return 1;
    TRegisterKorva component;
    component.SetArchiveFile(Args[0]);
    std::printf("%s\t%lld\n", ArcTypeIdent(component.ArcType()),
                static_cast<long long>(component.ArchiveOffset));
    return 0;
}

const TCommand Commands[] = {
    {"detect", "detect FILE", CmdDetect},
    {"extract", "extract ARCHIVE DESTDIR [PASSWORD]", ProbeExtract},
    {"test", "test ARCHIVE [PASSWORD]", ProbeTest},
    {"list", "list ARCHIVE", ProbeList},
    {"add",
     "add ARCHIVE [-m store|fast|normal|max|lh5|lh6|deflate|fuse] [-p PASSWORD] [-r] [-d] [-s refresh|move] "
     "FILE...",
     CmdAdd},
    {"delete", "delete ARCHIVE MASK...", CmdDelete},
    {"sfx", "sfx ARCHIVE OUT [STUBDIR]", ProbeSfx},
    {"repair", "repair IN OUT", ProbeRepair},
    {"convert", "convert [-v] IN OUT", ProbeConvert},
};

int Usage() {
    std::fprintf(stderr, "usage:\n");
    for (const TCommand& c : Commands)
        std::fprintf(stderr, "  krvprobe %s\n", c.Usage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    // An interrupted write leaves no temporary archive behind.
    InstallTemporaryCleanupOnSignals();
    const TArgs args(argv + 2, argv + argc);
    for (const TCommand& c : Commands) {
        if (std::strcmp(argv[1], c.Name) != 0) continue;
        const int rc = c.Run(args);
        if (rc == 2) {
            std::fprintf(stderr, "usage: krvprobe %s\n", c.Usage);
        }
        return rc;
    }
    return Usage();
}
