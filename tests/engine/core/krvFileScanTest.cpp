#include "engine/core/krvFileScan.h"
#include "engine/core/EngineHost.h"
#include "engine/core/krvEntryLookup.h"
#include "platform/FileAttributes.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace testsupport;

namespace {

using TNames = std::set<std::string>;

// The found names relative to Root (which ends without a separator).
TNames FoundNames(const TkrvFileScan& Scan, const fs::path& Root) {
    const std::string prefix = Root.string() + "/";
    TNames names;
    for (const TFileObject& f : Scan.FilesList) {
        EXPECT_EQ(f.FullName.compare(0, prefix.size(), prefix), 0) << f.FullName;
        EXPECT_TRUE(names.insert(f.FullName.substr(prefix.size())).second) << f.FullName << " found twice";
    }
    return names;
}

std::vector<std::string> ListedNames(const TkrvFileScan& Scan, const fs::path& Root) {
    std::vector<std::string> names;
    for (const TFileObject& f : Scan.FilesList)
        names.push_back(f.FullName.substr(Root.string().size() + 1));
    return names;
}

void SetModTime(const fs::path& Path, std::time_t Time) {
    const timespec times[2] = {{Time, 0}, {Time, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, Path.c_str(), times, 0), 0);
}

// A small tree:  a.txt  b.doc  .profile  sub/c.txt  sub/deeper/d.txt  .secret/e.txt
void MakeTree(const TempDir& Dir) {
    WriteFile(Dir / "a.txt", "12345");
    WriteFile(Dir / "b.doc", "1");
    WriteFile(Dir / ".profile", "12");
    WriteFile(Dir / "sub" / "c.txt", "123");
    WriteFile(Dir / "sub" / "deeper" / "d.txt", "");
    WriteFile(Dir / ".secret" / "e.txt", "1234");
}

class TScanTest : public ::testing::Test {
protected:
    TempDir Dir;
    TkrvFileScan Scan;

    void ScanRoot() {
        Scan.SetRootDir(Dir.Str());
        Scan.Scan();
    }
};

} // namespace

TEST(FileScanMasks, ParseMaskList) {
    using V = std::vector<std::string>;
    EXPECT_EQ(ParseMaskList("*.txt"), V{"*.txt"});
    EXPECT_EQ(ParseMaskList("  *.txt ,  a b.doc  ,*.*"), (V{"*.txt", "a b.doc", "*"}));
    EXPECT_EQ(ParseMaskList(""), V{"*"});
    EXPECT_EQ(ParseMaskList(" , ,"), V{"*"});
    EXPECT_EQ(ParseMaskList("*.txt,"), V{"*.txt"}) << "a stray comma must not gather everything";
    EXPECT_EQ(ParseMaskList("*.*"), V{"*"});
}

TEST(FileScanMasks, AttributeSets) {
    EXPECT_EQ(FileAttrsToDos({}), 0);
    EXPECT_EQ(FileAttrsToDos({fsZeroAttr}), 0);
    EXPECT_EQ(FileAttrsToDos({fsReadOnly, fsHidden, fsSysFile, fsVolumeID, fsDirectory, fsArchive}), 0x3F);
    EXPECT_TRUE(HasFileAttr(faArchive | faReadOnly, {fsReadOnly}));
    EXPECT_FALSE(HasFileAttr(faArchive, {fsReadOnly, fsHidden}));
    EXPECT_TRUE(HasFileAttr(0, {fsZeroAttr}));
    EXPECT_TRUE(HasFileAttr(faNormal, {fsZeroAttr}));
    EXPECT_FALSE(HasFileAttr(faArchive, {fsZeroAttr}));
    EXPECT_FALSE(HasFileAttr(faVolumeID, {fsVolumeID})) << "the volume attribute is never tested";
    TkrvFileAttrs set{fsArchive};
    set.Include(fsHidden);
    set.Exclude(fsArchive);
    EXPECT_TRUE(set.Contains(fsHidden));
    EXPECT_FALSE(set.Contains(fsArchive));
}

