#include "ProbeWriteFormats.h"
#include "ThreadsFromEnvironment.h"
#include "ProbeWrite.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/gzip/krvGZip.h"
#include "engine/formats/cab/krvMakeCab.h"
#include "engine/formats/tar/krvTar.h"
#include "engine/formats/uu/krvUUEncode.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>

namespace {

bool Ends(const std::string& Name, const char* Tail) {
    const std::string lower = LowerCaseAscii(Name);
    const std::string t(Tail);
    return lower.size() > t.size() && lower.compare(lower.size() - t.size(), t.size(), t) == 0;
}

enum class TKind { None, Gzip, Tar, TarGzip, Text, Cab };

TKind KindOf(const std::string& Name) {
    if (Ends(Name, ".tar.gz") || Ends(Name, ".tgz")) return TKind::TarGzip;
    if (Ends(Name, ".gz")) return TKind::Gzip;
    if (Ends(Name, ".tar")) return TKind::Tar;
    if (Ends(Name, ".uue") || Ends(Name, ".xxe") || Ends(Name, ".b64") || Ends(Name, ".mim"))
        return TKind::Text;
    if (Ends(Name, ".cab")) return TKind::Cab;
    return TKind::None;
}

// Handlers that print errors, replace entries and overwrite outputs.
void Wire(TCompBase& W, bool& Failed) {
    W.OnError = [&Failed](TZipCommon&, const std::string& File, const std::string& Msg, const std::string&,
                          int Code) {
        Failed = true;
        std::fprintf(stderr, "krvprobe: error %d %s: %s %s\n", Code, ErrorText(Code), File.c_str(),
                     Msg.c_str());
    };
    W.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime,
                         std::int64_t, std::int64_t, int, int, bool& Replace) { Replace = true; };
    W.OnRenameDupeFile = [](TZipCommon&, const std::string&, std::string&, bool& Rename) { Rename = false; };
    W.OnNonWriteableArchive = [](TZipCommon&, const std::string&, bool& Write) { Write = false; };
    W.DeleteOptions = doFinal;
    W.RecurseDirs = false;
    W.StoredDirNames = sdRelative;
}

void AddSource(TCompBase& W, const std::string& Arg) {
    const std::string path = Absolute(Arg);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        W.FileSpec.push_back(AppendBackslash(path) + "*");
    else
        W.FileSpec.push_back(path);
}

bool DeflateLevel(TCompBase& W, const std::string& M) {
    if (M == "fast")
        W.DeflateType = dtDeflateF;
    else if (M == "normal")
        W.DeflateType = dtDeflateN;
    else if (M == "max")
        W.DeflateType = dtDeflateX;
    else
        return false;
    return true;
}

int Finish(int Count, bool Failed) {
    if (Failed) return 1;
    std::printf("%d\n", Count);
    return 0;
}

int AddGzip(const std::vector<std::string>& Args) {
    bool failed = false;
    TGZip gz;
    Wire(gz, failed);
    gz.Threads = ThreadsFromEnvironment();
    gz.OnFileExists = [](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& Mode) {
        Mode = omOverwrite;
    };
    gz.SetArchiveFile(Absolute(Args[0]));
    for (std::size_t i = 1; i < Args.size(); ++i) {
        const std::string& a = Args[i];
        if (a == "-m" && i + 1 < Args.size()) {
            if (!DeflateLevel(gz, Args[++i])) return 2;
        } else if (a == "-e" && i + 1 < Args.size()) {
            const std::string& e = Args[++i];
            gz.Extension = e == "none" ? exNone : e == "underscore" ? exUnderScore : exAppendGZ;
        } else if (a == "-s" && i + 1 < Args.size()) {
            if (Args[++i] != "move") return 2;
            gz.Switch = swMove;
        } else {
            AddSource(gz, a);
        }
    }
    if (gz.FileSpec.empty()) return 2;
    const int n = gz.Compress();
    return Finish(n, failed);
}

