// A failure, a full disk or a cancel anywhere in a writer job leaves the old archive byte for
// byte as it was, every source in place and no temporary file behind.
#include "tests/engine/formats/zip/ZipWriterFixture.h"

#include "engine/core/krvByteAccess.h"
#include "engine/formats/bh/krvBlakHole.h"
#include "engine/formats/lha/krvLha.h"

#include <cerrno>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// A temporary archive whose disk fills up after Limit bytes (none: -1), and that cannot seek
// back into what it holds when SeekBackFails.
class TFaultyTempStream : public TTempFileStream {
public:
    TFaultyTempStream(TZipCommon* Owner, const std::string& Name, std::int64_t Limit, bool SeekBackFails)
        : TTempFileStream(Owner, fmCreate, Name), FLimit(Limit), FSeekBackFails(SeekBackFails) {}
    std::int64_t Write(const void* Buffer, std::int64_t Count) override {
        if (FLimit < 0) return TTempFileStream::Write(Buffer, Count);
        const std::int64_t room = std::max<std::int64_t>(FLimit - Position(), 0);
        const std::int64_t n = TTempFileStream::Write(Buffer, std::min(Count, room));
        if (n < Count) errno = ENOSPC;
        return n;
    }
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override {
        if (FSeekBackFails && Origin == soBeginning && Offset < Size()) return -1;
        return TTempFileStream::Seek(Offset, Origin);
    }

private:
    std::int64_t FLimit;
    bool FSeekBackFails;
};

template <typename TWriter> class TFaultyDisk : public TWriter {
public:
    std::int64_t Limit = -1;
    bool SeekBackFails = false;

protected:
    std::unique_ptr<TTempFileStream> CreateTempStream(const std::string& FinalName) override {
        return std::make_unique<TFaultyTempStream>(this, FinalName, Limit, SeekBackFails);
    }
};

// The writer jobs of every writer: TWriter is the writer under test.
template <typename TWriter> class WriterFailureTest : public ZipWriterFixture {
protected:
    WriterFailureTest() {
        if (std::is_same_v<TWriter, TLha>) ArchiveName = "out.lzh";
        if (std::is_same_v<TWriter, TBlakHole>) ArchiveName = "out.bh";
    }
    std::unique_ptr<TWriter> Writer() { return ZipWriterFixture::Writer<TWriter>(Archive()); }
    template <typename T> std::unique_ptr<T> Writer(const fs::path& Path) {
        return ZipWriterFixture::Writer<T>(Path);
    }

    void SetUp() override {
        ZipWriterFixture::SetUp();
        Put("keep1.txt", TextBytes(20000, 1));
        Put("keep2.bin", RandomBytes(3000, 2));
        ASSERT_EQ(Writer()->Compress(), 2);
        Old = ReadFile(Archive());
        Put("keep1.txt", TextBytes(25000, 9)); // a replacement
        for (int i = 0; i < 5; ++i)
            Put("new" + std::to_string(i) + ".txt", TextBytes(10000 + 100 * i, 20 + i));
        SourcesBefore = Sources();
    }

    // The old archive, the sources and the folder are as they were.
    void ExpectUntouched() {
        EXPECT_EQ(ReadFile(Archive()), Old);
        EXPECT_EQ(Sources(), SourcesBefore);
        EXPECT_TRUE(Strays().empty()) << Strays().front();
    }

    void Script(TCompBase& Z) {
        Z.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime,
                             std::int64_t, std::int64_t, int, int, bool& R) { R = true; };
        Z.OnRenameDupeFile = [](TZipCommon&, const std::string&, std::string&, bool& R) { R = false; };
    }

    std::string Old;
    std::map<std::string, std::string> SourcesBefore;
};

using Writers = ::testing::Types<TZip, TLha, TBlakHole>;
TYPED_TEST_SUITE(WriterFailureTest, Writers);
using ZipFailureTest = WriterFailureTest<TZip>;

