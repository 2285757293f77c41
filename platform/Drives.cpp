#include "platform/Drives.h"

#include "platform/FileAttributes.h"
#include "platform/Process.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::unique_ptr<TDrives>& InstalledDrives() {
    static std::unique_ptr<TDrives> drives = std::make_unique<TDrives>();
    return drives;
}

std::string RealPath(const std::string& Path) {
    char* resolved = ::realpath(Path.c_str(), nullptr);
    if (!resolved) return {};
    std::string result(resolved);
    std::free(resolved);
    return result;
}

std::string ReadText(const std::string& FileName) {
    std::ifstream in(FileName, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// mountinfo escapes blanks, tabs, newlines and backslashes as three octal digits.
std::string DecodeOctalEscapes(const std::string& Text) {
    std::string out;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '\\' && i + 3 < Text.size()) {
            const char a = Text[i + 1], b = Text[i + 2], c = Text[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += Text[i];
    }
    return out;
}

bool IsPathPrefix(const std::string& Prefix, const std::string& Path) {
    if (Prefix == "/") return !Path.empty() && Path[0] == '/';
    return Path.compare(0, Prefix.size(), Prefix) == 0 &&
           (Path.size() == Prefix.size() || Path[Prefix.size()] == '/');
}

bool MountFor(const std::string& Path, TMountEntry& Entry) {
    const std::string resolved = RealPath(Path);
    if (resolved.empty()) return false;
    return FindMountFor(ReadText("/proc/self/mountinfo"), resolved, Entry);
}

// The block device behind a mount source, as its name under /sys/class/block.
std::string BlockDeviceName(const std::string& Source) {
    if (Source.rfind("/dev/", 0) != 0) return {};
    const std::string dev = RealPath(Source);
    if (dev.empty()) return {};
    return dev.substr(dev.find_last_of('/') + 1);
}

bool IsRemovableDevice(const std::string& Source) {
    const std::string name = BlockDeviceName(Source);
    if (name.empty()) return false;
    std::string sys = RealPath("/sys/class/block/" + name);
    if (sys.empty()) return false;
    // A partition's removable flag is its disk's.
    struct stat st {};
    if (::stat((sys + "/partition").c_str(), &st) == 0) sys = sys.substr(0, sys.find_last_of('/'));
    const std::string flag = ReadText(sys + "/removable");
    return !flag.empty() && flag[0] == '1';
}

std::string LabelOfDevice(const std::string& Source) {
    const std::string device = RealPath(Source);
    if (device.empty()) return {};
    const std::string dirName = "/dev/disk/by-label";
    TDirWalk dir;
    if (!dir.Open(dirName)) return {};
    TDirEntry entry;
    while (dir.Next(entry))
        if (RealPath(dirName + "/" + entry.Name) == device) return DecodeUdevName(entry.Name);
    return {};
}

} // namespace

bool ParseMountInfoLine(const std::string& Line, TMountEntry& Entry) {
    // id parent major:minor root mountpoint options [optional fields] - fstype source superoptions
    std::istringstream in(Line);
    std::vector<std::string> fields;
    for (std::string f; in >> f;)
        fields.push_back(f);
    std::size_t dash = 0;
    while (dash < fields.size() && fields[dash] != "-")
        ++dash;
    if (fields.size() < 6 || dash + 2 >= fields.size() || dash < 6) return false;
    Entry.MountPoint = DecodeOctalEscapes(fields[4]);
    Entry.FsType = fields[dash + 1];
    Entry.Source = DecodeOctalEscapes(fields[dash + 2]);
    const std::string options = "," + fields[5] + ",";
    Entry.ReadOnly = options.find(",ro,") != std::string::npos;
    return true;
}

bool FindMountFor(const std::string& MountInfoText, const std::string& Path, TMountEntry& Entry) {
    std::istringstream in(MountInfoText);
    bool found = false;
    std::size_t best = 0;
    for (std::string line; std::getline(in, line);) {
        TMountEntry e;
        if (!ParseMountInfoLine(line, e) || !IsPathPrefix(e.MountPoint, Path)) continue;
        // Later lines over the same point hide earlier ones, so ">=".
        if (!found || e.MountPoint.size() >= best) {
            Entry = e;
            best = e.MountPoint.size();
            found = true;
        }
    }
    return found;
}

std::string DecodeUdevName(const std::string& Name) {
    std::string out;
    for (std::size_t i = 0; i < Name.size(); ++i) {
        if (Name[i] == '\\' && i + 3 < Name.size() && Name[i + 1] == 'x') {
            const std::string hex = Name.substr(i + 2, 2);
            char* end = nullptr;
            const long v = std::strtol(hex.c_str(), &end, 16);
            if (end == hex.c_str() + 2) {
                out += static_cast<char>(v);
                i += 3;
                continue;
            }
        }
        out += Name[i];
    }
    return out;
}

std::string TDrives::RootOf(const std::string& Path) {
    TMountEntry e;
    return MountFor(Path, e) ? e.MountPoint : std::string();
}

bool TDrives::GetDiskSpace(const std::string& Path, std::uint64_t& FreeBytes, std::uint64_t& TotalBytes) {
    struct statvfs vfs {};
    if (::statvfs(Path.c_str(), &vfs) != 0) return false;
    FreeBytes = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    TotalBytes = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    return true;
}

bool TDrives::GetVolumeInfo(const std::string& Path, TVolumeInfo& Info) {
    struct statvfs vfs {};
    if (::statvfs(Path.c_str(), &vfs) != 0) return false;
    Info.Serial = static_cast<std::uint32_t>(vfs.f_fsid);
    Info.Label.clear();
    TMountEntry e;
    if (MountFor(Path, e)) Info.Label = LabelOfDevice(e.Source);
    return true;
}

TDriveKind TDrives::GetDriveKind(const std::string& Path) {
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0) return dkNoRootDir;
    TMountEntry e;
    if (!MountFor(Path, e)) return dkUnknown;
    const std::string& t = e.FsType;
    if (t == "nfs" || t == "nfs4" || t == "cifs" || t == "smb3" || t == "smbfs" || t == "fuse.sshfs" ||
        t == "9p" || t == "afs")
        return dkRemote;
    if (t == "iso9660" || t == "udf") return dkCDRom;
    if (t == "tmpfs" || t == "ramfs") return dkRamDisk;
    if (IsRemovableDevice(e.Source)) return dkRemovable;
    return dkFixed;
}

bool TDrives::IsWriteProtected(const std::string& Path) {
    struct statvfs vfs {};
    if (::statvfs(Path.c_str(), &vfs) != 0) return false;
    return (vfs.f_flag & ST_RDONLY) != 0;
}

bool TDrives::SetVolumeLabel(const std::string& Path, const std::string& Label) {
    TMountEntry e;
    if (!MountFor(Path, e)) return false;
    const std::string& t = e.FsType;
    if ((t != "vfat" && t != "msdos" && t != "fat") || e.Source.rfind("/dev/", 0) != 0) return false;
    // The tool's messages would only reach the program's terminal; its status says it all.
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    pid_t pid = 0;
    const bool started = SpawnProcess({"fatlabel", e.Source, Label}, {}, pid, quiet);
    if (quiet >= 0) ::close(quiet);
    return started && WaitForProcess(pid, 50, [] {}) == 0;
}

TDrives& TDrives::Current() {
    return *InstalledDrives();
}

std::unique_ptr<TDrives> TDrives::Install(std::unique_ptr<TDrives> Drives) {
    if (!Drives) Drives = std::make_unique<TDrives>();
    return std::exchange(InstalledDrives(), std::move(Drives));
}
