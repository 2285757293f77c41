// Archives of 20,000 entries made by Info-ZIP zip and GNU tar (a tree of 20 folders of 1,000
// small files), read by readers that walk their headers twice and plan their work ahead a batch
// at a time: krvprobe lists every entry with the name and CRC unzip -v shows (the names tar -t
// shows), tests every entry, and extracts every file as it was archived.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

using namespace testsupport;

namespace {

constexpr int Folders = 20;
constexpr int PerFolder = 1000;

struct ManyEntries {
    TempDir Dir;
    std::map<std::string, std::string> Files; // relative name -> content

    ManyEntries() {
        for (int f = 0; f < Folders; ++f) {
            const std::string folder = "d" + std::to_string(f);
            fs::create_directories(Dir / "tree" / folder);
            for (int i = 0; i < PerFolder; ++i) {
                const std::string name = folder + "/f" + std::to_string(i) + ".txt";
                // Every few files one large enough to be copied or inflated ahead.
                const std::string content = i % 97 == 0 ? TextBytes(70000 + i, f * PerFolder + i)
                                                        : "entry " + std::to_string(f * PerFolder + i) + "\n";
                WriteFile(Dir / "tree" / name, content);
                Files[name] = content;
            }
        }
        const fs::path tree = Dir / "tree";
        EXPECT_EQ(RunTool({"zip", "-qrX", (Dir / "many.zip").string(), "."}, tree).ExitCode, 0);
        EXPECT_EQ(RunTool({"tar", "cf", (Dir / "many.tar").string(), "."}, tree).ExitCode, 0);
        fs::remove_all(tree);
    }
};

ManyEntries& Shared() {
    static ManyEntries many;
    return many;
}

// Lines of Out split on tabs.
std::vector<std::vector<std::string>> Rows(const std::string& Out) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(Out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            fields.push_back(cell);
        rows.push_back(std::move(fields));
    }
    return rows;
}

std::string Trimmed(std::string Name) {
    while (Name.starts_with("./"))
        Name.erase(0, 2);
    return Name;
}

TEST(ManyEntries, ZipListsWithUnzipsNamesAndCrcs) {
    ManyEntries& many = Shared();
    // unzip -v: "Length Method Size Cmpr Date Time CRC-32 Name" per entry.
    const ToolResult unzip = RunTool({"unzip", "-v", (many.Dir / "many.zip").string()});
    ASSERT_EQ(unzip.ExitCode, 0);
    std::map<std::string, std::string> theirs;
    std::istringstream lines(unzip.Out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.size() == 8 && w[6].size() == 8 && w[0] != "--------") theirs[w[7]] = w[6];
    }
    const ToolResult list = RunProbe({"list", (many.Dir / "many.zip").string()});
    ASSERT_EQ(list.ExitCode, 0) << list.Err;
    std::map<std::string, std::string> ours;
    for (const auto& row : Rows(list.Out))
        if (row.size() > 3 && row[0] != "TOTAL") ours[row[0]] = row[3];
    EXPECT_EQ(ours.size(), theirs.size());
    EXPECT_TRUE(ours == theirs);
    EXPECT_GE(ours.size(), std::size_t{Folders * PerFolder});
}

TEST(ManyEntries, TarListsTarsNames) {
    ManyEntries& many = Shared();
    const ToolResult tar = RunTool({"tar", "tf", (many.Dir / "many.tar").string()});
    ASSERT_EQ(tar.ExitCode, 0);
    std::set<std::string> theirs;
    std::istringstream lines(tar.Out);
    for (std::string line; std::getline(lines, line);)
        if (!Trimmed(line).empty()) theirs.insert(Trimmed(line));
    const ToolResult list = RunProbe({"list", (many.Dir / "many.tar").string()});
    ASSERT_EQ(list.ExitCode, 0) << list.Err;
    std::set<std::string> ours;
    for (const auto& row : Rows(list.Out))
        if (!row.empty() && row[0] != "TOTAL" && !Trimmed(row[0]).empty()) ours.insert(Trimmed(row[0]));
    EXPECT_EQ(ours.size(), theirs.size());
    EXPECT_TRUE(ours == theirs);
}

class ManyEntriesRead : public ::testing::TestWithParam<const char*> {};

TEST_P(ManyEntriesRead, EveryEntryTestsAndExtractsAsArchived) {
    ManyEntries& many = Shared();
    const std::string archive = (many.Dir / GetParam()).string();
    const ToolResult test = RunProbe({"test", archive});
    EXPECT_EQ(test.ExitCode, 0) << test.Out.substr(0, 2000);
    int passed = 0;
    for (const auto& row : Rows(test.Out))
        passed += row.size() == 2 && row[1] == "PASS" && !row[0].ends_with('/');
    EXPECT_EQ(passed, Folders * PerFolder);

    TempDir out;
    const ToolResult extract = RunProbe({"extract", archive, out.Path().string()});
    EXPECT_EQ(extract.ExitCode, 0) << extract.Out.substr(0, 2000);
    std::size_t found = 0;
    int differing = 0;
    for (const auto& e : fs::recursive_directory_iterator(out.Path())) {
        if (!e.is_regular_file()) continue;
        ++found;
        const auto it = many.Files.find(fs::relative(e.path(), out.Path()).generic_string());
        if (it == many.Files.end() || ReadFile(e.path()) != it->second) ++differing;
    }
    EXPECT_EQ(found, many.Files.size());
    EXPECT_EQ(differing, 0);
}

INSTANTIATE_TEST_SUITE_P(Archives, ManyEntriesRead, ::testing::Values("many.zip", "many.tar"),
                         [](const auto& Info) { return std::string(Info.param).substr(5); });

} // namespace
