// The tar reader against GNU tar and bsdtar: archives they make in every format, sparse files
// in every form they write, extract to the tree, modes and times they extract themselves;
// links, entries without a name and a root entry are reported by name while the rest is read;
// every cut of an archive extracts only whole files.
#include "ExtractRun.h"
#include "TestSupport.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

using namespace testsupport;

namespace {

ToolResult RunOk(const std::vector<std::string>& Argv, const fs::path& Cwd = {}) {
    ToolResult r = RunTool(Argv, Cwd);
    EXPECT_EQ(r.ExitCode, 0) << Argv[0] << " failed: " << r.Err << r.Out;
    return r;
}

// Sizes around the block size, a long name in a deep path (ustar splits it, gnu and pax keep
// it in records of their own), the same name in two folders, an empty folder and a hard link.
void MakeTree(const fs::path& Root, bool LongNames) {
    fs::create_directories(Root / "a" / "same");
    fs::create_directories(Root / "b" / "same");
    fs::create_directories(Root / "empty");
    WriteFile(Root / "a" / "same" / "f.txt", "first");
    WriteFile(Root / "b" / "same" / "f.txt", "second");
    for (int size : {0, 511, 512, 513, 70000})
        WriteFile(Root / ("s" + std::to_string(size) + ".bin"),
                  RandomBytes(static_cast<std::size_t>(size), size));
    fs::create_hard_link(Root / "s513.bin", Root / "a" / "hard.bin");
    if (!LongNames) return;
    const fs::path deep = fs::path("deep") / std::string(60, 'd') / std::string(60, 'e');
    fs::create_directories(Root / deep);
    WriteFile(Root / deep / (std::string(80, 'n') + ".txt"), TextBytes(3000, 7));
}

void SetMTime(const fs::path& File, std::time_t Seconds) {
    const timeval times[2] = {{Seconds, 0}, {Seconds, 0}};
    ::utimes(File.c_str(), times);
}

// A file of Size bytes that is all hole but for Data at each offset.
void WriteSparse(const fs::path& File, std::int64_t Size,
                 const std::vector<std::pair<std::int64_t, std::string>>& Data) {
    WriteFile(File, "");
    fs::resize_file(File, static_cast<std::uintmax_t>(Size));
    std::FILE* f = std::fopen(File.c_str(), "r+b");
    for (const auto& [at, bytes] : Data) {
        std::fseek(f, static_cast<long>(at), SEEK_SET);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    }
    std::fclose(f);
}

// Sets a header's name field and its checksum again.
void RenameHeader(std::string& Tar, std::size_t Header, const std::string& Name) {
    std::string field = Name;
    field.resize(100, '\0');
    Tar.replace(Header, 100, field);
    Tar.replace(Header + 148, 8, 8, ' ');
    unsigned sum = 0;
    for (std::size_t i = 0; i < 512; ++i)
        sum += static_cast<unsigned char>(Tar[Header + i]);
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06o", sum);
    Tar.replace(Header + 148, 7, std::string(digits, 6) + '\0');
}

class UnTarInterop : public ::testing::Test {
protected:
    // What the tool extracts from Archive into a folder of its own.
    std::map<std::string, std::string> ToolTree(const std::string& Tool, const fs::path& Archive) {
        const fs::path out = Dir / (Tool + "-out-" + Archive.filename().string());
        fs::create_directories(out);
        RunOk({Tool, "-xf", Archive.string(), "-C", out.string()});
        return ReadTree(out);
    }
    TempDir Dir;
};

} // namespace

