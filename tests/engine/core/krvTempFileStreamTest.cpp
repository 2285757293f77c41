#include "engine/core/krvTempFileStream.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvFileIo.h"
#include "engine/core/krvZipCommon.h"

#include "TestSupport.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

mode_t ModeOf(const fs::path& P) {
    struct stat st {};
    ::lstat(P.c_str(), &st);
    return st.st_mode & 07777;
}

class TErrorLog : public TZipCommon {
public:
    TErrorLog() {
        OnError = [this](TZipCommon&, const std::string& F, const std::string&, const std::string&, int C) {
            Codes.push_back(C);
            Names.push_back(F);
        };
    }
    std::vector<int> Codes;
    std::vector<std::string> Names;
};

// A temporary stream on a disk that fills up after Capacity bytes.
class TFullDiskStream : public TTempFileStream {
public:
    TFullDiskStream(TZipCommon* Owner, const std::string& Name, std::int64_t Capacity)
        : TTempFileStream(Owner, fmCreate, Name), FLeft(Capacity) {}
    std::int64_t Write(const void* Buffer, std::int64_t Count) override {
        const std::int64_t n = std::min(Count, FLeft);
        const std::int64_t done = TTempFileStream::Write(Buffer, n);
        FLeft -= done;
        if (done < Count) errno = ENOSPC;
        return done;
    }

private:
    std::int64_t FLeft;
};

// A source that records the size of each read.
class TRecordingSource : public TMemoryStream32 {
public:
    std::vector<std::int64_t> Reads;
    std::int64_t Read(void* Buffer, std::int64_t Count) override {
        Reads.push_back(Count);
        return TMemoryStream32::Read(Buffer, Count);
    }
};

} // namespace

TEST(TempFileStream, NewFileAppearsOnlyOnCommit) {
    TempDir dir;
    const fs::path target = dir / "new.zip";
    const std::string data = RandomBytes(300000, 3);
    {
        TTempFileStream s(nullptr, fmCreate, target.string());
        ASSERT_EQ(s.Status(), fsOpenOk);
        EXPECT_TRUE(s.IsTemporary());
        EXPECT_EQ(s.FinalName(), target.string());
        EXPECT_EQ(fs::path(s.OpenName()).parent_path(), dir.Path()) << "the temporary file is a sibling";
        EXPECT_EQ(fs::path(s.OpenName()).filename().string().rfind("krv", 0), 0U);
        s.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
        EXPECT_FALSE(fs::exists(target));
        s.Commit();
        EXPECT_TRUE(s.Committed());
        s.Commit(); // a second commit does nothing
    }
    EXPECT_EQ(ReadFile(target), data);
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"new.zip"});
    EXPECT_EQ(ModeOf(target), 0666 & ~CurrentUmask());
}

TEST(TempFileStream, CommitKeepsTheOldModeButNeverSetId) {
    TempDir dir;
    const fs::path target = dir / "old.zip";
    WriteFile(target, "old contents");
    ::chmod(target.c_str(), 0640);
    {
        TTempFileStream s(nullptr, fmCreate, target.string());
        s.WriteBuffer("new", 3);
        s.Commit();
    }
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(ModeOf(target), 0640U);

    ::chmod(target.c_str(), 06755);
    {
        TTempFileStream s(nullptr, fmCreate, target.string());
        s.WriteBuffer("newer", 5);
        s.Commit();
    }
    EXPECT_EQ(ModeOf(target), 0755U);
}

TEST(TempFileStream, DestroyWithoutCommitLeavesNothing) {
    TempDir dir;
    const fs::path target = dir / "keep.zip";
    const std::string old = RandomBytes(5000, 9);
    WriteFile(target, old);
    {
        TTempFileStream s(nullptr, fmCreate, target.string());
        s.WriteBuffer("partial", 7);
        EXPECT_EQ(FolderNames(dir.Path()).size(), 2U);
    }
    EXPECT_EQ(ReadFile(target), old);
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"keep.zip"});
    {
        TTempFileStream s(nullptr, fmCreate, target.string());
        s.WriteBuffer("partial", 7);
        s.Discard();
        EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"keep.zip"});
        EXPECT_THROW(s.Commit(), EWriteError) << "nothing left to commit";
    }
    EXPECT_EQ(ReadFile(target), old);
}

