// Zip entry names as local names: the code-page rules, Info-ZIP's unicode path field, and
// the lister showing each name as the reader writes it, from the directory and from the
// local headers alike.
#include "engine/formats/zip/krvZipEntryName.h"

#include "ExtractRun.h"
#include "ListerSupport.h"
#include "TestSupport.h"
#include "ZipBuilder.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// An Info-ZIP unicode path field naming RawName as Utf8Name.
std::string UnicodePathField(const std::string& RawName, const std::string& Utf8Name) {
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(RawName.data(), std::ssize(RawName), crc);
    std::string body(5, '\0');
    body[0] = 1;
    PutU32LE(reinterpret_cast<std::uint8_t*>(body.data() + 1), crc ^ 0xFFFFFFFF);
    body += Utf8Name;
    std::string field(4, '\0');
    PutU16LE(reinterpret_cast<std::uint8_t*>(field.data()), 0x7075);
    PutU16LE(reinterpret_cast<std::uint8_t*>(field.data() + 2), static_cast<std::uint16_t>(body.size()));
    return field + body;
}

const std::string CafeCp437 = "caf\x82.txt";
const std::string CafeUtf8 = "caf\xC3\xA9.txt";

} // namespace

TEST(ZipEntryName, CodePageByFlagAndHost) {
    // DOS, OS/2, NTFS and VFAT names are OEM; Unix names are the bytes as stored.
    EXPECT_EQ(ZipNameToLocal(CafeCp437, 0, 0, true, true), CafeUtf8);
    EXPECT_EQ(ZipNameToLocal(CafeCp437, 0, 11, true, true), CafeUtf8);
    EXPECT_EQ(ZipNameToLocal(CafeCp437, 0, 3, true, true), CafeCp437);
    EXPECT_EQ(ZipNameToLocal(CafeCp437, 0, 0, true, false), CafeCp437);
    // The UTF-8 flag wins over the host.
    EXPECT_EQ(ZipNameToLocal(CafeUtf8, 0x0800, 0, true, true), CafeUtf8);
    // No host known: valid UTF-8 stays, anything else is OEM.
    EXPECT_EQ(ZipNameToLocal(CafeUtf8, 0, 0, false, true), CafeUtf8);
    EXPECT_EQ(ZipNameToLocal(CafeCp437, 0, 0, false, true), CafeUtf8);
    // Stored separators of either kind become local ones.
    EXPECT_EQ(ZipNameToLocal("a\\b/c.txt", 0, 0, true, true), "a/b/c.txt");
}

TEST(ZipEntryName, UnicodePathFieldOnlyWhenItBelongsToTheName) {
    const std::string field = UnicodePathField(CafeCp437, "x\xC3\xA9.txt");
    bool utf8 = false;
    EXPECT_EQ(ZipStoredName(CafeCp437, 0, AsBytes(field), utf8), "x\xC3\xA9.txt");
    EXPECT_TRUE(utf8);
    // Made from another name: the stored name stands.
    EXPECT_EQ(ZipStoredName("other.txt", 0, AsBytes(field), utf8), "other.txt");
    EXPECT_FALSE(utf8);
    // A name flagged UTF-8 needs no field.
    EXPECT_EQ(ZipStoredName(CafeCp437, 0x0800, AsBytes(field), utf8), CafeCp437);
    EXPECT_TRUE(utf8);
    // A field that claims more bytes than there are is no field.
    const std::string cut = field.substr(0, field.size() - 1);
    EXPECT_EQ(ZipStoredName(CafeCp437, 0, AsBytes(cut), utf8), CafeCp437);
    EXPECT_FALSE(utf8);
    EXPECT_EQ(ZipNameToLocal(CafeCp437, 0, 3, true, true, AsBytes(field)), "x\xC3\xA9.txt");
}

TEST(ZipEntryName, ListerShowsTheNamesTheReaderWrites) {
    TZipSpec spec;
    spec.Add(TZipItem{CafeCp437, "dos", 0x20, 20});                    // DOS, CP437
    spec.Add(TZipItem{"\xC3\xA9t\xC3\xA9.txt", "unix", 0x20, 0x0314}); // Unix, UTF-8 unflagged
    spec.Add(TZipItem{"lat\xE9.txt", "latin", 0x20, 0x0314});          // Unix, neither
    TZipItem flagged{"\xE2\x82\xAC.txt", "euro", 0x20, 20};
    flagged.Flags = 0x0800;
    spec.Add(flagged);
    TZipLayout layout;
    const std::string zip = MakeStoredZip(spec, &layout);

    TempDir dir;
    const auto agree = [&](const std::string& Name, const std::string& Bytes) {
        const fs::path archive = dir / Name;
        WriteFile(archive, Bytes);
        const TListing listing = ListArchive(archive.string());
        std::map<std::string, std::string> listed;
        for (const TListedEntry& e : listing.Entries)
            listed[e.Name] = "";
        const fs::path out = dir / (Name + ".out");
        const ExtractResult result = ExtractAll(archive, out);
        // The local headers alone are an archive without its directory: damage, reported.
        EXPECT_TRUE(Name == "l.zip" ? result.EntriesPassedWithoutDirectory() : result.AllPassed())
            << Name << "\n"
            << result.Describe();
        std::map<std::string, std::string> written = ReadTree(out);
        for (auto& [name, data] : written)
            data.clear();
        EXPECT_EQ(listed, written) << Name << ": " << listing.Describe();
        return listed;
    };

    // The directory tells the host of each name.
    const auto central = agree("c.zip", zip);
    EXPECT_TRUE(central.count(CafeUtf8));
    EXPECT_TRUE(central.count("\xC3\xA9t\xC3\xA9.txt"));
    EXPECT_TRUE(central.count("lat\xE9.txt"));
    EXPECT_TRUE(central.count("\xE2\x82\xAC.txt"));

    // The local headers alone tell no host: what is not UTF-8 is OEM.
    const auto local = agree("l.zip", zip.substr(0, layout.Directory));
    EXPECT_TRUE(local.count(CafeUtf8));
    EXPECT_TRUE(local.count("\xC3\xA9t\xC3\xA9.txt"));
    EXPECT_TRUE(local.count("lat\xCE\x98.txt")); // 0xE9 is a theta in CP437
    EXPECT_TRUE(local.count("\xE2\x82\xAC.txt"));
}
