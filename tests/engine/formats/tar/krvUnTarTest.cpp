// The tar reader on archives made in the test: the number forms of the header, and hostile
// names and links that must never reach outside the destination.
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/tar/krvTarRecords.h"

#include "ExtractRun.h"
#include "tests/engine/read/KorvaBuilders.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;
using korvatest::MakeTar;

TEST(TarRecords, NumbersInEveryForm) {
    struct TCase {
        std::string Field;
        std::int64_t Value;
    };
    const TCase cases[] = {
        {std::string("00000001001\0", 12), 513},
        {std::string("     1001 \0\0", 12), 513}, // blanks before and after
        {std::string("1001\0\0\0\0\0\0\0\0", 12), 513},
        {std::string("\x80\0\0\0\0\0\0\0\0\0\x02\x01", 12), 513},                         // base 256
        {std::string("\x80\0\0\0\0\0\0\x02\0\0\0\x01", 12), (std::int64_t{2} << 32) + 1}, // past 8 GiB
        {std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 12), -1},        // negative
        {std::string("77777777777777777777777", 12), 0777777777777},                      // all 12 digits
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TarNumber(reinterpret_cast<const std::uint8_t*>(c.Field.data()), c.Field.size()), c.Value)
            << "field '" << c.Field << "'";
}

TEST(UnTar, HostileNamesAndLinksStayInsideTheDestination) {
    TempDir dir;
    const fs::path dest = dir / "dest";
    const fs::path outside = dir / "outside";
    fs::create_directories(outside);
    WriteFile(outside / "victim.txt", "keep");
    const std::string archive = MakeTar({
        {"plain.txt", "plain"},
        {"../escape.txt", "no"},
        {"/abs.txt", "abs"},
        {"lnk", "", '2', outside.string()},          // a link leading out ...
        {"lnk/victim.txt", "through the link", '0'}, // ... and a file written through it
        {"hard", "", '1', "plain.txt"},              // a copy of an earlier entry
        {"hardout", "", '1', (outside / "victim.txt").string()},
        {"dev", "", '3'},
        {"fifo", "", '6'},
        {"LABEL", "", 'V'}, // a volume label: no file, no error
    });
    WriteFile(dir / "t.tar", archive);
    const ExtractResult r = ExtractAll(dir / "t.tar", dest);

    EXPECT_EQ(ReadFile(outside / "victim.txt"), "keep");
    EXPECT_EQ(ReadTree(outside).size(), 1U);
    EXPECT_EQ(ReadTree(dest), (std::map<std::string, std::string>{{"plain.txt", "plain"},
                                                                  {"abs.txt", "abs"},
                                                                  {"lnk/", ""},
                                                                  {"lnk/victim.txt", "through the link"},
                                                                  {"hard", "plain"}}))
        << r.Describe();
    EXPECT_EQ(r.CountOf(ecInvalidFileName), 1) << r.Describe();
    // The hard link to a file outside, the device and the pipe fail; the symbolic link is
    // reported skipped.
    EXPECT_EQ(r.CountOf(ecUnknownFileType), 3) << r.Describe();
    EXPECT_EQ(r.CountOf(ecSkippedFile), 1) << r.Describe();
    EXPECT_EQ(r.FilesFailed, 3);
}