TEST_F(TScanTest, RecursesAndTotals) {
    MakeTree(Dir);
    int finished = 0;
    std::vector<std::string> scanned;
    double runningSize = 0;
    Scan.OnScanFile = [&](TkrvFileScan&, const std::string& Name, int Count, double Size) {
        scanned.push_back(Name);
        EXPECT_EQ(Count, static_cast<int>(scanned.size()));
        // The running total of the files found so far.
        runningSize += static_cast<double>(fs::file_size(Name));
        EXPECT_EQ(Size, runningSize) << Name;
    };
    Scan.OnFinished = [&](TkrvFileScan& Sender, int Count, double Size) {
        ++finished;
        EXPECT_EQ(&Sender, &Scan);
        EXPECT_EQ(Count, 5);
        EXPECT_EQ(Size, 5 + 1 + 2 + 3 + 0);
    };
    ScanRoot();
    // Dot-files are found as hidden files; the hidden folder is not entered.
    EXPECT_EQ(FoundNames(Scan, Dir.Path()),
              (TNames{"a.txt", "b.doc", ".profile", "sub/c.txt", "sub/deeper/d.txt"}));
    EXPECT_EQ(Scan.FilesCount, 5);
    EXPECT_EQ(Scan.FilesSize, 11);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(scanned.size(), 5U);
    for (const TFileObject& f : Scan.FilesList) {
        EXPECT_EQ(f.Size, static_cast<std::int64_t>(fs::file_size(f.FullName)));
        EXPECT_EQ(f.Attr & ~faHidden, faArchive);
    }

    // A second scan starts afresh.
    Scan.OnScanFile = nullptr;
    Scan.OnFinished = nullptr;
    Scan.RecurseDirs = false;
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{"a.txt", "b.doc", ".profile"}));
    EXPECT_EQ(Scan.FilesCount, 3);
}

TEST_F(TScanTest, HiddenFilesAndFolders) {
    MakeTree(Dir);
    Scan.AttributesEx = {fsHidden};
    ScanRoot();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{"a.txt", "b.doc", "sub/c.txt", "sub/deeper/d.txt"}));

    Scan.AttributesEx = {};
    Scan.IncludeHiddenDirs = true;
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()),
              (TNames{"a.txt", "b.doc", ".profile", "sub/c.txt", "sub/deeper/d.txt", ".secret/e.txt"}));

    // Only hidden ones; the filters do not stop recursion into plain folders.
    // A hidden folder passes the filter like a file; it is listed, not counted.
    Scan.Attributes = {fsHidden};
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{".profile", ".secret"}));
    Scan.Attributes = {fsHidden, fsDirectory};
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{".profile", ".secret", "sub", "sub/deeper"}));
    EXPECT_EQ(Scan.FilesCount, 1) << "folders are listed but not counted";
}

TEST_F(TScanTest, ReadOnlyAndFolderFilters) {
    MakeTree(Dir);
    fs::permissions(Dir / "b.doc", fs::perms::owner_read);
    fs::permissions(Dir / "sub" / "c.txt", fs::perms::owner_read | fs::perms::group_read);

    Scan.Attributes = {fsReadOnly};
    ScanRoot();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{"b.doc", "sub/c.txt"}));

    Scan.Attributes = {fsArchive};
    Scan.AttributesEx = {fsReadOnly};
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{"a.txt", ".profile", "sub/deeper/d.txt"}));

    Scan.Attributes = {fsDirectory};
    Scan.AttributesEx = {};
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{".secret", "sub", "sub/deeper"}));
    EXPECT_EQ(Scan.FilesCount, 0);
    for (const TFileObject& f : Scan.FilesList) {
        EXPECT_EQ(f.Attr & ~faHidden, faDirectory);
        EXPECT_EQ(f.Size, 0);
    }

    // Every regular file carries the archive attribute, so "no attribute" finds nothing.
    Scan.Attributes = {fsZeroAttr};
    Scan.Scan();
    EXPECT_TRUE(Scan.FilesList.Empty());
}

