#include "platform/FileAttributes.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <set>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// A listening Unix socket at Path, closed on destruction (the socket file stays).
class TSocketFile {
public:
    explicit TSocketFile(const fs::path& Path) {
        FFd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::string p = Path.string();
        if (FFd < 0 || p.size() >= sizeof(addr.sun_path)) return;
        p.copy(addr.sun_path, p.size());
        Bound = bind(FFd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0;
    }
    ~TSocketFile() {
        if (FFd >= 0) close(FFd);
    }
    TSocketFile(const TSocketFile&) = delete;
    TSocketFile& operator=(const TSocketFile&) = delete;
    bool Bound = false;

private:
    int FFd = -1;
};

} // namespace

TEST(FileAttributes, RegularFilesFoldersAndHiddenNames) {
    TempDir dir;
    WriteFile(dir / "plain.txt", "x");
    WriteFile(dir / ".profile", "x");
    fs::create_directory(dir / "folder");
    fs::create_directory(dir / ".config");

    EXPECT_EQ(FileAttributesOf((dir / "plain.txt").string()), faArchive);
    EXPECT_EQ(FileAttributesOf((dir / ".profile").string()), faArchive | faHidden);
    EXPECT_EQ(FileAttributesOf((dir / "folder").string()), faDirectory);
    EXPECT_EQ(FileAttributesOf((dir / ".config").string()), faDirectory | faHidden);
    EXPECT_EQ(FileAttributesOf((dir / ".config").string() + "/"), faDirectory | faHidden);
    // "." and ".." are no hidden names.
    EXPECT_EQ(FileAttributesOf((dir / "folder").string() + "/."), faDirectory);
    EXPECT_EQ(FileAttributesOf((dir / "folder").string() + "/.."), faDirectory);
    EXPECT_EQ(FileAttributesOf("/"), faDirectory);
    EXPECT_EQ(FileAttributesOf((dir / "missing").string()), faInvalid);
    EXPECT_EQ(FileAttributesOf(""), faInvalid);
}

TEST(FileAttributes, ReadOnlyIsTheMissingOwnerWriteBit) {
    TempDir dir;
    WriteFile(dir / "ro.txt", "x");
    WriteFile(dir / "group-writable.txt", "x");
    fs::create_directory(dir / "ro-folder");
    fs::permissions(dir / "ro.txt", fs::perms::owner_read | fs::perms::group_read);
    fs::permissions(dir / "group-writable.txt", fs::perms::owner_read | fs::perms::group_write);
    fs::permissions(dir / "ro-folder", fs::perms::owner_read | fs::perms::owner_exec);

    EXPECT_EQ(FileAttributesOf((dir / "ro.txt").string()), faArchive | faReadOnly);
    EXPECT_EQ(FileAttributesOf((dir / "group-writable.txt").string()), faArchive | faReadOnly);
    EXPECT_EQ(FileAttributesOf((dir / "ro-folder").string()), faDirectory | faReadOnly);
}

TEST(FileAttributes, SpecialFilesAreSystemAndLinksAreFollowed) {
    TempDir dir;
    WriteFile(dir / "target.txt", "x");
    fs::create_directory(dir / "folder");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    TSocketFile sock(dir / "sock");
    ASSERT_TRUE(sock.Bound);
    fs::create_symlink("target.txt", dir / "file-link");
    fs::create_symlink("folder", dir / "folder-link");
    fs::create_symlink("nowhere", dir / "dangling");
    fs::create_symlink("/dev/null", dir / "device-link");

    EXPECT_EQ(FileAttributesOf((dir / "fifo").string()), faSysFile);
    EXPECT_EQ(FileAttributesOf((dir / "sock").string()), faSysFile);
    EXPECT_EQ(FileAttributesOf("/dev/null"), faSysFile);
    EXPECT_EQ(FileAttributesOf((dir / "device-link").string()), faSysFile);
    EXPECT_EQ(FileAttributesOf((dir / "dangling").string()), faSysFile);
    EXPECT_EQ(FileAttributesOf((dir / "file-link").string()), faArchive);
    EXPECT_EQ(FileAttributesOf((dir / "folder-link").string()), faDirectory);

    struct stat st {};
    ASSERT_EQ(stat((dir / "fifo").c_str(), &st), 0);
    EXPECT_FALSE(IsPlainFileOrDir(st));
    ASSERT_EQ(stat((dir / "target.txt").c_str(), &st), 0);
    EXPECT_TRUE(IsPlainFileOrDir(st));
    EXPECT_EQ(AttributesFromStat(st, ".x"), faArchive | faHidden);
}

TEST(DirWalk, ListsEntriesWithTheirStatus) {
    TempDir dir;
    WriteFile(dir / "a.txt", "12345");
    WriteFile(dir / ".hidden", "");
    fs::create_directory(dir / "sub");
    WriteFile(dir / "sub" / "inner", "x");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);

    TDirWalk walk;
    ASSERT_TRUE(walk.Open(dir.Str()));
    std::set<std::string> names;
    TDirEntry entry;
    while (walk.Next(entry)) {
        names.insert(entry.Name);
        if (entry.Name == "a.txt") {
            EXPECT_EQ(entry.Stat.st_size, 5);
            EXPECT_EQ(entry.Attr, faArchive);
        }
        if (entry.Name == "fifo") {
            EXPECT_EQ(entry.Attr, faSysFile);
        }
    }
    EXPECT_EQ(walk.Error(), 0);
    EXPECT_EQ(names, (std::set<std::string>{"a.txt", ".hidden", "sub", "fifo"}));

    TDirWalk sub;
    ASSERT_TRUE(sub.OpenAt(walk, "sub"));
    ASSERT_TRUE(sub.Next(entry));
    EXPECT_EQ(entry.Name, "inner");
    EXPECT_FALSE(sub.Next(entry));
}

TEST(DirWalk, RefusesWhatIsNoFolderWithoutOpeningIt) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);

    TDirWalk walk;
    // A FIFO with no writer would block an ordinary open; this must fail at once.
    EXPECT_FALSE(walk.Open((dir / "fifo").string()));
    EXPECT_EQ(walk.Error(), ENOTDIR);
    EXPECT_FALSE(walk.Open((dir / "file").string()));
    EXPECT_EQ(walk.Error(), ENOTDIR);
    EXPECT_FALSE(walk.Open((dir / "missing").string()));
    EXPECT_EQ(walk.Error(), ENOENT);
    EXPECT_FALSE(walk.IsOpen());
    TDirEntry entry;
    EXPECT_FALSE(walk.Next(entry));

    ASSERT_TRUE(walk.Open(dir.Str()));
    TDirWalk child;
    EXPECT_FALSE(child.OpenAt(walk, "fifo"));
    EXPECT_EQ(child.Error(), ENOTDIR);
}