TEST(TempFileStream, FullDiskLeavesTheOldFile) {
    TempDir dir;
    const fs::path target = dir / "a.zip";
    const std::string old = RandomBytes(1000, 5);
    WriteFile(target, old);
    {
        TFullDiskStream s(nullptr, target.string(), 4096);
        const std::string data(10000, 'z');
        try {
            s.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
            FAIL() << "a full disk must raise";
        } catch (const EWriteError& e) {
            EXPECT_EQ(e.Code(), ecDiskFull);
        }
    }
    EXPECT_EQ(ReadFile(target), old);
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"a.zip"});
}

TEST(TempFileStream, UnwritableFolder) {
    TempDir dir;
    fs::path folder = dir / "ro";
    fs::create_directory(folder);
    WriteFile(folder / "a.zip", "old");
    ::chmod(folder.c_str(), 0555);
    // The superuser writes anywhere; a folder of /proc refuses new files to everyone.
    if (::geteuid() == 0) folder = "/proc/self/fdinfo";
    {
        TTempFileStream s(nullptr, fmCreate, (folder / "a.zip").string());
        EXPECT_EQ(s.Status(), fsCreateFailed);
        EXPECT_EQ(s.Handle, -1);
        EXPECT_THROW(s.Commit(), EWriteError);
    }
    {
        TTempFileStream s(nullptr, fmCreate, (dir / "missing" / "a.zip").string());
        EXPECT_EQ(s.Status(), fsCreateFailed);
    }
    ::chmod((dir / "ro").c_str(), 0755);
    EXPECT_EQ(ReadFile(dir / "ro" / "a.zip"), "old");
    EXPECT_EQ(FolderNames(dir / "ro"), std::vector<std::string>{"a.zip"});
}

TEST(TempFileStream, TargetThatCannotBeReplaced) {
    TempDir dir;
    const fs::path target = dir / "folder";
    fs::create_directory(target);
    WriteFile(target / "inside", "x");
    TErrorLog owner;
    {
        TTempFileStream s(&owner, fmCreate, target.string());
        ASSERT_EQ(s.Status(), fsOpenOk);
        s.WriteBuffer("data", 4);
        try {
            s.Commit();
            FAIL() << "a folder cannot be replaced by a file";
        } catch (const E_RAISE& e) {
            EXPECT_EQ(e.Code(), ecErrorOpeningFile);
        }
    }
    EXPECT_EQ(owner.Codes, std::vector<int>{ecErrorOpeningFile});
    EXPECT_EQ(owner.Names, std::vector<std::string>{target.string()});
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"folder"});
}

TEST(TempFileStream, CancelStopsTheCopyButNotTheCommit) {
    TempDir dir;
    ScriptedHostGuard host;
    const fs::path target = dir / "c.zip";
    WriteFile(target, "old");
    TZipCommon owner;
    TMemoryStream32 source;
    const std::string data = RandomBytes(350000, 1);
    source.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    source.SetPosition(0);
    host.Host().OnPump = [&](int Pump) {
        if (Pump == 2) *owner.CancelPtr = true;
    };
    {
        TTempFileStream s(&owner, fmCreate, target.string());
        EXPECT_EQ(s.CopyFrom(source, owner.CancelPtr, {}, static_cast<std::int64_t>(data.size())), 200000);
        // The writer gives up: no commit, the old archive stays.
    }
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"c.zip"});

    // A commit asked for after a cancel is carried out whole.
    {
        TTempFileStream s(&owner, fmCreate, target.string());
        s.WriteBuffer("kept part", 9);
        s.Commit();
    }
    EXPECT_EQ(ReadFile(target), "kept part");
}

