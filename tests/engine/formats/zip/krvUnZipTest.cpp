// The zip reader on archives made in the test: methods, hostile names and links, passwords
// that must not destroy anything, damaged input, cancel and write failures.
#include "engine/formats/zip/krvUnZip.h"
#include "engine/core/krvCrypt.h"
#include "engine/core/krvErrorCodes.h"

#include "ExtractRun.h"
#include "TestSupport.h"
#include "ZipBuilder.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace testsupport;

namespace {

class UnZipTest : public ::testing::Test {
protected:
    fs::path Make(const TZipSpec& Zip, const std::string& Name = "t.zip") {
        const fs::path path = Dir / Name;
        WriteFile(path, MakeStoredZip(Zip));
        return path;
    }
    // Every file below the test folder that is not below Dest or the archive itself.
    std::vector<std::string> Strays(const fs::path& Archive) const {
        std::vector<std::string> found;
        for (auto& e : fs::recursive_directory_iterator(Dir.Path())) {
            const fs::path p = e.path();
            if (p == Archive || p == Dest || p.string().rfind(Dest.string() + "/", 0) == 0) continue;
            if (p == Outside || p.string().rfind(Outside.string() + "/", 0) == 0) {
                if (!fs::is_directory(p)) found.push_back(p.string());
                continue;
            }
            found.push_back(p.string());
        }
        return found;
    }
    TempDir Dir;
    fs::path Dest = Dir / "dest";
    fs::path Outside = Dir / "outside";
};

// An entry enciphered with the traditional cipher: the encryption header, then Packed.
TZipItem Encrypted(const std::string& Name, const std::string& Data, const std::string& Password,
                   bool Deflate) {
    TZipItem e{Name, Data};
    e.Flags = 1;
    e.Method = Deflate ? 8 : 0;
    std::string packed = Deflate ? DeflateRaw(Data) : Data;
    TZipCipher cipher;
    std::array<std::uint8_t, CryptHeaderSize> header{};
    cipher.MakeCryptHeader(Password, Crc32Of(Data), header);
    cipher.EncryptBuf(packed.data(), std::ssize(packed));
    e.Packed = std::string(header.begin(), header.end()) + packed;
    return e;
}

// True when Password passes the check byte of the entry's cipher header.
bool CheckBytePasses(const TZipItem& Entry, const std::string& Password) {
    std::array<std::uint8_t, 2 * CryptHeaderSize> work{};
    std::copy_n(Entry.Packed.begin(), CryptHeaderSize, work.begin() + CryptHeaderSize);
    TZipCipher cipher;
    return cipher.CheckCryptHeader(work, Entry.Flags, Crc32Of(Entry.Data), Password,
                                   Entry.DosDateTime & 0xFFFF);
}

// A password other than Right whose check byte passes for the entry.
std::string WrongButPassing(const TZipItem& Entry, const std::string& Right) {
    for (int i = 0; i < 100000; ++i) {
        const std::string candidate = "w" + std::to_string(i);
        if (candidate != Right && CheckBytePasses(Entry, candidate)) return candidate;
    }
    return {};
}

// A password whose check byte fails for every one of Entries (their cipher headers are random,
// so a fixed wrong password would pass one time in 256).
std::string RefusedByAll(const std::vector<TZipItem>& Entries) {
    for (int i = 0;; ++i) {
        const std::string candidate = "nope" + std::to_string(i);
        if (std::none_of(Entries.begin(), Entries.end(),
                         [&](const TZipItem& e) { return CheckBytePasses(e, candidate); }))
            return candidate;
    }
}

} // namespace

TEST_F(UnZipTest, StoredDeflatedEmptyAndFolderEntries) {
    const std::string text = TextBytes(200000);
    TZipItem deflated{"dir/text.txt", text};
    deflated.Method = 8;
    deflated.Packed = DeflateRaw(text);
    TZipSpec zip;
    zip.Add("plain.bin", RandomBytes(5000)).Add(deflated).Add("empty.txt", "");
    zip.Add(TZipItem{"folder/sub/", "", 0x10});
    const auto result = ExtractAll(Make(zip), Dest);
    ASSERT_TRUE(result.AllPassed()) << result.Describe();
    EXPECT_EQ(result.Returned, 3);
    EXPECT_EQ(ReadFile(Dest / "plain.bin"), RandomBytes(5000));
    EXPECT_EQ(ReadFile(Dest / "dir/text.txt"), text);
    EXPECT_EQ(ReadFile(Dest / "empty.txt"), "");
    EXPECT_TRUE(fs::is_directory(Dest / "folder/sub"));
}

