// The file scanner: walks folders and finds the files that match a set of wildcard masks and
// attribute filters, optionally in sub-folders too. It reports each file through events, keeps
// a sortable list of what it found and totals their count and size. Writers use it to gather
// the files they add.
#pragma once

#include "engine/core/krvWildMatch.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TDirWalk;
struct TDirEntry;

// The attributes that select files.
enum TkrvFileAttr : std::uint8_t {
    fsZeroAttr,  // no attribute at all (or "normal")
    fsReadOnly,  // 0x01
    fsHidden,    // 0x02
    fsSysFile,   // 0x04
    fsVolumeID,  // 0x08, never tested
    fsDirectory, // 0x10
    fsArchive,   // 0x20
};

class TkrvFileAttrs {
public:
    constexpr TkrvFileAttrs() = default;
    constexpr TkrvFileAttrs(std::initializer_list<TkrvFileAttr> Attrs) {
        for (TkrvFileAttr a : Attrs)
            Include(a);
    }
    constexpr bool Contains(TkrvFileAttr Attr) const { return (FBits >> Attr) & 1U; }
    constexpr void Include(TkrvFileAttr Attr) { FBits |= static_cast<std::uint8_t>(1U << Attr); }
    constexpr void Exclude(TkrvFileAttr Attr) { FBits &= static_cast<std::uint8_t>(~(1U << Attr)); }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr bool operator==(const TkrvFileAttrs&) const = default;

private:
    std::uint8_t FBits = 0;
};

// The set as DOS attribute bits (fsZeroAttr gives none).
std::uint8_t FileAttrsToDos(TkrvFileAttrs Attrs);
// True when file attributes Attr carry one of the attributes of Set.
bool HasFileAttr(std::uint32_t Attr, TkrvFileAttrs Set);

enum TfsScanOptions : std::uint8_t {
    soScanDir,  // scan the folders of the masks
    soScanDrvs, // scan from the root of the file system
};

enum TkrvSortOptions : std::uint8_t { soUnsort, soByName, soByType, soBySize, soByTime };

// One file (or folder) found.
struct TFileObject {
    std::string FullName;
    std::uint32_t Time = 0;   // last-write time as a packed DOS date-time of the local time
    std::uint32_t Attr = 0;   // fa... bits
    std::int64_t Size = 0;    // 0 for a folder
    std::time_t ModTime = 0;  // last-write time in seconds since 1970 (UTC)
    std::uint64_t Device = 0; // the file's device and inode as found (0: not known)
    std::uint64_t Inode = 0;
};

// The found files, kept in the order of their sort option.
class TFilesList {
public:
    // Adds a copy of Item: in order when a sort option is set (before equal items), else at the end.
    void Add(const TFileObject& Item);
    void Delete(std::size_t Index);
    void Clear() { FItems.clear(); }
    void Sort();
    // <0, 0 or >0 as A sorts before, with or after B.
    int Compare(const TFileObject& A, const TFileObject& B) const;
    // The first position whose item does not sort before Key.
    std::size_t Find(const TFileObject& Key) const;

    void SetSortOption(TkrvSortOptions Value);
    TkrvSortOptions SortOption() const { return FSortOption; }
    // Names and extensions compare with regard to case.
    void SetCaseSensitive(bool Value);
    bool CaseSensitive() const { return FCaseSensitive; }

    std::size_t Count() const { return FItems.size(); }
    bool Empty() const { return FItems.empty(); }
    const TFileObject& operator[](std::size_t Index) const { return FItems[Index]; }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    std::vector<TFileObject> FItems;
    TkrvSortOptions FSortOption = soUnsort;
    bool FCaseSensitive = false;
};

// One folder of FileSpec and its masks.
struct TMultiMask {
    std::string Folder; // with one trailing '/'
    std::vector<TInternalMask> Masks;
    bool Matches(std::string_view Name) const;
};

// Splits a text of masks separated by commas: leading and trailing blanks of each are dropped
// and "*.*" becomes "*". Empty masks are dropped; a text with none at all gives "*".
std::vector<std::string> ParseMaskList(std::string_view Text);

