#include "platform/PeResources.h"

#include "PeBuilder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::string OpenAndLoad(const fs::path& File, std::uint32_t Id) {
    TPeResources pe;
    if (!pe.Open(File.string())) return "<not open>";
    return pe.LoadString(Id);
}

TEST(PeResources, ReadsStringsOfEveryBlock) {
    TempDir dir;
    const std::map<std::uint32_t, std::string> strings = {
        {1, "7716"}, {2, "123456789"}, {7, ""}, {15, "last of block"}, {16, "next block"}, {1000, "far"}};
    for (bool plus : {false, true}) {
        const fs::path f = dir / (plus ? "p64.exe" : "p32.exe");
        WriteFile(f, MakePeFile(strings, {.Pe32Plus = plus}));
        TPeResources pe;
        ASSERT_TRUE(pe.Open(f.string())) << plus;
        for (const auto& [id, text] : strings)
            EXPECT_EQ(pe.LoadString(id), text) << id;
        EXPECT_EQ(pe.LoadString(3), "");  // in a block, not set
        EXPECT_EQ(pe.LoadString(40), ""); // no such block
        EXPECT_EQ(pe.LoadString(2, 5), "12345");
    }
}

TEST(PeResources, NotAPeFile) {
    TempDir dir;
    const std::pair<const char*, std::string> files[] = {
        {"empty", ""},
        {"text", TextBytes(4000)},
        {"mz-only", "MZ" + std::string(100, '\0')},
        {"dos", "MZ" + RandomBytes(3000, 5)},
    };
    for (const auto& [name, data] : files) {
        WriteFile(dir / name, data);
        TPeResources pe;
        EXPECT_FALSE(pe.Open((dir / name).string())) << name;
        EXPECT_EQ(pe.LoadString(1), "") << name;
    }
    TPeResources pe;
    EXPECT_FALSE(pe.Open((dir / "missing").string()));
    EXPECT_FALSE(pe.Open(dir.Str()));
}

TEST(PeResources, TruncatedAtEveryLengthNeverReadsPastTheEnd) {
    TempDir dir;
    const std::string pe = MakePeFile({{1, "5000"}, {2, "abc"}});
    const fs::path f = dir / "cut.exe";
    for (std::size_t len = 0; len < pe.size(); ++len) {
        WriteFile(f, pe.substr(0, len));
        const std::string s = OpenAndLoad(f, 1);
        EXPECT_TRUE(s == "<not open>" || s == "" || s == "5000") << len;
    }
    WriteFile(f, pe);
    EXPECT_EQ(OpenAndLoad(f, 1), "5000");
}

TEST(PeResources, HostileFieldsGiveNoString) {
    TempDir dir;
    const std::string pe = MakePeFile({{1, "5000"}});
    const fs::path f = dir / "bad.exe";
    auto patch32 = [&](std::size_t At, std::uint32_t V) {
        std::string d = pe;
        for (int i = 0; i < 4; ++i)
            d[At + i] = static_cast<char>((V >> (8 * i)) & 0xFF);
        WriteFile(f, d);
        return OpenAndLoad(f, 1);
    };
    const std::size_t opt = PeHeaderOffset + 24;
    const std::size_t section = opt + 224;
    const std::size_t rsrc = PeResourceOffset;
    for (std::uint32_t v : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_NE(patch32(0x3C, v), "5000");          // e_lfanew
        EXPECT_NE(patch32(opt + 96 + 16, v), "5000"); // resource directory RVA
        EXPECT_NE(patch32(section + 20, v), "5000");  // raw data offset
        patch32(section + 16, v);                     // raw data size: any result, no crash
        patch32(rsrc + 20, v);                        // root entry target
        patch32(rsrc + 12, v);                        // entry counts
    }
    // A directory entry pointing back at the root: the walk has fixed depth and ends.
    EXPECT_EQ(patch32(rsrc + 20, 0x80000000u), "");
    // A data entry whose size claims more than the file holds (root 24, type directory 24,
    // name directory 24 bytes, then the data entry: RVA, size).
    EXPECT_EQ(patch32(rsrc + 72 + 4, 0xFFFFFF00u), "");
    EXPECT_EQ(patch32(rsrc + 72 + 4, 0x28u), "5000"); // the true size
}

TEST(PeResources, RandomDamageNeverCrashes) {
    TempDir dir;
    const std::string pe = MakePeFile({{1, "5000"}, {2, "6000"}, {33, "x"}});
    const fs::path f = dir / "fuzz.exe";
    std::uint32_t seed = 7;
    for (int round = 0; round < 400; ++round) {
        std::string d = pe;
        const std::string noise = RandomBytes(8, ++seed);
        for (int i = 0; i < 4; ++i) {
            const std::size_t at =
                static_cast<unsigned char>(noise[i]) * 3 % d.size() + (round % 2 ? 0x200 : 0);
            d[at % d.size()] = noise[4 + i];
        }
        WriteFile(f, d);
        TPeResources r;
        if (r.Open(f.string()))
            for (std::uint32_t id = 0; id < 40; ++id)
                r.LoadString(id);
    }
    SUCCEED();
}

} // namespace
