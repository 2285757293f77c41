// The traditional zip cipher against Info-ZIP and 7-Zip: entries they encipher are read back,
// and entries enciphered here pass their tests.
#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvCrypt.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::uint32_t Get32(const std::string& S, std::size_t At) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(S.at(At + i));
    return v;
}

std::uint16_t Get16(const std::string& S, std::size_t At) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(S.at(At)) |
                                      (static_cast<unsigned char>(S.at(At + 1)) << 8));
}

void Put16(std::string& S, std::uint32_t V) {
    S += static_cast<char>(V & 0xFF);
    S += static_cast<char>((V >> 8) & 0xFF);
}

void Put32(std::string& S, std::uint32_t V) {
    Put16(S, V & 0xFFFF);
    Put16(S, V >> 16);
}

// What the test needs of the first local header of a zip file.
struct TLocal {
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;
    std::uint16_t Time = 0;
    std::uint32_t Crc = 0;
    std::uint32_t Packed = 0;
    std::size_t Data = 0; // offset of the entry's data (its encryption header)
};

TLocal FirstLocal(const std::string& Zip) {
    EXPECT_EQ(Get32(Zip, 0), 0x04034B50U);
    TLocal h;
    h.Flags = Get16(Zip, 6);
    h.Method = Get16(Zip, 8);
    h.Time = Get16(Zip, 10);
    h.Crc = Get32(Zip, 14);
    h.Packed = Get32(Zip, 18);
    h.Data = 30 + Get16(Zip, 26) + Get16(Zip, 28);
    return h;
}

// Checks the password against the entry's encryption header and returns its plain data:
// deciphered, then inflated for method 8. Stored entries need their size in the header.
std::string ReadEntry(const std::string& Zip, const TLocal& H, const std::string& Password,
                      std::size_t Size) {
    TZipCipher cipher;
    std::array<std::uint8_t, 2 * CryptHeaderSize> work{};
    std::copy_n(Zip.begin() + static_cast<std::ptrdiff_t>(H.Data), CryptHeaderSize,
                work.begin() + CryptHeaderSize);
    EXPECT_TRUE(cipher.CheckCryptHeader(work, H.Flags, H.Crc, Password, H.Time));
    if (H.Method == 0) {
        std::string data = Zip.substr(H.Data + CryptHeaderSize, H.Packed - CryptHeaderSize);
        cipher.DecryptBuf(data.data(), static_cast<std::int64_t>(data.size()));
        return data;
    }
    EXPECT_EQ(H.Method, 8);
    TMemoryStream32 in;
    LoadStream(in, Zip);
    in.SetPosition(static_cast<std::int64_t>(H.Data + CryptHeaderSize));
    TDecompressStream z(in);
    z.Cipher = &cipher;
    std::string out(Size + 100, '\0');
    out.resize(static_cast<std::size_t>(z.Read(out.data(), static_cast<std::int64_t>(out.size()))));
    EXPECT_TRUE(z.EndOfStream());
    EXPECT_EQ(z.ErrorCode(), 0);
    return out;
}

std::uint32_t Crc32Of(const std::string& Data) {
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(Data.data(), static_cast<std::int64_t>(Data.size()), crc);
    return crc ^ 0xFFFFFFFF;
}

// A zip file of enciphered entries built around our own streams.
class TZipBuilder {
public:
    void Add(const std::string& Name, const std::string& Data, const std::string& Password, bool Deflate) {
        TMemoryStream32 input;
        LoadStream(input, Data);
        const std::uint32_t crc = GetStreamCrc32(input, TJobRecord{}) ^ 0xFFFFFFFF;

        TZipCipher cipher;
        std::array<std::uint8_t, CryptHeaderSize> header{};
        cipher.MakeCryptHeader(Password, crc, header);
        TMemoryStream32 body;
        body.WriteBuffer(header.data(), CryptHeaderSize);
        std::uint32_t streamCrc = 0;
        if (Deflate) {
            TCompressStream z(body, {}, nullptr, TJobRecord{}, dtDeflateX);
            z.Cipher = &cipher;
            z.CopyFrom(input, nullptr, {}, input.Size());
            EXPECT_EQ(z.Finish(), Z_OK);
            streamCrc = z.Crc() ^ 0xFFFFFFFF;
        } else {
            TStoreStream s(body, {}, nullptr, TJobRecord{}, 32);
            s.Cipher = &cipher;
            s.CopyFromStream(input);
            streamCrc = s.Crc() ^ 0xFFFFFFFF;
        }
        EXPECT_EQ(streamCrc, crc);
        const std::string packed(reinterpret_cast<const char*>(body.Memory()),
                                 static_cast<std::size_t>(body.Size()));

        std::string fields; // version needed .. extra length, shared by both records
        Put16(fields, 20);
        Put16(fields, 1); // enciphered
        Put16(fields, Deflate ? 8 : 0);
        Put16(fields, 0x6000); // 12:00:00
        Put16(fields, 0x5821); // 2024-01-01
        Put32(fields, crc);
        Put32(fields, static_cast<std::uint32_t>(packed.size()));
        Put32(fields, static_cast<std::uint32_t>(Data.size()));
        Put16(fields, static_cast<std::uint32_t>(Name.size()));
        Put16(fields, 0);

        std::string central;
        Put32(central, 0x02014B50);
        Put16(central, 0x031E); // made by unix
        central += fields;
        Put16(central, 0);              // comment length
        Put16(central, 0);              // disk
        Put16(central, 0);              // internal attributes
        Put32(central, 0100644U << 16); // external attributes
        Put32(central, static_cast<std::uint32_t>(FLocal.size()));
        central += Name;
        FCentral += central;

        Put32(FLocal, 0x04034B50);
        FLocal += fields + Name + packed;
        ++FCount;
    }