TEST_F(UnTarInterop, EveryFormatExtractsAsGnuTarAndBsdtarDo) {
    MakeTree(Dir / "src", true);
    MakeTree(Dir / "src-short", false);
    struct TMaker {
        std::string Name;
        std::vector<std::string> Argv;
        bool LongNames;
    };
    const TMaker makers[] = {
        {"v7", {"tar", "--format=v7", "-cf"}, false},
        {"ustar", {"tar", "--format=ustar", "-cf"}, true},
        {"gnu", {"tar", "--format=gnu", "-cf"}, true},
        {"pax", {"tar", "--format=pax", "-cf"}, true},
        {"bsdtar", {"bsdtar", "-cf"}, true},
        {"bsdtar-ustar", {"bsdtar", "--format=ustar", "-cf"}, true},
    };
    for (const TMaker& m : makers) {
        const fs::path archive = Dir / (m.Name + ".tar");
        std::vector<std::string> argv = m.Argv;
        argv.push_back(archive.string());
        argv.push_back(".");
        RunOk(argv, Dir / (m.LongNames ? "src" : "src-short"));
        const fs::path ours = Dir / ("ours-" + m.Name);
        const ExtractResult r = ExtractAll(archive, ours);
        EXPECT_TRUE(r.AllPassed()) << m.Name << ": " << r.Describe();
        const auto mine = ReadTree(ours);
        EXPECT_EQ(CompareTrees(ToolTree("tar", archive), "GNU tar", mine, "Quillar"), "") << m.Name;
        EXPECT_EQ(CompareTrees(ToolTree("bsdtar", archive), "bsdtar", mine, "Quillar"), "") << m.Name;
    }
}

TEST_F(UnTarInterop, EveryCutExtractsOnlyWholeFiles) {
    MakeTree(Dir / "src", false);
    const fs::path full = Dir / "full.tar";
    RunOk({"tar", "--format=gnu", "-cf", full.string(), "."}, Dir / "src");
    const std::string whole = ReadFile(full);
    const auto original = ReadTree(Dir / "src");
    // The end-of-archive blocks: the first block of zeros (no file of the tree has one).
    std::size_t end = 0;
    while (end < whole.size() && whole.compare(end, 512, std::string(512, '\0')) != 0)
        end += 512;
    for (std::size_t cut = 100; cut < whole.size(); cut += 251) {
        const fs::path archive = Dir / "cut.tar";
        WriteFile(archive, whole.substr(0, cut));
        const fs::path out = Dir / ("cut-" + std::to_string(cut));
        const ExtractResult r = ExtractAll(archive, out);
        for (const auto& [name, content] : ReadTree(out)) {
            const auto it = original.find(name);
            ASSERT_TRUE(it != original.end()) << "cut at " << cut << ": stray " << name;
            EXPECT_EQ(content.size(), it->second.size()) << "cut at " << cut << ": short file " << name;
        }
        // Only a cut between two entries or inside the end-of-archive blocks looks whole.
        if (cut < end && cut % 512 != 0) {
            EXPECT_FALSE(r.AllPassed()) << "cut at " << cut << " passed";
        }
        fs::remove_all(out);
    }
}

