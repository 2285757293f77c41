#include "engine/core/krvOutputPath.h"

#include "platform/CodePages.h"

#include <gtest/gtest.h>

namespace {

struct TPathCase {
    const char* Stored;
    bool UseStoredDirs;
    const char* Expected; // nullptr: refused
};

void CheckTable(const std::string& Root, const std::vector<TPathCase>& Cases) {
    for (const TPathCase& c : Cases) {
        TOutputPath out;
        const TOutputPathResult r = MakeOutputPath(Root, c.Stored, c.UseStoredDirs, out);
        if (!c.Expected) {
            EXPECT_EQ(r, TOutputPathResult::Refused) << "stored name: " << c.Stored;
            continue;
        }
        ASSERT_EQ(r, TOutputPathResult::Ok) << "stored name: " << c.Stored;
        EXPECT_EQ(out.FullName, c.Expected) << "stored name: " << c.Stored;
        EXPECT_TRUE(PathIsBelow(out.FullName, Root)) << c.Stored;
    }
}

} // namespace

TEST(OutputPath, StoredNamesStayInsideTheDestination) {
    const std::string long300(300, 'L');
    const std::string long255(255, 'M');
    std::string manyParts;
    for (int i = 0; i < 30; ++i)
        manyParts += "folder" + std::to_string(i) + "/";
    manyParts += "file.txt"; // well over 255 bytes in all, every part short

    const std::string manyExpected = "/dest/" + manyParts;
    const std::string long255Expected = "/dest/" + long255;
    CheckTable("/dest/", {
                             {"a.txt", true, "/dest/a.txt"},
                             {"dir/sub/a.txt", true, "/dest/dir/sub/a.txt"},
                             {"dir\\sub\\a.txt", true, "/dest/dir/sub/a.txt"},
                             {"C:\\Windows\\x.dll", true, "/dest/Windows/x.dll"},
                             {"c:x.txt", true, "/dest/x.txt"},
                             {"\\\\server\\share\\x", true, "/dest/server/share/x"},
                             {"/etc/passwd", true, "/dest/etc/passwd"},
                             {"///abs//double//", true, "/dest/abs/double/"},
                             {"./a/./b", true, "/dest/a/b"},
                             {"..foo/...", true, "/dest/..foo/..."},
                             {"dir/", true, "/dest/dir/"},
                             {"a:b/c", true, "/dest/b/c"},
                             {"x/a:b", true, "/dest/x/a:b"},
                             {"..", true, nullptr},
                             {"../evil", true, nullptr},
                             {"a/../../evil", true, nullptr},
                             {"a\\..\\b", true, nullptr},
                             {"C:..\\x", true, nullptr},
                             {"ok/..", true, nullptr},
                             {long300.c_str(), true, nullptr},
                             {("d/" + long300 + "/f").c_str(), true, nullptr},
                             {long255.c_str(), true, long255Expected.c_str()},
                             {manyParts.c_str(), true, manyExpected.c_str()},
                             {"dir/sub/a.txt", false, "/dest/a.txt"},
                             {"C:\\x\\y.txt", false, "/dest/y.txt"},
                             {"../a.txt", false, nullptr},
                             {"dir/", false, "/dest/"},
                         });
}

TEST(OutputPath, RelativeDestinationStaysRelative) {
    CheckTable("out", {
                          {"a.txt", true, "out/a.txt"},
                          {"\\lead\\x", true, "out/lead/x"},
                          {"../x", true, nullptr},
                      });
    CheckTable("./", {{"a/b", true, "./a/b"}});
    CheckTable("", {{"a", true, "./a"}});
    TOutputPath out;
    MakeOutputPath("out", "sub/f", true, out);
    EXPECT_EQ(out.Root, "out/");
    EXPECT_EQ(out.Folders, (std::vector<std::string>{"sub"}));
    EXPECT_EQ(out.Leaf, "f");
}

TEST(OutputPath, Cp437NamesKeepTheirCharacters) {
    // Names arrive converted from the OEM code page; their bytes pass unchanged.
    const std::string name = CodePageToUtf8("\x8E\x84\x81/\x9A\xE1.txt", TCodePage::Oem);
    EXPECT_EQ(name, "\xC3\x84\xC3\xA4\xC3\xBC/\xC3\x9C\xC3\x9F.txt"); // "Äaü/Üß.txt"
    TOutputPath out;
    ASSERT_EQ(MakeOutputPath("/d", name, true, out), TOutputPathResult::Ok);
    EXPECT_EQ(out.FullName, "/d/\xC3\x84\xC3\xA4\xC3\xBC/\xC3\x9C\xC3\x9F.txt");
    // Untranslated high bytes are kept byte for byte.
    ASSERT_EQ(MakeOutputPath("/d", "\x8E\xE1\\\xFF", true, out), TOutputPathResult::Ok);
    EXPECT_EQ(out.FullName, "/d/\x8E\xE1/\xFF");
}

TEST(OutputPath, PathIsBelow) {
    EXPECT_TRUE(PathIsBelow("/d/x", "/d/"));
    EXPECT_TRUE(PathIsBelow("/d", "/d"));
    EXPECT_FALSE(PathIsBelow("/dx/y", "/d"));
    EXPECT_FALSE(PathIsBelow("/d/../e", "/d"));
    EXPECT_TRUE(PathIsBelow("x/y", ""));
    EXPECT_FALSE(PathIsBelow("../y", "."));
    EXPECT_TRUE(PathIsBelow("..y", "."));
    EXPECT_FALSE(PathIsBelow("/abs", "rel"));
    EXPECT_TRUE(PathIsBelow("/a", "/"));
}