TEST_F(TScanTest, SymlinkLoopsAreNotFollowedRoundAndRound) {
    WriteFile(Dir / "top.txt", "x");
    WriteFile(Dir / "a" / "in-a.txt", "x");
    WriteFile(Dir / "b" / "in-b.txt", "x");
    fs::create_symlink("..", Dir / "a" / "up");             // back to the root
    fs::create_symlink(".", Dir / "a" / "self");            // to itself
    fs::create_symlink(Dir.Path(), Dir / "a" / "absolute"); // the root again, by full path
    fs::create_symlink("../b", Dir / "a" / "to-b");         // a sibling: no loop, scanned again
    fs::create_symlink("../a", Dir / "b" / "to-a");         // b -> a -> b would loop
    fs::create_symlink("../top.txt", Dir / "b" / "file-link");

    std::vector<std::string> entered;
    Scan.OnRecurseDir = [&](TkrvFileScan&, const std::string& D) { entered.push_back(D); };
    ScanRoot();
    // a/to-b/to-a and b/to-a/to-b lead back to a folder on their own path and are not entered.
    EXPECT_EQ(FoundNames(Scan, Dir.Path()),
              (TNames{"top.txt", "a/in-a.txt", "b/in-b.txt", "b/file-link", "a/to-b/in-b.txt",
                      "a/to-b/file-link", "b/to-a/in-a.txt"}));
    const std::string root = Dir.Str() + "/";
    EXPECT_EQ(TNames(entered.begin(), entered.end()),
              (TNames{root, root + "a/", root + "a/to-b/", root + "b/", root + "b/to-a/"}));
    EXPECT_EQ(entered.size(), 5U);
}

TEST_F(TScanTest, SpecialFilesAreNeverTakenOrOpened) {
    WriteFile(Dir / "plain.txt", "x");
    WriteFile(Dir / "sub" / "inner.txt", "x");
    ASSERT_EQ(mkfifo((Dir / "pipe").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((Dir / "sub" / "pipe.txt").c_str(), 0644), 0);
    fs::create_symlink("/dev/null", Dir / "null.txt");
    fs::create_symlink("pipe", Dir / "pipe-link.txt");
    fs::create_symlink("missing", Dir / "dangling.txt");
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = (Dir / "sock.txt").string();
    ASSERT_LT(sockPath.size(), sizeof(addr.sun_path));
    sockPath.copy(addr.sun_path, sockPath.size());
    ASSERT_EQ(bind(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)), 0);

    // Even when system files are asked for, a FIFO must not stop the scan.
    Scan.Attributes = {fsZeroAttr, fsReadOnly, fsHidden, fsSysFile, fsDirectory, fsArchive};
    ScanRoot();
    close(sock);
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{"plain.txt", "sub", "sub/inner.txt"}));
    EXPECT_EQ(Scan.FilesCount, 2);
}

