// Gathering the files of a writer job and merging them with the entries of the old archive,
// then the walk that writes each record.
#include "engine/core/krvCompBase.h"

#include "engine/core/krvDates.h"
#include "engine/core/krvGbls.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace {

// A handler that keeps answering with names already taken is asked no more than this.
constexpr int MaxRenameQuestions = 100;

} // namespace

void TCompBase::AddEntryRecord(TCompHeaderObj& List, const void* Header, const std::string& Name,
                               std::uint16_t Kind, TCompEntry Data) {
    List.Add(Header, Name, Kind, nullptr, 0);
    FEntries.push_back(std::move(Data));
    FNameIndex[Name] = List.Count() - 1;
}

std::string TCompBase::StoredNameOf(const std::string& FullName) const {
    std::string name = ApplyStoredDirNames(StoredDirNames, FullName, FGroupDir, FExplorerDir);
    // Archive names are relative: a leading separator would point outside any destination.
    const std::size_t start = name.find_first_not_of('/');
    return start == std::string::npos ? std::string() : name.substr(start);
}

void TCompBase::ProcessFileList(TCompHeaderObj& List) {
    if (Switch != swDelete) {
        TkrvFileScan scan;
        scan.FileSpec = FileSpec;
        scan.RecurseDirs = RecurseDirs;
        scan.IncludeHiddenDirs = IncludeHiddenDirs;
        scan.Attributes = Attributes;
        if (StoresEmptyFolders()) scan.Attributes.Include(fsDirectory);
        scan.AttributesEx = AttributesEx;
        scan.CancelFlag = CancelPtr;
        scan.UpdateList = true;
        scan.OnScanFile = [this](TkrvFileScan&, const std::string& Name, int Count, double Size) {
            if (OnFileScanStatus) OnFileScanStatus(*this, Name, Count, Size);
        };
        scan.OnRecurseDir = [this](TkrvFileScan&, const std::string& Dir) {
            if (OnRecurseDir) OnRecurseDir(*this, Dir);
        };
        // A folder that cannot be read leaves its files out: the add names it and fails.
        scan.OnUnreadable = [this](TkrvFileScan&, const std::string& Folder, int Error) {
            const bool slash = Folder.size() > 1 && Folder.back() == '/';
            ReportError(slash ? Folder.substr(0, Folder.size() - 1) : Folder, std::strerror(Error), "0",
                        ecErrorOpeningFile);
        };
        // So does a file named that is not there.
        scan.OnMissing = [this](TkrvFileScan&, const std::string& Path) {
            ReportError(Path, "", "0", ecFileNotFound);
        };
        scan.OnRootDirChange = [this](TkrvFileScan&, const std::string& Dir) {
            FGroupDir = AppendBackslash(Dir);
        };
        scan.TakeFile = [this](TkrvFileScan&, const TFileObject& Item) { AddToList(Item); };
        scan.Scan();
        JobTotal = scan.FilesSize;
        BytesToDo = JobTotal;
    }
    CheckCancel();
    if (Switch != swDelete && !FSomethingToDo) {
        ReportError(ArchiveFile(), "", "0", ecNothingToDo);
        List.Clear();
        FEntries.clear();
        return;
    }
    CheckLimits(List);

    Timer.Start();
    StartPrefetch(List);
    // The workers stop with the run, however it ends.
    const TScopeExit stopPrefetch{[this] { StopPrefetch(); }};
    for (int i = 0; i < List.Count(); ++i) {
        CheckCancel();
        FilesProcessed = i + 1;
        TCompEntry& e = Entry(i);
        switch (List.Value(i)) {
        case hkAdd: {
            if (e.IsDir && !StoresEmptyFolders()) {
                List.SetValue(i, hkDrop);
                break;
            }
            const std::int64_t before = FOutput->Position();
            FAddStart = before;
            const bool ok = AddFile(List, i);
            CheckCancel();
            if (ok) {
                ++FFilesAdded;
                if (Switch == swMove && !e.IsDir && !VerifyBeforeDelete) FMoveList.push_back(e.SourcePath);
                break;
            }
            // Not added: nothing of it stays in the output, and the entry it was to replace is kept.
            FOutput->SetSize(before);
            FOutput->Seek(before, soBeginning);
            List.SetValue(i, hkDrop);
            if (e.Replaces >= 0) {
                const int old = e.Replaces;
                Entry(old).ReplacedBy = -1;
                List.SetValue(old, hkKeep);
                CopyKeptEntry(List, old);
            }
            break;
        }
        case hkKeep:
            CopyKeptEntry(List, i);
            break;
        case hkDrop:
            if (e.OldOffset >= 0 && e.ReplacedBy < 0) {
                ++FFilesDeleted;
                if (OnDeleteFile) OnDeleteFile(*this, List.Name(i), FFilesDeleted, List.Count());
            }
            break;
        case hkRename:
            CopyEntry(List, i);
            break;
        default:
            break;
        }
    }
}

