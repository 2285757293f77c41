// The data descriptor search of the local-header walks: the first descriptor whose size is
// its distance from the data, its 32- and 64-bit forms, block edges, and where it stops.
#include "engine/core/krvZipDescriptor.h"

#include "engine/core/krvByteAccess.h"

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
        Search.Proceed = [this] { return ++Blocks <= MaxBlocks; };
    }
    TZipDescriptorFound Find(std::int64_t DataStart = 0) {
        return FindZipDataDescriptor(Search, DataStart, Hit);
    }

    std::string Data;
    TZipDescriptorSearch Search;
    TZipDescriptorHit Hit;
    int Blocks = 0;
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
    for (const std::int64_t at : {TZipDescriptorSearch::BlockSize - 10, TZipDescriptorSearch::BlockSize - 16,
                                  TZipDescriptorSearch::BlockSize, 3 * TZipDescriptorSearch::BlockSize + 5}) {
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
    const std::string data(3 * TZipDescriptorSearch::BlockSize, 'x');
    const std::string bytes = data + Narrow(1, static_cast<std::uint32_t>(data.size()), 2);
    TSearchOver limited(bytes);
    limited.Search.Limit = std::ssize(bytes) - 1; // the descriptor's last byte lies beyond
    EXPECT_EQ(limited.Find(), TZipDescriptorFound::None);
    TSearchOver refused(bytes);
    refused.MaxBlocks = 2;
    EXPECT_EQ(refused.Find(), TZipDescriptorFound::None);
    EXPECT_EQ(refused.Blocks, 3);
    TSearchOver nothing(std::string(100, 'P'));
    EXPECT_EQ(nothing.Find(), TZipDescriptorFound::None);
    TSearchOver empty("");
    EXPECT_EQ(empty.Find(), TZipDescriptorFound::None);
}