TEST_F(TScanTest, Sorting) {
    WriteFile(Dir / "b.zip", std::string(30, 'x'));
    WriteFile(Dir / "A.txt", std::string(10, 'x'));
    WriteFile(Dir / "c.TXT", std::string(20, 'x'));
    WriteFile(Dir / "sub" / "d.arj", std::string(5, 'x'));
    SetModTime(Dir / "b.zip", 1'600'000'000);
    SetModTime(Dir / "A.txt", 1'500'000'000);
    SetModTime(Dir / "c.TXT", 1'400'000'000);
    SetModTime(Dir / "sub" / "d.arj", 1'550'000'000);

    Scan.SetSorted(soBySize); // set before the scan: files are inserted in order
    ScanRoot();
    using V = std::vector<std::string>;
    EXPECT_EQ(ListedNames(Scan, Dir.Path()), (V{"sub/d.arj", "A.txt", "c.TXT", "b.zip"}));

    int finished = 0;
    Scan.OnFinished = [&](TkrvFileScan&, int Count, double) {
        ++finished;
        EXPECT_EQ(Count, 4);
    };
    Scan.SetSorted(soByTime);
    EXPECT_EQ(ListedNames(Scan, Dir.Path()), (V{"c.TXT", "A.txt", "sub/d.arj", "b.zip"}));
    EXPECT_EQ(finished, 1) << "a new order of a non-empty list is announced";
    for (std::size_t i = 1; i < Scan.FilesList.Count(); ++i)
        EXPECT_LT(Scan.FilesList[i - 1].ModTime, Scan.FilesList[i].ModTime);

    Scan.SetSorted(soByName);
    EXPECT_EQ(ListedNames(Scan, Dir.Path()), (V{"A.txt", "b.zip", "c.TXT", "sub/d.arj"}));
    Scan.FilesList.SetCaseSensitive(true);
    EXPECT_EQ(ListedNames(Scan, Dir.Path()), (V{"A.txt", "b.zip", "c.TXT", "sub/d.arj"}));

    Scan.FilesList.SetCaseSensitive(false);
    Scan.SetSorted(soByType);
    const V byType = ListedNames(Scan, Dir.Path());
    ASSERT_EQ(byType.size(), 4U);
    EXPECT_EQ(byType[0], "sub/d.arj");
    EXPECT_EQ(TNames(byType.begin() + 1, byType.begin() + 3), (TNames{"A.txt", "c.TXT"}))
        << ".txt equals .TXT";
    EXPECT_EQ(byType[3], "b.zip");
    Scan.FilesList.SetCaseSensitive(true);
    EXPECT_EQ(ListedNames(Scan, Dir.Path()), (V{"c.TXT", "sub/d.arj", "A.txt", "b.zip"}));

    // Insertion and lookup in a sorted list.
    TFileObject probe;
    probe.FullName = Dir.Str() + "/x";
    probe.Size = 20;
    Scan.FilesList.SetSortOption(soBySize);
    EXPECT_EQ(Scan.FilesList.Find(probe), 2U) << "the first item not smaller";
    Scan.FilesList.Add(probe);
    EXPECT_EQ(Scan.FilesList[2].FullName, probe.FullName) << "inserted before equal items";
    Scan.FilesList.Delete(2);
    Scan.FilesList.Delete(99);
    EXPECT_EQ(Scan.FilesList.Count(), 4U);

    Scan.OnFinished = nullptr;
    Scan.SetRootDir(Dir.Str() + "/missing");
    Scan.Scan();
    Scan.OnFinished = [&](TkrvFileScan&, int, double) { ++finished; };
    finished = 0;
    Scan.SetSorted(soUnsort);
    EXPECT_EQ(finished, 0) << "no announcement for an empty list";
}

TEST_F(TScanTest, MaskGroupsKeepEveryDifferentMask) {
    for (const char* name : {"file1.txt", "file10.txt", "file.txt", "FILE2.TXT", "other.txt", "file1.doc"})
        WriteFile(Dir / name, "x");
    WriteFile(Dir / "sub" / "file3.txt", "x");
    const std::string root = Dir.Str() + "/";

    int groups = 0;
    Scan.OnRootDirChange = [&](TkrvFileScan&, const std::string& Folder) {
        ++groups;
        EXPECT_EQ(Folder, root);
    };
    Scan.FileSpec = {root + "file?.txt", "", "   ", root + "file*.txt", root + "FILE?.TXT"};
    Scan.Scan();
    EXPECT_EQ(groups, 1);
    ASSERT_EQ(Scan.MaskGroups().size(), 1U);
    EXPECT_EQ(Scan.MaskGroups()[0].Masks.size(), 2U) << "only the exact duplicate is left out";
    EXPECT_EQ(FoundNames(Scan, Dir.Path()),
              (TNames{"file1.txt", "file10.txt", "file.txt", "FILE2.TXT", "sub/file3.txt"}));

    // The broader mask first does not hide the narrower one either.
    Scan.FileSpec = {root + "*.txt", root + "file?.doc"};
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{"file1.txt", "file10.txt", "file.txt", "FILE2.TXT",
                                                    "other.txt", "file1.doc", "sub/file3.txt"}));

    // Several masks on one line.
    Scan.RecurseDirs = false;
    Scan.FileSpec = {root + "file1.*, other.txt ,"};
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{"file1.txt", "file1.doc", "other.txt"}));
}

TEST_F(TScanTest, FoldersOfFileSpecAreGroups) {
    WriteFile(Dir / "one" / "a.txt", "x");
    WriteFile(Dir / "one" / "b.doc", "x");
    WriteFile(Dir / "two" / "c.txt", "x");
    std::vector<std::string> groups;
    Scan.OnRootDirChange = [&](TkrvFileScan&, const std::string& Folder) { groups.push_back(Folder); };
    Scan.FileSpec = {(Dir / "one" / "*.txt").string(), (Dir / "two" / "*").string(),
                     (Dir / "one" / "*.doc").string()};
    Scan.Scan();
    EXPECT_EQ(groups, (std::vector<std::string>{(Dir / "one").string() + "/", (Dir / "two").string() + "/"}));
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{"one/a.txt", "one/b.doc", "two/c.txt"}));

    // A line that names a folder with a trailing separator takes all of it.
    Scan.FileSpec = {(Dir / "two").string() + "/"};
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{"two/c.txt"}));
}