TEST_F(UnZipTest, HostileNamesNeverLeaveTheDestination) {
    TZipSpec zip;
    zip.Add("../x.txt", "1").Add("a/../../y.txt", "2").Add("..\\z.txt", "3");
    zip.Add("/abs.txt", "4").Add("C:\\win.txt", "5").Add("ok/./f.txt", "6");
    const fs::path archive = Make(zip);
    const auto result = ExtractAll(archive, Dest);
    EXPECT_EQ(result.CountOf(ecInvalidFileName), 3) << result.Describe();
    EXPECT_EQ(ReadFile(Dest / "abs.txt"), "4");
    EXPECT_EQ(ReadFile(Dest / "win.txt"), "5");
    EXPECT_EQ(ReadFile(Dest / "ok/f.txt"), "6");
    EXPECT_EQ(Strays(archive), std::vector<std::string>{});
}

TEST_F(UnZipTest, LinkEntriesAreNeverMadeAndNothingIsWrittenThroughThem) {
    fs::create_directories(Outside);
    TZipSpec zip;
    zip.Add(UnixItem("link", Outside.string(), 0120777)).Add(UnixItem("link/evil.txt", "evil", 0100644));
    zip.Add(UnixItem("up", "..", 0120777)).Add(UnixItem("up/evil2.txt", "evil", 0100644));
    const fs::path archive = Make(zip);
    const auto result = ExtractAll(archive, Dest);
    // Each link is reported skipped; the files named below them land in plain folders.
    EXPECT_EQ(result.CountOf(ecSkippedFile), 2) << result.Describe();
    EXPECT_EQ(ReadTree(Dest),
              (std::map<std::string, std::string>{
                  {"link/", ""}, {"link/evil.txt", "evil"}, {"up/", ""}, {"up/evil2.txt", "evil"}}));
    EXPECT_TRUE(fs::is_empty(Outside));
    EXPECT_EQ(Strays(archive), std::vector<std::string>{});
}

TEST_F(UnZipTest, LinksAlreadyInTheDestinationAreNotFollowed) {
    fs::create_directories(Outside);
    fs::create_directories(Dest);
    WriteFile(Outside / "victim", "precious");
    fs::create_symlink(Outside, Dest / "out");
    fs::create_symlink(Outside / "victim", Dest / "victim");
    TZipSpec zip;
    zip.Add("out/x.txt", "x").Add("victim", "replaced");
    const auto result = ExtractAll(Make(zip), Dest);
    EXPECT_TRUE(result.HasError(ecErrorOpeningFile)) << result.Describe();
    EXPECT_EQ(ReadFile(Outside / "victim"), "precious");
    EXPECT_FALSE(fs::exists(Outside / "x.txt"));
    // The link named like the entry is replaced by the file; its target is left alone.
    EXPECT_FALSE(fs::is_symlink(Dest / "victim"));
    EXPECT_EQ(ReadFile(Dest / "victim"), "replaced");
}

TEST_F(UnZipTest, PasswordsThatDoNotFitNeverTouchAnExistingFile) {
    const std::string data = TextBytes(50000);
    const TZipItem entry = Encrypted("secret.txt", data, "right", true);
    const std::string wrong = WrongButPassing(entry, "right");
    ASSERT_FALSE(wrong.empty());
    const fs::path archive = Make(TZipSpec().Add(entry));
    fs::create_directories(Dest);
    WriteFile(Dest / "secret.txt", "original");

    for (const std::string& password : {wrong, std::string("refused")}) {
        const auto result = ExtractAll(archive, Dest, [&](TUnBase& r) { r.Password = password; });
        EXPECT_FALSE(result.AllPassed()) << password;
        EXPECT_EQ(result.Returned, 0) << password;
        EXPECT_EQ(ReadFile(Dest / "secret.txt"), "original") << password;
    }
    const auto right = ExtractAll(archive, Dest, [](TUnBase& r) { r.Password = "right"; });
    EXPECT_TRUE(right.AllPassed()) << right.Describe();
    EXPECT_EQ(ReadFile(Dest / "secret.txt"), data);
}

