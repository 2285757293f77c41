#include "engine/core/krvFileScan.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvEntryLookup.h"
#include "engine/core/krvFindRec.h"
#include "engine/core/krvGbls.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace {

bool IsBlank(char C) {
    return C == ' ' || C == '\t';
}

std::string_view TrimBlanks(std::string_view Text) {
    while (!Text.empty() && IsBlank(Text.front()))
        Text.remove_prefix(1);
    while (!Text.empty() && IsBlank(Text.back()))
        Text.remove_suffix(1);
    return Text;
}

int CompareText(std::string_view A, std::string_view B, bool CaseSensitive) {
    const std::size_t n = std::min(A.size(), B.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto a = static_cast<unsigned char>(CaseSensitive ? A[i] : LowerCaseAscii(A[i]));
        const auto b = static_cast<unsigned char>(CaseSensitive ? B[i] : LowerCaseAscii(B[i]));
        if (a != b) return a < b ? -1 : 1;
    }
    return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

template <typename T> int Sign(T A, T B) {
    return A < B ? -1 : (A > B ? 1 : 0);
}

std::string CurrentFolder() {
    const std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
    return cwd ? AppendBackslash(cwd.get()) : std::string("./");
}

} // namespace

// ---- attributes ---------------------------------------------------------------------------

std::uint8_t FileAttrsToDos(TkrvFileAttrs Attrs) {
    std::uint8_t bits = 0;
    if (Attrs.Contains(fsReadOnly)) bits |= faReadOnly;
    if (Attrs.Contains(fsHidden)) bits |= faHidden;
    if (Attrs.Contains(fsSysFile)) bits |= faSysFile;
    if (Attrs.Contains(fsVolumeID)) bits |= faVolumeID;
    if (Attrs.Contains(fsDirectory)) bits |= faDirectory;
    if (Attrs.Contains(fsArchive)) bits |= faArchive;
    return bits;
}

bool HasFileAttr(std::uint32_t Attr, TkrvFileAttrs Set) {
    if (Set.Contains(fsZeroAttr) && (Attr == 0 || Attr == faNormal)) return true;
    // fsVolumeID is never tested: no file carries it.
    TkrvFileAttrs tested = Set;
    tested.Exclude(fsVolumeID);
    return (Attr & FileAttrsToDos(tested)) != 0;
}

// ---- the found-files list -----------------------------------------------------------------

int TFilesList::Compare(const TFileObject& A, const TFileObject& B) const {
    switch (FSortOption) {
    case soByName:
        return CompareText(A.FullName, B.FullName, FCaseSensitive);
    case soByType:
        return CompareText(FileExtOf(A.FullName), FileExtOf(B.FullName), FCaseSensitive);
    case soBySize:
        return Sign(A.Size, B.Size);
    case soByTime:
        return Sign(A.Time, B.Time);
    case soUnsort:
        break;
    }
    return 0;
}

std::size_t TFilesList::Find(const TFileObject& Key) const {
    const auto at = std::partition_point(FItems.begin(), FItems.end(),
                                         [&](const TFileObject& Item) { return Compare(Item, Key) < 0; });
    return static_cast<std::size_t>(at - FItems.begin());
}

void TFilesList::Add(const TFileObject& Item) {
    if (FSortOption == soUnsort)
        FItems.push_back(Item);
    else
        FItems.insert(FItems.begin() + static_cast<std::ptrdiff_t>(Find(Item)), Item);
}

void TFilesList::Delete(std::size_t Index) {
    if (Index < FItems.size()) FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(Index));
}

void TFilesList::Sort() {
    if (FSortOption == soUnsort) return;
    std::stable_sort(FItems.begin(), FItems.end(),
                     [&](const TFileObject& A, const TFileObject& B) { return Compare(A, B) < 0; });
}

void TFilesList::SetSortOption(TkrvSortOptions Value) {
    if (Value == FSortOption) return;
    FSortOption = Value;
    Sort();
}

void TFilesList::SetCaseSensitive(bool Value) {
    if (Value == FCaseSensitive) return;
    FCaseSensitive = Value;
    Sort();
}

// ---- masks --------------------------------------------------------------------------------

bool TMultiMask::Matches(std::string_view Name) const {
    return std::any_of(Masks.begin(), Masks.end(), [&](const TInternalMask& M) { return M.Matches(Name); });
}

std::vector<std::string> ParseMaskList(std::string_view Text) {
    std::vector<std::string> masks;
    for (;;) {
        const std::size_t comma = Text.find(',');
        const std::string_view mask = TrimBlanks(Text.substr(0, comma));
        // An empty piece (a stray comma) adds nothing: taken as "*" it would gather everything.
        if (!mask.empty()) masks.emplace_back(mask == "*.*" ? "*" : mask);
        if (comma == std::string_view::npos) break;
        Text.remove_prefix(comma + 1);
    }
    if (masks.empty()) masks.emplace_back("*");
    return masks;
}

