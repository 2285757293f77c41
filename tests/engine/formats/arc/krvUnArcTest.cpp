// The arc reader on crafted archives: entries inside arc folders keep their folder paths,
// the entries after a folder's end are not lost, and a selection by path extracts only what
// it names.
#include "ExtractRun.h"
#include "tests/engine/read/KorvaBuilders.h"
#include "TestSupport.h"

#include "engine/core/krvCrc.h"

#include <gtest/gtest.h>

using namespace testsupport;
using namespace korvatest;

namespace {

// A stored arc entry with its real CRC-16.
std::string Stored(const std::string& Name, const std::string& Data) {
    std::string e = ArcEntry(2, Name, Data);
    std::uint16_t crc = 0;
    UpdateCrc16Buf(Data.data(), static_cast<std::int64_t>(Data.size()), crc);
    e[23] = static_cast<char>(crc & 0xFF);
    e[24] = static_cast<char>(crc >> 8);
    return e;
}

std::string FolderArchive() {
    return Stored("TOP.TXT", "top\n") + ArcEntry(30, "DOCS", "") + Stored("A.TXT", "in docs\n") +
           ArcEntry(30, "SUB", "") + Stored("B.TXT", "in docs/sub\n") + "\x1A\x1F" + "\x1A\x1F" +
           Stored("AFTER.TXT", "after the folder\n") + std::string("\x1A\x00", 2);
}

} // namespace

TEST(UnArc, FolderPathsAreKeptAndEntriesAfterAFolderAreExtracted) {
    TempDir dir;
    WriteFile(dir / "f.arc", FolderArchive());
    const auto all = ExtractAll(dir / "f.arc", dir / "all");
    EXPECT_TRUE(all.AllPassed()) << all.Describe();
    EXPECT_EQ(ReadFile(dir / "all/TOP.TXT"), "top\n");
    EXPECT_EQ(ReadFile(dir / "all/DOCS/A.TXT"), "in docs\n");
    EXPECT_EQ(ReadFile(dir / "all/DOCS/SUB/B.TXT"), "in docs/sub\n");
    EXPECT_EQ(ReadFile(dir / "all/AFTER.TXT"), "after the folder\n");

    // A selection names an entry by its path.
    const auto one =
        ExtractAll(dir / "f.arc", dir / "one", [](TUnBase& Reader) { Reader.FileSpec = {"DOCS/SUB/B.TXT"}; });
    EXPECT_TRUE(one.AllPassed()) << one.Describe();
    ASSERT_EQ(one.Ends.size(), 1u) << one.Describe();
    EXPECT_EQ(ReadFile(dir / "one/DOCS/SUB/B.TXT"), "in docs/sub\n");
    EXPECT_FALSE(fs::exists(dir / "one/TOP.TXT"));
}
