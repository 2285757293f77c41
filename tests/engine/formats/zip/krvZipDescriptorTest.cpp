// The data descriptor search of the local-header walks: the first descriptor whose size is
// its distance from the data, its 32- and 64-bit forms, block edges, and where it stops.
#include "engine/formats/zip/krvZipDescriptor.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

void PutU32(std::string& Out, std::uint32_t V) {
    std::uint8_t b[4];
    PutU32LE(b, V);
    Out.append(reinterpret_cast<const char*>(b), 4);
}

void PutU64(std::string& Out, std::uint64_t V) {
    PutU32(Out, static_cast<std::uint32_t>(V));
    PutU32(Out, static_cast<std::uint32_t>(V >> 32));
}

std::string Narrow(std::uint32_t Crc, std::uint32_t Packed, std::uint32_t Size) {
    std::string d;
    PutU32(d, 0x08074B50);
    PutU32(d, Crc);
    PutU32(d, Packed);
    PutU32(d, Size);
    return d;
}

std::string Wide(std::uint32_t Crc, std::uint64_t Packed, std::uint64_t Size) {
    std::string d;
    PutU32(d, 0x08074B50);
    PutU32(d, Crc);
    PutU64(d, Packed);
    PutU64(d, Size);
    return d;
}

// A search over Bytes, counting the blocks it asked to search.
struct TSearchOver {
    explicit TSearchOver(const std::string& Bytes) : Data(Bytes) {
        Search.ReadAt = [this](std::int64_t Pos, void* Buffer, std::int64_t Count) -> std::int64_t {
            if (Pos < 0 || Pos >= std::ssize(Data)) return 0;
            const std::int64_t n = std::min<std::int64_t>(Count, std::ssize(Data) - Pos);
            std::memcpy(Buffer, Data.data() + Pos, static_cast<std::size_t>(n));
            return n;
        };
        Search.Proceed = [this](std::int64_t Count) {
            Asked += Count;
            return ++Blocks <= MaxBlocks;
        };
    }
    TZipDescriptorFound Find(std::int64_t DataStart = 0) {
        return FindZipDataDescriptor(Search, DataStart, Hit);
    }

    std::string Data;
    TZipDescriptorSearch Search;
    TZipDescriptorHit Hit;
    int Blocks = 0;
    std::int64_t Asked = 0; // bytes the search said it would read
    int MaxBlocks = 1 << 20;
};

} // namespace

TEST(ZipDescriptor, FirstDescriptorWhoseSizeIsItsDistance) {
    // A descriptor-like run inside the data whose size does not fit is passed over.
    const std::string data = "abc" + Narrow(1, 99, 5) + "xyz";
    TSearchOver s(data + Narrow(0xCAFEF00D, static_cast<std::uint32_t>(data.size()), 77) + "PK\x03\x04");
    ASSERT_EQ(s.Find(), TZipDescriptorFound::Descriptor);
    EXPECT_EQ(s.Hit.Position, std::ssize(data));
    EXPECT_EQ(s.Hit.Next, std::ssize(data) + 16);
    EXPECT_EQ(s.Hit.Crc, 0xCAFEF00DU);
    EXPECT_EQ(s.Hit.Compressed, std::ssize(data));
    EXPECT_EQ(s.Hit.Uncompressed, 77U);
}

TEST(ZipDescriptor, SixtyFourBitFormFirstForZip64Entries) {
    const std::string data(40, 'd');
    const std::string bytes = data + Wide(7, data.size(), 0x123456789ULL) + "PK\x03\x04";
    TSearchOver plain(bytes);
    ASSERT_EQ(plain.Find(), TZipDescriptorFound::Descriptor);
    EXPECT_EQ(plain.Hit.Next, 40 + 16); // read as 32-bit: the high half of the size is its size
    TSearchOver zip64(bytes);
    zip64.Search.Zip64 = true;
    ASSERT_EQ(zip64.Find(), TZipDescriptorFound::Descriptor);
    EXPECT_EQ(zip64.Hit.Next, 40 + 24);
    EXPECT_EQ(zip64.Hit.Uncompressed, 0x123456789ULL);
}