// ---- the scanner --------------------------------------------------------------------------

TkrvFileScan::TkrvFileScan() = default;
TkrvFileScan::~TkrvFileScan() = default;

void TkrvFileScan::Cancel() {
    if (CancelFlag) *CancelFlag = true;
}

void TkrvFileScan::SetRootDir(const std::string& Value) {
    std::string dir = Value;
    while (dir.size() > 1 && dir.back() == PathDelim)
        dir.pop_back();
    FRootDir = dir.empty() ? dir : AppendBackslash(dir);
}

void TkrvFileScan::SetSorted(TkrvSortOptions Value) {
    FilesList.SetSortOption(Value);
    if (!FilesList.Empty() && OnFinished) OnFinished(*this, FilesCount, FilesSize);
}

void TkrvFileScan::AddToList(const TFileObject& Item) {
    FilesList.Add(Item);
}

// Groups the lines of FileSpec by folder. Within a group a mask is left out only when it is
// the same as one the group has already; two different masks are both kept, since one may
// find names the other does not.
void TkrvFileScan::BuildGroups() {
    FGroups.clear();
    // Each line as folder and name; the names without wildcards are looked up on disk together,
    // folder by folder (a link counts, whatever it points to).
    struct TLine {
        std::string Folder, Name;
        std::size_t Looked = SIZE_MAX; // index into the looked-up paths
    };
    std::vector<TLine> lines;
    std::vector<std::string> paths;
    std::string cwd;
    for (const std::string& line : FileSpec) {
        if (TrimBlanks(line).empty()) continue;
        const std::size_t slash = line.rfind(PathDelim);
        TLine item;
        if (slash == std::string::npos) {
            if (cwd.empty()) cwd = CurrentFolder();
            item.Folder = cwd;
            item.Name = line;
        } else {
            item.Folder = line.substr(0, slash + 1);
            item.Name = line.substr(slash + 1);
        }
        if (!item.Name.empty() && item.Name.find_first_of("*?") == std::string::npos) {
            item.Looked = paths.size();
            paths.push_back(JoinPath(item.Folder, item.Name));
        }
        lines.push_back(std::move(item));
    }
    // A list of thousands of names looks at them on disk: the host runs meanwhile.
    const std::vector<TEntryKind> kinds = LookUpEntries(paths, [] { EngineHost::PumpIfDue(); });

    std::unordered_map<std::string, std::size_t> groupOf;
    for (TLine& line : lines) {
        std::vector<TInternalMask> masks;
        // A name without wildcards that names an existing entry is that one entry, even when it
        // holds commas or blanks, and other names that differ only in case are not taken.
        if (line.Looked != SIZE_MAX && kinds[line.Looked] != TEntryKind::Missing) {
            masks.push_back(TInternalMask::Exact(line.Name));
        } else if (line.Looked != SIZE_MAX) {
            // A list of names: each is that very file, and one that is not there is named.
            for (const std::string& m : ParseMaskList(line.Name)) {
                if (m.find_first_of("*?") != std::string::npos) {
                    masks.emplace_back(m);
                    continue;
                }
                masks.push_back(TInternalMask::Exact(m));
                const std::string path = JoinPath(line.Folder, m);
                struct stat st {};
                if (::lstat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR) && OnMissing)
                    OnMissing(*this, path);
            }
        } else {
            for (const std::string& m : ParseMaskList(line.Name))
                masks.emplace_back(m);
        }

        // The group of the folder, found by name: a list of thousands of files in hundreds of
        // folders is grouped in one pass.
        const auto [at, added] = groupOf.try_emplace(line.Folder, FGroups.size());
        if (added) FGroups.push_back(TMultiMask{line.Folder, {}});
        TMultiMask* group = &FGroups[at->second];
        for (TInternalMask& m : masks)
            if (std::find(group->Masks.begin(), group->Masks.end(), m) == group->Masks.end())
                group->Masks.push_back(std::move(m));
        EngineHost::PumpIfDue();
    }
}

void TkrvFileScan::Scan() {
    // A scan started again from an event of the running one would pull its groups away.
    if (FScanning) return;
    FScanning = true;
    struct TDone {
        bool& Flag;
        ~TDone() { Flag = false; }
    } done{FScanning};

    FilesList.Clear();
    FilesCount = 0;
    FilesSize = 0;
    if (CancelFlag) *CancelFlag = false;

    BuildGroups();
    if (!FGroups.empty()) {
        for (const TMultiMask& group : FGroups) {
            if (Cancelled()) break;
            if (OnRootDirChange) OnRootDirChange(*this, group.Folder);
            RunScanRoutine(group.Folder, group);
        }
    } else if (!FRootDir.empty() && DirExists(FRootDir)) {
        TMultiMask group{FRootDir, {}};
        for (const std::string& m : ParseMaskList({}))
            group.Masks.emplace_back(m);
        FGroups.push_back(std::move(group));
        RunScanRoutine(FRootDir, FGroups.front());
    }

    if (OnFinished) OnFinished(*this, FilesCount, FilesSize);
}

