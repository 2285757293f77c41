// The lister's frame: selection, events, totals, cancel, and the walks on damaged, hostile
// and rare layouts built byte by byte.
#include "engine/read/krvKorva.h"

#include "KorvaBuilders.h"
#include "ListerSupport.h"
#include "TestSupport.h"
#include "ZipBuilder.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/formats/zip/krvZipRecords.h"
#include "platform/Drives.h"

#include <gtest/gtest.h>

using namespace testsupport;
using namespace korvatest;

namespace {

std::vector<std::string> Names(const TListing& Listing) {
    std::vector<std::string> names;
    for (const TListedEntry& e : Listing.Entries)
        names.push_back(e.Name);
    return names;
}

class Korva : public ::testing::Test {
protected:
    std::string Archive(const std::string& Name, const std::string& Bytes) {
        const fs::path p = Dir / Name;
        WriteFile(p, Bytes);
        return p.string();
    }
    std::string SampleZip() {
        return Archive("s.zip", MakeZip({{"a.txt", "hello"}, {"b.bin", "12345678"}, {"dir/", "", 0, 0x10}}));
    }
    TempDir Dir;
};

} // namespace

TEST_F(Korva, FileSpecSelectsAndOnReadFileSeesEveryHeader) {
    const TListing l = ListArchive(SampleZip(), [](TKorva& k) { k.FileSpec = {"*.txt"}; });
    EXPECT_EQ(Names(l), (std::vector<std::string>{"a.txt"}));
    EXPECT_EQ(l.ReadFiles, (std::vector<std::string>{"a.txt", "b.bin", "dir/"}));
    EXPECT_EQ(l.NumFiles, 1);
    EXPECT_EQ(l.TotalUnpacked, 5);
}

TEST_F(Korva, ExclusionMasksAreNotTheListersAndAreEmptied) {
    TKorva k;
    int listed = 0;
    k.OnRead = [&](TZipCommon&, std::int64_t, int) { ++listed; };
    k.ExcludeSpec = {"*.txt"};
    k.SetArchiveFile(SampleZip());
    EXPECT_TRUE(k.Activate());
    EXPECT_EQ(listed, 2); // a.txt and b.bin: the lister selects by FileSpec alone
    EXPECT_TRUE(k.ExcludeSpec.empty());
}

TEST_F(Korva, FoldersOnlyWithShowEmptyDirsAndNotCounted) {
    const TListing hidden = ListArchive(SampleZip(), [](TKorva& k) { k.ShowEmptyDirs = false; });
    EXPECT_EQ(Names(hidden), (std::vector<std::string>{"a.txt", "b.bin"}));
    const TListing shown = ListArchive(SampleZip());
    ASSERT_EQ(shown.Entries.size(), 3U);
    EXPECT_EQ(shown.Entries[2].Name, "dir/");
    EXPECT_EQ(shown.Entries[2].Filenum, 2); // the number of the last file counted before it
    EXPECT_EQ(shown.Entries[2].Method, "");
    EXPECT_EQ(shown.NumFiles, 2);
}

TEST_F(Korva, NoSelectedEntryGivesEmptyTotals) {
    const TListing l = ListArchive(SampleZip(), [](TKorva& k) { k.FileSpec = {"*.none"}; });
    EXPECT_TRUE(l.Entries.empty());
    EXPECT_TRUE(l.TotalsFired);
    EXPECT_EQ(l.NumFiles, 0);
    EXPECT_EQ(l.TotalRatio, 0);
    EXPECT_TRUE(l.Result);
}

TEST_F(Korva, CancelInOnReadEndsTheWalkButTotalsStillFire) {
    const TListing l = ListArchive(
        SampleZip(), [](TKorva& k) { k.OnReadEnd = [](TZipCommon& Sender) { Sender.SetCancel(true); }; });
    EXPECT_EQ(Names(l), (std::vector<std::string>{"a.txt"}));
    EXPECT_TRUE(l.TotalsFired);
    EXPECT_EQ(l.NumFiles, 1);
    EXPECT_TRUE(l.HasError(ecUserCanceled));
}