void TCompBase::AddToList(const TFileObject& Item) {
    const bool isDir = (Item.Attr & faDirectory) != 0;
    if (isDir && (!StoresEmptyFolders() || !IsDirEmpty(Item.FullName))) return;
    // The archive being written and the old archive are never gathered into it (the scan says
    // which file it found; a name given otherwise is looked at).
    struct stat st {};
    if (Item.Inode != 0 ? NeverGathered(Item.Device, Item.Inode)
                        : ::stat(Item.FullName.c_str(), &st) == 0 && NeverGathered(st))
        return;
    std::string name = StoredNameOf(Item.FullName);
    if (name.empty()) return;
    if (isDir && name.back() != '/') name += '/';
    FileName = name;
    if (IsExcluded(name, FGroupDir)) return;
    MaxFileDate = std::max(MaxFileDate, Item.Time);
    AddHeaderRecord(name, Item.FullName, Item.Attr, Item.Time, Item.Size);
}

void TCompBase::AddHeaderRecord(const std::string& Name, const std::string& SourcePath, std::uint32_t Attr,
                                std::uint32_t Date, std::int64_t Size) {
    TCompFileInfo info;
    info.Size = Size;
    info.DosDate = Date;
    info.Attr = Attr & 0xFF;
    int replaces = -1;

    const auto found = FNameIndex.find(Name);
    if (found == FNameIndex.end()) {
        if (Switch == swRefresh) return;
    } else {
        const int index = found->second;
        TCompEntry& old = Entry(index);
        if (old.OldOffset < 0) return; // gathered twice in this run
        // A folder the archive holds already has nothing to replace: it stays, unasked.
        if (old.IsDir && (Attr & faDirectory)) return;
        TCompFileInfo oldInfo;
        HeaderToInfo(FList->GetHeader(index), oldInfo);
        const bool same = oldInfo.Size == info.Size && oldInfo.DosDate == info.DosDate &&
                          (oldInfo.Attr & 0xFF) == (info.Attr & 0xFF);
        bool replace = false;
        if (Switch == swRefresh) {
            if (same) return;
            replace = true;
        } else if (!same) {
            if (!OnReplaceFile) {
                ReportError(SourcePath, "OnReplaceFile", "0", ecRequiredEventNotAssigned);
            } else {
                TkrvTimerPause pause(Timer);
                OnReplaceFile(*this, Name, SourcePath, DosDateToDateTime(oldInfo.DosDate),
                              DosDateToDateTime(info.DosDate), oldInfo.Size, info.Size,
                              static_cast<int>(oldInfo.Attr), static_cast<int>(info.Attr), replace);
            }
        }
        if (replace) {
            if (FList->Value(index) == hkRename) return; // already renamed away: nothing to replace
            replaces = index;
        } else {
            if (!OnRenameDupeFile) {
                ReportError(SourcePath, "OnRenameDupeFile", "0", ecRequiredEventNotAssigned);
                return;
            }
            std::string newName;
            bool renamed = false;
            {
                TkrvTimerPause pause(Timer);
                for (int asked = 0; asked < MaxRenameQuestions; ++asked) {
                    newName = FList->Name(index);
                    bool rename = true;
                    OnRenameDupeFile(*this, Name, newName, rename);
                    if (!rename || newName.empty() || newName == FList->Name(index)) break;
                    if (FNameIndex.find(newName) == FNameIndex.end()) {
                        renamed = true;
                        break;
                    }
                }
            }
            if (!renamed) return; // the old entry stays, the file is not added
            FNameIndex.erase(FList->Name(index));
            FList->SetName(index, newName);
            FList->SetValue(index, hkRename);
            FNameIndex[newName] = index;
        }
    }

    if (GetHeadSize() == 0) return;
    const bool isDir = (Attr & faDirectory) != 0;
    if (isDir && !StoresEmptyFolders()) return;
    std::vector<std::uint8_t> header(static_cast<std::size_t>(GetHeadSize()), 0);
    InfoToHeader(header.data(), info);
    TCompEntry data;
    data.SourcePath = SourcePath;
    data.SourceSize = Size;
    data.IsDir = isDir;
    data.Replaces = replaces;
    AddEntryRecord(*FList, header.data(), Name, hkAdd, std::move(data));
    if (replaces >= 0) {
        FList->SetValue(replaces, hkDrop);
        Entry(replaces).ReplacedBy = FList->Count() - 1;
    }
    FSomethingToDo = true;
}

bool TCompBase::IsGatheredSource(const std::string& Path) const {
    return !Path.empty() && std::any_of(FEntries.begin(), FEntries.end(),
                                        [&Path](const TCompEntry& E) { return E.SourcePath == Path; });
}

bool TCompBase::DoBegin(std::string& Name, int Count, TCompHeaderObj& List, int Index) {
    bool proceed = true;
    if (OnBegin) {
        TkrvTimerPause pause(Timer);
        OnBegin(*this, Name, Count, proceed);
    }
    FileName = Name;
    if (!proceed || List.Value(Index) == hkRename || !OnRenameFile) return proceed;
    for (int asked = 0; asked < MaxRenameQuestions; ++asked) {
        std::string newName;
        OnRenameFile(*this, Name, newName);
        if (newName.empty() || newName == Name) break;
        if (FNameIndex.find(newName) == FNameIndex.end()) {
            FNameIndex.erase(Name);
            FNameIndex[newName] = Index;
            List.SetName(Index, newName);
            Name = newName;
            FileName = newName;
            break;
        }
    }
    return proceed;
}
