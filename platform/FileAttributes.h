// File attributes in the form the engine works with (the DOS/Windows attribute bits), taken
// from a file's status, and a folder walk that reads each entry's status without opening it.
//
// The mapping: read-only = the owner has no write permission; hidden = the name begins with
// '.'; directory = a folder; archive = every regular file; system = anything that is neither a
// regular file nor a folder (FIFOs, sockets, devices, dangling links). Symbolic links are
// followed: a link to a file is that file, a link to a folder is that folder.
#pragma once

#include <cstdint>
#include <dirent.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>

inline constexpr std::uint32_t faReadOnly = 0x01;
inline constexpr std::uint32_t faHidden = 0x02;
inline constexpr std::uint32_t faSysFile = 0x04;
inline constexpr std::uint32_t faVolumeID = 0x08;
inline constexpr std::uint32_t faDirectory = 0x10;
inline constexpr std::uint32_t faArchive = 0x20;
inline constexpr std::uint32_t faNormal = 0x80;
inline constexpr std::uint32_t faAnyFile = 0x3F;
// What FileAttributesOf answers for a path that cannot be read.
inline constexpr std::uint32_t faInvalid = 0xFFFFFFFF;

// The attributes of an entry called Name (its last path component) with status St.
std::uint32_t AttributesFromStat(const struct stat& St, std::string_view Name);
// The attributes of the file or folder at Path, or faInvalid when it does not exist.
std::uint32_t FileAttributesOf(const std::string& Path);
// True for a regular file or a folder: the only kinds the engine ever opens.
bool IsPlainFileOrDir(const struct stat& St);

// The status of Name in the folder open as DirFd: the link target's status, or the link's own
// when the target is missing. Never opens the entry. False when neither can be read.
bool StatEntryAt(int DirFd, const char* Name, struct stat& St);

// One entry of a folder.
struct TDirEntry {
    std::string Name;
    struct stat Stat {};
    std::uint32_t Attr = 0;
};

// An open folder, read entry by entry. It owns its descriptor; a sub-folder is opened relative
// to its parent, so depth is not limited by the length of a path.
class TDirWalk {
public:
    TDirWalk() = default;
    TDirWalk(TDirWalk&&) noexcept = default;
    TDirWalk& operator=(TDirWalk&&) noexcept = default;

    // Opens the folder at Path (a link to a folder is followed). False, with Error() set, when
    // it is no folder or cannot be read.
    bool Open(const std::string& Path);
    // Opens the sub-folder Name of the open folder Parent.
    bool OpenAt(const TDirWalk& Parent, const std::string& Name);
    void Close();

    bool IsOpen() const { return FDir != nullptr; }
    // errno of the last failure, 0 after a clean end of the folder.
    int Error() const { return FError; }
    // Status of the open folder itself.
    const struct stat& Stat() const { return FStat; }
    int Fd() const;

    // The next entry other than "." and ".."; entries whose status cannot be read are passed
    // over. False at the end of the folder or on a read error (see Error()).
    bool Next(TDirEntry& Entry);
    // Entries passed over because this user may not read their status (not those that vanished).
    int Unreadable() const { return FUnreadable; }

private:
    bool Adopt(int Fd);

    struct TCloseDir {
        void operator()(DIR* Dir) const { closedir(Dir); }
    };
    std::unique_ptr<DIR, TCloseDir> FDir;
    struct stat FStat {};
    int FError = 0;
    int FUnreadable = 0;
};
