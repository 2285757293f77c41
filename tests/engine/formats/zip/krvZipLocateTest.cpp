#include "engine/core/krvByteAccess.h"
#include "engine/core/krvRegisterKorva.h"

#include "TestSupport.h"
#include "ZipBuilder.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

struct TMemFile {
    explicit TMemFile(const std::string& Data) { LoadStream(Stream, Data); }
    TMemoryStream32 Stream;
};

TZipSpec TwoEntries() {
    TZipSpec spec;
    spec.Entries = {{"a.txt", TextBytes(300, 1)}, {"dir/b.bin", RandomBytes(700, 2)}};
    return spec;
}

TEST(LocateZipDirectory, PlainArchiveFillsTheRecordImages) {
    TZipLayout layout;
    auto spec = TwoEntries();
    spec.Comment = "archive comment";
    const std::string zip = MakeStoredZip(spec, &layout);
    TMemFile f(zip);
    TRegisterKorva k;
    EXPECT_EQ(k.LocateZipDirectory(f.Stream), static_cast<std::int64_t>(layout.Directory));
    EXPECT_EQ(k.HeaderState, htLocal | htCentral | htEnding);
    EXPECT_EQ(k.ZipOffsetCorrection, 0);
    EXPECT_EQ(k.ZipCommentPos, static_cast<std::int64_t>(layout.EndRecord + TZipEndRecord::Size));
    EXPECT_EQ(0, std::memcmp(k.EndRecord.data(), zip.data() + layout.EndRecord, TZipEndRecord::Size));
    EXPECT_EQ(0, std::memcmp(k.CentralRecord.data(), zip.data() + layout.Directory, TZipCentralHeader::Size));
    EXPECT_EQ(0, std::memcmp(k.LocalRecord.data(), zip.data() + layout.FirstLocal, TZipLocalHeader::Size));
}

TEST(LocateZipDirectory, NoCommentGivesNoCommentPosition) {
    TMemFile f(MakeStoredZip(TwoEntries()));
    TRegisterKorva k;
    EXPECT_GT(k.LocateZipDirectory(f.Stream), 0);
    EXPECT_EQ(k.ZipCommentPos, 0);
}

TEST(LocateZipDirectory, FindsTheEndRecordBehindTheLongestComment) {
    for (std::size_t len : {std::size_t{32768}, std::size_t{65534}, std::size_t{65535}}) {
        auto spec = TwoEntries();
        spec.Comment = TextBytes(len, 9);
        TZipLayout layout;
        TMemFile f(MakeStoredZip(spec, &layout));
        TRegisterKorva k;
        EXPECT_EQ(k.LocateZipDirectory(f.Stream), static_cast<std::int64_t>(layout.Directory)) << len;
        EXPECT_EQ(k.HeaderState, htLocal | htCentral | htEnding) << len;
        EXPECT_EQ(k.ZipCommentPos, static_cast<std::int64_t>(layout.EndRecord + TZipEndRecord::Size)) << len;
    }
}

// A stub in front: without adjusted offsets its size is the offset correction; with offsets
// counted from the start of the file (as zip -A leaves them) there is none.
TEST(LocateZipDirectory, StubInFront) {
    for (bool adjusted : {false, true}) {
        auto spec = TwoEntries();
        spec.Prefix = RandomBytes(5000, 4);
        spec.AdjustOffsets = adjusted;
        TZipLayout layout;
        TMemFile f(MakeStoredZip(spec, &layout));
        TRegisterKorva k;
        EXPECT_EQ(k.LocateZipDirectory(f.Stream), static_cast<std::int64_t>(layout.Directory)) << adjusted;
        EXPECT_EQ(k.ZipOffsetCorrection, adjusted ? 0 : 5000);
        EXPECT_EQ(k.HeaderState, htLocal | htCentral | htEnding) << adjusted;
    }
}