TYPED_TEST(WriterFailureTest, AnExceptionInAnyEventLeavesTheArchiveAlone) {
    const std::vector<std::string> phases = {"activate", "scan",     "replace", "begin",
                                             "end",      "progress", "delete"};
    for (const std::string& phase : phases) {
        SCOPED_TRACE(phase);
        auto z = this->Writer();
        this->Script(*z);
        z->Switch = swMove;
        const auto boom = [] { throw std::runtime_error("injected"); };
        int begins = 0;
        if (phase == "activate") z->OnActivate = [&](TZipCommon&) { boom(); };
        if (phase == "scan")
            z->OnFileScanStatus = [&](TZipCommon&, const std::string&, int N, double) {
                if (N == 3) boom();
            };
        if (phase == "replace")
            z->OnReplaceFile = [&](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime,
                                   std::int64_t, std::int64_t, int, int, bool&) { boom(); };
        if (phase == "begin")
            z->OnBegin = [&](TZipCommon&, const std::string&, int, bool&) {
                if (++begins == 3) boom();
            };
        if (phase == "end")
            z->OnEnd = [&](TZipCommon&, const std::string&, bool) {
                if (++begins == 4) boom();
            };
        if (phase == "progress") z->OnProgress = [&](TZipCommon&, std::uint8_t, std::uint8_t) { boom(); };
        if (phase == "delete") {
            z->Switch = swDelete;
            z->FileSpec = {"keep*"};
            z->OnDeleteFile = [&](TZipCommon&, const std::string&, int, int) { boom(); };
        }
        this->Errors.clear();
        EXPECT_EQ(z->Compress(), 0);
        EXPECT_EQ(this->Errors, std::vector<int>{ecUnknownError});
        this->ExpectUntouched();
    }
}

TYPED_TEST(WriterFailureTest, AFullDiskAtAnyPointLeavesTheArchiveAndTheMovedSourcesAlone) {
    // What a whole run writes.
    const std::int64_t full = [&] {
        TempDir other;
        fs::copy_file(this->Archive(), other / "x.zip");
        auto m = this->template Writer<TypeParam>(other / "x.zip");
        this->Script(*m);
        EXPECT_GT(m->Compress(), 0);
        return static_cast<std::int64_t>(fs::file_size(other / "x.zip"));
    }();
    for (std::int64_t limit :
         {std::int64_t{0}, std::int64_t{20}, std::int64_t{100}, full / 3, full / 2, full - 30, full - 1}) {
        SCOPED_TRACE(limit);
        this->Errors.clear();
        auto z = this->template Writer<TFaultyDisk<TypeParam>>(this->Archive());
        this->Script(*z);
        z->Switch = swMove;
        z->Limit = limit;
        EXPECT_EQ(z->Compress(), 0);
        EXPECT_EQ(this->Errors, std::vector<int>{ecDiskFull});
        this->ExpectUntouched();
    }
}

TYPED_TEST(WriterFailureTest, AFailedSeekEndsTheJobWithASeekErrorAndLeavesTheArchiveAlone) {
    auto z = this->template Writer<TFaultyDisk<TypeParam>>(this->Archive());
    this->Script(*z);
    z->Switch = swMove;
    z->SeekBackFails = true;
    EXPECT_EQ(z->Compress(), 0);
    EXPECT_EQ(this->Errors, std::vector<int>{ecSeekError});
    this->ExpectUntouched();
}

TYPED_TEST(WriterFailureTest, ACancelAtEachRecordLeavesTheArchiveAlone) {
    for (int at = 1; at <= 6; ++at) {
        SCOPED_TRACE(at);
        auto z = this->Writer();
        this->Script(*z);
        z->Switch = swMove;
        int n = 0;
        z->OnBegin = [&](TZipCommon& S, const std::string&, int, bool&) {
            if (++n == at) S.SetCancel(true);
        };
        EXPECT_EQ(z->Compress(), 0);
        this->ExpectUntouched();
    }
    // And in the middle of a file's data.
    this->Put("big.txt", TextBytes(3 << 20, 5));
    this->SourcesBefore = this->Sources();
    auto z = this->Writer();
    this->Script(*z);
    z->OnProgress = [](TZipCommon& S, std::uint8_t File, std::uint8_t) {
        if (File > 10) S.SetCancel(true);
    };
    EXPECT_EQ(z->Compress(), 0);
    this->ExpectUntouched();
}

TEST_F(ZipFailureTest, AReplacementThatCannotBeOpenedKeepsTheOldEntry) {
    const ZipContents before = InspectZip(Archive());
    auto z = Writer();
    Script(*z);
    z->OnBegin = [this](TZipCommon&, const std::string& Name, int, bool&) {
        if (Name == "keep1.txt") fs::remove(Src() / "keep1.txt");
    };
    EXPECT_EQ(z->Compress(), 5);
    EXPECT_EQ(std::count(Errors.begin(), Errors.end(), ecErrorOpeningFile), 1);
    const ZipContents after = InspectZip(Archive());
    ASSERT_NE(FindEntry(after, "keep1.txt"), nullptr);
    EXPECT_EQ(FindEntry(after, "keep1.txt")->Span, FindEntry(before, "keep1.txt")->Span);
    EXPECT_EQ(EntryData(Archive(), *FindEntry(after, "keep1.txt")), TextBytes(20000, 1));
    EXPECT_EQ(after.Entries.size(), 7U);
}

