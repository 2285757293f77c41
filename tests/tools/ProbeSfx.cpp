#include "ProbeSfx.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/formats/zip/krvMakeSfx.h"

#include <cstdio>

int ProbeSfx(const std::vector<std::string>& Args) {
    if (Args.size() < 2 || Args.size() > 3) return 2;
    TMakeSFX maker;
    maker.SetArchiveFile(Args[0]);
    maker.SetTargetFile(Args[1]);
    if (Args.size() == 3) maker.SetSfxStubDir(Args[2]);
    int failed = 0;
    maker.OnError = [&](TZipCommon&, const std::string& FileName, const std::string&, const std::string&,
                        int Code) {
        std::fprintf(stderr, "krvprobe: %s: error %d: %s\n", FileName.c_str(), Code, ErrorText(Code));
        if (!failed) failed = Code;
    };
    maker.OnFileExists = [](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& Mode) {
        Mode = omOverwrite;
    };
    maker.Activate();
    if (failed) std::printf("ERROR %d %s\n", failed, ErrorText(failed));
    return failed ? 1 : 0;
}
