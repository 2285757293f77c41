#include "engine/core/krvFileOps.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvWildMatch.h"

#include <sys/stat.h>
#include <unistd.h>

bool EraseFile(const std::string& FileName, TDeleteOptions DeleteOptions) {
    struct stat st {};
    if (FileName.empty() || ::lstat(FileName.c_str(), &st) != 0) return false;
    if (DeleteOptions == doAllowUndo) return EngineHost::MoveToTrash(FileName);
    return ::unlink(FileName.c_str()) == 0;
}

namespace {

bool MatchOne(const std::string& Name, const std::string& Mask) {
    if (Mask.empty()) return false;
    if (WildMatch(Name, Mask)) return true;
    // "*.*" style masks also take names without an extension.
    const std::size_t slash = Name.rfind('/');
    const std::string leaf = slash == std::string::npos ? Name : Name.substr(slash + 1);
    if (Mask.find('.') != std::string::npos && leaf.find('.') == std::string::npos)
        return WildMatch(Name + '.', Mask);
    return false;
}

} // namespace

bool MatchFileSpec(const std::string& FileName, const std::vector<std::string>& IncludeMasks,
                   const std::vector<std::string>& ExcludeMasks) {
    bool included = false;
    for (const std::string& m : IncludeMasks)
        if (MatchOne(FileName, m)) {
            included = true;
            break;
        }
    if (!included) return false;
    for (const std::string& m : ExcludeMasks)
        if (MatchOne(FileName, m)) return false;
    return true;
}
