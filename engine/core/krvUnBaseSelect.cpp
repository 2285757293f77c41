// Entry selection by masks, and the small name services of the reader base.
#include "engine/core/EngineHost.h"
#include "engine/core/krvUnBase.h"
#include "engine/core/krvWildMatch.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool SameTextIgnoringCase(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (std::size_t i = 0; i < A.size(); ++i) {
        const auto a = static_cast<unsigned char>(A[i]);
        const auto b = static_cast<unsigned char>(B[i]);
        const auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
        if (upper(a) != upper(b)) return false;
    }
    return true;
}

// Masks may separate folders with either separator; names are '/'-separated.
std::string LocalMask(const std::string& Mask) {
    std::string mask = Mask;
    for (char& c : mask)
        if (c == '\\') c = '/';
    return mask;
}

void SplitFolder(std::string_view Name, std::string_view& Folder, std::string_view& Leaf) {
    const std::size_t slash = Name.find_last_of('/');
    if (slash == std::string_view::npos) {
        Folder = {};
        Leaf = Name;
    } else {
        Folder = Name.substr(0, slash);
        Leaf = Name.substr(slash + 1);
    }
}

// The wildcard test, repeated with a '.' added to a name and a mask that have none (so
// that "*.*" also selects "README").
bool WildMatchDotted(std::string_view Name, std::string_view Mask) {
    if (WildMatch(Name, Mask)) return true;
    const bool nameDot = Name.find('.') != std::string_view::npos;
    const bool maskDot = Mask.find('.') != std::string_view::npos;
    if (nameDot && maskDot) return false;
    const std::string name = nameDot ? std::string(Name) : std::string(Name) + '.';
    const std::string mask = maskDot ? std::string(Mask) : std::string(Mask) + '.';
    return WildMatch(name, mask);
}

// One mask against an entry name, by the folder rule of RecurseDirs.
bool MaskSelects(const std::string& Name, const std::string& Mask, bool RecurseDirs) {
    std::string_view nameDir, nameLeaf, maskDir, maskLeaf;
    SplitFolder(Name, nameDir, nameLeaf);
    SplitFolder(Mask, maskDir, maskLeaf);
    if (!RecurseDirs) {
        // The mask's folder must be the entry's own folder.
        if (!SameTextIgnoringCase(maskDir, nameDir)) return false;
        return WildMatchDotted(nameLeaf, maskLeaf);
    }
    if (Mask.find('/') == std::string::npos) return WildMatchDotted(nameLeaf, Mask);
    return WildMatchDotted(Name, Mask);
}

} // namespace

bool TUnBase::MatchEntrySpec(const std::string& EntryName, const std::vector<std::string>& AFileSpec,
                             const std::vector<std::string>& AExcludeSpec, bool ARecurseDirs) {
    if (EntryName.empty()) return false;
    for (const std::string& given : AFileSpec) {
        if (given.empty()) continue;
        const std::string mask = LocalMask(given);
        // A mask naming the entry exactly selects it without the exclusion test.
        if (SameTextIgnoringCase(mask, EntryName)) return true;
        if (!MaskSelects(EntryName, mask, ARecurseDirs)) continue;
        for (const std::string& excluded : AExcludeSpec) {
            if (!excluded.empty() && MaskSelects(EntryName, LocalMask(excluded), ARecurseDirs)) return false;
        }
        return true;
    }
    return false;
}

bool TUnBase::MatchFileSpec(const std::string& AFileName, const std::vector<std::string>& IncludeMasks,
                            const std::vector<std::string>& ExcludeMasks) {
    const auto matches = [&](const std::string& Mask) {
        if (Mask.find('.') != std::string::npos && AFileName.find('.') == std::string::npos)
            return WildMatch(AFileName + '.', Mask);
        return WildMatch(AFileName, Mask);
    };
    bool included = false;
    for (const std::string& mask : IncludeMasks) {
        if (matches(mask)) {
            included = true;
            break;
        }
    }
    if (!included) return false;
    for (const std::string& mask : ExcludeMasks)
        if (matches(mask)) return false;
    return true;
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
