#include "engine/core/krvZipCommon.h"

#include <gtest/gtest.h>

TEST(MethodNames, Table) {
    struct TCase {
        TArcType Type;
        unsigned Method, Flags;
        bool Dir;
        std::uint16_t Magic;
        const char* Expected;
    };
    const TCase cases[] = {
        {atAce, 2, 0, false, 0, "Normal"},
        {atAceExe, 5, 0, false, 0, "Unsupported"},
        {atArc, 1, 0, false, 0, "Stored"},
        {atArc, 8, 0, false, 0, "Pack10"},
        {atArcExe, 11, 0, false, 0, "Stored"},
        {atArc, 30, 0, false, 0, "<Dir>"},
        {atArc, 0, 0, false, 0, "Unsupported"},
        {atArj, 3, 0, false, 0, "2nd Fast"},
        {atArj, 4, 0, true, 0, "<Dir>"},
        {atArj, 4, 0, false, 0, "Unsupported"},
        {atBh, 1, 0, false, 0, "Fused1"},
        {atBhExe, 8, 2, false, 0, "DeflateX"},
        {atCab, 0x1503, 0, false, 0, "Lzx"},
        {atCab, 0x0001, 0, false, 0, "MsZIP"},
        {atCab, 0x0004, 0, false, 0, "Unsupported"},
        {atGZip, 8, 0, false, 0, "Deflate"},
        {atGZip, 144, 0, false, 0, "LzwMAGIC"},
        {atGZip, 5, 0, false, 0x1E1F, "PackMAGIC"},
        {atGZip, 5, 0, false, 0xA01F, "LzhMAGIC"},
        {atHA, 2, 0, false, 0, "HSC"},
        {atHA, 14, 0, false, 0, "<Dir>"},
        {atHA, 15, 0, false, 0, "Special"},
        {atZip, 0, 0, false, 0, "Stored"},
        {atZip, 6, 0, false, 0, "Imploded"},
        {atZip, 8, 0, false, 0, "DeflateN"},
        {atZip, 8, 6, false, 0, "DeflateS"},
        {atJar, 8, 4, false, 0, "DeflateF"},
        {atZipMV, 9, 2, false, 0, "Def-64X"},
        {atJarExe, 10, 0, false, 0, "DCL-implode"},
        {atZip, 12, 0, true, 0, "<Dir>"},
        {atZip, 12, 0, false, 0, "Unsupported"},
        {atLha, '5', 0, false, 0, "Frozen-5"},
        {atLzhExe, '0', 0, false, 0, "Stored"},
        {atLzh, 'd', 0, false, 0, "<Dir>"},
        {atLha, 'x', 0, false, 0, "Unsupported"},
        {atPak, 2, 0, false, 0, "Stored"},
        {atPak, 8, 0, false, 0, "Varible"},
        {atPakExe, 11, 0, false, 0, "Distill"},
        {atPak, 1, 0, false, 0, "Unsupported"},
        {atRar, '3', 0, false, 0, "Normal"},
        {atRarExe, '3', 0, true, 0, "<Dir>"},
        {atTar, 0, 0, false, 0, "Tarred"},
        {atTar, 1, 0, true, 0, "<Dir>"},
        {atZoo, 2, 0, false, 0, "Greatest"},
        {atUUE, 0, 0, false, 0, "Unsupported"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(CompressMethodName(c.Type, c.Method, c.Flags, c.Dir, c.Magic), c.Expected)
            << ArcTypeIdent(c.Type) << " method " << c.Method;
}

TEST(AttributeStrings, DosAndUnix) {
    EXPECT_EQ(AttributeString(atZip, 0, 0x21, '-'), "ar--");
    EXPECT_EQ(AttributeString(atZip, 0, 0x10, '-'), "d---");
    EXPECT_EQ(AttributeString(atLzh, 0, 0x37, '.'), "drsh");
    EXPECT_EQ(AttributeString(atRar, 0, 0x20, '-'), "a---") << "a DOS-made rar entry";
    EXPECT_EQ(AttributeString(atNA, 0, 0x20, '-'), "");
    EXPECT_EQ(AttributeString(atRar, 3, 0x41ED, '-'), "drwxr-xr-x");
    EXPECT_EQ(AttributeString(atRarExe, 3, 0x81A4, '-'), "-rw-r--r--");
    EXPECT_EQ(AttributeString(atAce, 3, 0x09ED, '-'), "-rwsr-xr-x");
    EXPECT_EQ(AttributeString(atRar, 3, 0x0DA4, '-'), "-rwSr-Sr--");
    EXPECT_EQ(AttributeString(atRar, 3, 0x05FF, '.'), ".rwxrwsrwx");
}