TEST_F(TScanTest, ExistingNamesAreTakenAsTheyStand) {
    WriteFile(Dir / "a,b.txt", "x");
    WriteFile(Dir / "a", "x");
    WriteFile(Dir / "Makefile", "x");
    WriteFile(Dir / "makefile", "x");
    WriteFile(Dir / " spaced ", "x");
    const std::string root = Dir.Str() + "/";
    Scan.RecurseDirs = false;

    Scan.FileSpec = {root + "a,b.txt"};
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{"a,b.txt"}));

    Scan.FileSpec = {root + "Makefile"};
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{"Makefile"}));

    Scan.FileSpec = {root + " spaced "};
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{" spaced "}));

    // A name that does not exist is a list: commas separate, and each name is that very file
    // (a name that matches one only when case is ignored is not it), or named as missing.
    std::vector<std::string> missing;
    Scan.OnMissing = [&missing](TkrvFileScan&, const std::string& Path) { missing.push_back(Path); };
    Scan.FileSpec = {root + "makefile,a"};
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), (TNames{"makefile", "a"}));
    EXPECT_TRUE(missing.empty());
    Scan.FileSpec = {root + "MAKEFILE,A"};
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), TNames{});
    EXPECT_EQ(missing, (std::vector<std::string>{root + "MAKEFILE", root + "A"}));

    // The same among many names of one folder, which is then read once for all of them.
    Scan.FileSpec = {root + "a,b.txt", root + "Makefile", root + "makefile,a"};
    TNames expected = {"a,b.txt", "Makefile", "makefile", "a"};
    for (int i = 0; i < 8; ++i) {
        const std::string name = "n" + std::to_string(i);
        WriteFile(Dir / name, "x");
        Scan.FileSpec.push_back(root + name);
        expected.insert(name);
    }
    Scan.Scan();
    EXPECT_EQ(FoundNames(Scan, Dir.Path()), expected);
}

TEST_F(TScanTest, LinesWithoutFolderUseTheCurrentFolder) {
    WriteFile(Dir / "here.xyz", "x");
    const fs::path previous = fs::current_path();
    fs::current_path(Dir.Path());
    std::string group;
    Scan.OnRootDirChange = [&](TkrvFileScan&, const std::string& Folder) { group = Folder; };
    Scan.FileSpec = {"*.xyz"};
    Scan.Scan();
    fs::current_path(previous);
    EXPECT_EQ(group, fs::canonical(Dir.Path()).string() + "/");
    ASSERT_EQ(Scan.FilesList.Count(), 1U);
    EXPECT_EQ(Scan.FilesList[0].FullName, group + "here.xyz");
}

TEST_F(TScanTest, RootDirAndEmptyScans) {
    Scan.SetRootDir("/some//where///");
    EXPECT_EQ(Scan.RootDir(), "/some//where/");
    Scan.SetRootDir("/");
    EXPECT_EQ(Scan.RootDir(), "/");
    EXPECT_EQ(TkrvFileScan().RootDir(), "/");

    int finished = 0;
    Scan.OnFinished = [&](TkrvFileScan&, int Count, double) {
        ++finished;
        EXPECT_EQ(Count, 0);
    };
    Scan.SetRootDir(Dir.Str() + "/missing");
    Scan.Scan();
    Scan.SetRootDir("");
    Scan.Scan();
    EXPECT_EQ(finished, 2);
    EXPECT_TRUE(Scan.FilesList.Empty());

    // Scanning from the file system's root, without recursion, just to see that it starts there.
    std::vector<std::string> entered;
    Scan.OnRecurseDir = [&](TkrvFileScan&, const std::string& D) { entered.push_back(D); };
    Scan.ScanOptions = soScanDrvs;
    Scan.RecurseDirs = false;
    Scan.FileSpec = {Dir.Str() + "/*.no-such-extension-here"};
    Scan.Scan();
    EXPECT_EQ(entered, std::vector<std::string>{"/"});
}