TEST_F(Korva, EventsComeInOrderAroundEachEntry) {
    std::string order;
    ListArchive(SampleZip(), [&](TKorva& k) {
        k.ShowEmptyDirs = false;
        k.OnActivate = [&](TZipCommon&) { order += "A"; };
        k.OnReadBegin = [&](TZipCommon&) { order += "("; };
        k.OnReadEnd = [&](TZipCommon&) { order += ")"; };
        k.OnTotals = [&](TZipCommon&, double, double, int, int) { order += "T"; };
        k.OnDeactivate = [&](TZipCommon&) { order += "D"; };
    });
    EXPECT_EQ(order, "A()()TD");
}

TEST_F(Korva, EncryptedZipEntryLessItsCipherHeaderAndRatioFromTheStoredSize) {
    const TListing l =
        ListArchive(Archive("e.zip", MakeZip({{"secret.txt", std::string(40, 'x'), 0x0001, 0x20, "", 100}})));
    ASSERT_EQ(l.Entries.size(), 1U);
    EXPECT_TRUE(l.Entries[0].Encrypted);
    EXPECT_EQ(l.Entries[0].Packed, 28);
    EXPECT_EQ(l.Entries[0].Ratio, 60); // (100 - 40) * 100 / 100
}

TEST_F(Korva, MissingArchiveOrOnReadIsAnError) {
    TKorva k;
    std::vector<int> codes;
    k.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int Code) {
        codes.push_back(Code);
    };
    k.OnRead = [](TZipCommon&, std::int64_t, int) {};
    k.SetArchiveFile((Dir / "none.zip").string());
    EXPECT_FALSE(k.Activate());
    EXPECT_EQ(codes, std::vector<int>{ecFileNotFound});

    codes.clear();
    k.SetArchiveFile(SampleZip());
    k.OnRead = nullptr;
    EXPECT_FALSE(k.Activate());
    EXPECT_EQ(codes, std::vector<int>{ecRequiredEventNotAssigned});
}

TEST_F(Korva, EntryCommentIsCutToItsLengthAndToTheBuffer) {
    const TListing l = ListArchive(Archive(
        "c.zip",
        MakeZip({{"a", "1", 0, 0x20, "note"}, {"b", "2", 0, 0x20, std::string(40000, 'c')}, {"c", "3"}})));
    ASSERT_EQ(l.Entries.size(), 3U);
    EXPECT_EQ(l.Entries[0].Comment, "note");
    EXPECT_EQ(l.Entries[1].Comment.size(), TKorva::CommentBufSize - 1);
    EXPECT_EQ(l.Entries[2].Comment, "");
}

TEST_F(Korva, ZipWithoutDirectoryAsksBeforeWalkingLocalHeaders) {
    const std::string zip = Archive("l.zip", MakeZip({{"a.txt", "one"}, {"b.txt", "two"}}, false));
    THeaderTypeState state{};
    const TListing refused = ListArchive(zip, [&](TKorva& k) {
        k.OnCorruptZipHeader = [&](TZipCommon&, THeaderTypeState S, bool& Cancel) {
            state = S;
            EXPECT_TRUE(Cancel);
        };
    });
    EXPECT_EQ(state, htLocal);
    EXPECT_TRUE(refused.Entries.empty());

    const TListing walked = ListArchive(zip);
    EXPECT_EQ(Names(walked), (std::vector<std::string>{"a.txt", "b.txt"}));

    const TListing unasked = ListArchive(zip, [](TKorva& k) { k.OnCorruptZipHeader = nullptr; });
    EXPECT_EQ(unasked.Entries.size(), 2U);
    EXPECT_TRUE(unasked.HasError(ecRequiredEventNotAssigned));
}

TEST_F(Korva, LocalWalkFindsTheDataDescriptorOfEntriesWithoutSizes) {
    // Sizes and CRC follow the data: the local headers hold zeros.
    std::string zip;
    for (const std::string name : {"first.txt", "second.txt"}) {
        const std::string data = "data of " + name;
        TZipLocalHeader h;
        h.Flags = 0x0008;
        h.NameLength = static_cast<std::uint16_t>(name.size());
        zip += std::string(reinterpret_cast<const char*>(h.Image().data()), 30) + name + data;
        PutU32(zip, 0x08074B50);
        PutU32(zip, 0xCAFEF00D);
        PutU32(zip, static_cast<std::uint32_t>(data.size()));
        PutU32(zip, static_cast<std::uint32_t>(data.size()));
    }
    const TListing l = ListArchive(Archive("d.zip", zip));
    ASSERT_EQ(l.Entries.size(), 2U) << l.Describe();
    EXPECT_EQ(l.Entries[1].Name, "second.txt");
    EXPECT_EQ(l.Entries[1].Unpacked, 18);
    EXPECT_EQ(l.Entries[1].Crc, 0xCAFEF00DU);
}

