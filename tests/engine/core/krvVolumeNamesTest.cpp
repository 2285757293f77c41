#include "engine/core/krvZipCommon.h"

#include "engine/core/krvErrorCodes.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class TVolumeComponent : public TZipCommon {
public:
    TVolumeComponent() {
        OnError = [this](TZipCommon&, const std::string&, const std::string& E, const std::string&, int C) {
            Errors.emplace_back(C, E);
        };
    }
    void ForceType(TArcType Type) { FArcType = Type; }
    void ForceArchiveFile(const std::string& Name) { FArchiveFile = Name; }
    std::vector<std::pair<int, std::string>> Errors;
};

} // namespace

TEST(VolumeNames, LetterSequences) {
    TVolumeComponent c;
    c.ForceType(atArj);
    c.VolumeLetter = 'a';
    EXPECT_EQ(c.GetNextVolumeName("/x/arc.arj", 1), "/x/arc.a01");
    EXPECT_EQ(c.GetNextVolumeName("/x/arc.arj", 2), "/x/arc.a02");
    EXPECT_EQ(c.GetNextVolumeName("/x/arc.a02", 99), "/x/arc.a99");
    EXPECT_EQ(c.GetNextVolumeName("/x/arc.a99", 100), "/x/arc.b00") << "the letter moves on at each hundred";
    EXPECT_EQ(c.VolumeLetter, 'b');

    // Old-style rar names: .r99 is followed by .s00.
    TVolumeComponent r;
    r.ForceType(atRar);
    r.VolumeLetter = 'q'; // detection leaves the letter before the first one used
    EXPECT_EQ(r.GetNextVolumeName("set.rar", 0), "set.r00");
    EXPECT_EQ(r.GetNextVolumeName("set.r00", 1), "set.r01");
    EXPECT_EQ(r.GetNextVolumeName("set.r98", 99), "set.r99");
    EXPECT_EQ(r.GetNextVolumeName("set.r99", 100), "set.s00");

    // A dot in a folder name is not an extension.
    EXPECT_EQ(c.GetNextVolumeName("/a.b/file", 3), "/a.b/file.b03");
    EXPECT_EQ(c.GetNextVolumeName("", 1), "");
    EXPECT_EQ(c.GetNextVolumeName("x.arj", -1), "");
    TVolumeComponent none;
    EXPECT_EQ(none.GetNextVolumeName("x.arj", 5), "") << "no volume letter from detection";
}

TEST(VolumeNames, RarPartNumbers) {
    TVolumeComponent c;
    c.ForceType(atRar);
    EXPECT_EQ(c.GetNextVolumeName("disk.part1.rar", 0), "disk.part2.rar");
    EXPECT_EQ(c.GetNextVolumeName("disk.part01.rar", 0), "disk.part02.rar");
    EXPECT_EQ(c.GetNextVolumeName("/v/d.part9.rar", 8), "/v/d.part10.rar");
    EXPECT_EQ(c.GetNextVolumeName("d.part009.rar", 8), "d.part010.rar");
    EXPECT_EQ(c.GetNextVolumeName("D.PART1.RAR", 1), "D.PART3.rar");
    c.ForceType(atRarExe);
    EXPECT_EQ(c.GetNextVolumeName("setup.part1.exe", 0), "setup.part2.rar");
    // Sets of a thousand volumes and more number their parts with four digits.
    EXPECT_EQ(c.GetNextVolumeName("d.part0001.rar", 0), "d.part0002.rar");
    // Five digits, or another type, are not part numbers.
    c.ForceType(atRar);
    c.VolumeLetter = 'r';
    EXPECT_EQ(c.GetNextVolumeName("d.part12345.rar", 1), "d.part12345.r01");
    c.ForceType(atArj);
    EXPECT_EQ(c.GetNextVolumeName("d.part1.arj", 1), "d.part1.r01");
}

TEST(VolumeNames, GetVolumeFileName) {
    std::string r;
    EXPECT_TRUE(GetVolumeFileName("/p/backup.zip", 3, 0, r, false));
    EXPECT_EQ(r, "/p/backu3.zip");
    EXPECT_TRUE(GetVolumeFileName("/p/longername.zip", 12, 0, r, true));
    EXPECT_EQ(r, "/p/longer12.zip");
    EXPECT_TRUE(GetVolumeFileName("ab.zip", 123, 0, r, false));
    EXPECT_EQ(r, "123.zip");
    EXPECT_TRUE(GetVolumeFileName("a.rar", 12, 1, r, false));
    EXPECT_EQ(r, "a.r12");
    EXPECT_TRUE(GetVolumeFileName("a.arj", 1, 1, r, false));
    EXPECT_EQ(r, "a.ar1");
    EXPECT_TRUE(GetVolumeFileName("a.arj", 7, 2, r, false));
    EXPECT_EQ(r, "a.arj");
    // A number already there is counted on from, its digits kept: the first name never comes
    // back (o.b64's fourth volume), and uuenview's rand.001 set is followed.
    const std::pair<std::string, std::string> counted[] = {
        {"/p/rand.001", "/p/rand.004"}, {"o.b64", "o.b67"}, {"o.b99", "o.b102"}, {"o.7", "o.10"}};
    for (const auto& [first, fourth] : counted) {
        EXPECT_TRUE(GetVolumeFileName(first, 3, 1, r, false));
        EXPECT_EQ(r, fourth);
    }
    EXPECT_TRUE(GetVolumeFileName("/p/disk09.uue", 3, 0, r, true));
    EXPECT_EQ(r, "/p/disk12.uue");
    EXPECT_FALSE(GetVolumeFileName("a.arj", 1000, 1, r, false));
    EXPECT_FALSE(GetVolumeFileName("a.arj", -1, 1, r, false));
}

