// The bh reader on archives made here (no Debian tool writes bh): stored data, deflate data
// made by gzip (methods 8 and 2), the LHA coding of corpus lzh archives (-lh5- is bh's
// method 1, -lh6- its method 3, with distances beyond 26 KiB), each plain and enciphered with
// the traditional zip cipher, folders, extra fields and a self-extractor stub in front. The
// engine must give back exactly the bytes each entry was made from.
#include "ExtractRun.h"
#include "LzhSample.h"
#include "TestSupport.h"
#include "ZipBuilder.h"

#include "engine/core/krvCrypt.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/bh/krvBhRecords.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

constexpr std::uint32_t DosTime = 0x5A8B6000;
const std::string Secret = "bh secret";

struct TBhItem {
    std::string Name;
    std::uint8_t Method = BhStored;
    std::string Packed; // the data before enciphering
    std::string Plain;
    bool Enciphered = false;
    std::uint8_t Version = 4;
    std::uint8_t ExtraFlags = 0; // BhTimeCheck
    std::uint16_t Attr = 0x20;
    std::uint16_t Extra = 0;
};

std::string BhEntry(const TBhItem& Item) {
    TBhHeader h;
    h.VersionMadeBy = Item.Version;
    h.Method = Item.Method;
    h.Flags = static_cast<std::uint8_t>((Item.Enciphered ? BhEnciphered : 0) | Item.ExtraFlags);
    h.DosTime = DosTime;
    h.UnpackedSize = std::ssize(Item.Plain);
    h.Crc = Crc32Of(Item.Plain);
    h.Attr = Item.Attr;
    h.Name = Item.Name;
    h.ExtraLength = Item.Extra;
    std::string data = Item.Packed;
    if (Item.Enciphered) {
        TZipCipher cipher;
        std::array<std::uint8_t, CryptHeaderSize> header{};
        // The check byte: the CRC's high byte, or the time's when the flags say so.
        const std::uint32_t check = (Item.ExtraFlags & BhTimeCheck) ? (DosTime & 0xFF00) << 16 : h.Crc;
        // A wrong password passes the one-byte check of one random header in 256: the wrong
        // passwords the tests give never do.
        const auto wrongPasses = [&header, check] {
            for (const char* wrong : {"wrong", "still wrong"}) {
                TZipCipher c;
                c.InitCryptKeys(wrong);
                auto plain = header;
                c.DecryptBuf(plain.data(), std::ssize(plain));
                if (plain.back() == static_cast<std::uint8_t>(check >> 24)) return true;
            }
            return false;
        };
        do {
            cipher = TZipCipher{};
            cipher.MakeCryptHeader(Secret, check, header);
        } while (wrongPasses());
        // Writers before version 3 start the cipher afresh for the data.
        if (Item.Version < BhFirstChainedCipherVersion) cipher.InitCryptKeys(Secret);
        cipher.EncryptBuf(data.data(), std::ssize(data));
        data.insert(0, reinterpret_cast<const char*>(header.data()), header.size());
    }
    h.PackedSize = std::ssize(data);
    std::string out;
    EXPECT_TRUE(MakeBhHeader(h, out));
    return out + data;
}

// Raw deflate data made by gzip: its member without the 10-byte header and 8-byte trailer.
std::string GzipDeflate(const std::string& Data) {
    const ToolResult t = RunTool({"gzip", "-c", "-n", "-9"}, {}, Data);
    EXPECT_EQ(t.ExitCode, 0) << t.Err;
    EXPECT_GE(t.Out.size(), 18u);
    return t.Out.substr(10, t.Out.size() - 18);
}

std::string MakeBh(const std::vector<TBhItem>& Items) {
    std::string out;
    for (const TBhItem& item : Items)
        out += BhEntry(item);
    return out;
}

} // namespace

TEST(UnBhInterop, HeaderLayoutIsTheFormats) {
    std::string h;
    TBhHeader header;
    header.Name = "a/b.txt";
    header.ExtraLength = 3;
    header.PackedSize = 0x01020304;
    ASSERT_TRUE(MakeBhHeader(header, h));
    ASSERT_EQ(h.size(), 37u + 7 + 3);
    EXPECT_EQ(h.substr(0, 4), "BH\x05\x07");
    EXPECT_EQ(h.substr(4, 3), std::string("\x2F\x00\x25", 3)); // total 47, fixed 37
    EXPECT_EQ(h.substr(15, 4), "\x04\x03\x02\x01");
    EXPECT_EQ(h.substr(33, 4), std::string("\x07\x00\x03\x00", 4));
    EXPECT_EQ(h.substr(37, 7), "a/b.txt");
    header.Name = std::string(65500, 'n');
    EXPECT_FALSE(MakeBhHeader(header, h)); // the total length no longer fits 16 bits
}

