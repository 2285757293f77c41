// Every prefix of a few sample archives lists cleanly: no crash and no endless walk, only
// entries of the whole archive, and every entry that lies wholly before the cut.
#include "ListerSupport.h"
#include "TestSupport.h"

#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>
#include <set>

using namespace testsupport;

namespace {

struct TSample {
    const char* Path;
    bool InOrder; // entries stand in the file in the order listed, header first
    std::size_t Stride;
};

class KorvaTruncation : public ::testing::TestWithParam<TSample> {};

// The sample's path with every character other than a letter or digit made '_'.
std::string SampleName(const ::testing::TestParamInfo<TSample>& Info) {
    std::string name = Info.param.Path;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

} // namespace

TEST_P(KorvaTruncation, EveryCutEndsCleanly) {
    const TSample sample = GetParam();
    const std::string whole = ReadFile(CorpusDir() / sample.Path);
    const TListing full = ListArchive((CorpusDir() / sample.Path).string());
    ASSERT_FALSE(full.Entries.empty()) << sample.Path;
    std::set<std::string> names;
    for (const TListedEntry& e : full.Entries)
        names.insert(e.Name);

    TempDir dir;
    const std::string ext = fs::path(sample.Path).extension().string();
    const std::string cut = (dir / ("cut" + ext)).string();
    for (std::size_t n = 0; n < whole.size(); n += sample.Stride) {
        WriteFile(cut, whole.substr(0, n));
        const TListing part = ListArchive(cut);
        EXPECT_TRUE(part.TotalsFired || part.Type == atNA || !part.Result) << sample.Path << " cut at " << n;
        for (const TListedEntry& e : part.Entries)
            EXPECT_TRUE(names.count(e.Name)) << sample.Path << " cut at " << n << " lists '" << e.Name << "'";
        if (!sample.InOrder) continue;
        // An entry whose successor's header lies before the cut is complete.
        for (std::size_t i = 0; i + 1 < full.Entries.size(); ++i) {
            if (full.Entries[i + 1].Offset > static_cast<std::int64_t>(n) || full.Entries[i].Offset == 0)
                continue;
            const std::string& name = full.Entries[i].Name;
            EXPECT_TRUE(std::any_of(part.Entries.begin(), part.Entries.end(),
                                    [&](const TListedEntry& e) { return e.Name == name; }))
                << sample.Path << " cut at " << n << " lost '" << name << "'; " << part.Describe();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, KorvaTruncation,
                         ::testing::Values(TSample{"patool/t.zip", true, 1}, TSample{"patool/t.lha", true, 1},
                                           TSample{"patool/t.arj", true, 1}, TSample{"patool/t.arc", true, 1},
                                           TSample{"patool/t.zoo", false, 1},
                                           TSample{"patool/t.cab", false, 1},
                                           TSample{"patool/t.rar", true, 1}, TSample{"patool/t.ace", true, 1},
                                           TSample{"commons-compress/arj/bla.arj", true, 1},
                                           TSample{"libarchive/lha/read_format_lha_header2.lzh", true, 1},
                                           TSample{"commons-compress/tar-gz-z/bla.tar", true, 7},
                                           TSample{"sharpcompress/zip/Zip.none.datadescriptors.zip", true, 1},
                                           TSample{"sharpcompress/rar/Rar5.none.rar", true, 97}),
                         SampleName);
