#include "engine/core/krvOutputPath.h"

#include "engine/core/krvGbls.h"

#include <cctype>

namespace {

constexpr std::size_t MaxNameLength = 255;

// Collapses "//" and "." and resolves ".." lexically; the result has no trailing '/'.
std::string LexicalNormal(const std::string& Path) {
    std::vector<std::string> parts;
    std::string part;
    auto flush = [&]() {
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else
                parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (char c : Path) {
        if (c == '/')
            flush();
        else
            part += c;
    }
    flush();
    std::string out = !Path.empty() && Path[0] == '/' ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i)
        out += (i ? "/" : "") + parts[i];
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
        if (part.size() > MaxNameLength) return false;
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