TEST_F(TScanTest, UpdateListAndOwnTakeRoutine) {
    MakeTree(Dir);
    Scan.UpdateList = false;
    ScanRoot();
    EXPECT_TRUE(Scan.FilesList.Empty());
    EXPECT_EQ(Scan.FilesCount, 5);

    std::vector<TFileObject> taken;
    Scan.UpdateList = true;
    Scan.Attributes = {fsArchive, fsDirectory};
    Scan.TakeFile = [&](TkrvFileScan&, const TFileObject& F) { taken.push_back(F); };
    Scan.Scan();
    EXPECT_TRUE(Scan.FilesList.Empty());
    TNames names;
    for (const TFileObject& f : taken)
        names.insert(f.FullName.substr(Dir.Str().size() + 1));
    EXPECT_EQ(names, (TNames{"a.txt", "b.doc", ".profile", ".secret", "sub", "sub/c.txt", "sub/deeper",
                             "sub/deeper/d.txt"}));
}

TEST_F(TScanTest, CancelStopsAtTheNextEntry) {
    for (int i = 0; i < 20; ++i)
        WriteFile(Dir / ("f" + std::to_string(i)), "x");
    Scan.OnScanFile = [&](TkrvFileScan& Sender, const std::string&, int, double) { Sender.Cancel(); };
    ScanRoot();
    EXPECT_EQ(Scan.FilesCount, 1);
    EXPECT_EQ(Scan.FilesList.Count(), 1U);

    // A writer points the flag at its own; a host pump can set it too.
    bool writerCancel = true;
    Scan.CancelFlag = &writerCancel;
    Scan.OnScanFile = nullptr;
    struct TCancelHost : EngineHost {
        bool* Flag = nullptr;
        int Pumps = 0;
        void DoPump() override {
            if (++Pumps == 3) *Flag = true;
        }
    };
    auto host = std::make_unique<TCancelHost>();
    host->SetPumpClock(SteppingClock()); // every entry takes a pump interval
    host->Flag = &writerCancel;
    TCancelHost* h = host.get();
    auto previous = EngineHost::Install(std::move(host));
    Scan.Scan(); // starts by clearing the flag
    const int pumps = h->Pumps;
    EngineHost::Install(std::move(previous));
    EXPECT_EQ(pumps, 3);
    EXPECT_EQ(Scan.FilesCount, 3);
    EXPECT_TRUE(writerCancel);
}

TEST_F(TScanTest, ScanFromItsOwnEventIsRefused) {
    MakeTree(Dir);
    int nested = 0;
    Scan.OnScanFile = [&](TkrvFileScan& Sender, const std::string&, int, double) {
        ++nested;
        Sender.Scan();
    };
    ScanRoot();
    EXPECT_EQ(nested, 5);
    EXPECT_EQ(Scan.FilesCount, 5);
    EXPECT_EQ(Scan.FilesList.Count(), 5U);
}

TEST_F(TScanTest, LargeFilesCountInFull) {
    const int fd = open((Dir / "big.img").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (std::int64_t{4} << 30) + 7), 0); // sparse, beyond 32 bits
    close(fd);
    WriteFile(Dir / "small", "abc");
    ScanRoot();
    EXPECT_EQ(Scan.FilesSize, static_cast<double>((std::int64_t{4} << 30) + 10));
    Scan.SetSorted(soBySize);
    EXPECT_EQ(Scan.FilesList[1].Size, (std::int64_t{4} << 30) + 7);
}