class TkrvFileScan {
public:
    using TOnScanFileEvent = std::function<void(TkrvFileScan& Sender, const std::string& FileName,
                                                int FilesCount, double FilesSize)>;
    using TOnFinishedEvent = std::function<void(TkrvFileScan& Sender, int FilesCount, double FilesSize)>;
    using TOnRootDirChange = std::function<void(TkrvFileScan& Sender, const std::string& Dir)>;
    using TOnRecurseDir = std::function<void(TkrvFileScan& Sender, const std::string& Directory)>;
    // A folder that cannot be opened or read to its end (Error: errno); what it holds is missing
    // from the scan.
    using TOnUnreadable = std::function<void(TkrvFileScan& Sender, const std::string& Folder, int Error)>;
    // A name without wildcards that names no file (Path: its folder and name).
    using TOnMissing = std::function<void(TkrvFileScan& Sender, const std::string& Path)>;
    // Receives each file taken (and each folder that passes the attribute test).
    using TTakeFileProc = std::function<void(TkrvFileScan& Sender, const TFileObject& Item)>;

    TkrvFileScan();
    TkrvFileScan(const TkrvFileScan&) = delete;
    TkrvFileScan& operator=(const TkrvFileScan&) = delete;
    virtual ~TkrvFileScan();

    // Gathers afresh; does nothing when called again from an event of a running scan.
    virtual void Scan();
    // Sets the cancel flag (through CancelFlag): the scan stops at the next entry.
    virtual void Cancel();

    // Masks, one per line, each with or without a folder; a line may hold several masks
    // separated by commas. Empty: every file ("*") of RootDir.
    std::vector<std::string> FileSpec;
    TkrvFileAttrs Attributes{fsArchive}; // taken when it has one of these
    TkrvFileAttrs AttributesEx;          // left out when it has one of these
    bool IncludeHiddenDirs = false;
    bool RecurseDirs = true;
    bool UpdateList = true;
    TfsScanOptions ScanOptions = soScanDir;

    // Folder scanned when FileSpec is empty; kept with one trailing '/'.
    void SetRootDir(const std::string& Value);
    const std::string& RootDir() const { return FRootDir; }
    // Re-sorts the list and fires OnFinished when it is not empty.
    void SetSorted(TkrvSortOptions Value);
    TkrvSortOptions Sorted() const { return FilesList.SortOption(); }

    TOnScanFileEvent OnScanFile;
    TOnFinishedEvent OnFinished;
    TOnRootDirChange OnRootDirChange;
    TOnRecurseDir OnRecurseDir;
    TOnUnreadable OnUnreadable;
    TOnMissing OnMissing;

    int FilesCount = 0;
    double FilesSize = 0; // the sum of the found files' sizes
    TFilesList FilesList;
    // The flag polled during the scan; a writer points it at its own.
    bool* CancelFlag = &FCancel;
    // Where found files go; empty: AddToList.
    TTakeFileProc TakeFile;

    // The default routine for found files: adds Item to FilesList.
    void AddToList(const TFileObject& Item);
    // The folder groups of FileSpec as the last Scan built them.
    const std::vector<TMultiMask>& MaskGroups() const { return FGroups; }

private:
    void BuildGroups();
    void RunScanRoutine(const std::string& Folder, const TMultiMask& Group);
    void ScanFolder(TDirWalk& Dir, const std::string& Folder, const TMultiMask& Group);
    void TakeEntry(const std::string& Folder, const TDirEntry& Entry, const TMultiMask& Group);
    bool Cancelled() const { return CancelFlag && *CancelFlag; }
    bool OnActivePath(const struct stat& St) const;
    void Unreadable(const std::string& Folder, int Error);

    std::string FRootDir = "/";
    bool FCancel = false;
    bool FScanning = false;
    std::vector<TMultiMask> FGroups;
    // Device and inode of the folders on the path being scanned, so that a link back to one of
    // them is not followed.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> FActivePath;
};