TEST_F(UnZipTest, StoredEncryptedEntriesAndAFailedPasswordSkipsTheRest) {
    const std::vector<TZipItem> entries{Encrypted("a.txt", "alpha", "pw", false),
                                        Encrypted("b.txt", "beta", "pw", true)};
    TZipSpec zip;
    zip.Add(entries[0]).Add(entries[1]);
    const fs::path archive = Make(zip);
    const std::string refused = RefusedByAll(entries);
    const auto good = ExtractAll(archive, Dest, [](TUnBase& r) { r.Password = "pw"; });
    EXPECT_TRUE(good.AllPassed()) << good.Describe();
    EXPECT_EQ(ReadFile(Dest / "a.txt"), "alpha");
    EXPECT_EQ(ReadFile(Dest / "b.txt"), "beta");

    int asked = 0;
    const auto bad = ExtractAll(archive, Dir / "bad", [&](TUnBase& r) {
        r.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& P, bool& TryAgain) {
            ++asked;
            P = refused;
            TryAgain = true;
        };
    });
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(bad.CountOf(ecInvalidPassword), 3);
    EXPECT_EQ(bad.CountOf(ecPasswordFailed), 1);
    EXPECT_FALSE(fs::exists(Dir / "bad/a.txt"));
    EXPECT_FALSE(fs::exists(Dir / "bad/b.txt"));
}

TEST_F(UnZipTest, UnsupportedMethodLeavesTargetsAlone) {
    TZipItem e{"m9.bin", "whatever"};
    e.Method = 9;
    e.Packed = "garbage";
    TZipItem empty{"e9.bin", ""};
    empty.Method = 9;
    fs::create_directories(Dest);
    WriteFile(Dest / "m9.bin", "original");
    const auto result = ExtractAll(Make(TZipSpec().Add(e).Add(empty)), Dest);
    EXPECT_EQ(result.CountOf(ecUnsupportedCompressionMethod), 2) << result.Describe();
    EXPECT_EQ(ReadFile(Dest / "m9.bin"), "original");
    EXPECT_FALSE(fs::exists(Dest / "e9.bin"));
    EXPECT_EQ(result.FilesFailed, 2);
}

TEST_F(UnZipTest, DamagedArchives) {
    const std::string big = TextBytes(100000, 7);
    TZipItem deflated{"big.txt", big};
    deflated.Method = 8;
    deflated.Packed = DeflateRaw(big);
    TZipSpec zip;
    zip.Add("first.txt", "first").Add(deflated).Add("last.txt", "last");
    const std::string bytes = MakeStoredZip(zip);
    const std::size_t dataStart = 30 + 9 + 5 + 30 + 7;
    const std::size_t centralPos = bytes.find("PK\x01\x02");

    // No central directory: the local headers are walked.
    WriteFile(Dir / "nodir.zip", bytes.substr(0, centralPos));
    auto r = ExtractAll(Dir / "nodir.zip", Dir / "nodir");
    EXPECT_TRUE(r.EntriesPassedWithoutDirectory()) << r.Describe();
    EXPECT_EQ(ReadFile(Dir / "nodir/big.txt"), big);
    // ... unless the damaged-header question says no.
    r = ExtractAll(Dir / "nodir.zip", Dir / "refused",
                   [](TUnBase& u) { u.OnCorruptZipHeader = [](TZipCommon&, THeaderTypeState, bool&) {}; });
    EXPECT_EQ(r.Returned, 0);
    EXPECT_FALSE(fs::exists(Dir / "refused/first.txt"));

    // Cut inside the deflated data: the complete entry comes out, the cut one fails as cut off.
    WriteFile(Dir / "cut.zip", bytes.substr(0, dataStart + 200));
    r = ExtractAll(Dir / "cut.zip", Dir / "cut");
    EXPECT_EQ(ReadFile(Dir / "cut/first.txt"), "first");
    EXPECT_TRUE(r.HasError(ecBadFileHeader)) << r.Describe();
    EXPECT_FALSE(fs::exists(Dir / "cut/big.txt"));

    // A flipped byte in the data: a failed entry, the others intact.
    std::string flipped = bytes;
    flipped[dataStart + 5000] ^= 0x55;
    WriteFile(Dir / "flip.zip", flipped);
    r = ExtractAll(Dir / "flip.zip", Dir / "flip");
    EXPECT_FALSE(r.AllPassed());
    EXPECT_FALSE(fs::exists(Dir / "flip/big.txt"));
    EXPECT_EQ(ReadFile(Dir / "flip/last.txt"), "last");

    // A flipped central signature: the records after it cannot be found, and that is said.
    std::string badCentral = bytes;
    const std::size_t second = bytes.find("PK\x01\x02", centralPos + 4);
    badCentral[second + 2] = 9;
    WriteFile(Dir / "central.zip", badCentral);
    r = ExtractAll(Dir / "central.zip", Dir / "central");
    EXPECT_TRUE(r.HasError(ecHeaderNotFound)) << r.Describe();
    EXPECT_EQ(ReadFile(Dir / "central/first.txt"), "first");
}

