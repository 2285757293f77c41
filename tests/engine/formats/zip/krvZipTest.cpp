// The zip writer and the writer base: what goes into the records of new entries, how an
// existing archive is merged with gathered files under each Switch, renames, comments and
// enciphered headers.
#include "ZipWriterFixture.h"

#include "engine/formats/zip/krvJar.h"

#include <sys/stat.h>

using namespace testsupport;

namespace {

class ZipWriterTest : public ZipWriterFixture {};

TEST_F(ZipWriterTest, NewEntriesCarryTheirDataAndTheChosenMethod) {
    Put("random100.bin", RandomBytes(100, 7));
    Put("repeat100.txt", std::string(100, 'a'));
    Put("empty", "");
    Put("text.txt", TextBytes(50000, 3));
    Put("packed.ZIP", TextBytes(5000, 4));
    Put("sub/deep.txt", TextBytes(3000, 5));
    auto z = Writer();
    z->DeflateType = dtDeflateX;
    z->StoreFilesOfType = {"zip"};
    std::vector<std::string> ended;
    z->OnEnd = [&](TZipCommon&, const std::string& Name, bool Pass) {
        EXPECT_TRUE(Pass) << Name;
        ended.push_back(Name);
    };
    EXPECT_EQ(z->Compress(), 6);
    EXPECT_TRUE(Errors.empty());
    EXPECT_EQ(ended.size(), 6U);

    const ZipContents zip = InspectZip(Archive());
    ASSERT_EQ(zip.Entries.size(), 6U);
    EXPECT_EQ(zip.End.TotalEntries, 6);
    const auto sources = Sources();
    for (const ZipEntryBytes& e : zip.Entries) {
        const std::string& data = sources.at(e.Name);
        EXPECT_EQ(EntryData(Archive(), e), data) << e.Name;
        EXPECT_EQ(e.Central.Crc, Crc32Of(data)) << e.Name;
        EXPECT_EQ(e.Central.UncompressedSize, data.size());
        EXPECT_EQ(e.Local.Crc, e.Central.Crc);
        EXPECT_EQ(e.Local.CompressedSize, e.Central.CompressedSize);
        EXPECT_EQ(e.LocalName, e.Name);
        EXPECT_EQ(e.Central.VersionNeeded, 20);
        EXPECT_EQ(e.Central.InternalAttr, 1);
    }
    EXPECT_EQ(FindEntry(zip, "random100.bin")->Central.Method, 0);    // deflate would not help
    EXPECT_EQ(FindEntry(zip, "repeat100.txt")->Central.Method, 8);    // it does here
    EXPECT_EQ(FindEntry(zip, "repeat100.txt")->Central.Flags & 6, 2); // maximum level bits
    EXPECT_EQ(FindEntry(zip, "packed.ZIP")->Central.Method, 0);
    const ZipEntryBytes* empty = FindEntry(zip, "empty");
    EXPECT_EQ(empty->Central.Method, 0);
    EXPECT_EQ(empty->Central.Crc, 0U);
    EXPECT_EQ(empty->Central.Flags, 0);
}

TEST_F(ZipWriterTest, StoreMethodStoresEverythingAndOtherMethodsAreIgnored) {
    Put("a.txt", TextBytes(4000));
    auto z = Writer();
    z->SetCompressMethod(cmFuse);
    EXPECT_EQ(z->CompressMethod(), cmDeflate);
    z->SetCompressMethod(cmStore);
    EXPECT_EQ(z->Compress(), 1);
    EXPECT_EQ(InspectZip(Archive()).Entries.at(0).Central.Method, 0);
}

// A dot-name archive is updated without a question; a read-only one is written only when the
// owner says yes, and stays as it was when the answer is no.
TEST_F(ZipWriterTest, OnlyAReadOnlyArchiveAsksBeforeItIsUpdated) {
    ArchiveName = ".hidden.zip";
    Put("a.txt", TextBytes(100));
    ASSERT_EQ(Writer()->Compress(), 1);
    for (const bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only" : "dot-name");
        if (readOnly) fs::permissions(Archive(), fs::perms::owner_write, fs::perm_options::remove);
        const std::string before = ReadFile(Archive());
        Put(readOnly ? "c.txt" : "b.txt", TextBytes(200));
        int asked = 0;
        auto z = Writer();
        z->OnNonWriteableArchive = [&](TZipCommon&, const std::string&, bool& Write) {
            ++asked;
            Write = false;
        };
        z->Compress();
        EXPECT_EQ(asked, readOnly ? 1 : 0);
        if (readOnly)
            EXPECT_EQ(ReadFile(Archive()), before);
        else
            EXPECT_EQ(Names(Archive()), (std::vector<std::string>{"a.txt", "b.txt"}));
    }
}

TEST_F(ZipWriterTest, DefaultExtensionIsAppliedAndNormalised) {
    TZip z;
    z.SetArchiveFile((Dir / "backup").string());
    EXPECT_EQ(z.ArchiveFile(), (Dir / "backup.zip").string());
    z.SetDefaultExt("TARGZ");
    EXPECT_EQ(z.DefaultExt(), ".targ");
    EXPECT_EQ(z.ArchiveFile(), (Dir / "backup.targ").string());
    z.SetDefaultExt("");
    EXPECT_EQ(z.DefaultExt(), ".zip");
    TJar j;
    j.SetArchiveFile((Dir / "lib").string());
    EXPECT_EQ(j.ArchiveFile(), (Dir / "lib.jar").string());
    EXPECT_EQ(j.ArcType(), atJar);
}

// The matrix of an old archive holding a (older than its file now), b (equal to its file)
// and d (no file), and the gathered a, b and new c.
class SwitchMatrixTest : public ZipWriterFixture {
protected:
    void SetUp() override {
        ZipWriterFixture::SetUp();
        Put("a.txt", "old a");
        Put("b.txt", "same b");
        Put("d.txt", "only d");
        ASSERT_EQ(Writer()->Compress(), 3);
        Before = InspectZip(Archive());
        fs::remove(Src() / "d.txt");
        Put("a.txt", "new and longer a");
        Put("c.txt", "new c");
    }

