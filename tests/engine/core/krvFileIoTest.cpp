#include "engine/core/krvFileIo.h"

#include "engine/core/krvDates.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvZipCommon.h"

#include "TestSupport.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

class TOwner : public TZipCommon {
public:
    TOwner() {
        OnError = [this](TZipCommon&, const std::string& F, const std::string&, const std::string&, int C) {
            Errors.emplace_back(C, F);
        };
    }
    std::vector<std::pair<int, std::string>> Errors;
};

} // namespace

TEST(FileIo, CreateOutputBelowTheDestination) {
    TempDir dir;
    TOwner o;
    o.SetExtractDir((dir / "dest").string());
    const std::string name = o.ExtractDir() + "a/b/c.txt";
    {
        auto out = CreateOutputFile(o, name, false);
        ASSERT_TRUE(out) << "missing folders are created";
        out->WriteBuffer("hello", 5);
    }
    EXPECT_EQ(ReadFile(name), "hello");
    struct stat st {};
    ::stat(name.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0666 & ~CurrentUmask());

    EXPECT_FALSE(CreateOutputFile(o, name, false)) << "not replaced without Overwrite";
    ASSERT_EQ(o.Errors.size(), 1U);
    EXPECT_EQ(o.Errors[0], std::make_pair(ecErrorOpeningFile, name));
    {
        auto out = CreateOutputFile(o, name, true);
        ASSERT_TRUE(out);
        out->WriteBuffer("x", 1);
    }
    EXPECT_EQ(ReadFile(name), "x");
    EXPECT_FALSE(CreateOutputFile(o, o.ExtractDir() + "a", true)) << "a folder is not an output file";
}

TEST(FileIo, NoSymbolicLinkIsFollowed) {
    TempDir dir;
    fs::create_directories(dir / "outside");
    fs::create_directories(dir / "dest");
    WriteFile(dir / "outside" / "secret", "keep");
    fs::create_directory_symlink(dir / "outside", dir / "dest" / "sub");
    fs::create_symlink(dir / "outside" / "secret", dir / "dest" / "file.txt");
    TOwner o;
    o.SetExtractDir((dir / "dest").string());

    EXPECT_FALSE(CreateOutputFile(o, o.ExtractDir() + "sub/new.txt", true)) << "a linked folder on the way";
    EXPECT_FALSE(CreateOutputFile(o, o.ExtractDir() + "sub/secret", true));
    EXPECT_FALSE(CreateOutputFile(o, o.ExtractDir() + "file.txt", true)) << "a link as the file itself";
    EXPECT_FALSE(OpenOutputForAppend(o, o.ExtractDir() + "file.txt"));
    EXPECT_EQ(o.Errors.size(), 4U);
    EXPECT_EQ(ReadFile(dir / "outside" / "secret"), "keep");
    EXPECT_FALSE(fs::exists(dir / "outside" / "new.txt"));

    // A destination that is itself reached through a link is the user's choice.
    fs::create_directory_symlink(dir / "outside", dir / "chosen");
    o.SetExtractDir((dir / "chosen").string());
    auto out = CreateOutputFile(o, o.ExtractDir() + "ok.txt", false);
    EXPECT_TRUE(out);
}

TEST(FileIo, AppendToAReadOnlyFile) {
    TempDir dir;
    TOwner o;
    o.SetExtractDir(dir.Str());
    const std::string name = o.ExtractDir() + "part.bin";
    WriteFile(name, "first");
    ::chmod(name.c_str(), 0444);
    {
        auto out = OpenOutputForAppend(o, name);
        ASSERT_TRUE(out);
        EXPECT_EQ(GetFilePos(*out), 5);
        out->WriteBuffer("second", 6);
        EXPECT_EQ(GetFileSize32(*out), 11);
    }
    EXPECT_EQ(ReadFile(name), "firstsecond");
    EXPECT_FALSE(OpenOutputForAppend(o, o.ExtractDir() + "missing.bin"));
}

TEST(FileIo, SmallWrappers) {
    TempDir dir;
    WriteFile(dir / "ten", "0123456789");
    std::uint8_t status = 0;
    TFileStream32 s((dir / "ten").string(), fmOpenRead, status);
    EXPECT_EQ(GetFileSize32(s), 10);
    EXPECT_TRUE(SeekFile(s, 4, soBeginning));
    EXPECT_EQ(GetFilePos(s), 4);
    EXPECT_FALSE(SeekFile(s, -20, soCurrent));
    TFileStream32 none(-1);
    EXPECT_EQ(GetFileSize32(none), 0);

    // 2001-02-03 04:05:06 local time, as the DOS date-time of its last write.
    const std::uint32_t dos = (21U << 25) | (2U << 21) | (3U << 16) | (4U << 11) | (5U << 5) | 3U;
    const std::time_t when = DosTimeToFileTime(dos);
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::futimens(s.Handle, times), 0);
    EXPECT_EQ(GetFileDosDate(s, 1), dos);
    EXPECT_EQ(GetFileDosDate(s, 2), dos);
    EXPECT_EQ(GetFileDosDate(s, 7), 0U);
    EXPECT_EQ(GetFileDosDate(none, 1), 0U);

    EXPECT_EQ(OpenDirBeneath(dir.Str(), {".."}, false), -1);
    EXPECT_EQ(OpenDirBeneath(dir.Str(), {"a/b"}, true), -1);
    const int fd = OpenDirBeneath((dir / "made" / "here").string(), {"x", "y"}, true);
    EXPECT_GE(fd, 0);
    ::close(fd);
    EXPECT_TRUE(fs::is_directory(dir / "made" / "here" / "x" / "y"));

    std::string leaf;
    const int tmp = CreateTempFileAt(AT_FDCWD, (dir / "pre").string(), leaf);
    ASSERT_GE(tmp, 0);
    ::close(tmp);
    EXPECT_EQ(leaf.size(), (dir / "pre").string().size() + 6);
    EXPECT_TRUE(fs::exists(leaf));
}