TEST(UnBhInterop, EveryMethodPlainAndEncipheredGivesItsData) {
    TempDir dir;
    const LzhSample lh5 = FirstLzhEntry("lhasa/lha_unix114i/h0_lh5.lzh", dir.Path());
    const LzhSample lh6 = FirstLzhEntry("lhasa/lha_unix114i/lh6_long.lzh", dir.Path());
    ASSERT_EQ(lh5.Method, "-lh5-");
    ASSERT_EQ(lh6.Method, "-lh6-");
    const std::string text = TextBytes(120000, 11);
    const std::string random = RandomBytes(20000, 12);
    const std::string deflated = GzipDeflate(text);
    const std::vector<TBhItem> items = {
        {"stored.bin", BhStored, random, random},
        {"docs/deflate.txt", BhDeflate, deflated, text},
        {"docs/old-deflate.txt", BhDeflateOld, deflated, text},
        {"lh5.txt", BhLzh13, lh5.Packed, lh5.Plain},
        {"lh6.txt", BhLzh15, lh6.Packed, lh6.Plain},
        {"empty.txt", BhStored, "", ""},
        {"extra.txt", BhStored, "after ten extra bytes", "after ten extra bytes", false, 4, 0, 0x20, 10},
        {"folder", BhStored, "", "", false, 4, 0, 0x10},
        {"secret/stored.bin", BhStored, random, random, true},
        {"secret/deflate.txt", BhDeflate, deflated, text, true},
        {"secret/lh5.txt", BhLzh13, lh5.Packed, lh5.Plain, true},
        {"secret/lh6.txt", BhLzh15, lh6.Packed, lh6.Plain, true},
        {"secret/time-checked.txt", BhDeflate, deflated, text, true, 4, BhTimeCheck},
        {"secret/old-cipher.txt", BhDeflate, deflated, text, true, 2},
        {"secret/old-stored.bin", BhStored, random, random, true, 2},
    };
    // Behind a self-extractor stub: detection finds the archive's offset.
    // A DOS image of four full pages (2048 bytes) in front.
    std::string stub = std::string("MZ\x00\x00\x04\x00", 6) + std::string(2042, '\0');
    WriteFile(dir / "t.bh", MakeBh(items));
    WriteFile(dir / "t.exe", stub + MakeBh(items));
    for (const char* archive : {"t.bh", "t.exe"}) {
        const fs::path out = dir / (std::string(archive) + ".out");
        const auto result = ExtractAll(dir / archive, out, [](TUnBase& Reader) {
            Reader.CreateStoredDirs = true;
            Reader.Password = Secret;
        });
        ASSERT_TRUE(result.ReaderFound) << archive;
        EXPECT_TRUE(result.AllPassed()) << archive << ": " << result.Describe();
        for (const TBhItem& item : items) {
            if (item.Attr & BhFolderAttr) {
                EXPECT_TRUE(fs::is_directory(out / item.Name)) << archive << ": " << item.Name;
                continue;
            }
            EXPECT_EQ(ReadFile(out / item.Name), item.Plain) << archive << ": " << item.Name;
        }
    }
}

// A wrong password is found before any output is opened; damaged and unknown entries fail;
// in every case a file already in place stays as it was and the plain entries are extracted.
TEST(UnBhInterop, WrongPasswordsAndDamageLeaveExistingFilesAlone) {
    TempDir dir;
    const std::string text = TextBytes(60000, 13);
    std::string damaged = GzipDeflate(text);
    const std::string cut = damaged.substr(0, damaged.size() / 2);
    damaged[damaged.size() / 3] ^= 0x44;
    WriteFile(dir / "t.bh", MakeBh({
                                {"plain.txt", BhStored, "plain", "plain"},
                                {"one.txt", BhDeflate, GzipDeflate(text), text, true},
                                {"two.txt", BhStored, "two", "two", true},
                                {"flipped.txt", BhDeflate, damaged, text},
                                {"cut.txt", BhDeflate, cut, text},
                                {"unknown.txt", 5, "xxxx", "xxxx"},
                            }));
    const std::vector<std::string> kept = {"one.txt", "two.txt", "flipped.txt", "cut.txt", "unknown.txt"};
    const fs::path out = dir / "out";
    fs::create_directories(out);
    for (const std::string& name : kept)
        WriteFile(out / name, "keep me");
    int asked = 0;
    const auto result = ExtractAll(dir / "t.bh", out, [&asked](TUnBase& Reader) {
        Reader.Password = "wrong";
        Reader.OnGetPassword = [&asked](TZipCommon&, const std::string&, std::string& Password,
                                        bool& TryAgain) {
            ++asked;
            Password = "still wrong";
            TryAgain = true;
        };
    });
    EXPECT_EQ(ReadFile(out / "plain.txt"), "plain");
    for (const std::string& name : kept)
        EXPECT_EQ(ReadFile(out / name), "keep me") << name << ": " << result.Describe();
    EXPECT_EQ(result.FilesFailed, 5) << result.Describe();
    // Asked for the first enciphered entry only; the second is refused without asking.
    EXPECT_EQ(asked, 3);
    EXPECT_TRUE(result.HasError(ecInvalidPassword)) << result.Describe();
    EXPECT_TRUE(result.HasError(ecPasswordFailed)) << result.Describe();
    EXPECT_TRUE(result.HasError(ecUnsupportedCompressionMethod)) << result.Describe();
    EXPECT_TRUE(result.HasError(ecDecompressionError)) << result.Describe();

    // The tester through krvprobe: the right password passes every entry but the damaged ones.
    const ToolResult test = RunProbe({"test", (dir / "t.bh").string(), Secret});
    EXPECT_NE(test.ExitCode, 0);
    for (const char* pass : {"plain.txt\tPASS", "one.txt\tPASS", "two.txt\tPASS", "flipped.txt\tFAIL"})
        EXPECT_NE(test.Out.find(pass), std::string::npos) << pass << " in:\n" << test.Out;
}
