#include "engine/core/krvCrypt.h"

#include "TestSupport.h"

#include <array>
#include <gtest/gtest.h>
#include <set>

using namespace testsupport;

namespace {

using THeader = std::array<std::uint8_t, CryptHeaderSize>;
using TWork = std::array<std::uint8_t, 2 * CryptHeaderSize>;

// An encryption header enciphered from fixed plain bytes, so that checks are repeatable.
TWork FixedHeader(std::string_view Password, std::uint8_t CheckByte) {
    TZipCipher cipher;
    cipher.InitCryptKeys(Password);
    TWork work{};
    for (std::size_t i = 0; i < CryptHeaderSize; ++i)
        work[CryptHeaderSize + i] = static_cast<std::uint8_t>(0x30 + i);
    work[2 * CryptHeaderSize - 1] = CheckByte;
    cipher.EncryptBuf(work.data() + CryptHeaderSize, CryptHeaderSize);
    return work;
}

} // namespace

TEST(ZipCipher, KeysFromPassword) {
    TZipCipher cipher;
    EXPECT_EQ(cipher.Keys, TZipCipher::InitialKeys);
    cipher.UpdateKeys('x');
    EXPECT_EQ(cipher.InitCryptKeys(""), 0);
    EXPECT_EQ(cipher.Keys, TZipCipher::InitialKeys) << "an empty password leaves the initial keys";
    EXPECT_EQ(cipher.InitCryptKeys("secret"), 0);
    TZipCipher stepped;
    for (char c : std::string("secret"))
        stepped.UpdateKeys(static_cast<std::uint8_t>(c));
    EXPECT_EQ(cipher.Keys, stepped.Keys);
    EXPECT_NE(cipher.Keys, TZipCipher::InitialKeys);
}

TEST(ZipCipher, EncipherAndDecipherRestoreTheData) {
    const std::string plain = RandomBytes(70000, 11);
    std::string data = plain;
    TZipCipher enc;
    enc.InitCryptKeys("pass word");
    enc.EncryptBuf(data.data(), 40000);
    enc.EncryptBuf(data.data() + 40000, 30000);
    EXPECT_NE(data, plain);

    // EncryptByte and EncryptBuf are the same cipher.
    TZipCipher byByte;
    byByte.InitCryptKeys("pass word");
    for (std::size_t i = 0; i < 100; ++i)
        EXPECT_EQ(static_cast<char>(byByte.EncryptByte(static_cast<std::uint8_t>(plain[i]))), data[i]);

    TZipCipher dec;
    dec.InitCryptKeys("pass word");
    dec.DecryptBuf(data.data(), 12345);
    dec.DecryptBuf(data.data() + 12345, 0);
    dec.DecryptBuf(data.data() + 12345, -3);
    dec.DecryptBuf(data.data() + 12345, 70000 - 12345);
    EXPECT_EQ(data, plain);
    EXPECT_EQ(dec.Keys, enc.Keys) << "both sides step the keys with the plain bytes";
}

TEST(ZipCipher, HeaderCheckByteFromCrcOrTime) {
    const std::uint32_t crc = 0xA1B2C3D4;
    const std::uint32_t dosTime = 0x5A7B;

    TZipCipher cipher;
    TWork work = FixedHeader("secret", 0xA1);
    EXPECT_TRUE(cipher.CheckCryptHeader(work, 0, crc, "secret", dosTime));
    EXPECT_EQ(work[11], 0xA1);
    EXPECT_EQ(work[0], 0x30) << "the plain header lands in the first half";
    work = FixedHeader("secret", 0xA1);
    EXPECT_FALSE(cipher.CheckCryptHeader(work, 0x0008, crc, "secret", dosTime))
        << "with a data descriptor the time decides";
    work = FixedHeader("secret", 0x5A);
    EXPECT_TRUE(cipher.CheckCryptHeader(work, 0x0009, crc, "secret", dosTime));
    work = FixedHeader("secret", 0xA1);
    EXPECT_FALSE(cipher.CheckCryptHeader(work, 0, crc, "Secret", dosTime));
    work = FixedHeader("", 0xA1);
    EXPECT_FALSE(cipher.CheckCryptHeader(work, 0, crc, "", dosTime)) << "an empty password never fits";
}

TEST(ZipCipher, MadeHeadersCheckAndLeaveMatchingKeys) {
    const std::uint32_t crc = 0x12345678;
    TZipCipher writer;
    THeader header{};
    writer.MakeCryptHeader("pw", crc, header);

    TWork work{};
    std::copy(header.begin(), header.end(), work.begin() + CryptHeaderSize);
    TZipCipher reader;
    ASSERT_TRUE(reader.CheckCryptHeader(work, 0, crc, "pw", 0));
    EXPECT_EQ(work[10], 0x34);
    EXPECT_EQ(work[11], 0x12);
    EXPECT_EQ(reader.Keys, writer.Keys) << "both stand ready for the entry's data";

    std::string data = "entry data";
    writer.EncryptBuf(data.data(), 10);
    reader.DecryptBuf(data.data(), 10);
    EXPECT_EQ(data, "entry data");
}

TEST(ZipCipher, HeadersMadeBackToBackDiffer) {
    TZipCipher cipher;
    THeader first{};
    THeader second{};
    cipher.MakeCryptHeader("same", 0xCAFEBABE, first);
    cipher.MakeCryptHeader("same", 0xCAFEBABE, second);
    EXPECT_NE(first, second);

    // The random bytes are not a clock: many headers in one go are all different.
    std::set<THeader> seen;
    for (int i = 0; i < 200; ++i) {
        THeader h{};
        cipher.MakeCryptHeader("same", 0, h);
        seen.insert(h);
    }
    EXPECT_EQ(seen.size(), 200U);
}
