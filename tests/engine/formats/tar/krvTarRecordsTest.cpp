// Numeric tar fields written for sizes up to and beyond the octal field read back whole.
#include "engine/formats/tar/krvTarRecords.h"

#include <array>
#include <gtest/gtest.h>

TEST(TarRecords, SizesBeyondTheOctalFieldUseBase256AndReadBack) {
    struct Case {
        std::int64_t Value;
        bool Base256;
    };
    const std::vector<Case> cases = {
        {0, false},
        {511, false},
        {(std::int64_t{1} << 33) - 1, false}, // 8 GiB - 1: eleven octal digits
        {std::int64_t{1} << 33, true},        // 8 GiB
        {(std::int64_t{1} << 40) + 12345, true},
        {INT64_MAX, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Value);
        std::array<std::uint8_t, 12> field{};
        ASSERT_TRUE(PutTarNumber(field.data(), field.size(), c.Value));
        EXPECT_EQ((field[0] & 0x80) != 0, c.Base256);
        EXPECT_EQ(TarNumber(field.data(), field.size()), c.Value);
    }
    std::array<std::uint8_t, 8> small{};
    EXPECT_FALSE(PutTarNumber(small.data(), small.size(), -1));
    EXPECT_TRUE(PutTarNumber(small.data(), small.size(), 07777777));
    EXPECT_EQ(TarNumber(small.data(), small.size()), 07777777);
}
