#include "engine/core/krvOutputPath.h"

#include "engine/core/krvGbls.h"

#include <cctype>
#include <string_view>

namespace {

constexpr std::size_t MaxNameLength = 255;

// Collapses "//" and "." and resolves ".." lexically; the result has no trailing '/'. Built in
// one string, each part appended or taken back in place: every output name goes through here.
std::string LexicalNormal(std::string_view Path) {
    const bool absolute = !Path.empty() && Path[0] == '/';
    std::string out = absolute ? "/" : "";
    const std::size_t base = out.size();
    std::size_t kept = 0;   // parts in out
    std::size_t upward = 0; // of them, the leading ".." that nothing before takes back
    for (std::size_t at = 0; at <= Path.size();) {
        std::size_t end = Path.find('/', at);
        if (end == std::string_view::npos) end = Path.size();
        const std::string_view part = Path.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == ".." && kept > upward) {
            const std::size_t slash = out.find_last_of('/');
            out.resize(slash == std::string::npos || slash < base ? base : slash);
            --kept;
            continue;
        }
        if (part == "..") ++upward;
        if (out.size() > base) out += '/';
        out += part;
        ++kept;
    }
    return out;
}

} // namespace

bool SplitStoredName(const std::string& StoredName, std::vector<std::string>& Parts,
                     bool& TrailingSeparator) {
    Parts.clear();
    std::size_t start = 0;
    // A drive letter and colon in front ("C:\x", "C:x") is dropped.
    if (StoredName.size() >= 2 && std::isalpha(static_cast<unsigned char>(StoredName[0])) &&
        StoredName[1] == ':')
        start = 2;
    TrailingSeparator = StoredName.size() > start && IsPathSeparator(StoredName.back());
    std::string part;
    for (std::size_t i = start; i <= StoredName.size(); ++i) {
        if (i < StoredName.size() && !IsPathSeparator(StoredName[i])) {
            part += StoredName[i];
            continue;
        }
        if (part == "..") return false;
        if (part.size() > MaxNameLength || part.find('\0') != std::string::npos) return false;
        if (!part.empty() && part != ".") Parts.push_back(part);
        part.clear();
    }
    return true;
}

TOutputPathResult MakeOutputPath(const std::string& Root, const std::string& StoredName, bool UseStoredDirs,
                                 TOutputPath& Out) {
    Out = TOutputPath{};
    Out.Root = Root;
    if (Out.Root.empty()) Out.Root = "./";
    if (Out.Root.back() != '/') Out.Root += '/';

    std::vector<std::string> parts;
    bool folderEntry = false;
    if (!SplitStoredName(StoredName, parts, folderEntry)) return TOutputPathResult::Refused;

    if (!folderEntry && !parts.empty()) {
        Out.Leaf = parts.back();
        parts.pop_back();
    }
    if (UseStoredDirs) Out.Folders = parts;

    Out.FullName = Out.Root;
    for (const std::string& f : Out.Folders)
        Out.FullName += f + '/';
    Out.FullName += Out.Leaf;
    if (!PathIsBelow(Out.FullName, Out.Root)) return TOutputPathResult::Refused;
    return TOutputPathResult::Ok;
}

bool PathIsBelow(const std::string& Name, const std::string& Folder) {
    const std::string name = LexicalNormal(Name);
    const std::string folder = LexicalNormal(Folder);
    if (folder.empty()) return name.empty() || (name[0] != '/' && name != ".." && name.rfind("../", 0) != 0);
    if (folder == "/") return !name.empty() && name[0] == '/';
    return name == folder || (name.rfind(folder, 0) == 0 && name[folder.size()] == '/');
}

std::string ShownStoredName(const std::string& StoredName) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(StoredName.size());
    for (const char c : StoredName) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += c;
            continue;
        }
        shown += "\\x";
        shown += Hex[byte >> 4];
        shown += Hex[byte & 0xF];
    }
    return shown;
}