    std::string Finish() const {
        std::string end;
        Put32(end, 0x06054B50);
        Put16(end, 0);
        Put16(end, 0);
        Put16(end, FCount);
        Put16(end, FCount);
        Put32(end, static_cast<std::uint32_t>(FCentral.size()));
        Put32(end, static_cast<std::uint32_t>(FLocal.size()));
        Put16(end, 0);
        return FLocal + FCentral + end;
    }

private:
    std::string FLocal;
    std::string FCentral;
    std::uint32_t FCount = 0;
};

} // namespace

TEST(ZipCipherInterop, ReadsEntriesEncipheredByInfoZipAndSevenZip) {
    TempDir dir;
    const std::string text = TextBytes(150000, 60);
    const std::string small = RandomBytes(3000, 61);
    WriteFile(dir / "text.txt", text);
    WriteFile(dir / "small.bin", small);

    struct TCase {
        std::vector<std::string> Argv;
        std::string Member;
        bool DataDescriptor;
    };
    const std::vector<TCase> cases = {
        {{"zip", "-q", "-P", "secret", "iz-deflate.zip", "text.txt"}, "text.txt", true},
        {{"zip", "-q", "-0", "-P", "secret", "iz-store.zip", "small.bin"}, "small.bin", true},
        {{"7zz", "a", "-bd", "-psecret", "-mem=ZipCrypto", "7z-deflate.zip", "text.txt"}, "text.txt", false},
        {{"7zz", "a", "-bd", "-psecret", "-mem=ZipCrypto", "-mx=0", "7z-store.zip", "small.bin"},
         "small.bin",
         false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Argv[0] + " " + c.Argv[c.Argv.size() - 2]);
        const ToolResult r = RunTool(c.Argv, dir.Path());
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        const std::string zip = ReadFile(dir / c.Argv[c.Argv.size() - 2]);
        const std::string& original = c.Member == "text.txt" ? text : small;
        const TLocal h = FirstLocal(zip);
        EXPECT_EQ(h.Flags & 1, 1);
        EXPECT_EQ((h.Flags & 8) != 0, c.DataDescriptor);
        EXPECT_EQ(h.Crc, Crc32Of(original));
        const std::string plain = ReadEntry(zip, h, "secret", original.size());
        EXPECT_TRUE(plain == original) << "deciphered data differ";
    }
}

TEST(ZipCipherInterop, ReadsStreamedEntriesCheckedByTheirTime) {
    TempDir dir;
    const std::string text = TextBytes(90000, 62);
    WriteFile(dir / "f.txt", text);

    // Written to a pipe: sizes and CRC follow the data, the check byte is the time's high byte.
    const ToolResult named = RunTool({"zip", "-q", "-P", "pw", "-", "f.txt"}, dir.Path());
    const ToolResult piped = RunTool({"zip", "-q", "-P", "pw", "-", "-"}, dir.Path(), text);
    for (const ToolResult* r : {&named, &piped}) {
        ASSERT_EQ(r->ExitCode, 0) << r->Err;
        TLocal h = FirstLocal(r->Out);
        EXPECT_EQ(h.Flags & 9, 9);
        EXPECT_EQ(ReadEntry(r->Out, h, "pw", text.size()), text);

        // The CRC plays no part in the check of such an entry.
        h.Crc = ~h.Crc;
        TZipCipher cipher;
        std::array<std::uint8_t, 2 * CryptHeaderSize> work{};
        std::copy_n(r->Out.begin() + static_cast<std::ptrdiff_t>(h.Data), CryptHeaderSize,
                    work.begin() + CryptHeaderSize);
        EXPECT_TRUE(cipher.CheckCryptHeader(work, h.Flags, h.Crc, "pw", h.Time));
        EXPECT_EQ(work[11], h.Time >> 8);
    }
}

TEST(ZipCipherInterop, EntriesWeEncipherPassInfoZipAndSevenZip) {
    TempDir dir;
    const std::string text = TextBytes(200000, 63);
    const std::string bin = RandomBytes(70000, 64);
    TZipBuilder zip;
    zip.Add("stored.bin", bin, "s3cret pass", false);
    zip.Add("deflated.txt", text, "s3cret pass", true);
    zip.Add("empty.txt", "", "s3cret pass", false);
    WriteFile(dir / "ours.zip", zip.Finish());

    const ToolResult test = RunTool({"unzip", "-t", "-P", "s3cret pass", "ours.zip"}, dir.Path());
    EXPECT_EQ(test.ExitCode, 0) << test.Out << test.Err;
    EXPECT_NE(test.Out.find("No errors detected"), std::string::npos) << test.Out;

    const ToolResult text2 =
        RunTool({"unzip", "-p", "-P", "s3cret pass", "ours.zip", "deflated.txt"}, dir.Path());
    EXPECT_TRUE(text2.Out == text);
    const ToolResult bin2 =
        RunTool({"unzip", "-p", "-P", "s3cret pass", "ours.zip", "stored.bin"}, dir.Path());
    EXPECT_TRUE(bin2.Out == bin);

    const ToolResult sevenZip = RunTool({"7zz", "t", "-ps3cret pass", "ours.zip"}, dir.Path());
    EXPECT_EQ(sevenZip.ExitCode, 0) << sevenZip.Out << sevenZip.Err;

    const ToolResult wrong = RunTool({"unzip", "-t", "-P", "s3cret-pass", "ours.zip"}, dir.Path());
    EXPECT_NE(wrong.ExitCode, 0) << "a wrong password does not pass";
}