TEST_F(ZipFailureTest, AnArchiveCountingMoreEntriesThanItsDirectoryHoldsIsRefused) {
    std::string bytes = Old;
    const std::size_t end = bytes.size() - 22;
    ASSERT_EQ(bytes.substr(end, 4), std::string("PK\x05\x06", 4));
    bytes[end + 8] = 3;  // entries on this disk
    bytes[end + 10] = 3; // total
    WriteFile(Archive(), bytes);
    Old = bytes;
    auto z = Writer();
    Script(*z);
    EXPECT_EQ(z->Compress(), 0);
    EXPECT_EQ(Errors, std::vector<int>{ecHeaderNotFound});
    ExpectUntouched();
}

TYPED_TEST(WriterFailureTest, AFileThatIsNoZipIsNotOverwritten) {
    this->Old = "just some text, no archive at all\n";
    WriteFile(this->Archive(), this->Old);
    auto z = this->Writer();
    this->Script(*z);
    EXPECT_EQ(z->Compress(), 0);
    EXPECT_FALSE(this->Errors.empty());
    this->ExpectUntouched();
}

// A sparse file of 4 GiB in Folder.
fs::path MakeFourGigabyteFile(const fs::path& Folder) {
    const fs::path big = Folder / "huge.bin";
    { std::ofstream f(big); }
    EXPECT_EQ(::truncate(big.c_str(), 0x100000000LL), 0);
    return big;
}

// The writers of formats of 32-bit sizes.
template <typename TWriter> class SmallFormatFailureTest : public WriterFailureTest<TWriter> {};
using SmallFormatWriters = ::testing::Types<TLha, TBlakHole>;
TYPED_TEST_SUITE(SmallFormatFailureTest, SmallFormatWriters);

TYPED_TEST(SmallFormatFailureTest, FilesOfFourGigabytesAreRefusedBeforeAnythingIsWritten) {
    TempDir huge;
    const fs::path big = MakeFourGigabyteFile(huge.Path());
    auto z = this->Writer();
    this->Script(*z);
    z->FileSpec.push_back(big.string());
    std::vector<std::string> begun;
    z->OnBegin = [&](TZipCommon&, const std::string& Name, int, bool&) { begun.push_back(Name); };
    EXPECT_EQ(z->Compress(), 0);
    EXPECT_EQ(this->Errors, std::vector<int>{ecMaxFileSizeExceeded});
    EXPECT_TRUE(begun.empty());
    this->ExpectUntouched();
}

TEST_F(ZipFailureTest, AFourGigabyteEntryCutShortLeavesTheArchiveAlone) {
    // zip holds the file through Zip64 fields; a cancel or a full disk part way through its
    // data still leaves the old archive as it was.
    TempDir huge;
    const fs::path big = MakeFourGigabyteFile(huge.Path());
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancel" : "full disk");
        Errors.clear();
        auto z = Writer<TFaultyDisk<TZip>>(Archive());
        Script(*z);
        z->FileSpec = {big.string()};
        z->DeflateType = dtDeflateF;
        if (cancel)
            z->OnProgress = [](TZipCommon& Sender, std::uint8_t, std::uint8_t Archive) {
                if (Archive >= 5) Sender.SetCancel(true);
            };
        else
            z->Limit = static_cast<std::int64_t>(Old.size()) + 200; // in the entry's first data
        EXPECT_EQ(z->Compress(), 0);
        EXPECT_EQ(Errors, std::vector<int>{cancel ? ecUserCanceled : ecDiskFull});
        ExpectUntouched();
    }
}

TEST_F(ZipFailureTest, TheArchiveIsNeverGatheredIntoItself) {
    const fs::path inside = Src() / "self.zip";
    auto z = Writer<TZip>(inside);
    ASSERT_EQ(z->Compress(), 7);
    auto again = Writer<TZip>(inside);
    Script(*again);
    again->Compress();
    for (const std::string& n : Names(inside)) {
        EXPECT_NE(n, "self.zip");
        EXPECT_NE(n.rfind("krv", 0), 0U) << n;
    }
    EXPECT_EQ(Names(inside).size(), 7U);
}

} // namespace