TEST_F(UnZipTest, CancelDuringInflateKeepsTheOldFile) {
    const std::string big = RandomBytes(1 << 20) + TextBytes(4 << 20);
    TZipItem deflated{"big.bin", big};
    deflated.Method = 8;
    deflated.Packed = DeflateRaw(big, 1);
    fs::create_directories(Dest);
    WriteFile(Dest / "big.bin", "keep");
    int progress = 0;
    const auto r = ExtractAll(Make(TZipSpec().Add(deflated).Add("after.txt", "a")), Dest, [&](TUnBase& u) {
        u.OnProgress = [&](TZipCommon& Sender, std::uint8_t, std::uint8_t) {
            if (++progress == 3) Sender.SetCancel(true);
        };
    });
    EXPECT_EQ(r.CountOf(ecUserCanceled), 1) << r.Describe();
    EXPECT_EQ(r.Errors.size(), 1u);
    EXPECT_EQ(ReadFile(Dest / "big.bin"), "keep");
    EXPECT_FALSE(fs::exists(Dest / "after.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dest), fs::directory_iterator()), 1);
}

TEST_F(UnZipTest, WriteFailureIsReportedAndLeavesNoPartialFile) {
    const std::string big = RandomBytes(300000);
    const fs::path archive = Make(TZipSpec().Add("big.bin", big).Add("small.txt", "s"));
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto r = ExtractAll(archive, Dest);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(r.HasError(ecErrorWritingToFile) || r.HasError(ecDiskFull)) << r.Describe();
    EXPECT_EQ(r.Returned, 0);
    EXPECT_FALSE(fs::exists(Dest / "big.bin"));
}

TEST_F(UnZipTest, JarFoldersAreToldByTheirNames) {
    TZipSpec zip;
    zip.Add(TZipItem{"META-INF/", "", 0}).Add(TZipItem{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\n", 0});
    const auto r = ExtractAll(Make(zip, "t.jar"), Dest);
    EXPECT_TRUE(r.AllPassed()) << r.Describe();
    EXPECT_TRUE(fs::is_directory(Dest / "META-INF"));
    EXPECT_EQ(ReadFile(Dest / "META-INF/MANIFEST.MF"), "Manifest-Version: 1.0\n");
}

TEST_F(UnZipTest, PermissionsComeFromUnixModesWithoutSetBits) {
    TZipSpec zip;
    zip.Add(UnixItem("run.sh", "#!/bin/sh\n", 0104755)).Add(UnixItem("private.txt", "p", 0100600));
    zip.Add(TZipItem{"readonly.txt", "r", 0x21});
    const auto r = ExtractAll(Make(zip), Dest);
    ASSERT_TRUE(r.AllPassed()) << r.Describe();
    struct stat st {};
    ASSERT_EQ(::stat((Dest / "run.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    ASSERT_EQ(::stat((Dest / "private.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_EQ(::stat((Dest / "readonly.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
}

TEST_F(UnZipTest, LongNamesAreKeptWholeAndOverlongPartsRefused) {
    const std::string deep =
        std::string(120, 'a') + "/" + std::string(120, 'b') + "/" + std::string(100, 'c');
    const std::string overlong = std::string(300, 'x') + ".txt";
    TZipSpec zip;
    zip.Add(deep, "deep").Add(overlong, "long").Add("after.txt", "after");
    const auto r = ExtractAll(Make(zip), Dest);
    EXPECT_EQ(ReadFile(Dest / deep), "deep");
    EXPECT_EQ(r.CountOf(ecInvalidFileName), 1) << r.Describe();
    EXPECT_EQ(ReadFile(Dest / "after.txt"), "after");
}

TEST_F(UnZipTest, SelectionByMasks) {
    TZipSpec zip;
    zip.Add("README", "r").Add("src/a.c", "a").Add("src/b.h", "b").Add("doc/x.txt", "x");
    const fs::path archive = Make(zip);
    std::vector<std::string> masks{"*.c", "README"};
    const auto r = ExtractAll(archive, Dest, [&](TUnBase& u) { u.FileSpec = masks; });
    EXPECT_TRUE(r.AllPassed()) << r.Describe();
    EXPECT_EQ(ReadTree(Dest),
              (std::map<std::string, std::string>{{"README", "r"}, {"src/", ""}, {"src/a.c", "a"}}));
}

TEST_F(UnZipTest, EncipheredHeadersOnBothPaths) {
    TZipSpec spec;
    spec.EncryptHeaders = true;
    spec.Add("one.txt", "first").Add("sub/two.txt", "second");
    TZipLayout layout;
    const std::string bytes = MakeStoredZip(spec, &layout);
    WriteFile(Dir / "pl.zip", bytes);
    auto r = ExtractAll(Dir / "pl.zip", Dir / "central");
    EXPECT_TRUE(r.AllPassed()) << r.Describe();
    EXPECT_EQ(ReadFile(Dir / "central/sub/two.txt"), "second");
    WriteFile(Dir / "walk.zip", bytes.substr(0, layout.Directory));
    r = ExtractAll(Dir / "walk.zip", Dir / "walk");
    EXPECT_TRUE(r.EntriesPassedWithoutDirectory()) << r.Describe();
    EXPECT_EQ(ReadFile(Dir / "walk/one.txt"), "first");
}

TEST_F(UnZipTest, ArchiveBehindAStub) {
    for (bool adjusted : {false, true}) {
        TZipSpec spec;
        spec.Prefix = "MZ" + RandomBytes(3000);
        spec.AdjustOffsets = adjusted;
        spec.Add("inside.txt", "inside");
        const fs::path archive = Dir / (adjusted ? "adjusted.exe" : "raw.exe");
        WriteFile(archive, MakeStoredZip(spec));
        const fs::path dest = Dir / (adjusted ? "adjusted" : "raw");
        const auto r = ExtractAll(archive, dest);
        EXPECT_TRUE(r.AllPassed()) << adjusted << "\n" << r.Describe();
        EXPECT_EQ(ReadFile(dest / "inside.txt"), "inside") << adjusted;
    }
}

TEST_F(UnZipTest, LocalWalkOverHeadersWithoutDescriptorsEnds) {
    // Headers that announce a data descriptor but are followed by no data and no descriptor:
    // each would have the walk search to the end of the file.
    TZipLocalHeader h;
    h.Flags = 8;
    h.NameLength = 1;
    std::string bytes;
    const auto image = h.Image();
    for (int i = 0; i < 60000; ++i)
        bytes += std::string(image.begin(), image.end()) + "a";
    WriteFile(Dir / "many.zip", bytes);
    // Nothing is selected: only the walk itself is run.
    const auto r = ExtractAll(Dir / "many.zip", Dest, [](TUnBase& u) { u.FileSpec = {"none"}; });
    EXPECT_EQ(r.Returned, 0);
}

TEST_F(UnZipTest, LocalWalkFindsADescriptorThatEndsTheFileOnABlockEdge) {
    // Data of a whole search block: the descriptor begins where a block does and ends the file.
    for (const std::size_t size : {std::size_t{65536}, std::size_t{65540}, std::size_t{65535}}) {
        const std::string data = TextBytes(size, 5);
        TZipLocalHeader h;
        h.Flags = 8;
        h.NameLength = 5;
        const auto image = h.Image();
        TZipDataDescriptor d;
        d.Crc = Crc32Of(data);
        d.CompressedSize = d.UncompressedSize = static_cast<std::uint32_t>(size);
        std::string descriptor(TZipDataDescriptor::Size, '\0');
        d.ToBytes(reinterpret_cast<std::uint8_t*>(descriptor.data()));
        const fs::path archive = Dir / ("edge" + std::to_string(size) + ".zip");
        WriteFile(archive, std::string(image.begin(), image.end()) + "a.txt" + data + descriptor);
        const fs::path dest = Dir / ("edge" + std::to_string(size));
        const auto r = ExtractAll(archive, dest);
        EXPECT_TRUE(r.EntriesPassedWithoutDirectory()) << size << "\n" << r.Describe();
        EXPECT_EQ(ReadFile(dest / "a.txt"), data) << size;
    }
}

namespace {

// An entry whose CRC and sizes follow its data in a descriptor of Style.
TZipItem Streamed(const std::string& Name, const std::string& Data, bool Deflate, TZipDescriptorStyle Style,
                  bool Wide = false) {
    TZipItem e{Name, Data};
    if (Deflate) {
        e.Method = 8;
        e.Packed = DeflateRaw(Data);
    }
    e.Descriptor = Style;
    e.Descriptor64 = Wide;
    return e;
}

// The archive's local headers only: its directory cut off.
std::string WithoutDirectory(const TZipSpec& Spec) {
    TZipLayout layout;
    return MakeStoredZip(Spec, &layout).substr(0, layout.Directory);
}

// The passed verdict OnEnd gave the entry Name (false when none was given).
bool Passed(const ExtractResult& Result, const std::string& Name) {
    for (const auto& [name, passed] : Result.Ends)
        if (name == Name) return passed;
    return false;
}

} // namespace

TEST_F(UnZipTest, LocalWalkFindsDescriptorsWithoutSignature) {
    constexpr auto Bare = TZipDescriptorStyle::Unsigned;
    // A stored zip inside: its own headers and descriptors are data of the outer entry.
    TZipSpec inner;
    inner.Add(Streamed("in1.txt", "inner one", false, TZipDescriptorStyle::Signed));
    inner.Add(Streamed("in2.txt", "inner two", false, Bare));
    const std::string innerZip = MakeStoredZip(inner);
    // Stored data holding a look-alike descriptor: its size is its distance and a local
    // header follows, but its CRC is not that of the bytes before it.
    const std::string lookAlike = std::string("abcd") + "\x44\x33\x22\x11" +
                                  std::string("\x04\0\0\0\x04\0\0\0", 8) + "PK\x03\x04" + "tail";
    std::map<std::string, std::string> files = {
        {"stored.txt", TextBytes(3000, 1)},
        {"deflated.txt", TextBytes(200000, 2)},
        {"random.bin", RandomBytes(70000, 3)},
        {"empty.txt", ""},
        {"inner.zip", innerZip},
        {"lookalike.bin", lookAlike},
        {"wide.txt", TextBytes(5000, 4)},
        {"signed.txt", "signed descriptor"},
        {"sub/last.bin", RandomBytes(66000, 5)},
    };
    TZipSpec spec;
    spec.Add(Streamed("stored.txt", files["stored.txt"], false, Bare));
    spec.Add(Streamed("deflated.txt", files["deflated.txt"], true, Bare));
    spec.Add(Streamed("random.bin", files["random.bin"], false, Bare));
    spec.Add(Streamed("empty.txt", "", false, Bare));
    spec.Add(Streamed("inner.zip", innerZip, false, Bare));
    spec.Add(Streamed("lookalike.bin", lookAlike, false, Bare));
    spec.Add(Streamed("wide.txt", files["wide.txt"], true, Bare, true));
    spec.Add(Streamed("signed.txt", files["signed.txt"], true, TZipDescriptorStyle::Signed));
    spec.Add(Streamed("sub/last.bin", files["sub/last.bin"], false, Bare));
    WriteFile(Dir / "bare.zip", WithoutDirectory(spec));

    const auto r = ExtractAll(Dir / "bare.zip", Dest);
    EXPECT_TRUE(r.EntriesPassedWithoutDirectory()) << r.Describe();
    EXPECT_EQ(r.Ends.size(), files.size()) << r.Describe();
    EXPECT_EQ(CompareTrees(
                  files, "sources",
                  [&] {
                      auto tree = ReadTree(Dest);
                      tree.erase("sub/");
                      return tree;
                  }(),
                  "extracted"),
              "");
}

TEST_F(UnZipTest, LocalWalkEntryWhoseDataEndIsNotFoundFailsAndTheWalkGoesOn) {
    constexpr auto Bare = TZipDescriptorStyle::Unsigned;
    const std::string lost = TextBytes(5000, 6);
    const std::string broken = TextBytes(90000, 7);
    TZipSpec spec;
    spec.Add(Streamed("before.txt", "before", false, Bare));
    spec.Add(Streamed("lost.txt", lost, false, Bare));
    spec.Add(Streamed("broken.txt", broken, true, Bare));
    spec.Add(Streamed("after.txt", "after", false, Bare));
    std::string bytes = WithoutDirectory(spec);
    // The stored entry's descriptor damaged (its CRC), the deflated entry's data damaged.
    const std::size_t lostData = bytes.find(lost);
    bytes[lostData + lost.size()] ^= 0x01;
    const std::size_t brokenData = bytes.find("broken.txt") + 10;
    bytes[brokenData + 100] ^= 0x55;
    WriteFile(Dir / "hopeless.zip", bytes);
    WriteFile(Dest / "lost.txt", "kept");

    const auto r = ExtractAll(Dir / "hopeless.zip", Dest);
    EXPECT_TRUE(Passed(r, "before.txt")) << r.Describe();
    EXPECT_TRUE(Passed(r, "after.txt")) << r.Describe();
    EXPECT_FALSE(Passed(r, "lost.txt")) << r.Describe();
    EXPECT_FALSE(Passed(r, "broken.txt")) << r.Describe();
    EXPECT_EQ(r.FilesFailed, 2);
    EXPECT_TRUE(r.HasError(ecHeaderNotFound)) << r.Describe();
    EXPECT_EQ(ReadFile(Dest / "before.txt"), "before");
    EXPECT_EQ(ReadFile(Dest / "after.txt"), "after");
    EXPECT_EQ(ReadFile(Dest / "lost.txt"), "kept");
    EXPECT_FALSE(fs::exists(Dest / "broken.txt"));

    // Nothing after the damage: the walk ends with the failed entry.
    TZipSpec last;
    last.Add(Streamed("first.txt", "first", false, Bare));
    last.Add(Streamed("lost.txt", lost, false, Bare));
    bytes = WithoutDirectory(last);
    bytes[bytes.size() - 12] ^= 0x01;
    WriteFile(Dir / "end.zip", bytes);
    const auto e = ExtractAll(Dir / "end.zip", Dir / "end");
    EXPECT_TRUE(Passed(e, "first.txt")) << e.Describe();
    EXPECT_FALSE(Passed(e, "lost.txt")) << e.Describe();
    EXPECT_EQ(e.FilesFailed, 1);
    EXPECT_FALSE(fs::exists(Dir / "end/lost.txt"));
}

TEST_F(UnZipTest, LocalWalkOfManySmallStreamedEntriesFindsThemAll) {
    // Many short searches must not spend what guards the walk against endless ones.
    TZipSpec spec;
    std::map<std::string, std::string> files;
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        files[name] = "file " + std::to_string(i);
        spec.Add(Streamed(name, files[name], i % 3 == 2,
                          i % 2 ? TZipDescriptorStyle::Unsigned : TZipDescriptorStyle::Signed));
    }
    WriteFile(Dir / "many.zip", WithoutDirectory(spec));
    const auto r = ExtractAll(Dir / "many.zip", Dest);
    EXPECT_TRUE(r.EntriesPassedWithoutDirectory()) << r.Describe();
    EXPECT_EQ(CompareTrees(files, "sources", ReadTree(Dest), "extracted"), "");
}
