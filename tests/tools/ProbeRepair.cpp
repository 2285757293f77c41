#include "ProbeRepair.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/formats/zip/ZipFix.h"

#include <cstdio>

int ProbeRepair(const std::vector<std::string>& Args) {
    if (Args.size() != 2) return 2;
    TZipFix fix;
    bool lost = false;
    fix.OnFileFound = [&lost](TZipFix&, const std::string& FileName, bool Kept) {
        std::printf("%s\t%s\n", FileName.c_str(), Kept ? "KEPT" : "DROPPED");
        lost = lost || !Kept;
    };
    int failed = 0;
    fix.OnError = [&](TZipCommon&, const std::string& FileName, const std::string&, const std::string&,
                      int Code) {
        std::fprintf(stderr, "krvprobe: %s: error %d: %s\n", FileName.c_str(), Code, ErrorText(Code));
        failed = Code;
    };
    const int kept = fix.FixFile(Args[0], Args[1]);
    return kept > 0 && !failed && !lost ? 0 : 1;
}
