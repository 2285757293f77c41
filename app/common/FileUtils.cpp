#include "app/common/FileUtils.h"

#include "engine/core/krvWildMatch.h"
#include "platform/FolderTree.h"
#include "platform/Process.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool IsSeparator(char C) {
    return C == '/' || C == '\\';
}

bool MatchesMask(const std::string& Name, const std::string& Mask) {
    return Mask == "*.*" || WildMatch(Name, Mask);
}

// The entries of Folder in byte order of their names, with the status of each entry itself.
std::vector<fs::directory_entry> SortedEntries(const fs::path& Folder) {
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    std::sort(entries.begin(), entries.end(),
              [](const auto& A, const auto& B) { return A.path().filename() < B.path().filename(); });
    return entries;
}

// A path whose whole contents may be deleted: absolute, and neither the root nor the home
// folder (after "." and ".." are resolved). A link may always go: only the link is deleted.
bool MayDeleteBelow(const fs::path& Path) {
    if (Path.empty() || !Path.is_absolute()) return false;
    fs::path normal = Path.lexically_normal();
    if (!normal.has_filename()) normal = normal.parent_path(); // a trailing separator
    if (normal == normal.root_path()) return false;
    const char* home = std::getenv("HOME");
    if (!home || !*home) return true;
    std::error_code ec;
    return fs::path(home).lexically_normal() != normal &&
           (fs::is_symlink(normal, ec) || !fs::equivalent(home, normal, ec));
}

} // namespace

std::string AddBackslash(const std::string& Path) {
    return Path.empty() || Path.back() == '/' ? Path : Path + '/';
}

std::string StripLeadingBackslash(const std::string& Text) {
    return !Text.empty() && IsSeparator(Text.front()) ? Text.substr(1) : Text;
}

std::string GetTempDirName() {
    const char* base = std::getenv("TMPDIR");
    std::string path = std::string(base && *base ? base : "/tmp") + "/zf_XXXXXX";
    return ::mkdtemp(path.data()) ? path : std::string();
}

bool ShellDeleteFiles(const std::string& Path) {
    const fs::path path = fs::path(Path).lexically_normal();
    const std::string mask = path.filename().string();
    std::error_code ec;
    if (mask.find_first_of("*?") == std::string::npos) {
        if (!MayDeleteBelow(path)) return false;
        return fs::exists(fs::symlink_status(path, ec)) && RemoveTree(path.string());
    }
    // The entries of a linked folder would be those of another folder.
    if (!MayDeleteBelow(path.parent_path()) || fs::is_symlink(path.parent_path(), ec)) return false;
    bool any = false, ok = true;
    for (const fs::directory_entry& entry : SortedEntries(path.parent_path())) {
        if (!MatchesMask(entry.path().filename().string(), mask)) continue;
        any = true;
        ok = RemoveTree(entry.path().string()) && ok;
    }
    return any && ok;
}

bool DeleteFolderTree(const std::string& Folder) {
    if (!MayDeleteBelow(Folder)) return false;
    fs::path folder = fs::path(Folder).lexically_normal();
    if (!folder.has_filename()) folder = folder.parent_path(); // a trailing separator
    std::error_code ec;
    if (!fs::is_symlink(folder, ec) && fs::equivalent(fs::current_path(ec), folder, ec))
        fs::current_path(folder.parent_path(), ec);
    return RemoveTree(folder.string());
}

int FindFilesRecursive(const std::string& Folder, const std::string& Mask, std::vector<std::string>& List,
                       std::vector<std::string>* Unreadable) {
    // The names of Folder as it lists them, with the type the listing gives (a tree of thousands
    // of files is read without a status call for each plain file or folder); links and entries
    // of unknown type are looked at in the open folder.
    struct TListed {
        std::string Name;
        bool Folder = false; // a folder itself, else a regular file or a link to one
    };
    std::vector<TListed> listed;
    {
        const int fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(fd < 0 ? nullptr : ::fdopendir(fd), &::closedir);
        if (!dir) {
            if (Unreadable && errno != ENOENT) Unreadable->push_back(Folder);
            if (fd >= 0) ::close(fd);
            return 0;
        }
        while (const dirent* entry = ::readdir(dir.get())) {
            std::string name = entry->d_name;
            if (name == "." || name == ".." || !MatchesMask(name, Mask)) continue;
            unsigned char type = entry->d_type;
            struct stat st {};
            if (type == DT_UNKNOWN) {
                if (::fstatat(dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                type = S_ISDIR(st.st_mode)   ? DT_DIR
                       : S_ISREG(st.st_mode) ? DT_REG
                       : S_ISLNK(st.st_mode) ? DT_LNK
                                             : 0;
            }
            const bool linkToFile = type == DT_LNK &&
                                    ::fstatat(dirfd(dir.get()), entry->d_name, &st, 0) == 0 &&
                                    S_ISREG(st.st_mode);
            if (type == DT_DIR || type == DT_REG || linkToFile)
                listed.push_back({std::move(name), type == DT_DIR});
        }
    }
    std::sort(listed.begin(), listed.end(),
              [](const TListed& A, const TListed& B) { return A.Name < B.Name; });
    int count = 0;
    for (const TListed& entry : listed) {
        if (entry.Folder) {
            count += FindFilesRecursive(AddBackslash(Folder) + entry.Name, Mask, List, Unreadable);
        } else {
            List.push_back(AddBackslash(Folder) + entry.Name);
            ++count;
        }
    }
    return count;
}

int ListFolderFiles(const std::string& Folder, std::vector<std::string>& List,
                    std::vector<std::string>* Unreadable) {
    return FindFilesRecursive(Folder, "*.*", List, Unreadable);
}

std::string GetQuotedFileList(const std::string& Folder) {
    std::vector<std::string> files;
    FindFilesRecursive(Folder, "*.*", files);
    std::string list;
    for (const std::string& file : files)
        list += ' ' + QuoteArgument(file);
    return list;
}

std::string MakeNameExtFolder(const std::string& ArchiveName) {
    const std::size_t slash = ArchiveName.rfind('/');
    const std::size_t dot = ArchiveName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return ArchiveName + '_';
    return ArchiveName.substr(0, dot) + '_' + ArchiveName.substr(dot + 1);
}

bool IsValidFileName(const std::string& Name, bool LongNames) {
    using namespace std::string_view_literals;
    const std::string_view forbidden = LongNames ? "/\"<>\\|"sv : "/\"'+;<=>[\\]|"sv;
    return !Name.empty() && Name != "." && Name != ".." && Name.find('\0') == std::string::npos &&
           Name.find_first_of(forbidden) == std::string::npos;
}
