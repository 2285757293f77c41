// Entry selection by masks: the readers' entry test and the lister's simpler test.
#include "engine/core/krvMatchSpec.h"

#include <gtest/gtest.h>

TEST(MatchEntrySpec, WholeNameMasksAndFolders) {
    EXPECT_FALSE(MatchEntrySpec("", {"*"}, {}, true));
    // A mask equal to the whole name selects, whatever the exclusions say.
    EXPECT_TRUE(MatchEntrySpec("Docs/Read.Me", {"Docs/Read.Me"}, {"*"}, false));
    // With RecurseDirs a mask without folder tests the file name in any folder.
    EXPECT_TRUE(MatchEntrySpec("a/b/c.txt", {"*.txt"}, {}, true));
    EXPECT_FALSE(MatchEntrySpec("a/b/c.txt", {"*.txt"}, {}, false));
    // Without it the folders must be the same.
    EXPECT_TRUE(MatchEntrySpec("a/b/c.txt", {"a\\b\\*.txt"}, {}, false));
    EXPECT_FALSE(MatchEntrySpec("a/x/c.txt", {"a/b/*.txt"}, {}, false));
    // A mask with a folder is tested on the whole name.
    EXPECT_TRUE(MatchEntrySpec("a/b/c.txt", {"a/*"}, {}, true));
}

TEST(MatchEntrySpec, DotAddedToNamesAndMasksWithoutOne) {
    EXPECT_TRUE(MatchEntrySpec("README", {"*.*"}, {}, true));
    EXPECT_FALSE(MatchEntrySpec("notes.txt", {"notes"}, {}, true));
    EXPECT_TRUE(MatchEntrySpec("Makefile", {"Makefile."}, {}, true));
    // Only the file name counts: a dot in a folder does not keep the dot from being added.
    EXPECT_TRUE(MatchEntrySpec("v1.2/README", {"v1.2/*.*"}, {}, true));
    EXPECT_TRUE(MatchEntrySpec("v1.2/README", {"v1.2/*.*"}, {}, false));
}

TEST(MatchEntrySpec, AColonIsPartOfTheName) {
    EXPECT_TRUE(MatchEntrySpec("log 12:00.txt", {"log*"}, {}, true));
    EXPECT_TRUE(MatchEntrySpec("log 12:00.txt", {"*.txt"}, {}, false));
    EXPECT_FALSE(MatchEntrySpec("a:b.txt", {"b*"}, {}, true));
}

TEST(MatchEntrySpec, ExclusionsUndoAMatch) {
    EXPECT_FALSE(MatchEntrySpec("src/a.o", {"*"}, {"*.o"}, true));
    EXPECT_TRUE(MatchEntrySpec("src/a.c", {"*"}, {"*.o"}, true));
    EXPECT_FALSE(MatchEntrySpec("src/a.c", {"*"}, {"src/*"}, true));
}

TEST(MatchSpec, MasksWithoutWildcardsTakeTheNameWithItsCase) {
    // On Linux readme.txt and README.TXT are two files: a plain name selects only itself;
    // wildcards still match without regard to case. The same rule for both tests, for
    // inclusion and exclusion.
    struct TCase {
        const char* Name;
        const char* Mask;
        bool Expected;
    };
    const TCase cases[] = {
        {"readme.txt", "readme.txt", true},
        {"README.TXT", "readme.txt", false},
        {"docs/ReadMe.txt", "docs/readme.txt", false},
        {"Docs/readme.txt", "docs/readme.txt", false},
        {"README.TXT", "readme.*", true},
        {"Docs/ReadMe.txt", "docs/*.txt", true},
        {"README.TXT", "readme.tx?", true},
        {"Makefile", "Makefile.", true},
        {"Makefile", "makefile.", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + " ~ " + c.Mask);
        EXPECT_EQ(MatchEntrySpec(c.Name, {c.Mask}, {}, true), c.Expected);
        EXPECT_EQ(MatchEntrySpec(c.Name, {c.Mask}, {}, false), c.Expected);
        EXPECT_EQ(MatchFileSpec(c.Name, {c.Mask}, {}), c.Expected);
        EXPECT_EQ(MatchEntrySpec(c.Name, {"*"}, {c.Mask}, true), !c.Expected);
        EXPECT_EQ(MatchFileSpec(c.Name, {"*"}, {c.Mask}), !c.Expected);
    }
}

TEST(MatchFileSpec, IncludeAndExcludeMasks) {
    EXPECT_TRUE(MatchFileSpec("dir/a.txt", {"*.txt"}, {}));
    EXPECT_FALSE(MatchFileSpec("dir/a.txt", {"*.bin"}, {}));
    EXPECT_TRUE(MatchFileSpec("README", {"*.*"}, {}));
    EXPECT_TRUE(MatchFileSpec("name.", {"*."}, {}));
    EXPECT_FALSE(MatchFileSpec("dir/a.txt", {"*"}, {"a.txt"}));
    EXPECT_FALSE(MatchFileSpec("anything", {}, {}));
}

TEST(MatchSpec, ExactNameMasksTakeOnlyTheirOwnEntry) {
    struct TCase {
        const char* Name;
        const char* Picked;
        bool Expected;
    } const cases[] = {
        {"a*.txt", "a*.txt", true},  {"ab.txt", "a*.txt", false},  {"a?.txt", "a?.txt", true},
        {"ab.txt", "a?.txt", false}, {"[x].txt", "[x].txt", true}, {"d/[x].txt", "[x].txt", false},
        {"d/*", "d/*", true},        {"d/e", "d/*", false},        {"README", "readme", false},
        {"d\\*", "d/*", true},       {"name", "name.", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + " picked " + c.Picked);
        const std::string mask = ExactNameMask(c.Picked);
        EXPECT_EQ(MatchEntrySpec(c.Name, {mask}, {}, true), c.Expected);
        EXPECT_EQ(MatchEntrySpec(c.Name, {mask}, {}, false), c.Expected);
        EXPECT_EQ(MatchFileSpec(c.Name, {mask}, {}), c.Expected);
        EXPECT_EQ(MatchFileSpec(c.Name, {"*"}, {mask}), !c.Expected);
    }
}
