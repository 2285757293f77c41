#include "ProbeConvert.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/write/krvArc2Arc.h"

#include <cstdio>
#include <optional>

namespace {

std::optional<TOutArcType> TypeOfName(const std::string& Name) {
    const std::string lower = LowerCaseAscii(Name);
    const auto ends = [&](const char* End) {
        const std::string e(End);
        return lower.size() > e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0;
    };
    if (ends(".gz") || ends(".tgz")) return tyTarGzip;
    if (ends(".zip")) return tyZip;
    if (ends(".jar")) return tyJar;
    if (ends(".lzh") || ends(".lha")) return tyLzh;
    if (ends(".bh")) return tyBh;
    if (ends(".cab")) return tyCab;
    if (ends(".tar")) return tyTar;
    return std::nullopt;
}

} // namespace

int ProbeConvert(const std::vector<std::string>& Args) {
    std::vector<std::string> names;
    bool verify = false;
    for (const std::string& a : Args) {
        if (a == "-v")
            verify = true;
        else
            names.push_back(a);
    }
    if (names.size() != 2) return 2;
    const std::optional<TOutArcType> type = TypeOfName(names[1]);
    if (!type) {
        std::fprintf(stderr, "krvprobe: %s: error %d: %s\n", names[1].c_str(), ecInvalidArchiveType,
                     ErrorText(ecInvalidArchiveType));
        return 1;
    }
    TArc2Arc converter;
    converter.SetArchiveFile(names[0]);
    converter.NewArchive = names[1];
    converter.OutArcType = *type;
    converter.IntegrityCheck = verify;
    int failed = 0;
    converter.OnError = [&](TZipCommon&, const std::string& FileName, const std::string&, const std::string&,
                            int Code) {
        std::fprintf(stderr, "krvprobe: %s: error %d: %s\n", FileName.c_str(), Code, ErrorText(Code));
        failed = Code;
    };
    converter.OnFileExists = [](TZipCommon&, const std::string&, TOverwriteMode& Mode) {
        Mode = omOverwrite;
    };
    converter.OnGetPassword = [](TZipCommon&, const std::string&, std::string&, bool& TryAgain) {
        TryAgain = false;
    };
    int tested = 0;
    if (verify) converter.OnIntegrityStatus = [&](TZipCommon&, const std::string&, bool) { ++tested; };
    const bool done = converter.Activate();
    if (done && verify) std::printf("tested %d\n", tested);
    return done && !failed ? 0 : 1;
}