TEST_F(UnTarInterop, SparseFilesOfEveryWriterExtractAsTheWritersDo) {
    // Holes at the start, between chunks and at the end; a file whose data reach its end and a
    // hard link to it; a plain file after them, odd-second times and modes the umask leaves
    // alone.
    const fs::path src = Dir / "sparse-src";
    fs::create_directories(src);
    WriteSparse(src / "sparse image.img", 3 << 20, {{1000000, RandomBytes(70000, 1)}, {2500000, "middle"}});
    WriteSparse(src / "tail.img", 1 << 20, {{0, "head"}, {(1 << 20) - 4, "tail"}});
    WriteFile(src / "after.txt", TextBytes(1000, 2));
    fs::create_hard_link(src / "tail.img", src / "tail link.img"); // a copy of a sparse file
    ::chmod((src / "sparse image.img").c_str(), 0751);
    ::chmod((src / "tail.img").c_str(), 0640);
    SetMTime(src / "sparse image.img", 1700000001);
    SetMTime(src / "tail.img", 1600000003);
    struct TMaker {
        std::string Name;
        std::vector<std::string> Argv;
    };
    const TMaker makers[] = {
        {"gnu", {"tar", "--sparse", "--format=gnu", "-cf"}},
        {"pax-0.0", {"tar", "--sparse", "--format=pax", "--sparse-version=0.0", "-cf"}},
        {"pax-0.1", {"tar", "--sparse", "--format=pax", "--sparse-version=0.1", "-cf"}},
        {"pax-1.0", {"tar", "--sparse", "--format=pax", "--sparse-version=1.0", "-cf"}},
        {"bsdtar", {"bsdtar", "-cf"}},
    };
    for (const TMaker& m : makers) {
        SCOPED_TRACE(m.Name);
        const fs::path archive = Dir / (m.Name + ".tar");
        std::vector<std::string> argv = m.Argv;
        argv.insert(argv.end(),
                    {archive.string(), "sparse image.img", "tail.img", "tail link.img", "after.txt"});
        RunOk(argv, src);
        const fs::path ours = Dir / ("ours-" + m.Name);
        const ExtractResult r = ExtractAll(archive, ours);
        EXPECT_TRUE(r.AllPassed()) << r.Describe();
        const fs::path theirs = Dir / ("gnu-" + m.Name);
        fs::create_directories(theirs);
        RunOk({"tar", "--no-same-permissions", "-xf", archive.string(), "-C", theirs.string()});
        EXPECT_EQ(CompareTrees(ReadTree(theirs), "GNU tar", ReadTree(ours), "Quillar"), "");
        EXPECT_EQ(ReadStamps(ours), ReadStamps(theirs));
        // The listing names the file and its real size.
        const ToolResult list = RunProbe({"list", archive.string()});
        EXPECT_NE(list.Out.find("sparse image.img\t3145728\t"), std::string::npos) << list.Out;
        EXPECT_EQ(list.Out.find("GNUSparseFile"), std::string::npos) << list.Out;
    }

    // A sparse form not known here, or a damaged map, fails the file by name: never other bytes.
    const std::string pax = ReadFile(Dir / "pax-1.0.tar");
    struct TDamage {
        std::string What, From, To;
    };
    const TDamage damages[] = {
        {"version 2.0", "GNU.sparse.major=1", "GNU.sparse.major=2"},
        {"chunk past the end", "GNU.sparse.realsize=3145728", "GNU.sparse.realsize=1000000"},
    };
    for (const TDamage& d : damages) {
        SCOPED_TRACE(d.What);
        std::string tar = pax;
        const std::size_t at = tar.find(d.From);
        ASSERT_NE(at, std::string::npos);
        tar.replace(at, d.From.size(), d.To);
        WriteFile(Dir / "damaged.tar", tar);
        const fs::path out = Dir / ("damaged-" + d.What);
        const ToolResult x = RunProbe({"extract", (Dir / "damaged.tar").string(), out.string()});
        EXPECT_NE(x.ExitCode, 0);
        EXPECT_NE(x.Out.find("sparse image.img\tERROR"), std::string::npos) << x.Out << x.Err;
        const auto tree = ReadTree(out);
        EXPECT_EQ(tree.count("sparse image.img"), 0u);
        EXPECT_EQ(tree.at("tail.img"), ReadFile(src / "tail.img"));
        EXPECT_EQ(tree.at("after.txt"), ReadFile(src / "after.txt"));
    }
}

