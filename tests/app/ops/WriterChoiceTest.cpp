// The writer an add takes: an existing archive's detected type decides, whatever its name; a new
// archive's whole extension decides, and the name a new archive is written under.
#include "app/ops/WriterChoice.h"

#include <gtest/gtest.h>

namespace {

TEST(WriterChoice, ExistingArchivesKeepTheirType) {
    struct TCase {
        TArcType Type;
        const char* Name;
        std::optional<TOutArcType> Expected;
    } const cases[] = {
        {atZip, "x.lzh", tyZip},        {atLha, "x.zip", tyLzh},        {atLzh, "x", tyLzh},
        {atBh, "x.zip", tyBh},          {atJar, "x.jar", tyJar},        {atCab, "x.cab", tyCab},
        {atTar, "x.zip", tyTar},        {atTarGZip, "x.gz", tyTarGzip}, {atGZip, "x.tar.gz", tyTarGzip},
        {atGZip, "X.TGZ", tyTarGzip},   {atGZip, "x.gz", std::nullopt}, {atMsGZ, "x.z", std::nullopt},
        {atArj, "x.zip", std::nullopt}, {atRar, "x.rar", std::nullopt}, {atZipExe, "x.exe", std::nullopt},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(WriterTypeForArchive(c.Type, c.Name), c.Expected) << c.Name << " of type " << int(c.Type);
}

TEST(WriterChoice, NewArchivesByTheirWholeExtension) {
    struct TCase {
        const char* Name;
        TOutArcType Expected;
        const char* WrittenAs;
    } const cases[] = {
        {"a.bh", tyBh, "a.bh"},        {"a.B", tyZip, "a.B"},           {"a", tyZip, "a.zip"},
        {"a.cab", tyCab, "a.cab"},     {"a.CA", tyZip, "a.CA"},         {"a.lha", tyLzh, "a.lha"},
        {"a.LZH", tyLzh, "a.LZH"},     {"a.gz", tyTarGzip, "a.tar.gz"}, {"a.tar.gz", tyTarGzip, "a.tar.gz"},
        {"a.tgz", tyTarGzip, "a.tgz"}, {"a.tar", tyTar, "a.tar"},       {"a.jar", tyJar, "a.jar"},
        {"a.zip", tyZip, "a.zip"},     {"a.doc", tyZip, "a.doc"},       {"dir.x/a", tyZip, "dir.x/a.zip"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(WriterTypeForNewArchive(NewArchiveName(c.Name)), c.Expected) << c.Name;
        EXPECT_EQ(NewArchiveName(c.Name), c.WrittenAs) << c.Name;
    }
}

} // namespace
