// Entry selection by masks (krvMatchSpec), and the small name services of the reader base.
#include "engine/core/EngineHost.h"
#include "engine/core/krvMatchSpec.h"
#include "engine/core/krvUnBase.h"

#include <sys/stat.h>
#include <unistd.h>

bool TUnBase::MatchEntrySpec(const std::string& EntryName, const std::vector<std::string>& AFileSpec,
                             const std::vector<std::string>& AExcludeSpec, bool ARecurseDirs) {
    return ::MatchEntrySpec(EntryName, AFileSpec, AExcludeSpec, ARecurseDirs);
}

bool TUnBase::MatchFileSpec(const std::string& AFileName, const std::vector<std::string>& IncludeMasks,
                            const std::vector<std::string>& ExcludeMasks) {
    return ::MatchFileSpec(AFileName, IncludeMasks, ExcludeMasks);
}

std::string TUnBase::ExtractPathOf(const std::string& Name) {
    if (Name.size() == 3 && Name[1] == ':') return Name;
    const std::size_t sep = Name.find_last_of("/:\\");
    if (sep == std::string::npos) return {};
    std::string path = Name.substr(0, sep + 1);
    const bool driveRoot = path.size() == 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool root = path == "\\" || path == "/";
    if (!driveRoot && !root && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

std::string TUnBase::ShiftChars(bool Subtract, const std::string& Text, int Delta) {
    std::string out = Text;
    for (char& c : out) {
        const int v = static_cast<unsigned char>(c) + (Subtract ? -Delta : Delta);
        c = static_cast<char>(static_cast<unsigned char>(v & 0xFF));
    }
    return out;
}

bool TUnBase::EraseFile(const std::string& AFileName, TDeleteOptions Options) {
    if (Options == doAllowUndo) {
        struct stat st {};
        if (::lstat(AFileName.c_str(), &st) != 0) return false;
        return EngineHost::MoveToTrash(AFileName);
    }
    return ::unlink(AFileName.c_str()) == 0;
}
