#include "engine/core/krvByteAccess.h"
#include "engine/core/krvRegisterKorva.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t PKLocal = 0x04034B50, PKCentral = 0x02014B50, PKEnd = 0x06054B50,
                        PKSplit = 0x08074B50;
constexpr std::uint32_t PLLocal = 0x04034C50, PLCentral = 0x02014C50, PLEnd = 0x06054C50;

std::vector<std::uint8_t> SampleRecord(std::size_t Size, std::uint32_t Signature) {
    std::vector<std::uint8_t> r(Size);
    for (std::size_t i = 0; i < Size; ++i)
        r[i] = static_cast<std::uint8_t>(i * 7 + 3);
    PutU32LE(r.data(), Signature);
    return r;
}

TEST(ZipHeaderSignatures, SignatureToWriteByKind) {
    EXPECT_EQ(TRegisterKorva::ZipHeaderSignature(zkLocal, false), PKLocal);
    EXPECT_EQ(TRegisterKorva::ZipHeaderSignature(zkLocal, true), PLLocal);
    EXPECT_EQ(TRegisterKorva::ZipHeaderSignature(zkCentral, false), PKCentral);
    EXPECT_EQ(TRegisterKorva::ZipHeaderSignature(zkCentral, true), PLCentral);
    // end records are always written in the standard form
    EXPECT_EQ(TRegisterKorva::ZipHeaderSignature(zkEnd, true), PKEnd);
    EXPECT_EQ(TRegisterKorva::ZipHeaderSignature(zkEnd, false), PKEnd);
    EXPECT_EQ(TRegisterKorva::ZipHeaderSignature(zkNone, true), PKSplit);
    EXPECT_EQ(TRegisterKorva::ZipHeaderSignature(-1, false), PKSplit);
    EXPECT_EQ(TRegisterKorva::ZipHeaderSignature(42, false), PKSplit);
}

TEST(ZipHeaderSignatures, KindOfASignatureOnlyForTheExpectedKind) {
    bool enc = true;
    EXPECT_EQ(TRegisterKorva::ZipHeaderKind(PLCentral, zkCentral, enc), zkCentral);
    EXPECT_TRUE(enc);
    EXPECT_EQ(TRegisterKorva::ZipHeaderKind(PLCentral, zkLocal, enc), zkNone);
    EXPECT_FALSE(enc);
    EXPECT_EQ(TRegisterKorva::ZipHeaderKind(PKLocal, zkLocal, enc), zkLocal);
    EXPECT_FALSE(enc);
    EXPECT_EQ(TRegisterKorva::ZipHeaderKind(PLEnd, zkEnd, enc), zkEnd);
    EXPECT_TRUE(enc);
    EXPECT_EQ(TRegisterKorva::ZipHeaderKind(PKEnd, zkEnd, enc), zkEnd);
    EXPECT_FALSE(enc);
    EXPECT_EQ(TRegisterKorva::ZipHeaderKind(PKSplit, zkNone, enc), zkNone);
    EXPECT_EQ(TRegisterKorva::ZipHeaderKind(PKLocal, 7, enc), zkNone);
    EXPECT_EQ(TRegisterKorva::ZipHeaderKind(PKLocal, -1, enc), zkNone);
    EXPECT_FALSE(enc);
}

TEST(ZipHeaderSignatures, SignatureSets) {
    for (std::uint32_t s : {PKLocal, PKCentral, PLLocal, PLCentral})
        EXPECT_TRUE(TRegisterKorva::IsZipLocalOrCentralSig(s)) << std::hex << s;
    for (std::uint32_t s : {PKEnd, PLEnd, PKSplit, 0u})
        EXPECT_FALSE(TRegisterKorva::IsZipLocalOrCentralSig(s)) << std::hex << s;
    for (std::uint32_t s : {PLLocal, PLCentral, PLEnd})
        EXPECT_TRUE(TRegisterKorva::IsEncryptedHeaderSig(s)) << std::hex << s;
    for (std::uint32_t s : {PKLocal, PKCentral, PKEnd, PKSplit})
        EXPECT_FALSE(TRegisterKorva::IsEncryptedHeaderSig(s)) << std::hex << s;
}