TEST_F(Korva, LocalWalkReadsTheZip64DescriptorOfEntriesWithAZip64Field) {
    // Streamed zip64 entries: zeros in the local header and its zip64 field, the sizes in a
    // 24-byte descriptor after the data.
    std::string zip64Field;
    PutU16(zip64Field, 0x0001);
    PutU16(zip64Field, 16);
    zip64Field.append(16, '\0');
    TZipSpec spec;
    const std::string texts[] = {"first entry's text", std::string(70000, 'x'), "third"};
    for (int i = 0; i < 3; ++i) {
        testsupport::TZipItem item{"f" + std::to_string(i) + ".txt", texts[i]};
        item.Method = 8;
        item.Packed = DeflateRaw(texts[i]);
        item.Extra = zip64Field;
        item.Descriptor = TZipDescriptorStyle::Signed;
        item.Descriptor64 = true;
        spec.Add(item);
    }
    TZipLayout layout;
    const std::string whole = MakeStoredZip(spec, &layout);
    const TListing l = ListArchive(Archive("z64.zip", whole.substr(0, layout.Directory)));
    ASSERT_EQ(l.Entries.size(), 3U) << l.Describe();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(l.Entries[i].Name, "f" + std::to_string(i) + ".txt");
        EXPECT_EQ(l.Entries[i].Unpacked, std::ssize(texts[i]));
        EXPECT_EQ(l.Entries[i].Packed, std::ssize(DeflateRaw(texts[i])));
        EXPECT_EQ(l.Entries[i].Crc, Crc32Of(texts[i]));
    }
}

TEST_F(Korva, EmptyZipListsNothingWithoutComplaint) {
    std::string empty;
    PutU32(empty, 0x06054B50);
    empty.resize(22, '\0');
    const TListing l = ListArchive(Archive("empty.zip", empty));
    EXPECT_TRUE(l.Entries.empty());
    EXPECT_TRUE(l.Errors.empty()) << l.Describe();
    EXPECT_TRUE(l.TotalsFired);
}

TEST_F(Korva, TarEntryOfOneByteMovesTheWalkTwoBlocks) {
    const TListing l = ListArchive(Archive("t.tar", MakeTar({{"one", "1"}, {"two", "22"}, {"d/", "", '5'}})));
    ASSERT_EQ(l.Entries.size(), 3U);
    EXPECT_EQ(l.Entries[1].Offset, 1024);
    EXPECT_EQ(l.Entries[2].Name, "d/");
    EXPECT_EQ(l.NumFiles, 3); // tar counts listed folders
    EXPECT_EQ(l.Entries[0].Method, "Tarred");
}

TEST_F(Korva, ArcFolderEntriesAndEntriesAfterTheFolderEnd) {
    std::string arc = ArcEntry(2, "TOP.TXT", "top") + ArcEntry(30, "SUB", "");
    arc += ArcEntry(2, "IN.TXT", "inside") + std::string("\x1A\x1F", 2);
    arc +=
        ArcEntry(1, "OLD.TXT", "old-stored") + ArcEntry(2, "LAST.TXT", "last") + std::string("\x1A\x00", 2);
    const TListing l = ListArchive(Archive("f.arc", arc));
    EXPECT_EQ(Names(l), (std::vector<std::string>{"TOP.TXT", "SUB/", "SUB/IN.TXT", "OLD.TXT", "LAST.TXT"}))
        << l.Describe();
    EXPECT_EQ(l.Find("OLD.TXT")->Unpacked, 10);
    EXPECT_EQ(l.Find("SUB/")->Method, "<Dir>");
}

TEST_F(Korva, ZooEntriesNumberedInTurnAndCyclesEnd) {
    const TListing l = ListArchive(Archive("t.zoo", MakeZoo({"a.txt", "b.txt", "c.txt"})));
    ASSERT_EQ(l.Entries.size(), 3U) << l.Describe();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(l.Entries[static_cast<std::size_t>(i)].Filenum, i + 1);
    EXPECT_EQ(l.NumFiles, 3);

    // The second entry leads back to the first.
    const TListing cyclic = ListArchive(Archive("c.zoo", MakeZoo({"a.txt", "b.txt", "c.txt"}, {-1, 0})));
    EXPECT_EQ(cyclic.Entries.size(), 2U);
    EXPECT_TRUE(cyclic.HasError(ecBadFileHeader));
    EXPECT_TRUE(cyclic.TotalsFired);
}

