// Tar header sums against headers written by GNU tar and bsdtar.
#include "engine/core/krvCrc.h"

#include "TestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace testsupport;

TEST(TarHeaderSumInterop, HeadersOfRealTarsAreValid) {
    TempDir dir;
    WriteFile(dir / "some file with a long enough name.txt", TextBytes(1500, 70));
    WriteFile(dir / "sub" / "bytes.bin", RandomBytes(700, 71));

    const std::vector<std::vector<std::string>> tools = {
        {"tar", "--format=gnu", "-cf", "gnu.tar", "some file with a long enough name.txt", "sub"},
        {"tar", "--format=ustar", "-cf", "ustar.tar", "some file with a long enough name.txt", "sub"},
        {"tar", "--format=v7", "-cf", "v7.tar", "some file with a long enough name.txt", "sub"},
        {"tar", "--format=pax", "-cf", "pax.tar", "some file with a long enough name.txt", "sub"},
        {"bsdtar", "--format=ustar", "-cf", "bsd.tar", "some file with a long enough name.txt", "sub"},
    };
    for (const auto& argv : tools) {
        SCOPED_TRACE(argv[3]);
        const ToolResult r = RunTool(argv, dir.Path());
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        const std::string tar = ReadFile(dir / argv[3]);
        ASSERT_GE(tar.size(), 1024U);
        // Walk the headers: each valid, its sum the field's octal value; the end block is not one.
        std::size_t pos = 0;
        int headers = 0;
        while (pos + 512 <= tar.size() && tar[pos] != '\0') {
            const char* h = tar.data() + pos;
            EXPECT_TRUE(IsTarHeaderValid(h)) << "header at " << pos;
            EXPECT_EQ(TarHeaderChecksum(h), std::strtoul(std::string(h + 148, 8).c_str(), nullptr, 8));
            std::string damaged(h, 512);
            damaged[100] = static_cast<char>(damaged[100] + 1);
            EXPECT_FALSE(IsTarHeaderValid(damaged.data()));
            const std::uint64_t size = std::strtoull(std::string(h + 124, 12).c_str(), nullptr, 8);
            pos += 512 + (size + 511) / 512 * 512;
            ++headers;
        }
        EXPECT_GE(headers, 3);
        ASSERT_LE(pos + 512, tar.size());
        EXPECT_FALSE(IsTarHeaderValid(tar.data() + pos));
        EXPECT_EQ(TarHeaderChecksum(tar.data() + pos), 256U);
    }
}