TEST(TempFileStream, CopyInChunksOfOneHundredThousand) {
    ScriptedHostGuard host;
    TempDir dir;
    TRecordingSource source;
    const std::string data = RandomBytes(250000, 2);
    source.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    source.SetPosition(0);
    {
        TTempFileStream s(nullptr, fmCreate, (dir / "x").string());
        EXPECT_EQ(s.CopyFrom(source, nullptr, {}, 250000), 250000);
        EXPECT_EQ(s.CopyFrom(source, nullptr, {}, 0), 0);
        s.Commit();
    }
    EXPECT_EQ(source.Reads, (std::vector<std::int64_t>{100000, 100000, 50000}));
    EXPECT_EQ(host.Host().Pumps, 3);
    EXPECT_EQ(ReadFile(dir / "x"), data);
}

TEST(TempFileStream, DirectOpenReadsWithProgress) {
    TempDir dir;
    WriteFile(dir / "in.zip", std::string(1000, 'q'));
    TZipCommon owner;
    std::vector<int> fileProgress;
    owner.OnProgress = [&](TZipCommon&, std::uint8_t F, std::uint8_t) { fileProgress.push_back(F); };
    owner.CurrentFileSize = 1000;
    owner.JobTotal = 1000;
    owner.BytesToDo = 1000;
    {
        TTempFileStream s(&owner, fmOpenRead | fmShareDenyWrite, (dir / "in.zip").string());
        ASSERT_EQ(s.Status(), fsOpenOk);
        EXPECT_FALSE(s.IsTemporary());
        EXPECT_EQ(s.FinalName(), "");
        EXPECT_EQ(s.OpenName(), (dir / "in.zip").string());
        char buffer[600];
        EXPECT_EQ(s.Read(buffer, 600), 600);
        EXPECT_EQ(s.Read(buffer, 600), 400);
        s.Commit(); // nothing to do for a direct file
    }
    EXPECT_DOUBLE_EQ(owner.BytesToDo, -200.0) << "the requested counts are taken off";
    EXPECT_EQ(fileProgress, (std::vector<int>{60, 100}));
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"in.zip"});

    TTempFileStream missing(nullptr, fmOpenRead, (dir / "none").string());
    EXPECT_EQ(missing.Status(), fsOpenFailed);
}

TEST(TempFileStream, SymbolicLinks) {
    TempDir dir;
    // A writer's archive reached through a link: the file it points to is replaced.
    WriteFile(dir / "real.zip", "old");
    fs::create_symlink(dir / "real.zip", dir / "link.zip");
    {
        TTempFileStream s(nullptr, fmCreate, (dir / "link.zip").string());
        s.WriteBuffer("new", 3);
        s.Commit();
    }
    EXPECT_TRUE(fs::is_symlink(dir / "link.zip"));
    EXPECT_EQ(ReadFile(dir / "real.zip"), "new");

    // Extraction into a folder: a link named like the entry is replaced, never followed.
    fs::create_directory(dir / "out");
    WriteFile(dir / "victim", "precious");
    fs::create_symlink(dir / "victim", dir / "out" / "entry.txt");
    const int folder = ::open((dir / "out").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    {
        TTempFileStream s(nullptr, folder, (dir / "out").string(), "entry.txt");
        ::close(folder);
        ASSERT_EQ(s.Status(), fsOpenOk);
        EXPECT_EQ(s.FinalName(), (dir / "out" / "entry.txt").string());
        s.WriteBuffer("extracted", 9);
        s.Commit();
    }
    EXPECT_FALSE(fs::is_symlink(dir / "out" / "entry.txt"));
    EXPECT_EQ(ReadFile(dir / "out" / "entry.txt"), "extracted");
    EXPECT_EQ(ReadFile(dir / "victim"), "precious");
    EXPECT_EQ(ModeOf(dir / "out" / "entry.txt"), 0666 & ~CurrentUmask());

    TTempFileStream bad(nullptr, AT_FDCWD, "", "../x");
    EXPECT_EQ(bad.Status(), fsCreateFailed);
}