namespace {

// Creates Depth nested folders named Name below Root, opening each relative to its parent so
// that the whole path may exceed what a single system call accepts; a file sits at the bottom.
bool MakeDeepChain(const fs::path& Root, const std::string& Name, int Depth, const std::string& FileName) {
    int fd = open(Root.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < Depth && fd >= 0; ++i) {
        if (mkdirat(fd, Name.c_str(), 0755) != 0) break;
        const int next = openat(fd, Name.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    if (fd < 0) return false;
    const int file = openat(fd, FileName.c_str(), O_CREAT | O_WRONLY, 0644);
    const bool ok = file >= 0 && write(file, "deep", 4) == 4;
    if (file >= 0) close(file);
    close(fd);
    return ok;
}

// Removes the chain bottom-up the same way.
void RemoveDeepChain(int ParentFd, const std::string& Name, const std::string& FileName) {
    const int fd = openat(ParentFd, Name.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    RemoveDeepChain(fd, Name, FileName);
    unlinkat(fd, FileName.c_str(), 0);
    close(fd);
    unlinkat(ParentFd, Name.c_str(), AT_REMOVEDIR);
}

} // namespace

TEST_F(TScanTest, DeepTreesAndLongNames) {
    const std::string folder = std::string(200, 'd');
    const std::string file = std::string(120, 'f') + "\xC3\xA9" + std::string(129, 'g') + ".txt"; // 255 bytes
    ASSERT_EQ(file.size(), 255U);
    const int depth = 30; // about 6000 bytes of path: longer than a path a system call accepts
    ASSERT_TRUE(MakeDeepChain(Dir.Path(), folder, depth, file));
    struct TCleanup {
        const fs::path& Root;
        const std::string& Folder;
        const std::string& File;
        ~TCleanup() {
            const int fd = open(Root.c_str(), O_RDONLY | O_DIRECTORY);
            RemoveDeepChain(fd, Folder, File);
            close(fd);
        }
    } cleanup{Dir.Path(), folder, file};

    int entered = 0;
    Scan.OnRecurseDir = [&](TkrvFileScan&, const std::string&) { ++entered; };
    Scan.FileSpec = {Dir.Str() + "/*?" + std::string(129, '?') + ".TXT"};
    Scan.Scan();
    ASSERT_EQ(Scan.FilesList.Count(), 1U);
    const TFileObject& found = Scan.FilesList[0];
    EXPECT_GT(found.FullName.size(), 6000U);
    EXPECT_EQ(found.FullName.substr(found.FullName.size() - file.size()), file);
    EXPECT_EQ(found.Size, 4);
    EXPECT_EQ(entered, depth + 1);
}

namespace {

// Runs Body in a child process as an unprivileged user (root reads every folder, so a test of
// unreadable folders needs to give that up). Returns the child's exit code, or -1 when no
// unprivileged user could be taken on.
int RunUnprivileged(const std::function<int()>& Body) {
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(125);
        _exit(Body());
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) == 125 ? -1 : WEXITSTATUS(status);
}

} // namespace

TEST_F(TScanTest, UnreadableFoldersArePassedOverAndNamed) {
    WriteFile(Dir / "a.txt", "x");
    WriteFile(Dir / "locked" / "secret.txt", "x");
    WriteFile(Dir / "listonly" / "hidden-status.txt", "x");
    WriteFile(Dir / "z" / "after.txt", "x");
    fs::permissions(Dir / "locked", fs::perms::none);
    // Readable but not searchable: names can be listed, their status cannot be read.
    fs::permissions(Dir / "listonly", fs::perms::owner_read | fs::perms::others_read);

    // Each folder whose files are left out is named.
    auto body = [&]() -> int {
        TkrvFileScan scan;
        scan.SetRootDir(Dir.Str());
        TNames unreadable;
        scan.OnUnreadable = [&](TkrvFileScan&, const std::string& Folder, int Error) {
            if (Error == EACCES) unreadable.insert(fs::path(Folder).parent_path().filename().string());
        };
        scan.Scan();
        return FoundNames(scan, Dir.Path()) == TNames{"a.txt", "z/after.txt"} &&
                       unreadable == TNames{"listonly", "locked"}
                   ? 0
                   : 1;
    };
    if (geteuid() != 0) {
        EXPECT_EQ(body(), 0);
        return;
    }
    // As root: let another user try, with the test folder open to everyone.
    fs::permissions(Dir.Path(), fs::perms::all);
    fs::permissions(Dir / "z", fs::perms::all);
    fs::permissions(Dir / "z" / "after.txt", fs::perms::all);
    fs::permissions(Dir / "a.txt", fs::perms::all);
    fs::permissions(Dir / "listonly", fs::perms::owner_read | fs::perms::others_read);
    const int result = RunUnprivileged(body);
    if (result < 0) GTEST_SKIP() << "no unprivileged user to test with";
    EXPECT_EQ(result, 0);
}

namespace {

// What lstat(2) says of Path, in the lookup's terms.
TEntryKind LstatKind(const std::string& Path) {
    struct stat st {};
    if (lstat(Path.c_str(), &st) != 0) return TEntryKind::Missing;
    if (S_ISDIR(st.st_mode)) return TEntryKind::Folder;
    if (S_ISLNK(st.st_mode)) return TEntryKind::Link;
    return TEntryKind::Other;
}

// Every path looked up together answers as lstat of each path alone; the failures are written
// to Failures.
bool LookupMatchesLstat(const std::vector<std::string>& Paths, std::string& Failures) {
    const std::vector<TEntryKind> kinds = LookUpEntries(Paths);
    for (std::size_t i = 0; i < Paths.size(); ++i)
        if (kinds[i] != LstatKind(Paths[i]))
            Failures += Paths[i] + " is " + std::to_string(int(kinds[i])) + ", lstat says " +
                        std::to_string(int(LstatKind(Paths[i]))) + "\n";
    return Failures.empty();
}

} // namespace

// Names looked up folder by folder (a folder of many names is read once) answer as lstat does
// for each: files, folders, links live or dangling, a fifo, missing names, names that differ in
// case only, ".", "..", a trailing slash, folders reached through a link, a file taken for a
// folder, and the same name twice; a folder that may be listed but not searched hides its names.
TEST_F(TScanTest, NamesLookedUpTogetherAnswerAsLstatOfEach) {
    const std::string root = Dir.Str();
    for (int i = 0; i < 12; ++i)
        WriteFile(Dir / "many" / ("f" + std::to_string(i) + ".txt"), "x");
    WriteFile(Dir / "many" / "a,b c.txt", "x");
    WriteFile(Dir / "many" / "Case.txt", "x");
    fs::create_directories(Dir / "many" / "sub");
    fs::create_symlink("f1.txt", Dir / "many" / "live-link");
    fs::create_symlink("nowhere", Dir / "many" / "dead-link");
    fs::create_directory_symlink("sub", Dir / "many" / "sub-link");
    ASSERT_EQ(mkfifo((Dir / "many" / "fifo").c_str(), 0600), 0);
    fs::create_directory_symlink("many", Dir / "via");
    WriteFile(Dir / "few" / "one.txt", "x");

    std::vector<std::string> paths;
    for (int i = 0; i < 14; ++i) // two past the files there are
        paths.push_back(root + "/many/f" + std::to_string(i) + ".txt");
    for (const char* name : {"a,b c.txt", "Case.txt", "case.txt", "CASE.TXT", "sub", "sub/", "live-link",
                             "dead-link", "sub-link", "sub-link/", "fifo", ".", "..", "", "f1.txt",
                             "f1.txt/x", "sub/../f2.txt", "missing/f1.txt"})
        paths.push_back(root + "/many/" + name);
    for (int i = 0; i < 9; ++i)
        paths.push_back(root + "/via/f" + std::to_string(i) + ".txt");
    paths.push_back(root + "/few/one.txt");
    paths.push_back(root + "/few/two.txt");
    paths.push_back(root + "/no-such-folder/x");
    paths.push_back("");
    paths.push_back("/");
    std::string failures;
    EXPECT_TRUE(LookupMatchesLstat(paths, failures)) << failures;

    // Relative names against the current folder.
    const fs::path previous = fs::current_path();
    fs::current_path(Dir / "many");
    std::vector<std::string> relative;
    for (int i = 0; i < 10; ++i)
        relative.push_back("f" + std::to_string(i * 2) + ".txt");
    relative.push_back("sub");
    failures.clear();
    const bool relativeMatch = LookupMatchesLstat(relative, failures);
    fs::current_path(previous);
    EXPECT_TRUE(relativeMatch) << failures;

    // Readable but not searchable: the listing shows the names, lstat reaches none of them.
    std::vector<std::string> hidden;
    for (int i = 0; i < 10; ++i) {
        WriteFile(Dir / "listonly" / ("h" + std::to_string(i)), "x");
        hidden.push_back(root + "/listonly/h" + std::to_string(i));
    }
    fs::permissions(Dir.Path(), fs::perms::all);
    fs::permissions(Dir / "listonly", fs::perms::owner_read | fs::perms::others_read);
    auto body = [&]() -> int {
        std::string unprivilegedFailures;
        return LookupMatchesLstat(hidden, unprivilegedFailures) ? 0 : 1;
    };
    const int result = geteuid() == 0 ? RunUnprivileged(body) : body();
    fs::permissions(Dir / "listonly", fs::perms::owner_all);
    if (result < 0) GTEST_SKIP() << "no unprivileged user to test with";
    EXPECT_EQ(result, 0);
}
