#include "engine/core/krvFindRec.h"

#include "engine/core/krvDates.h"

#include <cerrno>
#include <fcntl.h>

namespace {

// The attributes a search leaves out unless they are asked for.
constexpr std::uint32_t OptionalAttrs = faHidden | faSysFile | faDirectory;

int SearchError(int Errno) {
    switch (Errno) {
    case EACCES:
    case EPERM:
        return feAccessDenied;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return fePathNotFound;
    default:
        return feReadFault;
    }
}

void FillHit(TSearchRec& Rec, const std::string& Name, const struct stat& St, std::uint32_t Attr) {
    Rec.Name = Name;
    Rec.FindData = St;
    Rec.Attr = Attr;
    Rec.Size = S_ISREG(St.st_mode) ? static_cast<std::int64_t>(St.st_size) : 0;
    Rec.Time = DosTimeOfStat(St);
}

// The folder and the name pattern of a search path.
void SplitSearchPath(const std::string& Path, std::string& Folder, std::string& Pattern) {
    const std::size_t slash = Path.rfind('/');
    if (slash == std::string::npos) {
        Folder = ".";
        Pattern = Path;
    } else {
        Folder = slash == 0 ? "/" : Path.substr(0, slash);
        Pattern = Path.substr(slash + 1);
    }
}

} // namespace

std::uint32_t DosTimeOfStat(const struct stat& St) {
    return FileTimeToDosTime(St.st_mtim.tv_sec);
}

int FindFirstRec(const std::string& Path, std::uint32_t Attr, TSearchRec& SearchRec) {
    FindCloseRec(SearchRec);
    SearchRec.ExcludeAttr = ~Attr & OptionalAttrs;
    std::string folder;
    std::string pattern;
    SplitSearchPath(Path, folder, pattern);
    if (pattern.empty()) return feFileNotFound;

    if (pattern.find_first_of("*?") == std::string::npos) {
        // One name, looked up directly: case matters on this system, and the folder need not
        // be readable.
        struct stat st {};
        if (!StatEntryAt(AT_FDCWD, Path.c_str(), st)) {
            const int err = errno;
            return err == ENOENT
                       ? (StatEntryAt(AT_FDCWD, folder.c_str(), st) ? feFileNotFound : fePathNotFound)
                       : SearchError(err);
        }
        const std::uint32_t attr = AttributesFromStat(st, pattern);
        if (attr & SearchRec.ExcludeAttr) return feFileNotFound;
        FillHit(SearchRec, pattern, st, attr);
        return 0;
    }

    // "*.*" stands for every name, as it always has for a search.
    SearchRec.Pattern.Compile(pattern == "*.*" ? std::string_view("*") : std::string_view(pattern));
    if (!SearchRec.FindHandle.Open(folder)) return SearchError(SearchRec.FindHandle.Error());
    const int result = FindNextRec(SearchRec);
    if (result == 0) return 0;
    FindCloseRec(SearchRec);
    return result == feNoMoreFiles ? feFileNotFound : result;
}

int FindNextRec(TSearchRec& SearchRec) {
    TDirEntry entry;
    while (SearchRec.FindHandle.Next(entry)) {
        if (entry.Attr & SearchRec.ExcludeAttr) continue;
        if (!SearchRec.Pattern.Matches(entry.Name)) continue;
        FillHit(SearchRec, entry.Name, entry.Stat, entry.Attr);
        return 0;
    }
    const int err = SearchRec.FindHandle.Error();
    return err == 0 ? feNoMoreFiles : SearchError(err);
}

void FindCloseRec(TSearchRec& SearchRec) {
    SearchRec.FindHandle.Close();
}