TEST(ZipHeaderSignatures, EncipherThenDecipherRestoresEachRecordKind) {
    const struct {
        int Kind;
        std::size_t Size;
        std::uint32_t Sig;
    } records[] = {{zkLocal, 30, PLLocal}, {zkCentral, 46, PLCentral}, {zkEnd, 22, PLEnd}};
    for (const auto& r : records) {
        TRegisterKorva writer;
        TRegisterKorva reader;
        const auto plain = SampleRecord(r.Size + 8, r.Sig); // 8 bytes behind the record stay put
        auto rec = plain;
        writer.EncryptZipHeader(rec, r.Kind);
        EXPECT_TRUE(std::equal(rec.begin(), rec.begin() + 4, plain.begin())) << "signature enciphered";
        EXPECT_FALSE(std::equal(rec.begin() + 4, rec.begin() + r.Size, plain.begin() + 4)) << r.Kind;
        EXPECT_TRUE(std::equal(rec.begin() + r.Size, rec.end(), plain.begin() + r.Size))
            << "past the fixed part";
        reader.DecryptZipHeader(rec, r.Kind);
        EXPECT_EQ(rec, plain) << r.Kind;
    }
}

TEST(ZipHeaderSignatures, OtherKindLeavesTheRecordAlone) {
    TRegisterKorva k;
    const auto plain = SampleRecord(30, PKSplit);
    auto rec = plain;
    k.EncryptZipHeader(rec, zkNone);
    k.DecryptZipHeader(rec, zkNone);
    EXPECT_EQ(rec, plain);
}

TEST(ZipHeaderSignatures, ARecordShorterThanItsFixedPartIsRefused) {
    TRegisterKorva k;
    std::vector<std::uint8_t> shortRecord(29);
    EXPECT_THROW(k.DecryptZipHeader(shortRecord, zkLocal), std::length_error);
    EXPECT_THROW(k.EncryptZipHeader(shortRecord, zkLocal), std::length_error);
}

TEST(ZipHeaderSignatures, RecordAndNameAreOneKeyStream) {
    TRegisterKorva writer;
    auto rec = SampleRecord(46, PLCentral);
    std::string name = "folder/some file name.txt";
    const auto plainRec = rec;
    const std::string plainName = name;
    writer.EncryptZipHeader(rec, zkCentral);
    writer.EncryptHeaderBuf(name.data(), std::ssize(name));

    // Deciphered in two steps ...
    TRegisterKorva reader;
    auto r1 = rec;
    std::string n1 = name;
    reader.DecryptZipHeader(r1, zkCentral);
    reader.DecryptHeaderBuf(n1.data(), std::ssize(n1));
    EXPECT_EQ(r1, plainRec);
    EXPECT_EQ(n1, plainName);

    // ... or as one buffer after one key load (a record of no kind loads the key only).
    TRegisterKorva other;
    std::vector<std::uint8_t> signature(rec.begin(), rec.begin() + 4);
    other.DecryptZipHeader(signature, zkNone);
    std::vector<std::uint8_t> joined(rec.begin() + 4, rec.end());
    joined.insert(joined.end(), name.begin(), name.end());
    other.DecryptHeaderBuf(joined.data(), std::ssize(joined));
    std::vector<std::uint8_t> expected(plainRec.begin() + 4, plainRec.end());
    expected.insert(expected.end(), plainName.begin(), plainName.end());
    EXPECT_EQ(joined, expected);

    // Every record starts from the same key: a second record is deciphered without the first.
    auto again = SampleRecord(46, PLCentral);
    writer.EncryptZipHeader(again, zkCentral);
    EXPECT_EQ(again, rec);
}

TEST(ZipHeaderSignatures, HeaderCipherIsApartFromThePasswordCipher) {
    TZipCipher password;
    password.InitCryptKeys("secret");
    const auto keysBefore = password.Keys;

    TRegisterKorva writer;
    auto rec = SampleRecord(30, PLLocal);
    std::string name = "name.bin";
    writer.EncryptZipHeader(rec, zkLocal);
    writer.EncryptHeaderBuf(name.data(), std::ssize(name));
    EXPECT_EQ(password.Keys, keysBefore);

    // A password cipher's work between the record and its name does not disturb the name.
    TRegisterKorva reader;
    reader.DecryptZipHeader(rec, zkLocal);
    std::uint8_t junk[12] = {};
    password.DecryptBuf(junk, sizeof junk);
    reader.DecryptHeaderBuf(name.data(), std::ssize(name));
    EXPECT_EQ(name, "name.bin");
    EXPECT_EQ(rec, SampleRecord(30, PLLocal));
}

} // namespace