// soScanDir scans the group's folder; soScanDrvs the root of the file system, the one place
// where every mounted drive can be reached.
void TkrvFileScan::RunScanRoutine(const std::string& Folder, const TMultiMask& Group) {
    const std::string start = ScanOptions == soScanDrvs ? std::string(1, PathDelim) : Folder;
    if (OnRecurseDir) OnRecurseDir(*this, start);
    TDirWalk dir;
    if (!dir.Open(start)) {
        // A folder named that does not exist holds nothing to find; one that is there but
        // cannot be read is reported.
        if (dir.Error() != ENOENT) Unreadable(start, dir.Error());
        return;
    }
    FActivePath.clear();
    FActivePath.emplace_back(dir.Stat().st_dev, dir.Stat().st_ino);
    ScanFolder(dir, start, Group);
    FActivePath.clear();
}

bool TkrvFileScan::OnActivePath(const struct stat& St) const {
    const std::pair<std::uint64_t, std::uint64_t> key{St.st_dev, St.st_ino};
    return std::find(FActivePath.begin(), FActivePath.end(), key) != FActivePath.end();
}

void TkrvFileScan::ScanFolder(TDirWalk& Dir, const std::string& Folder, const TMultiMask& Group) {
    TDirEntry entry;
    while (!Cancelled() && Dir.Next(entry)) {
        // FIFOs, sockets, devices and dangling links are never taken: opening one could block
        // or read without end.
        if (IsPlainFileOrDir(entry.Stat)) {
            if (HasFileAttr(entry.Attr, Attributes) && !HasFileAttr(entry.Attr, AttributesEx))
                TakeEntry(Folder, entry, Group);

            const bool isDir = (entry.Attr & faDirectory) != 0;
            const bool hidden = (entry.Attr & faHidden) != 0;
            if (isDir && RecurseDirs && (!hidden || IncludeHiddenDirs) && !Cancelled()) {
                // A link back to a folder on the current path would lead round for ever.
                if (!OnActivePath(entry.Stat)) {
                    const std::string sub = Folder + entry.Name + PathDelim;
                    if (OnRecurseDir) OnRecurseDir(*this, sub);
                    TDirWalk child;
                    if (!child.OpenAt(Dir, entry.Name)) {
                        // Gone since it was listed: nothing missed; unreadable: reported.
                        if (child.Error() != ENOENT) Unreadable(sub, child.Error());
                    } else if (!OnActivePath(child.Stat())) {
                        FActivePath.emplace_back(child.Stat().st_dev, child.Stat().st_ino);
                        ScanFolder(child, sub, Group);
                        FActivePath.pop_back();
                    }
                }
            }
        }
        EngineHost::PumpIfDue();
    }
    if (Dir.Error() != 0 && !Cancelled()) Unreadable(Folder, Dir.Error());
    // Names listed whose status may not be read: files of the folder that cannot be taken.
    if (Dir.Unreadable() > 0 && !Cancelled()) Unreadable(Folder, EACCES);
}

void TkrvFileScan::Unreadable(const std::string& Folder, int Error) {
    if (OnUnreadable) OnUnreadable(*this, Folder, Error);
}

void TkrvFileScan::TakeEntry(const std::string& Folder, const TDirEntry& Entry, const TMultiMask& Group) {
    const bool isDir = (Entry.Attr & faDirectory) != 0;
    // A folder too is taken only when the masks select it: adding one named file must not
    // bring along the empty folders beside it.
    if (!Group.Matches(Entry.Name)) return;

    TFileObject item;
    item.FullName = Folder + Entry.Name;
    item.Time = DosTimeOfStat(Entry.Stat);
    item.Attr = Entry.Attr;
    item.Size = isDir ? 0 : static_cast<std::int64_t>(Entry.Stat.st_size);
    item.ModTime = Entry.Stat.st_mtim.tv_sec;
    item.Device = Entry.Stat.st_dev;
    item.Inode = Entry.Stat.st_ino;

    if (!isDir) {
        ++FilesCount;
        FilesSize += static_cast<double>(item.Size);
        if (OnScanFile) OnScanFile(*this, item.FullName, FilesCount, FilesSize);
    }
    if (!UpdateList) return;
    if (TakeFile)
        TakeFile(*this, item);
    else
        AddToList(item);
}