TEST_F(Korva, LhaLevel2NameFromItsNameHeaderAndLongHeadersStepped) {
    const std::string longName = std::string(300, 'n') + ".txt";
    std::string lzh = Lha2Entry({std::string("\x50\x01\x02", 3), "\x01" + longName,
                                 "\x02"
                                 "docs\xFF"},
                                "0123");
    // The second header is exactly 256 bytes long: its low size byte is 0.
    const std::string padding(256 - 26 - 8 - 3, 'p');
    lzh += Lha2Entry({"\x01"
                      "b.txt",
                      "\x7F" + padding},
                     "x");
    lzh += '\0';
    const TListing l = ListArchive(Archive("t.lzh", lzh));
    ASSERT_EQ(l.Entries.size(), 2U) << l.Describe();
    EXPECT_EQ(l.Entries[0].Name, "docs/" + longName);
    EXPECT_EQ(l.Entries[1].Name, "b.txt");
    EXPECT_EQ(l.Entries[0].Crc, 0xBEEFU);
}

TEST_F(Korva, HeadersThatLeadNowhereEndTheWalk) {
    // An arj file header whose size field points past the archive, then a zero header.
    std::string arj;
    PutU16(arj, 0xEA60);
    PutU16(arj, 30);
    arj += std::string(30, '\0');
    arj[4] = 30;
    PutU32(arj, 0);
    PutU16(arj, 0);
    PutU16(arj, 0xEA60);
    PutU16(arj, 2601);
    arj += std::string(64, 'z');
    const TListing l = ListArchive(Archive("bad.arj", arj));
    EXPECT_TRUE(l.Entries.empty());
    EXPECT_TRUE(l.HasError(ecBadFileHeader));
    EXPECT_TRUE(l.TotalsFired);
}

TEST_F(Korva, HaEntriesWithTheirFolders) {
    const TListing l = ListArchive(Archive("t.ha", MakeHa({{"", "a.txt"}, {"sub\xFF", "b.txt"}})),
                                   [](TKorva& k) { EXPECT_EQ(k.ArcType(), atHA); });
    EXPECT_EQ(Names(l), (std::vector<std::string>{"a.txt", "sub/b.txt"})) << l.Describe();
    EXPECT_EQ(l.Entries[0].Crc, 0x11223344U);
    EXPECT_EQ(l.Entries[0].Method, "Cpy");
}

TEST_F(Korva, NamesMadeOnUnixAreTheirBytesAndNamesMadeOnDosCodePage437) {
    // The same name made on Unix (UTF-8) and on DOS or Windows (code page 437) lists the same in
    // every format that says where an entry was made; a Unix name that is not UTF-8 keeps its
    // bytes.
    const std::string utf8 = "caf\xC3\xA9.txt";
    const std::string oem = "caf\x82.txt";
    const std::string latin1 = "caf\xE9.txt";
    struct TCase {
        const char* File;
        std::string Bytes;
        std::string Listed;
    };
    const TCase cases[] = {
        {"unix.ace", MakeAce(3, {utf8}), utf8},   {"raw.ace", MakeAce(3, {latin1}), latin1},
        {"win.ace", MakeAce(2, {oem}), utf8},     {"unix.ha", MakeHa({{"", utf8, 2}}), utf8},
        {"dos.ha", MakeHa({{"", oem, 1}}), utf8}, {"unix.zoo", MakeZoo({utf8}, {}, 0), utf8},
        {"dos.zoo", MakeZoo({oem}, {}, 1), utf8}, {"old.zoo", MakeZoo({oem}), utf8},
        {"unix.rar", MakeRar4(3, {utf8}), utf8},  {"raw.rar", MakeRar4(3, {latin1}), latin1},
        {"win.rar", MakeRar4(2, {oem}), utf8},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        const TListing l = ListArchive(Archive(c.File, c.Bytes));
        EXPECT_EQ(Names(l), std::vector<std::string>{c.Listed}) << l.Describe();
    }
}