TEST(LocateZipDirectory, NoEndRecordGivesZero) {
    TZipLayout layout;
    const std::string zip = MakeStoredZip(TwoEntries(), &layout);
    TMemFile f(zip.substr(0, layout.Directory + 10)); // cut inside the directory
    TRegisterKorva k;
    EXPECT_EQ(k.LocateZipDirectory(f.Stream), 0);
    EXPECT_EQ(k.HeaderState, 0);
}

TEST(LocateZipDirectory, TruncatedEndRecordIsNotTaken) {
    TZipLayout layout;
    const std::string zip = MakeStoredZip(TwoEntries(), &layout);
    for (std::size_t cut = 1; cut < TZipEndRecord::Size; ++cut) {
        TMemFile f(zip.substr(0, zip.size() - cut));
        TRegisterKorva k;
        EXPECT_EQ(k.LocateZipDirectory(f.Stream), 0) << cut;
        EXPECT_EQ(k.HeaderState, 0) << cut;
    }
}

TEST(LocateZipDirectory, EndRecordWithoutDirectoryFallsBackToTheFirstLocalHeader) {
    TZipLayout layout;
    const std::string zip = MakeStoredZip(TwoEntries(), &layout);
    // Overwrite the central records: the end record stays, the directory is gone.
    std::string damaged = zip;
    for (std::size_t i = layout.Directory; i < layout.EndRecord; ++i)
        damaged[i] = 'x';
    const std::string stub = "stub bytes without signatures";
    TMemFile f(stub + damaged);
    TRegisterKorva k;
    EXPECT_EQ(k.LocateZipDirectory(f.Stream), static_cast<std::int64_t>(stub.size()));
    EXPECT_EQ(k.HeaderState, htLocal);
}

TEST(LocateZipDirectory, EndRecordWithoutDirectoryOrLocalHeaderGivesMinusOne) {
    std::string data = TextBytes(1000, 3);
    std::uint8_t end[TZipEndRecord::Size] = {'P', 'K', 5, 6};
    PutU32LE(end + 12, 100);
    PutU32LE(end + 16, 200);
    data.append(reinterpret_cast<char*>(end), sizeof end);
    TMemFile f(data);
    TRegisterKorva k;
    EXPECT_EQ(k.LocateZipDirectory(f.Stream), -1);
    EXPECT_EQ(k.HeaderState, htEnding);
}

TEST(LocateZipDirectory, EmptyStreamAndEmptyArchive) {
    TMemoryStream32 empty;
    TRegisterKorva k;
    EXPECT_EQ(k.LocateZipDirectory(empty), 0);
    EXPECT_EQ(k.HeaderState, 0);

    TMemFile f(MakeStoredZip({}));
    EXPECT_EQ(f.Stream.Size(), 22);
    EXPECT_EQ(k.LocateZipDirectory(f.Stream), 0);
    EXPECT_EQ(k.HeaderState, htEnding);
}

