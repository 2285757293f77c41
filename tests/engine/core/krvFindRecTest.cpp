#include "engine/core/krvFindRec.h"
#include "engine/core/krvDates.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// Every hit of a search: name -> attributes.
std::map<std::string, std::uint32_t> FindAll(const std::string& Path, std::uint32_t Attr,
                                             int* FirstResult = nullptr) {
    std::map<std::string, std::uint32_t> hits;
    TSearchRec rec;
    int result = FindFirstRec(Path, Attr, rec);
    if (FirstResult) *FirstResult = result;
    while (result == 0) {
        EXPECT_TRUE(hits.emplace(rec.Name, rec.Attr).second) << rec.Name << " found twice";
        result = FindNextRec(rec);
    }
    EXPECT_EQ(FindNextRec(rec), result) << "a finished search stays finished";
    FindCloseRec(rec);
    FindCloseRec(rec);
    return hits;
}

} // namespace

TEST(FindRec, LeavesOutHiddenSystemAndFoldersUnlessAsked) {
    TempDir dir;
    WriteFile(dir / "a.txt", "1");
    WriteFile(dir / ".hidden", "2");
    WriteFile(dir / "ro.txt", "3");
    fs::permissions(dir / "ro.txt", fs::perms::owner_read);
    fs::create_directory(dir / "sub");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);

    const std::string all = (dir / "*").string();
    using M = std::map<std::string, std::uint32_t>;
    EXPECT_EQ(FindAll(all, 0), (M{{"a.txt", faArchive}, {"ro.txt", faArchive | faReadOnly}}));
    EXPECT_EQ(
        FindAll(all, faHidden),
        (M{{"a.txt", faArchive}, {".hidden", faArchive | faHidden}, {"ro.txt", faArchive | faReadOnly}}));
    EXPECT_EQ(FindAll(all, faDirectory),
              (M{{"a.txt", faArchive}, {"ro.txt", faArchive | faReadOnly}, {"sub", faDirectory}}));
    EXPECT_EQ(FindAll(all, faAnyFile).size(), 5U);
    EXPECT_EQ(FindAll(all, faSysFile).count("fifo"), 1U);
    // "*.*" stands for every name, also those without a dot.
    EXPECT_EQ(FindAll((dir / "*.*").string(), faDirectory).count("sub"), 1U);
}

TEST(FindRec, PatternsAndExactNames) {
    TempDir dir;
    WriteFile(dir / "Notes.TXT", "1");
    WriteFile(dir / "notes.txt", "22");
    WriteFile(dir / "data.bin", "333");

    using M = std::map<std::string, std::uint32_t>;
    EXPECT_EQ(FindAll((dir / "*.txt").string(), 0), (M{{"Notes.TXT", faArchive}, {"notes.txt", faArchive}}));
    EXPECT_EQ(FindAll((dir / "?ata.*").string(), 0), (M{{"data.bin", faArchive}}));

    // A name without wildcards is that file only: case matters here.
    TSearchRec rec;
    ASSERT_EQ(FindFirstRec((dir / "notes.txt").string(), 0, rec), 0);
    EXPECT_EQ(rec.Name, "notes.txt");
    EXPECT_EQ(rec.Size, 2);
    EXPECT_EQ(FindNextRec(rec), feNoMoreFiles);
    EXPECT_EQ(FindFirstRec((dir / "NOTES.txt").string(), 0, rec), feFileNotFound);
}

TEST(FindRec, Failures) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    fs::create_directory(dir / "empty");
    TSearchRec rec;
    EXPECT_EQ(FindFirstRec((dir / "missing" / "*").string(), faAnyFile, rec), fePathNotFound);
    EXPECT_EQ(FindFirstRec((dir / "file" / "*").string(), faAnyFile, rec), fePathNotFound);
    EXPECT_EQ(FindFirstRec((dir / "empty" / "*").string(), faAnyFile, rec), feFileNotFound);
    EXPECT_FALSE(rec.FindHandle.IsOpen()) << "a failed search closes its folder itself";
    EXPECT_EQ(FindFirstRec((dir / "*.none").string(), faAnyFile, rec), feFileNotFound);
    EXPECT_EQ(FindFirstRec((dir / "gone.txt").string(), faAnyFile, rec), feFileNotFound);
    EXPECT_EQ(FindFirstRec((dir / "gone" / "x.txt").string(), faAnyFile, rec), fePathNotFound);
    EXPECT_EQ(FindFirstRec(dir.Str() + "/", faAnyFile, rec), feFileNotFound);
    EXPECT_EQ(FindNextRec(rec), feNoMoreFiles);
}

TEST(FindRec, HitCarriesSizeDateAndLongName) {
    TempDir dir;
    const std::string longName = std::string(250, 'n') + ".dat"; // 254 bytes, near the limit of a name
    const fs::path big = dir / longName;
    {
        const int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, std::int64_t{5} << 30), 0); // sparse: 5 GiB without the disk space
        close(fd);
    }
    // 2021-06-15 12:34:56 local time.
    struct tm when {};
    when.tm_year = 121;
    when.tm_mon = 5;
    when.tm_mday = 15;
    when.tm_hour = 12;
    when.tm_min = 34;
    when.tm_sec = 56;
    when.tm_isdst = -1;
    const timespec times[2] = {{mktime(&when), 0}, {mktime(&when), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, big.c_str(), times, 0), 0);

    TSearchRec rec;
    ASSERT_EQ(FindFirstRec((dir / "*.dat").string(), 0, rec), 0);
    EXPECT_EQ(rec.Name, longName);
    EXPECT_EQ(rec.Size, std::int64_t{5} << 30);
    const TDateTimeParts p = DosDateToParts(rec.Time);
    EXPECT_EQ(p.Year, 2021);
    EXPECT_EQ(p.Month, 6);
    EXPECT_EQ(p.Day, 15);
    EXPECT_EQ(p.Hour, 12);
    EXPECT_EQ(p.Minute, 34);
    EXPECT_EQ(p.Second, 56);
}