    struct TAsked {
        std::vector<std::string> Replace, Rename;
    } Asked;

    void Script(TZip& Z, bool Replace, const std::string& RenameTo) {
        Z.OnReplaceFile = [this, Replace](TZipCommon&, const std::string& Name, const std::string&, TDateTime,
                                          TDateTime, std::int64_t Old, std::int64_t New, int, int, bool& R) {
            Asked.Replace.push_back(Name);
            EXPECT_NE(Old, New);
            R = Replace;
        };
        Z.OnRenameDupeFile = [this, RenameTo](TZipCommon&, const std::string& Name, std::string& NewName,
                                              bool& Rename) {
            Asked.Rename.push_back(Name);
            Rename = !RenameTo.empty() && Name == "a.txt";
            if (Rename) NewName = RenameTo;
        };
    }

    std::string Data(const std::string& Name) {
        const ZipContents zip = InspectZip(Archive());
        const ZipEntryBytes* e = FindEntry(zip, Name);
        return e ? EntryData(Archive(), *e) : "<missing>";
    }

    ZipContents Before;
};

TEST_F(SwitchMatrixTest, AddReplacesWhenAskedAndOffersRenameForEqualFiles) {
    auto z = Writer();
    Script(*z, true, "");
    EXPECT_EQ(z->Compress(), 2);
    EXPECT_EQ(Asked.Replace, std::vector<std::string>{"a.txt"});
    EXPECT_EQ(Asked.Rename, std::vector<std::string>{"b.txt"}); // equal: no replace question
    EXPECT_EQ(Names(Archive()), (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt"}));
    EXPECT_EQ(Data("a.txt"), "new and longer a");
    EXPECT_EQ(FindEntry(InspectZip(Archive()), "b.txt")->Span, FindEntry(Before, "b.txt")->Span);
    EXPECT_EQ(FindEntry(InspectZip(Archive()), "d.txt")->Span, FindEntry(Before, "d.txt")->Span);
}

TEST_F(SwitchMatrixTest, AddKeepsTheOldEntryUnderANewNameWhenNotReplaced) {
    auto z = Writer();
    Script(*z, false, "dir/a-old.txt");
    EXPECT_EQ(z->Compress(), 2);
    const ZipContents zip = InspectZip(Archive());
    EXPECT_EQ(Names(Archive()),
              (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt", "dir/a-old.txt"}));
    const ZipEntryBytes* renamed = FindEntry(zip, "dir/a-old.txt");
    EXPECT_EQ(renamed->Local.NameLength, 13);
    EXPECT_EQ(renamed->LocalName, "dir/a-old.txt");
    EXPECT_EQ(renamed->Central.Crc, FindEntry(Before, "a.txt")->Central.Crc);
    EXPECT_EQ(EntryData(Archive(), *renamed), "old a");
    EXPECT_EQ(Data("a.txt"), "new and longer a");
}

TEST_F(SwitchMatrixTest, ARenamedEntryIsMarkedForItsNewName) {
    // {new name, UTF-8 flag, host}: the entries this writer made are Unix records, which keep
    // their host and mode under any new name.
    const struct {
        std::string Name;
        bool Utf8;
        int Host;
    } cases[] = {
        {"plain-old.txt", false, 3}, {"caf\xC3\xA9-old.txt", true, 3}, {"raw\x82-old.txt", false, 3}};
    for (const auto& c : cases) {
        fs::remove(Archive());
        fs::remove_all(Src());
        SetUp();
        auto z = Writer();
        Script(*z, false, c.Name);
        z->Compress();
        const ZipEntryBytes* e = FindEntry(InspectZip(Archive()), c.Name);
        ASSERT_NE(e, nullptr) << c.Name;
        EXPECT_EQ((e->Central.Flags & zfUtf8) != 0, c.Utf8) << c.Name;
        EXPECT_EQ((e->Local.Flags & zfUtf8) != 0, c.Utf8) << c.Name;
        EXPECT_EQ(e->Central.VersionMadeBy >> 8, c.Host) << c.Name;
        EXPECT_EQ((e->Central.ExternalAttr >> 16) & S_IFMT, static_cast<unsigned>(S_IFREG)) << c.Name;
        EXPECT_EQ(EntryData(Archive(), *e), "old a") << c.Name;
    }
}

TEST_F(SwitchMatrixTest, AddWithoutRenameKeepsTheOldEntryAndAddsNothingForIt) {
    auto z = Writer();
    Script(*z, false, "");
    EXPECT_EQ(z->Compress(), 1);
    EXPECT_EQ(Data("a.txt"), "old a");
    EXPECT_EQ(Names(Archive()), (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt"}));
}

TEST_F(SwitchMatrixTest, RefreshReplacesChangedEntriesOnlyAndAsksNothing) {
    auto z = Writer();
    Script(*z, false, "");
    z->Switch = swRefresh;
    EXPECT_EQ(z->Compress(), 1);
    EXPECT_TRUE(Asked.Replace.empty());
    EXPECT_TRUE(Asked.Rename.empty());
    EXPECT_EQ(Names(Archive()), (std::vector<std::string>{"a.txt", "b.txt", "d.txt"}));
    EXPECT_EQ(Data("a.txt"), "new and longer a");
    EXPECT_TRUE(fs::exists(Src() / "a.txt"));
}

TEST_F(SwitchMatrixTest, MoveDeletesTheSourcesOfAddedFilesOnly) {
    auto z = Writer();
    Script(*z, true, "");
    z->Switch = swMove;
    std::vector<std::string> deleted;
    z->OnDeleteFile = [&](TZipCommon&, const std::string& Name, int, int) { deleted.push_back(Name); };
    EXPECT_EQ(z->Compress(), 2);
    EXPECT_FALSE(fs::exists(Src() / "a.txt"));
    EXPECT_FALSE(fs::exists(Src() / "c.txt"));
    EXPECT_TRUE(fs::exists(Src() / "b.txt")); // not added: stays
    EXPECT_EQ(deleted.size(), 2U);
    EXPECT_EQ(Data("c.txt"), "new c");
}

TEST_F(SwitchMatrixTest, MoveWithVerifyBeforeDeleteKeepsTheSources) {
    auto z = Writer();
    Script(*z, true, "");
    z->Switch = swMove;
    z->VerifyBeforeDelete = true;
    EXPECT_EQ(z->Compress(), 2);
    EXPECT_TRUE(fs::exists(Src() / "a.txt"));
    EXPECT_TRUE(fs::exists(Src() / "c.txt"));
}

TEST_F(SwitchMatrixTest, DeleteRemovesMatchingEntriesAndEverythingLeavesAnEmptyArchive) {
    auto z = Writer();
    z->Switch = swDelete;
    z->FileSpec = {"a.txt", "d.*"};
    std::vector<std::string> deleted;
    z->OnDeleteFile = [&](TZipCommon&, const std::string& Name, int, int) { deleted.push_back(Name); };
    EXPECT_EQ(z->Compress(), 2);
    std::sort(deleted.begin(), deleted.end());
    EXPECT_EQ(deleted, (std::vector<std::string>{"a.txt", "d.txt"}));
    EXPECT_EQ(Names(Archive()), std::vector<std::string>{"b.txt"});
    EXPECT_EQ(FindEntry(InspectZip(Archive()), "b.txt")->Span, FindEntry(Before, "b.txt")->Span);

    auto all = Writer();
    all->Switch = swDelete;
    all->FileSpec = {"*"};
    EXPECT_EQ(all->Compress(), 1);
    EXPECT_EQ(ReadFile(Archive()), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
}

TEST_F(SwitchMatrixTest, MissingQuestionHandlersAnswerNo) {
    auto z = Writer();
    EXPECT_EQ(z->Compress(), 1); // only c
    EXPECT_EQ(std::count(Errors.begin(), Errors.end(), ecRequiredEventNotAssigned),
              3); // a: replace+rename, b: rename
    EXPECT_EQ(Data("a.txt"), "old a");
}

TEST_F(SwitchMatrixTest, DeleteOnAMissingArchiveAndNothingFoundAreReported) {
    auto z = Writer<TZip>(Dir / "none.zip");
    z->Switch = swDelete;
    z->FileSpec = {"*"};
    EXPECT_EQ(z->Compress(), 0);
    EXPECT_EQ(Errors, std::vector<int>{ecNothingToDoWriter});
    EXPECT_FALSE(fs::exists(Dir / "none.zip"));
    Errors.clear();
    auto nothing = Writer();
    nothing->FileSpec = {(Src() / "*.none").string()};
    const std::string before = ReadFile(Archive());
    EXPECT_EQ(nothing->Compress(), 0);
    EXPECT_EQ(Errors, std::vector<int>{ecNothingToDo});
    EXPECT_EQ(ReadFile(Archive()), before);
}

TEST_F(ZipWriterTest, ReadListsEveryEntryOfTheArchive) {
    Put("a", "1");
    Put("b", "2");
    ASSERT_EQ(Writer()->Compress(), 2);
    auto z = Writer();
    z->Switch = swRead;
    std::vector<int> seen;
    z->OnRead = [&](TZipCommon&, std::int64_t, int N) { seen.push_back(N); };
    z->Compress();
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST_F(ZipWriterTest, EncipheredHeadersAreReadBackAndKeptOnUpdate) {
    Put("one.txt", TextBytes(3000, 1));
    auto z = Writer();
    z->EncryptHeaders = true;
    z->Password = "pw";
    ASSERT_EQ(z->Compress(), 1);
    const std::string first = ReadFile(Archive());
    EXPECT_EQ(first.substr(0, 4), std::string("PL\x03\x04", 4));
    EXPECT_EQ(first.find(std::string("one.txt")), std::string::npos); // names are enciphered
    // The end record stays in the clear ("PK" 5 6, its counts readable), as the readers of the
    // enciphered form and other tools look for it; only local and central records are enciphered.
    const std::string end = first.substr(first.size() - 22);
    EXPECT_EQ(end.substr(0, 4), std::string("PK\x05\x06", 4));
    EXPECT_EQ(end[10], 1); // entries in the directory
    const ZipContents zip = InspectZip(Archive());
    ASSERT_EQ(zip.Entries.size(), 1U);
    EXPECT_EQ(zip.Entries[0].Name, "one.txt");
    EXPECT_EQ(zip.Entries[0].Central.Crc, Crc32Of(TextBytes(3000, 1)));
    EXPECT_EQ(zip.Entries[0].Central.Flags & 1, 1);

    Put("two.txt", "second");
    auto again = Writer();
    again->EncryptHeaders = true;
    again->FileSpec = {(Src() / "two.txt").string()};
    bool pass = false;
    again->OnEnd = [&](TZipCommon&, const std::string&, bool Pass) { pass = Pass; };
    ASSERT_EQ(again->Compress(), 1);
    EXPECT_TRUE(pass); // compared in plain form
    const ZipContents both = InspectZip(Archive());
    ASSERT_EQ(both.Entries.size(), 2U);
    EXPECT_EQ(both.Entries[0].Span, zip.Entries[0].Span);
    EXPECT_EQ(EntryData(Archive(), both.Entries[1]), "second");
}

TEST_F(ZipWriterTest, CommentsAreWrittenBackAndKeptWhenFilesAreAdded) {
    Put("a.txt", "a");
    ASSERT_EQ(Writer()->Compress(), 1);
    auto z = Writer();
    ASSERT_EQ(z->OpenComments(), 1);
    z->SetArchiveComment("archive note", 12);
    z->SetFileComment(0, "entry note", 10);
    EXPECT_TRUE(z->SaveComments());
    ZipContents zip = InspectZip(Archive());
    EXPECT_EQ(std::string(zip.Comment.begin(), zip.Comment.end()), "archive note");
    EXPECT_EQ(std::string(zip.Entries[0].Comment.begin(), zip.Entries[0].Comment.end()), "entry note");

    Put("b.txt", "b");
    auto add = Writer();
    add->FileSpec = {(Src() / "b.txt").string()};
    ASSERT_EQ(add->Compress(), 1);
    zip = InspectZip(Archive());
    EXPECT_EQ(std::string(zip.Comment.begin(), zip.Comment.end()), "archive note");
    EXPECT_EQ(std::string(zip.Entries[0].Comment.begin(), zip.Entries[0].Comment.end()), "entry note");
    std::string name;
    std::vector<std::uint8_t> comment;
    auto reader = Writer();
    ASSERT_EQ(reader->OpenComments(), 2);
    EXPECT_TRUE(reader->GetFileComment(0, name, comment));
    EXPECT_EQ(name, "a.txt");
    EXPECT_FALSE(reader->GetFileComment(5, name, comment));
    EXPECT_FALSE(reader->SaveComments()); // nothing changed
}

TEST_F(ZipWriterTest, NamesAreMarkedByWhatTheirBytesAre) {
    // Every entry is made on Unix with its file's mode; UTF-8 names are flagged, ASCII and
    // bytes that are not UTF-8 are not. Never a code page.
    struct TCase {
        std::string Name;
        std::uint16_t Flag;
    };
    const TCase cases[] = {
        {"plain.txt", 0},
        {"caf\xc3\xa9.txt", zfUtf8},
        {"\xe6\x97\xa5\xe6\x9c\xac.txt", zfUtf8},
        {"\x82x.txt", 0},
    };
    for (const TCase& c : cases)
        Put(c.Name, c.Name);
    fs::permissions(Src() / "plain.txt", fs::perms(0750));
    ASSERT_EQ(Writer()->Compress(), 4);
    const ZipContents zip = InspectZip(Archive());
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const ZipEntryBytes* e = FindEntry(zip, c.Name);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->Central.Flags & zfUtf8, c.Flag);
        EXPECT_EQ(e->Local.Flags & zfUtf8, c.Flag);
        EXPECT_EQ(e->Central.VersionMadeBy >> 8, 3U);
        struct stat st {};
        ASSERT_EQ(::stat((Src() / c.Name).c_str(), &st), 0);
        EXPECT_EQ(e->Central.ExternalAttr >> 16, st.st_mode & (S_IFMT | 0777));
    }
    EXPECT_EQ(FindEntry(zip, "plain.txt")->Central.ExternalAttr >> 16, 0100750U);
}

// Empty folders get entries of their own only when asked for; a folder with files never does.
TEST_F(ZipWriterTest, EmptyFoldersOnlyWhenAsked) {
    fs::create_directories(Src() / "empty" / "inner");
    Put("full/f.txt", "f");
    for (const bool asked : {false, true}) {
        SCOPED_TRACE(asked);
        fs::remove(Archive());
        auto z = Writer();
        z->StoreEmptySubDirs = asked;
        EXPECT_EQ(z->Compress(), asked ? 3 : 1); // empty/ holds no file either
        const ZipContents zip = InspectZip(Archive());
        EXPECT_EQ(FindEntry(zip, "empty/") != nullptr, asked);
        const ZipEntryBytes* dir = FindEntry(zip, "empty/inner/");
        EXPECT_EQ(dir != nullptr, asked);
        if (dir) {
            EXPECT_EQ(dir->Central.ExternalAttr & 0x10, 0x10U);
            EXPECT_EQ(dir->Central.CompressedSize, 0U);
        }
        EXPECT_EQ(FindEntry(zip, "full/"), nullptr);
    }
}

} // namespace

namespace {

TEST_F(ZipWriterTest, AnArchiveBuiltInMemoryIsPutInPlaceAsWell) {
    Put("a.txt", TextBytes(5000, 1));
    auto z = Writer();
    z->CompressionMethod = cmInMemory;
    EXPECT_EQ(z->Compress(), 1);
    EXPECT_EQ(EntryData(Archive(), InspectZip(Archive()).Entries.at(0)), TextBytes(5000, 1));
    EXPECT_TRUE(Strays().empty());
}

TEST_F(ZipWriterTest, AnArchiveWithoutDirectoryIsReadByItsLocalHeaders) {
    Put("a.txt", TextBytes(5000, 1));
    Put("b.txt", TextBytes(7000, 2));
    ASSERT_EQ(Writer()->Compress(), 2);
    const ZipContents before = InspectZip(Archive());
    const std::string bytes = ReadFile(Archive());
    WriteFile(Archive(), bytes.substr(0, before.End.CentralOffset)); // the directory is lost
    fs::remove_all(Src());
    Put("c.txt", "c");
    EXPECT_EQ(Writer()->Compress(), 1);
    const ZipContents after = InspectZip(Archive());
    ASSERT_EQ(after.Entries.size(), 3U);
    EXPECT_EQ(FindEntry(after, "a.txt")->Span, FindEntry(before, "a.txt")->Span);
    EXPECT_EQ(FindEntry(after, "b.txt")->Span, FindEntry(before, "b.txt")->Span);
}

TEST_F(ZipWriterTest, KeptEntriesKeepTheirDataDescriptorsWhole) {
    // Descriptors of every form: signed or not, with 32- or 64-bit sizes (an entry with a
    // zip64 field), each copied whole.
    std::string zip64Field("\x01\x00\x10\x00", 4);
    zip64Field.append(16, '\0');
    TZipSpec spec;
    int n = 0;
    for (const TZipDescriptorStyle style : {TZipDescriptorStyle::Signed, TZipDescriptorStyle::Unsigned})
        for (const bool wide : {false, true}) {
            const std::string data = TextBytes(3000 + 100 * n, n);
            TZipItem item{"d" + std::to_string(++n) + ".txt", data};
            item.Method = 8;
            item.Packed = DeflateRaw(data);
            item.Descriptor = style;
            item.Descriptor64 = wide;
            if (wide) item.Extra = zip64Field;
            spec.Add(item);
        }
    TZipLayout layout;
    const std::string old = MakeStoredZip(spec, &layout);
    WriteFile(Archive(), old);
    Put("new.txt", "new");
    EXPECT_EQ(Writer()->Compress(), 1);
    EXPECT_TRUE(Errors.empty());
    // The kept entries come first, in their order: the same bytes up to the old directory.
    const std::string now = ReadFile(Archive());
    EXPECT_EQ(now.substr(0, layout.Directory), old.substr(0, layout.Directory));
    EXPECT_EQ(InspectZip(Archive()).Entries.size(), 5U);
}

} // namespace