TEST(LocateZipDirectory, HostileEndRecordFieldsStayInsideTheFile) {
    const std::uint32_t values[] = {0, 1, 45, 46, 1000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    for (std::uint32_t dirSize : values) {
        for (std::uint32_t dirOffset : values) {
            std::string data = "PK\x03\x04" + RandomBytes(200, dirSize ^ dirOffset);
            std::uint8_t end[TZipEndRecord::Size] = {'P', 'K', 5, 6};
            PutU32LE(end + 12, dirSize);
            PutU32LE(end + 16, dirOffset);
            PutU16LE(end + 20, 0xFFFF); // a comment longer than the file
            data.append(reinterpret_cast<char*>(end), sizeof end);
            TMemFile f(data);
            TRegisterKorva k;
            const std::int64_t r = k.LocateZipDirectory(f.Stream);
            EXPECT_GE(r, 0);
            EXPECT_LT(r, static_cast<std::int64_t>(data.size()));
            // no directory: either out of reach (end record only) or the local header at the
            // start is to be walked
            if (!(k.HeaderState & htCentral)) {
                EXPECT_EQ(r, 0);
                EXPECT_TRUE(k.HeaderState == htEnding || k.HeaderState == htLocal) << int(k.HeaderState);
            }
        }
    }
}

TEST(LocateZipDirectory, EncipheredHeadersAreDecipheredIntoTheImages) {
    auto plainSpec = TwoEntries();
    auto encSpec = plainSpec;
    encSpec.EncryptHeaders = true;
    TZipLayout layout;
    const std::string plain = MakeStoredZip(plainSpec);
    const std::string enc = MakeStoredZip(encSpec, &layout);
    EXPECT_EQ(enc.substr(0, 4), std::string("PL\x03\x04"));
    TMemFile f(enc);
    TRegisterKorva k;
    EXPECT_EQ(k.LocateZipDirectory(f.Stream), static_cast<std::int64_t>(layout.Directory));
    EXPECT_EQ(k.HeaderState, htLocal | htCentral | htEnding);
    // the images hold the plain fields behind the "PL" signatures
    EXPECT_EQ(0, std::memcmp(k.CentralRecord.data() + 4, plain.data() + layout.Directory + 4,
                             TZipCentralHeader::Size - 4));
    EXPECT_EQ(0, std::memcmp(k.LocalRecord.data() + 4, plain.data() + 4, TZipLocalHeader::Size - 4));
}

TEST(LocateZipDirectory, OffsetBeyondTheFileTriesTheMovedDirectory) {
    // An archive whose front part was cut off: the stored offset points past the end.
    auto spec = TwoEntries();
    TZipLayout layout;
    std::string zip = MakeStoredZip(spec, &layout);
    PutU32LE(reinterpret_cast<std::uint8_t*>(zip.data()) + layout.EndRecord + 16, 0x10000000);
    TMemFile f(zip);
    TRegisterKorva k;
    EXPECT_EQ(k.LocateZipDirectory(f.Stream), static_cast<std::int64_t>(layout.Directory));
    EXPECT_TRUE(k.HeaderState & htCentral);
}

// Rewrites a built archive the way zip64 writers do: the directory's size and offset move to a
// zip64 end record and its locator, and the end record's fields are all ones.
std::string WithZip64End(const std::string& Zip, const TZipLayout& Layout, std::size_t StoredBase) {
    std::string out = Zip.substr(0, Layout.EndRecord);
    const std::uint64_t dirSize = Layout.EndRecord - Layout.Directory;
    std::uint8_t rec[56] = {'P', 'K', 6, 6};
    PutU32LE(rec + 4, 44);
    PutU32LE(rec + 40, static_cast<std::uint32_t>(dirSize));
    PutU32LE(rec + 48, static_cast<std::uint32_t>(Layout.Directory - StoredBase));
    const std::size_t recPos = out.size();
    out.append(reinterpret_cast<char*>(rec), sizeof rec);
    std::uint8_t loc[20] = {'P', 'K', 6, 7};
    PutU32LE(loc + 8, static_cast<std::uint32_t>(recPos - StoredBase));
    PutU32LE(loc + 16, 1);
    out.append(reinterpret_cast<char*>(loc), sizeof loc);
    std::string end = Zip.substr(Layout.EndRecord);
    auto* e = reinterpret_cast<std::uint8_t*>(end.data());
    PutU32LE(e + 12, 0xFFFFFFFF);
    PutU32LE(e + 16, 0xFFFFFFFF);
    return out + end;
}

TEST(LocateZipDirectory, Zip64EndRecordGivesTheDirectory) {
    for (bool stub : {false, true}) {
        auto spec = TwoEntries();
        if (stub) spec.Prefix = RandomBytes(3000, 6);
        TZipLayout layout;
        const std::string zip = MakeStoredZip(spec, &layout);
        TMemFile f(WithZip64End(zip, layout, spec.Prefix.size()));
        TRegisterKorva k;
        EXPECT_EQ(k.LocateZipDirectory(f.Stream), static_cast<std::int64_t>(layout.Directory)) << stub;
        EXPECT_EQ(k.HeaderState, htLocal | htCentral | htEnding) << stub;
        EXPECT_EQ(k.ZipOffsetCorrection, static_cast<std::int64_t>(spec.Prefix.size())) << stub;
    }
}

} // namespace
