#include "engine/core/krvWildMatch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TMatchCase {
    const char* Mask;
    const char* Name;
    bool Expected;
};

void CheckTable(std::initializer_list<TMatchCase> Cases) {
    for (const TMatchCase& c : Cases)
        EXPECT_EQ(WildMatch(c.Name, c.Mask), c.Expected)
            << "mask \"" << c.Mask << "\" name \"" << c.Name << '"';
}

} // namespace

TEST(WildMatch, StarTakesAnyRunIncludingNone) {
    CheckTable({
        {"*", "", true},
        {"*", "abc", true},
        {"*", ".profile", true},
        {"*c", "abc", true},
        {"*c", "c", true},
        {"*c", "cb", false},
        {"a*", "a", true},
        {"a*b*c", "abc", true},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "abcbc", true},
        {"a*b*c", "acb", false},
        {"**a**", "bab", true},
        {"***", "", true},
        {"*ab", "aab", true},
        {"*aab", "aaab", true},
        {"*.*", "name.ext", true},
        {"*.*", "noext", false}, // "*.*" needs a dot when matched directly
        {"", "", true},
        {"", "a", false},
    });
}

TEST(WildMatch, QuestionMarkTakesExactlyOneCharacter) {
    CheckTable({
        {"a?c", "ABC", true},
        {"a?c", "abcd", false},
        {"a?c", "ac", false},
        {"?", "", false},
        {"??", "ab", true},
        {"??", "abc", false},
        {"*?", "a", true},
        {"?*", "", false},
        {"file?.txt", "file1.txt", true},
        {"file?.txt", "file10.txt", false},
        {"file*.txt", "file10.txt", true},
        {"file*.txt", "file.txt", true},
    });
}

TEST(WildMatch, ExtensionsAndFolders) {
    CheckTable({
        {"*.txt", "notes.txt", true},
        {"*.txt", "archive.tar.txt", true},
        {"*.txt", "notes.txt.bak", false},
        {"*.txt", "txt", false},
        {"*.tar.gz", "a.tar.gz", true},
        {"*.tar.gz", "a.tgz", false},
        {"docs/*.txt", "docs/a.txt", true},
        {"docs/*.txt", "docs/sub/a.txt", true}, // '*' does not stop at a separator
        {"docs/*.txt", "other/a.txt", false},
        {"*.", "name.", true},
    });
}

TEST(WildMatch, AsciiLettersCompareWithoutCase) {
    CheckTable({
        {"README.TXT", "readme.txt", true},
        {"readme.txt", "ReadMe.TXT", true},
        {"*.ZIP", "backup.zip", true},
        {"[a]", "[A]", true},
        {"a_b", "A_B", true},
        {"a@", "a`", false}, // neighbours of the letters are not folded
        {"[", "{", false},
    });
}

TEST(WildMatch, Utf8NamesMatchByCharacter) {
    CheckTable({
        {"?", "\xC3\xA9", true},                 // é: two bytes, one character
        {"?", "\xE2\x82\xAC", true},             // €: three bytes
        {"?", "\xF0\x9F\x98\x80", true},         // an emoji: four bytes
        {"??", "\xC3\xA9", false},               // not two characters
        {"caf?", "caf\xC3\xA9", true},           // café
        {"caf?", "caf\xC3\xA9!", false},         // one character too many
        {"?\xC3\xA9", "\xC3\xA9\xC3\xA9", true}, // éé
        {"*?", "\xC3\xA9", true},
        {"*\xC3\xA9", "\xC3\xA9\xC3\xA9", true},
        {"\xE6\x97\xA5*.txt", "\xE6\x97\xA5\xE6\x9C\xAC.txt", true}, // 日本.txt
        {"?\xE6\x9C\xAC.txt", "\xE6\x97\xA5\xE6\x9C\xAC.txt", true},
        {"\xC3\xA9", "\xC3\x89", false}, // é and É: only ASCII letters fold
        {"?", "\xFF", true},             // a stray byte counts as one character
        {"??", "\xC3", false},           // a cut-off sequence is one character
        {"??", "\xC3\x41", true},        // a lead byte before a plain letter
        {"?", "\xE2\x82", false},        // two stray bytes are two characters
    });
}

TEST(WildMatch, LongNames) {
    const std::string longName = std::string(300, 'a') + ".txt";
    EXPECT_TRUE(WildMatch(longName, "*.txt"));
    EXPECT_TRUE(WildMatch(longName, std::string(300, '?') + ".TXT"));
    EXPECT_FALSE(WildMatch(longName, std::string(299, '?') + ".txt"));
    EXPECT_TRUE(WildMatch(longName, longName));
    EXPECT_TRUE(WildMatch(std::string(5000, 'x') + "y", "*y"));
    // Many stars against a name that almost matches: must answer, not run for ever.
    EXPECT_FALSE(WildMatch(std::string(4000, 'a'), "*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(WildMatch(std::string(4000, 'a') + "b", "*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(WildMatch, CompiledMasksCompareByWhatTheyMatch) {
    EXPECT_EQ(TInternalMask("*.TXT"), TInternalMask("*.txt"));
    EXPECT_EQ(TInternalMask("a**b"), TInternalMask("a*b"));
    EXPECT_NE(TInternalMask("file?.txt"), TInternalMask("file*.txt"));
    EXPECT_NE(TInternalMask("*.txt"), TInternalMask("*.txt*"));
    EXPECT_NE(TInternalMask::Exact("a.txt"), TInternalMask("a.txt"));

    const TInternalMask empty;
    EXPECT_TRUE(empty.Matches(""));
    EXPECT_FALSE(empty.Matches("a"));
}

TEST(WildMatch, ExactMaskTakesWildcardsAndCaseLiterally) {
    const TInternalMask exact = TInternalMask::Exact("Make*file?,1");
    EXPECT_TRUE(exact.Matches("Make*file?,1"));
    EXPECT_FALSE(exact.Matches("MAKE*FILE?,1"));
    EXPECT_FALSE(exact.Matches("MakeXXfileY,1"));
    EXPECT_FALSE(exact.Matches("Make*file?,12"));
}

TEST(WildMatch, Utf8CharLength) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xFF\xC3";
    EXPECT_EQ(Utf8CharLength(text, 0), 1U);
    EXPECT_EQ(Utf8CharLength(text, 1), 2U);
    EXPECT_EQ(Utf8CharLength(text, 3), 3U);
    EXPECT_EQ(Utf8CharLength(text, 6), 4U);
    EXPECT_EQ(Utf8CharLength(text, 10), 1U);      // 0xFF never begins a character
    EXPECT_EQ(Utf8CharLength(text, 11), 1U);      // a lead byte at the very end
    EXPECT_EQ(Utf8CharLength("\xC0\x80", 0), 1U); // overlong lead byte
    // A lead byte without its continuation bytes.
    EXPECT_EQ(Utf8CharLength("\xE2\x61\x62", 0), 1U);
}
