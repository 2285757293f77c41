#include "engine/core/krvEntryLookup.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>

namespace {

// From this many names in one folder the folder is read instead of looking at each name.
constexpr std::size_t ListFrom = 8;
// A folder is read for at most this many entries a name (a few names in a huge folder are
// then looked at one by one).
constexpr std::size_t EntriesPerName = 64;

TEntryKind KindOfMode(mode_t Mode) {
    if (S_ISDIR(Mode)) return TEntryKind::Folder;
    if (S_ISLNK(Mode)) return TEntryKind::Link;
    return TEntryKind::Other;
}

TEntryKind KindAt(int DirFd, const char* Name) {
    struct stat st {};
    if (fstatat(DirFd, Name, &st, AT_SYMLINK_NOFOLLOW) != 0) return TEntryKind::Missing;
    return KindOfMode(st.st_mode);
}

// The leaf a listing can answer for: not empty, not "." or "..".
bool Listable(std::string_view Leaf) {
    return !Leaf.empty() && Leaf != "." && Leaf != "..";
}

struct TCloseDir {
    void operator()(DIR* Dir) const { closedir(Dir); }
};

// The names of one folder that are looked up in it: leaf -> indices into the paths, and whether
// the leaf has its answer.
struct TName {
    std::vector<std::size_t> Indices;
    bool Answered = false;
};
using TWanted = std::unordered_map<std::string_view, TName>;

void Answer(TName& Name, TEntryKind Kind, std::vector<TEntryKind>& Kinds) {
    for (std::size_t i : Name.Indices)
        Kinds[i] = Kind;
    Name.Answered = true;
}

// Looks up Wanted (Count names) in Folder, read once; names the listing does not answer (not
// listed, of unknown type, past the read limit) are looked at in the open folder.
void LookUpInFolder(const std::string& Folder, TWanted& Wanted, std::size_t Count,
                    const std::vector<std::string>& Paths, std::vector<TEntryKind>& Kinds) {
    // A folder that cannot be read: each path is looked at on its own.
    const int fd = open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    const std::unique_ptr<DIR, TCloseDir> dir(fd < 0 ? nullptr : fdopendir(fd));
    if (!dir) {
        if (fd >= 0) close(fd);
        for (const auto& [leaf, name] : Wanted)
            for (std::size_t i : name.Indices)
                Kinds[i] = KindAt(AT_FDCWD, Paths[i].c_str());
        return;
    }
    // A folder that may be read but not searched lists names that lstat cannot reach: the
    // first name is looked at in any case, and decides whether the listing is trusted.
    auto& [firstLeaf, firstName] = *Wanted.begin();
    errno = 0;
    const TEntryKind firstKind = KindAt(fd, std::string(firstLeaf).c_str());
    const bool searchable = !(firstKind == TEntryKind::Missing && errno == EACCES);
    Answer(firstName, firstKind, Kinds);
    std::size_t left = Count - firstName.Indices.size();
    if (searchable && left > 0) {
        const std::size_t limit = Count * EntriesPerName;
        for (std::size_t read = 0; left > 0 && read < limit; ++read) {
            const dirent* entry = readdir(dir.get());
            if (!entry) break;
            if (entry->d_type == DT_UNKNOWN) continue;
            const auto at = Wanted.find(entry->d_name);
            if (at == Wanted.end() || at->second.Answered) continue;
            Answer(at->second,
                   entry->d_type == DT_DIR   ? TEntryKind::Folder
                   : entry->d_type == DT_LNK ? TEntryKind::Link
                                             : TEntryKind::Other,
                   Kinds);
            left -= at->second.Indices.size();
        }
    }
    for (auto& [leaf, name] : Wanted)
        if (!name.Answered) Answer(name, KindAt(fd, std::string(leaf).c_str()), Kinds);
}

} // namespace

std::vector<TEntryKind> LookUpEntries(const std::vector<std::string>& Paths,
                                      const std::function<void()>& Between) {
    std::vector<TEntryKind> kinds(Paths.size(), TEntryKind::Missing);
    // The names by folder, in the order the folders first come.
    struct TFolder {
        std::string Path;
        TWanted Wanted;
        std::size_t Count = 0;
    };
    std::vector<TFolder> folders;
    std::unordered_map<std::string, std::size_t> folderOf;
    std::vector<std::size_t> alone;
    for (std::size_t i = 0; i < Paths.size(); ++i) {
        const std::string& path = Paths[i];
        const std::size_t slash = path.rfind('/');
        const std::string_view leaf =
            slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
        if (!Listable(leaf)) {
            alone.push_back(i);
            continue;
        }
        std::string folder = slash == std::string::npos ? std::string(".")
                             : slash == 0               ? std::string("/")
                                                        : path.substr(0, slash);
        const auto [at, added] = folderOf.try_emplace(std::move(folder), folders.size());
        if (added) folders.push_back(TFolder{at->first, {}, 0});
        TFolder& group = folders[at->second];
        group.Wanted[leaf].Indices.push_back(i);
        ++group.Count;
    }
    for (TFolder& folder : folders) {
        if (folder.Count < ListFrom) {
            for (const auto& [leaf, name] : folder.Wanted)
                for (std::size_t i : name.Indices) {
                    kinds[i] = KindAt(AT_FDCWD, Paths[i].c_str());
                    if (Between) Between();
                }
            continue;
        }
        LookUpInFolder(folder.Path, folder.Wanted, folder.Count, Paths, kinds);
        if (Between) Between();
    }
    for (std::size_t i : alone) {
        kinds[i] = KindAt(AT_FDCWD, Paths[i].c_str());
        if (Between) Between();
    }
    return kinds;
}