TEST_F(Korva, MsGZRecordsWithTheirFolderNames) {
    std::string m = "\x13\x5D\x65\x8C";
    m.resize(54, '\0');
    const std::uint32_t dir = 54;
    m[41] = static_cast<char>(dir);
    // Folder 0x0700 named "fold". The list ends at a record of length 0, whose last four
    // bytes are the first four of the first file record.
    PutU16(m, 0x0700);
    m += static_cast<char>(6 + 4);
    m += std::string(3, '\0');
    m += "fold";
    PutU16(m, 0);
    std::string rec;
    PutU16(rec, 0x0700);
    PutU32(rec, 500);
    PutU32(rec, 200);
    PutU32(rec, 0);
    PutU32(rec, 0x5A8B6000);
    PutU32(rec, 0x20);
    PutU16(rec, 29 + 5);
    rec.resize(28, '\0');
    rec += '\x05';
    rec += "x.dat";
    m += rec;
    m += std::string(29, '\0');
    const TListing l = ListArchive(Archive("t.mgz", m), [](TKorva& k) { EXPECT_EQ(k.ArcType(), atMsGZ); });
    ASSERT_EQ(l.Entries.size(), 1U) << l.Describe();
    EXPECT_EQ(l.Entries[0].Name, "fold/x.dat");
    EXPECT_EQ(l.Entries[0].Unpacked, 500);
    EXPECT_EQ(l.Entries[0].Packed, 200);
}

namespace {

// Every path below Root lies on a removable disk without a label.
class TRemovableFolder : public TDrives {
public:
    explicit TRemovableFolder(std::string Root) : FRoot(std::move(Root)) {}
    bool GetDiskSpace(const std::string& Path, std::uint64_t& FreeBytes, std::uint64_t& TotalBytes) override {
        if (!Mine(Path)) return TDrives::GetDiskSpace(Path, FreeBytes, TotalBytes);
        FreeBytes = 1000;
        TotalBytes = 1457664;
        return true;
    }
    bool GetVolumeInfo(const std::string& Path, TVolumeInfo& Info) override {
        if (!Mine(Path)) return TDrives::GetVolumeInfo(Path, Info);
        Info = {};
        return true;
    }
    TDriveKind GetDriveKind(const std::string& Path) override {
        return Mine(Path) ? dkRemovable : TDrives::GetDriveKind(Path);
    }

private:
    bool Mine(const std::string& Path) const { return Path.rfind(FRoot, 0) == 0; }
    std::string FRoot;
};

} // namespace

TEST_F(Korva, ZipOnARemovableDiskIsNotTakenForASpannedSet) {
    const std::string zip = Archive("r.zip", MakeZip({{"a.txt", "one"}, {"b.txt", "two"}}, false));
    auto previous = TDrives::Install(std::make_unique<TRemovableFolder>(Dir.Str()));
    const TListing l = ListArchive(zip);
    TDrives::Install(std::move(previous));
    EXPECT_EQ(Names(l), (std::vector<std::string>{"a.txt", "b.txt"})) << l.Describe();
    EXPECT_FALSE(l.HasError(ecRequiredEventNotAssigned));
}

TEST_F(Korva, SizesBeyondTheSigned64BitRangeAreDamage) {
    // A rar 4 file header with large sizes whose high packed word has its top bit set.
    std::string rar("Rar!\x1A\x07\x00", 7);
    PutU16(rar, 0);
    rar += '\x73';
    PutU16(rar, 0);
    PutU16(rar, 13);
    rar += std::string(6, '\0');
    SealRar4Header(rar, 7);
    std::string file;
    PutU16(file, 0);
    file += '\x74';
    PutU16(file, 0x8000 | 0x0100);
    PutU16(file, 32 + 8 + 1);
    PutU32(file, 5); // packed, low word
    PutU32(file, 5); // unpacked, low word
    file += std::string(1 + 4 + 4 + 1 + 1, '\0');
    PutU16(file, 1);
    PutU32(file, 0x20);
    PutU32(file, 0x80000000); // packed, high word
    PutU32(file, 0);
    file += "a";
    SealRar4Header(file, 0);
    const TListing l = ListArchive(Archive("huge.rar", rar + file + "hello"));
    EXPECT_TRUE(l.Entries.empty()) << l.Describe();
    EXPECT_TRUE(l.HasError(ecBadFileHeader)) << l.Describe();
    EXPECT_TRUE(l.TotalsFired);
}
