#include "ProbeWrite.h"
#include "ThreadsFromEnvironment.h"

#include "ProbeWriteFormats.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/bh/krvBlakHole.h"
#include "engine/formats/lha/krvLha.h"
#include "engine/formats/zip/krvJar.h"
#include "engine/formats/zip/krvZip.h"
#include "engine/read/krvKorva.h"
#include "engine/write/krvWriters.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool EndsWith(const std::string& Text, const std::string& Tail) {
    return Text.size() >= Tail.size() && Text.compare(Text.size() - Tail.size(), Tail.size(), Tail) == 0;
}

// The writer of the archive's type from the writer table: an existing archive's as detected
// (a gzip file named .tar.gz or .tgz is a tar.gz); else, and for what no writer updates (the
// writer then says why), by the extension: zip for any but .jar, .lha, .lzh and .bh.
std::unique_ptr<TCompBase> WriterOfType(const std::string& Archive) {
    const std::string lower = LowerCaseAscii(Archive);
    TOutArcType type = EndsWith(lower, ".jar")                              ? tyJar
                       : EndsWith(lower, ".lha") || EndsWith(lower, ".lzh") ? tyLzh
                       : EndsWith(lower, ".bh")                             ? tyBh
                                                                            : tyZip;
    struct stat st {};
    if (::stat(Archive.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        TKorva detector;
        detector.SetArchiveFile(Archive);
        if (const std::optional<TOutArcType> existing = WriterTypeForArchive(detector.ArcType(), Archive))
            type = *existing;
    }
    return CreateWriter(type);
}

// The writer for the archive, with handlers that report errors and replace existing entries.
// Failed is set by any error.
std::unique_ptr<TCompBase> MakeWriter(const std::string& Archive, bool& Failed) {
    std::unique_ptr<TCompBase> zip = WriterOfType(Absolute(Archive));
    zip->Threads = ThreadsFromEnvironment();
    zip->OnError = [&Failed](TZipCommon&, const std::string& File, const std::string& Msg, const std::string&,
                             int Code) {
        Failed = true;
        std::fprintf(stderr, "krvprobe: error %d %s: %s %s\n", Code, ErrorText(Code), File.c_str(),
                     Msg.c_str());
    };
    zip->OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime,
                            std::int64_t, std::int64_t, int, int, bool& Replace) { Replace = true; };
    zip->OnRenameDupeFile = [](TZipCommon&, const std::string&, std::string&, bool& Rename) {
        Rename = false;
    };
    zip->OnNonWriteableArchive = [](TZipCommon&, const std::string&, bool& Write) { Write = false; };
    zip->OnWaitArchive = [](TZipCommon&, const std::string& Name) {
        std::fprintf(stderr, "krvprobe: waiting for another update of %s\n", Name.c_str());
    };
    zip->OnRemovedTemporary = [](TZipCommon&, const std::string& Path) {
        std::fprintf(stderr, "krvprobe: removed the abandoned temporary %s\n", Path.c_str());
    };
    zip->DeleteOptions = doFinal;
    zip->SetArchiveFile(Absolute(Archive));
    return zip;
}

// The method of a -m value; false for a name no writer knows.
bool MethodOf(const std::string& Name, TCompressMethod& Method) {
    static const std::pair<const char*, TCompressMethod> names[] = {
        {"store", cmStore}, {"lh5", cmFrozen5}, {"lh6", cmFrozen6}, {"deflate", cmDeflate}, {"fuse", cmFuse}};
    for (const auto& [n, m] : names)
        if (Name == n) {
            Method = m;
            return true;
        }
    return false;
}

int Run(TCompBase& Zip, bool& Failed) {
    try {
        const int n = Zip.Compress();
        if (Failed) return 1;
        std::printf("%d\n", n);
        return 0;
    } catch (const E_RAISE& e) {
        std::fprintf(stderr, "krvprobe: %s\n", e.what());
        return 1;
    }
}

} // namespace

std::string Absolute(const std::string& Path) {
    if (!Path.empty() && Path.front() == '/') return Path;
    char* cwd = ::getcwd(nullptr, 0);
    std::string result = cwd ? JoinPath(cwd, Path) : Path;
    std::free(cwd);
    return result;
}

int CmdAdd(const std::vector<std::string>& Args) {
    if (Args.size() < 2) return 2;
    if (IsFormatArchiveName(Args[0])) return CmdAddFormat(Args);
    bool failed = false;
    std::unique_ptr<TCompBase> zip = MakeWriter(Args[0], failed);
    zip->RecurseDirs = false;
    zip->StoredDirNames = sdRelative;
    for (std::size_t i = 1; i < Args.size(); ++i) {
        const std::string& a = Args[i];
        if (a == "-m" && i + 1 < Args.size()) {
            const std::string& m = Args[++i];
            TCompressMethod method = cmStore;
            if (MethodOf(m, method)) {
                // A method the archive's writer does not take is a usage error.
                zip->SetCompressMethod(method);
                if (zip->CompressMethod() != method) return 2;
            } else if (m == "fast")
                zip->DeflateType = dtDeflateF;
            else if (m == "normal")
                zip->DeflateType = dtDeflateN;
            else if (m == "max")
                zip->DeflateType = dtDeflateX;
            else
                return 2;
        } else if (a == "-p" && i + 1 < Args.size()) {
            zip->Password = Args[++i];
        } else if (a == "-r") {
            zip->RecurseDirs = true;
        } else if (a == "-d") {
            zip->StoreEmptySubDirs = true;
        } else if (a == "-s" && i + 1 < Args.size()) {
            const std::string& s = Args[++i];
            if (s == "refresh")
                zip->Switch = swRefresh;
            else if (s == "move")
                zip->Switch = swMove;
            else
                return 2;
        } else {
            const std::string path = Absolute(a);
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                zip->FileSpec.push_back(AppendBackslash(path) + "*");
            else
                zip->FileSpec.push_back(path);
        }
    }
    if (zip->FileSpec.empty()) return 2;
    return Run(*zip, failed);
}

int CmdDelete(const std::vector<std::string>& Args) {
    if (Args.size() < 2) return 2;
    bool failed = false;
    std::unique_ptr<TCompBase> zip = MakeWriter(Args[0], failed);
    zip->Switch = swDelete;
    zip->FileSpec.assign(Args.begin() + 1, Args.end());
    return Run(*zip, failed);
}