TEST_F(UnTarInterop, LinksNamelessAndRootEntriesAreReportedByNameAndTheRestRead) {
    const fs::path src = Dir / "odd-src";
    fs::create_directories(src);
    for (const char* f : {"a.txt", "b.txt", "c.txt"})
        WriteFile(src / f, std::string(f) + " data");
    fs::create_symlink("a.txt", src / "link to a");
    RunOk({"tar", "--format=gnu", "-cf", (Dir / "gnu.tar").string(), "a.txt", "link to a", "b.txt", "c.txt"},
          src);
    RunOk({"bsdtar", "-cf", (Dir / "bsd.tar").string(), "a.txt", "link to a", "b.txt", "c.txt"}, src);
    const std::string gnu = ReadFile(Dir / "gnu.tar");
    const std::size_t bHeader = gnu.find("b.txt");
    ASSERT_EQ(bHeader % 512, 0u);
    std::string nameless = gnu, root = gnu;
    RenameHeader(nameless, bHeader, "");
    RenameHeader(root, bHeader, "/");
    WriteFile(Dir / "nameless.tar", nameless);
    WriteFile(Dir / "root.tar", root);
    struct TCase {
        std::string Archive;
        bool TestPasses;                // the integrity test has nothing to fail
        std::string Reported;           // in the extraction's error output
        std::vector<std::string> Files; // what the extraction writes
    };
    const TCase cases[] = {
        {"gnu.tar", true, "link to a\tERROR 26800", {"a.txt", "b.txt", "c.txt"}},
        {"bsd.tar", true, "link to a\tERROR 26800", {"a.txt", "b.txt", "c.txt"}},
        {"nameless.tar", false, "entry at offset 1536 named \"\"\tERROR 26800", {"a.txt", "c.txt"}},
        {"root.tar", false, "/\tERROR 26800", {"a.txt", "c.txt"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Archive);
        const fs::path archive = Dir / c.Archive;
        const ToolResult list = RunProbe({"list", archive.string()});
        EXPECT_NE(list.Out.find("c.txt"), std::string::npos) << list.Out;
        // The entry reported is listed under the same name.
        EXPECT_NE(("\n" + list.Out).find("\n" + c.Reported.substr(0, c.Reported.find('\t')) + "\t"),
                  std::string::npos)
            << list.Out;
        const ToolResult test = RunProbe({"test", archive.string()});
        EXPECT_EQ(test.ExitCode == 0, c.TestPasses) << test.Out << test.Err;
        const fs::path out = Dir / ("out-" + c.Archive);
        const ToolResult x = RunProbe({"extract", archive.string(), out.string()});
        // Nothing of the archive was made, so the extraction says so.
        EXPECT_EQ(x.ExitCode, 1);
        EXPECT_NE((x.Out + x.Err).find(c.Reported), std::string::npos) << x.Out << x.Err;
        std::vector<std::string> files;
        for (const auto& [name, data] : ReadTree(out)) {
            files.push_back(name);
            EXPECT_EQ(data, ReadFile(src / name)) << name;
        }
        EXPECT_EQ(files, c.Files);
    }
}

TEST_F(UnTarInterop, ModesAndTimesAreGnuTarsInAnyFolder) {
    // Files of every usual mode, small and large (a large one is copied ahead), extracted new and
    // over the files of a run before, into a plain folder and into one with a default ACL: modes
    // and times as GNU tar gives them with the process's mask in a plain folder.
    const fs::path src = Dir / "modes-src";
    fs::create_directories(src / "sub");
    const std::pair<const char*, mode_t> files[] = {
        {"rwx.sh", 0755},         {"private", 0600},   {"plain.txt", 0644},
        {"group", 0640},          {"read-only", 0444}, {"all", 0777},
        {"shared", 0666},         {"exec-only", 0711}, {"sub/big.bin", 0600},
        {"sub/big-ro.bin", 0444},
    };
    std::time_t stamp = 1600000001;
    for (const auto& [name, mode] : files) {
        const bool big = std::string(name).starts_with("sub/big");
        WriteFile(src / name,
                  big ? RandomBytes(300000, static_cast<int>(mode)) : TextBytes(700, static_cast<int>(mode)));
        ::chmod((src / name).c_str(), mode);
        SetMTime(src / name, stamp += 86399);
    }
    const fs::path archive = Dir / "modes.tar";
    RunOk({"tar", "-cf", archive.string(), "-C", src.string(), "."});
    const fs::path theirs = Dir / "modes-gnu";
    fs::create_directories(theirs);
    RunOk({"tar", "--no-same-permissions", "-xf", archive.string(), "-C", theirs.string()});
    const auto expected = ReadStamps(theirs);
    ASSERT_EQ(expected.at("read-only").substr(0, 4), "444 ");
    for (const bool acl : {false, true}) {
        SCOPED_TRACE(acl ? "default ACL" : "plain folder");
        const fs::path ours = Dir / (acl ? "modes-acl" : "modes-plain");
        fs::create_directories(ours);
        if (acl) {
            ASSERT_TRUE(SetDefaultAcl(ours)) << std::strerror(errno);
        }
        for (const char* round : {"new", "over the files before"}) {
            SCOPED_TRACE(round);
            const ExtractResult r = ExtractAll(archive, ours);
            EXPECT_TRUE(r.AllPassed()) << r.Describe();
            EXPECT_EQ(CompareTrees(expected, "GNU tar", ReadStamps(ours), "Quillar"), "");
            EXPECT_EQ(CompareTrees(ReadTree(theirs), "GNU tar", ReadTree(ours), "Quillar"), "");
        }
    }
}