TEST(VolumeNames, GetNextVolumeAsksUntilTheFileExists) {
    TempDir dir;
    TVolumeComponent c;
    std::string name = (dir / "arc.a01").string();
    EXPECT_FALSE(c.GetNextVolume(name, "1000"));
    EXPECT_EQ(c.Errors.back().first, ecMaximumVolumes999);
    std::string empty;
    EXPECT_FALSE(c.GetNextVolume(empty, "1"));
    EXPECT_EQ(c.Errors.back().first, ecInvalidFileName);
    EXPECT_FALSE(c.GetNextVolume(name, "0999"));
    EXPECT_EQ(c.Errors.back(), std::make_pair(ecRequiredEventNotAssigned, std::string("OnNextVolume")));

    // The handler is asked until it names an existing file.
    int asked = 0;
    c.OnNextVolume = [&](TZipCommon&, std::string& Volume, const std::string& Id, bool Exists, bool& Cancel) {
        ++asked;
        EXPECT_EQ(Id, "2");
        EXPECT_FALSE(Exists);
        Cancel = false;
        if (asked == 2) {
            Volume = (dir / "elsewhere.a01").string();
            WriteFile(Volume, "v");
        }
    };
    const int before = c.VolumeNumber;
    EXPECT_TRUE(c.GetNextVolume(name, "2"));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(name, (dir / "elsewhere.a01").string());
    EXPECT_EQ(c.VolumeNumber, before + 1);

    // Cancel ends the search and cancels the job.
    c.Errors.clear();
    c.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool&) {};
    std::string bare = "no-such-volume.a05";
    EXPECT_FALSE(c.GetNextVolume(bare, "5"));
    EXPECT_EQ(bare, fs::current_path().string() + "/no-such-volume.a05")
        << "a bare name is in the current folder";
    EXPECT_TRUE(c.Cancel());
    ASSERT_EQ(c.Errors.size(), 1U);
    EXPECT_EQ(c.Errors[0].first, ecUserCanceled);
}

TEST(VolumeNames, OpenNextVolume) {
    TempDir dir;
    TVolumeComponent c;
    c.ForceType(atArj);
    c.ForceArchiveFile((dir / "arc.arj").string());
    c.VolumeLetter = 'a';
    c.VolumeNumber = 1;
    std::unique_ptr<TFileStream32> stream;
    EXPECT_FALSE(c.OpenNextVolume(stream)) << "nothing without OnNextVolume";

    WriteFile(dir / "arc.a01", "0123456789");
    c.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool Exists, bool& Cancel) {
        Cancel = !Exists;
    };
    ASSERT_TRUE(c.OpenNextVolume(stream));
    ASSERT_TRUE(stream);
    EXPECT_EQ(c.ArchiveSize, 10);
    EXPECT_EQ(c.ArchiveFile(), (dir / "arc.a01").string());
    EXPECT_EQ(c.VolumeNumber, 2);
    EXPECT_FALSE(c.OpenNextVolume(stream)) << "arc.a02 does not exist";
}

// Detection sets the letter and number; the names that follow are those the archivers write.
TEST(VolumeNames, SequencesStartFromDetection) {
    TempDir dir;
    const std::string ace = ReadFile(CorpusDir() / "sharpcompress/ace/Ace.store.split.ace");
    for (const std::string name : {"set.ace", "SET.ACE"}) {
        WriteFile(dir / name, ace);
        TVolumeComponent c;
        c.SetArchiveFile((dir / name).string());
        ASSERT_EQ(c.ArcType(), atAce) << name;
        const std::string expected = name == "set.ace" ? "set.c00" : "SET.C00";
        EXPECT_EQ(c.GetNextVolumeName((dir / name).string(), c.VolumeNumber), (dir / expected).string());
    }
    // The second volume of the corpus set continues with its own letter and the next number.
    TVolumeComponent second;
    second.SetArchiveFile((CorpusDir() / "sharpcompress/ace/Ace.store.split.c00").string());
    ASSERT_EQ(second.ArcType(), atAce);
    EXPECT_EQ(second.GetNextVolumeName("x.c00", second.VolumeNumber), "x.c01");

    const std::string rar = ReadFile(CorpusDir() / "libarchive/rar/read_format_rar_multivolume.part0001.rar");
    WriteFile(dir / "m.part0001.rar", rar);
    TVolumeComponent r;
    r.SetArchiveFile((dir / "m.part0001.rar").string());
    ASSERT_EQ(r.ArcType(), atRar);
    EXPECT_EQ(r.GetNextVolumeName((dir / "m.part0001.rar").string(), 0), (dir / "m.part0002.rar").string());
}