int AddTar(const std::vector<std::string>& Args, bool Gzip) {
    bool failed = false;
    TTar tar;
    Wire(tar, failed);
    tar.Threads = ThreadsFromEnvironment();
    tar.SetCompressMethod(Gzip ? cmTarGzip : cmTarred);
    tar.SetArchiveFile(Absolute(Args[0]));
    for (std::size_t i = 1; i < Args.size(); ++i) {
        const std::string& a = Args[i];
        if (a == "-m" && i + 1 < Args.size()) {
            if (!DeflateLevel(tar, Args[++i])) return 2;
        } else if (a == "-r") {
            tar.RecurseDirs = true;
        } else if (a == "-d") {
            tar.StoreEmptySubDirs = true;
        } else if (a == "-s" && i + 1 < Args.size()) {
            const std::string& s = Args[++i];
            if (s == "refresh")
                tar.Switch = swRefresh;
            else if (s == "move")
                tar.Switch = swMove;
            else
                return 2;
        } else {
            AddSource(tar, a);
        }
    }
    if (tar.FileSpec.empty()) return 2;
    const int n = tar.Compress();
    return Finish(n, failed);
}

int AddText(const std::vector<std::string>& Args) {
    bool failed = false;
    TUUEncode uu;
    Wire(uu, failed);
    uu.SetCompressMethod(Ends(Args[0], ".xxe")                            ? cmXXEncode
                         : Ends(Args[0], ".b64") || Ends(Args[0], ".mim") ? cmBase64
                                                                          : cmUUEncode);
    std::string input;
    for (std::size_t i = 1; i < Args.size(); ++i) {
        const std::string& a = Args[i];
        if (a == "-v" && i + 1 < Args.size())
            uu.KBytesPerVolume = std::atoi(Args[++i].c_str());
        else if (a == "-t")
            uu.WriteTableToFile = true;
        else
            input = Absolute(a);
    }
    if (input.empty()) return 2;
    uu.SetArchiveFile(input);
    uu.SetOutFilename(Absolute(Args[0]));
    const int n = uu.Compress();
    return Finish(n, failed || n == 0);
}

int AddCab(const std::vector<std::string>& Args) {
    bool failed = false;
    TMakeCab cab;
    Wire(cab, failed);
    cab.Threads = ThreadsFromEnvironment();
    cab.SetArchiveFile(Absolute(Args[0]));
    int volume = 0;
    for (std::size_t i = 1; i < Args.size(); ++i) {
        const std::string& a = Args[i];
        if (a == "-m" && i + 1 < Args.size()) {
            const std::string& m = Args[++i];
            if (m == "store")
                cab.SetCompressMethod(cmStore);
            else if (m == "mszip")
                cab.SetCompressMethod(cmMsZip);
            else if (m == "lzx")
                cab.SetCompressMethod(cmLzx);
            else if (m == "quantum")
                cab.SetCompressMethod(cmQuantum);
            else
                return 2;
        } else if (a == "-l" && i + 1 < Args.size()) {
            const int level = std::atoi(Args[++i].c_str());
            cab.SetLzxLevel(level);
            cab.SetQuantumLevel(level);
        } else if (a == "-i") {
            // Blocks that do not compress are written as they come (Quantum on such data).
            cab.FailOnIncompressible = false;
        } else if (a == "-q" && i + 1 < Args.size()) {
            cab.SetQuantumMemory(std::atoi(Args[++i].c_str()));
        } else if (a == "-k" && i + 1 < Args.size()) {
            // A set of cabinets of at most this many kilobytes: x.cab, x2.cab, x3.cab ...
            cab.MaxCabinetSize = static_cast<std::uint32_t>(std::atoi(Args[++i].c_str())) * 1024;
            cab.OnGetNextCabinet = [&](TZipCommon&, TCCAB&, std::string& Name, int, bool& Abort) {
                const std::string base = cab.ArchiveFile();
                Name = base.substr(0, base.size() - 4) + std::to_string(++volume + 1) + ".cab";
                Abort = false;
            };
        } else if (a == "-r") {
            cab.RecurseDirs = true;
        } else {
            AddSource(cab, a);
        }
    }
    if (cab.FileSpec.empty()) return 2;
    const int n = cab.Compress();
    return Finish(n, failed);
}

} // namespace

bool IsFormatArchiveName(const std::string& Name) {
    return KindOf(Name) != TKind::None;
}

int CmdAddFormat(const std::vector<std::string>& Args) {
    if (Args.size() < 2) return 2;
    switch (KindOf(Args[0])) {
    case TKind::Gzip:
        return AddGzip(Args);
    case TKind::Tar:
        return AddTar(Args, false);
    case TKind::TarGzip:
        return AddTar(Args, true);
    case TKind::Text:
        return AddText(Args);
    case TKind::Cab:
        return AddCab(Args);
    default:
        return -1;
    }
}