TEST(ZipDescriptor, FoundAcrossBlockEdgesAndFromAnyStart) {
    // The blocks grow from the first block's size: they end at 1, 3, 7 and 15 first blocks,
    // then every BlockSize.
    constexpr std::int64_t First = TZipDescriptorSearch::FirstBlockSize;
    constexpr std::int64_t Full = TZipDescriptorSearch::BlockSize;
    for (const std::int64_t at : {First - 10, First - 16, First, 3 * First - 8, 15 * First,
                                  15 * First + Full - 16, 15 * First + Full, 3 * Full + 5}) {
        const std::string lead(7, 'L');
        std::string data(static_cast<std::size_t>(at), 'x');
        TSearchOver s(lead + data + Narrow(9, static_cast<std::uint32_t>(at), 1));
        ASSERT_EQ(s.Find(std::ssize(lead)), TZipDescriptorFound::Descriptor) << at;
        EXPECT_EQ(s.Hit.Compressed, at);
        EXPECT_EQ(s.Hit.Next, std::ssize(s.Data));
    }
}

TEST(ZipDescriptor, HeaderStopsTheSearchOnlyWhenAsked) {
    const std::string data = "some data";
    const std::string next = std::string("PK\x03\x04", 4) + std::string(26, '\0');
    const std::string bytes =
        data + next + Narrow(1, static_cast<std::uint32_t>(data.size() + next.size()), 2);
    TSearchOver on(bytes);
    on.Search.StopAtHeader = true;
    ASSERT_EQ(on.Find(), TZipDescriptorFound::Header);
    EXPECT_EQ(on.Hit.Position, std::ssize(data));
    EXPECT_EQ(on.Hit.Compressed, std::ssize(data));
    TSearchOver off(bytes);
    EXPECT_EQ(off.Find(), TZipDescriptorFound::Descriptor);
}

TEST(ZipDescriptor, LimitEndAndRefusalEndTheSearch) {
    constexpr std::int64_t Full = TZipDescriptorSearch::BlockSize;
    const std::string data(3 * TZipDescriptorSearch::BlockSize, 'x');
    const std::string bytes = data + Narrow(1, static_cast<std::uint32_t>(data.size()), 2);
    TSearchOver limited(bytes);
    limited.Search.Limit = std::ssize(bytes) - 1; // the descriptor's last byte lies beyond
    EXPECT_EQ(limited.Find(), TZipDescriptorFound::None);
    TSearchOver refused(bytes);
    refused.MaxBlocks = 2;
    EXPECT_EQ(refused.Find(), TZipDescriptorFound::None);
    EXPECT_EQ(refused.Blocks, 3);
    // Data that end soon are found without reading far ahead.
    TSearchOver soon(std::string(100, 'x') + Narrow(1, 100, 100) + std::string(Full, 'y'));
    EXPECT_EQ(soon.Find(), TZipDescriptorFound::Descriptor);
    EXPECT_EQ(soon.Asked, TZipDescriptorSearch::FirstBlockSize + 24);
    TSearchOver nothing(std::string(100, 'P'));
    EXPECT_EQ(nothing.Find(), TZipDescriptorFound::None);
    TSearchOver empty("");
    EXPECT_EQ(empty.Find(), TZipDescriptorFound::None);
}

namespace {

std::string Unsigned32(std::uint32_t Crc, std::uint32_t Packed, std::uint32_t Size) {
    return Narrow(Crc, Packed, Size).substr(4);
}

std::uint32_t CrcOf(const std::string& Data) {
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(Data.data(), std::ssize(Data), crc);
    return crc ^ 0xFFFFFFFF;
}

const std::string LocalSig("PK\x03\x04", 4);

} // namespace

TEST(ZipDescriptor, WithoutSignatureFoundByDistanceCrcAndTheRecordAfterIt) {
    // Stored data that hold a look-alike: the right distance and a record after it, but not
    // the CRC of the bytes before it.
    std::string data = "head";
    data += Unsigned32(0x12345678, static_cast<std::uint32_t>(data.size()), 4) + LocalSig + "tail";
    for (const std::int64_t pad :
         {std::int64_t{0}, TZipDescriptorSearch::FirstBlockSize - 30, TZipDescriptorSearch::BlockSize - 30,
          3 * TZipDescriptorSearch::BlockSize}) {
        SCOPED_TRACE(pad);
        const std::string stored = data + std::string(static_cast<std::size_t>(pad), 'p');
        const auto size = static_cast<std::uint32_t>(stored.size());
        const std::string descriptor = Unsigned32(CrcOf(stored), size, size);
        for (const std::string& after : {LocalSig + std::string(26, '\0'), std::string()}) {
            TSearchOver s(stored + descriptor + after); // a local header follows, or nothing
            s.Search.Unsigned = true;
            s.Search.Stored = true;
            ASSERT_EQ(s.Find(), TZipDescriptorFound::Descriptor);
            EXPECT_EQ(s.Hit.Position, std::ssize(stored));
            EXPECT_EQ(s.Hit.Next, std::ssize(stored) + 12);
            EXPECT_EQ(s.Hit.Crc, CrcOf(stored));
            EXPECT_EQ(s.Hit.Uncompressed, size);
            // Not asked for: only descriptors with their signature are found.
            TSearchOver signedOnly(stored + descriptor + after);
            EXPECT_EQ(signedOnly.Find(), TZipDescriptorFound::None);
        }
    }
}

