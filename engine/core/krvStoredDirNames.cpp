// Which part of a gathered file's path a writer stores, and the exclusion masks that are
// matched against stored names.
#include "engine/core/krvZipCommon.h"

#include "engine/core/krvGbls.h"
#include "engine/core/krvWildMatch.h"

#include <cctype>

namespace {

bool StartsWithNoCase(const std::string& Text, const std::string& Prefix) {
    return !Prefix.empty() && Text.size() >= Prefix.size() &&
           SameTextNoCase(std::string_view(Text).substr(0, Prefix.size()), Prefix);
}

bool HasDrive(const std::string& Path) {
    return Path.size() >= 2 && std::isalpha(static_cast<unsigned char>(Path[0])) && Path[1] == ':';
}

// Drops Count parts (text up to and including the next separator) from the front.
std::string DropParts(std::string Path, int Count) {
    for (int i = 0; i < Count; ++i) {
        std::size_t at = 0;
        while (at < Path.size() && !IsPathSeparator(Path[at]))
            ++at;
        Path.erase(0, at < Path.size() ? at + 1 : at);
    }
    return Path;
}

// A result longer than three characters that does not begin with a drive and separator gets
// a leading separator.
std::string LeadingSeparatorRule(const std::string& Path) {
    if (Path.size() > 3 && !(HasDrive(Path) && IsPathSeparator(Path[2])) && !IsPathSeparator(Path[0]))
        return PathDelim + Path;
    return Path;
}

std::string RelativeTo(const std::string& Path, const std::string& Folder) {
    const std::string folder = AppendBackslash(Folder);
    return StartsWithNoCase(Path, folder) ? Path.substr(folder.size()) : Path;
}

} // namespace

std::string ApplyStoredDirNames(TStoredDirNames Mode, const std::string& Path, const std::string& DefaultDir,
                                const std::string& ExplorerDir) {
    switch (Mode) {
    case sdNone: {
        const std::size_t sep = Path.find_last_of("/\\");
        return sep == std::string::npos ? Path : Path.substr(sep + 1);
    }
    case sdAbsolute:
        return Path;
    case sdAbsoluteNoDrv:
    case sdAbsoluteNoRoot: {
        std::string p = Path;
        if (HasDrive(p))
            p.erase(0, 2);
        else if (IsUNCPath(p))
            p = DropParts(p.substr(2), 2); // server and share
        if (Mode == sdAbsoluteNoRoot && !p.empty() && IsPathSeparator(p[0])) p.erase(0, 1);
        return p;
    }
    case sdRelative:
        return RelativeTo(Path, DefaultDir);
    case sdRelativeStoreStart: {
        // Everything before the default folder's last folder is removed.
        const std::string folder = RemoveBackslash(DefaultDir);
        const std::size_t sep = folder.find_last_of("/\\");
        const std::string before = sep == std::string::npos ? std::string() : folder.substr(0, sep + 1);
        const std::string p = StartsWithNoCase(Path, before) ? Path.substr(before.size()) : Path;
        return LeadingSeparatorRule(p);
    }
    case sdExplorer_Auto:
    case sdExplorer_UserDefineDefaultDir:
        // The explorer folder (the caller's, or the common folder of the masks) holds every path
        // below it, also one gathered in a folder group of its own: a folder's files named one by
        // one keep their sub-folders, so "a/x" and "b/x" never collide as "x".
        if (!ExplorerDir.empty() && StartsWithNoCase(Path, AppendBackslash(ExplorerDir)))
            return LeadingSeparatorRule(RelativeTo(Path, ExplorerDir));
        if (ExplorerDir.empty() || !SameTextNoCase(AppendBackslash(DefaultDir), AppendBackslash(ExplorerDir)))
            return RelativeTo(Path, DefaultDir);
        return LeadingSeparatorRule(RelativeTo(Path, ExplorerDir));
    }
    return Path;
}

bool TZipCommon::IsExcluded(const std::string& FileName, const std::string& DefaultDir) const {
    for (const std::string& mask : ExcludeSpec) {
        if (mask.empty()) continue;
        if (WildMatch(FileName, ApplyStoredDirNames(StoredDirNames, mask, DefaultDir, DefaultDir)))
            return true;
    }
    return false;
}

void TZipCommon::SetAttribute(TkrvFileAttr Attr, bool On) {
    if (On)
        Attributes.Include(Attr);
    else
        Attributes.Exclude(Attr);
}

void TZipCommon::SetAttributeEx(TkrvFileAttr Attr, bool On) {
    if (On)
        AttributesEx.Include(Attr);
    else
        AttributesEx.Exclude(Attr);
}
