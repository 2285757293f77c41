#include "platform/CodePages.h"

#include <gtest/gtest.h>
#include <set>

namespace {

std::string Byte(int B) {
    return std::string(1, static_cast<char>(B));
}

} // namespace

TEST(CodePages, EveryCp437ByteRoundTrips) {
    std::set<std::string> seen;
    std::string all;
    for (int b = 0; b < 256; ++b) {
        const std::string utf8 = CodePageToUtf8(Byte(b), TCodePage::Oem);
        EXPECT_TRUE(IsValidUtf8(utf8)) << b;
        EXPECT_TRUE(seen.insert(utf8).second) << "two bytes give the same character: " << b;
        std::string back;
        ASSERT_TRUE(Utf8ToCodePage(utf8, TCodePage::Oem, back)) << b;
        EXPECT_EQ(back, Byte(b)) << b;
        all += Byte(b);
    }
    // And all of them in one text.
    std::string back;
    ASSERT_TRUE(Utf8ToCodePage(CodePageToUtf8(all, TCodePage::Oem), TCodePage::Oem, back));
    EXPECT_EQ(back, all);
}

TEST(CodePages, KnownCp437Characters) {
    EXPECT_EQ(CodePageToUtf8("A", TCodePage::Oem), "A");
    EXPECT_EQ(CodePageToUtf8(Byte(0x81), TCodePage::Oem), "\xC3\xBC");     // u-umlaut
    EXPECT_EQ(CodePageToUtf8(Byte(0x9A), TCodePage::Oem), "\xC3\x9C");     // U-umlaut
    EXPECT_EQ(CodePageToUtf8(Byte(0xE1), TCodePage::Oem), "\xC3\x9F");     // sharp s
    EXPECT_EQ(CodePageToUtf8(Byte(0xB0), TCodePage::Oem), "\xE2\x96\x91"); // light shade
    EXPECT_EQ(CodePageToUtf8("", TCodePage::Oem), "");
    // A NUL inside the text is kept.
    EXPECT_EQ(CodePageToUtf8(std::string("a\0b", 3), TCodePage::Oem), std::string("a\0b", 3));
}

TEST(CodePages, Cp1252AssignedBytesRoundTrip) {
    EXPECT_EQ(CodePageToUtf8(Byte(0x80), TCodePage::Ansi), "\xE2\x82\xAC"); // euro sign
    EXPECT_EQ(CodePageToUtf8(Byte(0xE9), TCodePage::Ansi), "\xC3\xA9");
    // The five unassigned bytes read as the C1 controls of the same value.
    EXPECT_EQ(CodePageToUtf8(Byte(0x81), TCodePage::Ansi), "\xC2\x81");
    EXPECT_EQ(CodePageToUtf8("a" + Byte(0x9D) + "b", TCodePage::Ansi), "a\xC2\x9D"
                                                                       "b");
    for (int b = 0; b < 256; ++b) {
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) continue;
        std::string back;
        ASSERT_TRUE(Utf8ToCodePage(CodePageToUtf8(Byte(b), TCodePage::Ansi), TCodePage::Ansi, back)) << b;
        EXPECT_EQ(back, Byte(b)) << b;
    }
}

TEST(CodePages, CharactersOutsideTheCodePageAreRefused) {
    std::string out = "unchanged";
    EXPECT_FALSE(Utf8ToCodePage("\xE6\x97\xA5", TCodePage::Oem, out)); // a CJK character
    EXPECT_EQ(out, "unchanged");
    EXPECT_FALSE(Utf8ToCodePage("x\xE2\x82\xAC", TCodePage::Oem, out));    // euro sign: not in CP437
    EXPECT_FALSE(Utf8ToCodePage("\xF0\x9F\x98\x80", TCodePage::Oem, out)); // emoji
    EXPECT_FALSE(Utf8ToCodePage("\xE2\x96\x91", TCodePage::Ansi, out));    // light shade: not in CP1252
    EXPECT_EQ(out, "unchanged");
    EXPECT_TRUE(Utf8ToCodePage("x\xE2\x82\xAC", TCodePage::Ansi, out));
    EXPECT_EQ(out, "x\x80");
}

TEST(CodePages, InvalidUtf8IsRefused) {
    const std::string invalid[] = {
        "\x80",                 // a lone continuation byte
        "\xC3",                 // cut short
        "ab\xE2\x82",           // cut short at the end
        "\xC0\xAF",             // overlong '/'
        "\xE0\x80\xAF",         // overlong '/'
        "\xED\xA0\x80",         // a surrogate
        "\xF4\x90\x80\x80",     // past U+10FFFF
        "\xF8\x88\x80\x80\x80", // five bytes
        "\xFF",
        "\xC3\x28", // a lead byte followed by ASCII
    };
    for (const std::string& s : invalid) {
        EXPECT_FALSE(IsValidUtf8(s)) << s;
        std::string out = "unchanged";
        EXPECT_FALSE(Utf8ToCodePage(s, TCodePage::Oem, out)) << s;
        EXPECT_FALSE(Utf8ToCodePage(s, TCodePage::Ansi, out)) << s;
        EXPECT_EQ(out, "unchanged");
    }
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("plain"));
    EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF")); // U+10FFFF
    EXPECT_TRUE(IsValidUtf8("\xEF\xBF\xBD"));
}
