// The lha reader on crafted headers: where the data of level-1 and level-2 entries begin and
// how long they are when extended headers are long, and names from Unix hosts.
#include "ExtractRun.h"
#include "tests/engine/read/KorvaBuilders.h"
#include "TestSupport.h"

#include "engine/core/krvCrc.h"

#include <gtest/gtest.h>

using namespace testsupport;
using namespace korvatest;

namespace {

std::uint16_t Crc16(const std::string& Data) {
    std::uint16_t crc = 0;
    UpdateCrc16Buf(Data.data(), static_cast<std::int64_t>(Data.size()), crc);
    return crc;
}

// A level-1 -lh0- entry with one extended header of the given type and data; its packed
// size counts the extended header, as level 1 does.
std::string Lha1Stored(const std::string& Name, char Host, std::uint8_t ExtType, const std::string& ExtData,
                       const std::string& Data) {
    const std::string ext = static_cast<char>(ExtType) + ExtData + std::string(2, '\0');
    std::string h;
    h += static_cast<char>(25 + Name.size());
    h += '\0'; // the header checksum, summed below
    h += "-lh0-";
    PutU32(h, static_cast<std::uint32_t>(Data.size() + ext.size()));
    PutU32(h, static_cast<std::uint32_t>(Data.size()));
    PutU32(h, 0x5A8B6000);
    h += '\x20';
    h += '\x01';
    h += static_cast<char>(Name.size());
    h += Name;
    PutU16(h, Crc16(Data));
    h += Host;
    PutU16(h, static_cast<std::uint16_t>(ext.size()));
    unsigned sum = 0;
    for (std::size_t i = 2; i < h.size(); ++i)
        sum += static_cast<unsigned char>(h[i]);
    h[1] = static_cast<char>(sum);
    return h + ext + Data;
}

} // namespace

TEST(UnLha, LongExtendedHeadersDoNotMoveTheData) {
    TempDir dir;
    const std::string data1 = TextBytes(5000, 7);
    const std::string data2 = "second entry\n";
    // Level 1 with a 600-byte comment header: the stored copy takes the data size only.
    std::string lzh = Lha1Stored("ONE.TXT", 'M', 0x3F, std::string(600, 'c'), data1);
    // Level 2 whose folder header is longer than 255 bytes, CRC patched in.
    const std::string a(200, 'a');
    const std::string b(100, 'b');
    const std::string longName = a + "/" + b + "/two.txt";
    std::string two = Lha2Entry({"\x01two.txt", "\x02" + a + "\xFF" + b + "\xFF"}, data2);
    two[21] = static_cast<char>(Crc16(data2) & 0xFF);
    two[22] = static_cast<char>(Crc16(data2) >> 8);
    lzh += two;
    lzh += Lha1Stored("caf\xC3\xA9.txt", 'U', 0x3F, "x", "utf8\n");
    lzh += '\0';
    WriteFile(dir / "t.lzh", lzh);

    const auto result = ExtractAll(dir / "t.lzh", dir / "out");
    EXPECT_TRUE(result.AllPassed()) << result.Describe();
    EXPECT_EQ(ReadFile(dir / "out/ONE.TXT"), data1);
    EXPECT_EQ(ReadFile(dir / "out" / longName), data2);
    // A name from a Unix host is UTF-8, not CP437.
    EXPECT_EQ(ReadFile(dir / "out/caf\xC3\xA9.txt"), "utf8\n");
}