TEST(ZipDescriptor, WithoutSignatureNeedsARecordAfterItAndTheStoredSize) {
    const std::string data(100, 'd');
    const std::string good = Unsigned32(CrcOf(data), 100, 100);
    // Followed by neither a record nor the end.
    TSearchOver lonely(data + good + "zz");
    lonely.Search.Unsigned = lonely.Search.Stored = true;
    EXPECT_EQ(lonely.Find(), TZipDescriptorFound::None);
    // Enciphered stored data: 12 bytes of cipher header, no CRC to check.
    TSearchOver enciphered(data + Unsigned32(0xABCDEF01, 100, 88) + std::string("PK\x01\x02", 4));
    enciphered.Search.Unsigned = enciphered.Search.Stored = enciphered.Search.Enciphered = true;
    ASSERT_EQ(enciphered.Find(), TZipDescriptorFound::Descriptor);
    EXPECT_EQ(enciphered.Hit.Uncompressed, 88U);
    TSearchOver wrongSize(data + Unsigned32(CrcOf(data), 100, 99) + LocalSig);
    wrongSize.Search.Unsigned = wrongSize.Search.Stored = true;
    EXPECT_EQ(wrongSize.Find(), TZipDescriptorFound::None);
    // Deflated data: the sizes and the record after it are all there is to go by.
    TSearchOver deflated(data + Unsigned32(7, 100, 5000) + LocalSig);
    deflated.Search.Unsigned = true;
    ASSERT_EQ(deflated.Find(), TZipDescriptorFound::Descriptor);
    EXPECT_EQ(deflated.Hit.Uncompressed, 5000U);
}

TEST(ZipDescriptor, AtAKnownEndEveryFormAndTheOneARecordFollows) {
    const std::string data(40, 'd');
    const std::string next = LocalSig + std::string(26, '\0');
    TZipDescriptorHit hit;
    // A 64-bit descriptor of an entry not known as zip64: the record after it tells its form.
    TSearchOver wide(data + Wide(7, 40, 41) + next);
    ASSERT_TRUE(ZipDescriptorAt(wide.Search, 40, 40, nullptr, hit));
    EXPECT_EQ(hit.Next, 40 + 24);
    EXPECT_EQ(hit.Uncompressed, 41U);
    TSearchOver narrow(data + Narrow(7, 40, 41) + next);
    narrow.Search.Zip64 = true;
    ASSERT_TRUE(ZipDescriptorAt(narrow.Search, 40, 40, nullptr, hit));
    EXPECT_EQ(hit.Next, 40 + 16);
    // A signed one is taken without a record after it; another size is no descriptor.
    TSearchOver lone(data + Narrow(7, 40, 41) + "zzzz");
    EXPECT_TRUE(ZipDescriptorAt(lone.Search, 40, 40, nullptr, hit));
    EXPECT_FALSE(ZipDescriptorAt(lone.Search, 40, 39, nullptr, hit));
    // Without signature: a record or the end after it, or its CRC.
    TSearchOver bare(data + Unsigned32(7, 40, 41));
    ASSERT_TRUE(ZipDescriptorAt(bare.Search, 40, 40, nullptr, hit));
    EXPECT_EQ(hit.Next, 40 + 12);
    EXPECT_EQ(hit.Crc, 7U);
    TSearchOver bareMore(data + Unsigned32(7, 40, 41) + "zzzz");
    EXPECT_FALSE(ZipDescriptorAt(bareMore.Search, 40, 40, nullptr, hit));
    const std::uint32_t crc = 7;
    EXPECT_TRUE(ZipDescriptorAt(bareMore.Search, 40, 40, &crc, hit));
}
