#include "engine/core/krvCrc.h"
#include "engine/core/krvCodecStreams.h"

#include "TestSupport.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <zlib.h>

using namespace testsupport;

namespace {

std::uint32_t Crc32Of(const std::string& Data) {
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(Data.data(), static_cast<std::int64_t>(Data.size()), crc);
    return crc ^ 0xFFFFFFFF;
}

std::uint16_t Crc16Of(const std::string& Data) {
    std::uint16_t crc = 0;
    UpdateCrc16Buf(Data.data(), static_cast<std::int64_t>(Data.size()), crc);
    return crc;
}

// A bit-by-bit CRC-16/ARC, independent of the table.
std::uint16_t SlowCrc16(const std::string& Data) {
    std::uint16_t crc = 0;
    for (unsigned char c : Data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

const std::int64_t Lengths[] = {0,    1,    2,    3,     7,     8,     15,     16,
                                31,   255,  256,  257,   3853,  3854,  3855,   5551,
                                5552, 5553, 7708, 65535, 65536, 65537, 100000, 1 << 20};

} // namespace

TEST(Checksums, KnownVectors) {
    EXPECT_EQ(Crc32Of("123456789"), 0xCBF43926U);
    EXPECT_EQ(Crc32Of("abc"), 0x352441C2U);
    EXPECT_EQ(Crc32Of(""), 0U);
    EXPECT_EQ(Crc16Of("123456789"), 0xBB3D);
    EXPECT_EQ(Crc16Of("abc"), 0x9738);
    EXPECT_EQ(Adler32(1, "abc", 3), 0x024D0127U);
    EXPECT_EQ(Adler32(1, "", 0), 1U);
    EXPECT_EQ(Adler32(0x12345678, nullptr, 10), 1U) << "a missing buffer gives 1";
    EXPECT_EQ(Adler32(0x12345678, "abc", 0), 0x12345678U);
    EXPECT_EQ(Adler32(0x12345678, "abc", -5), 0x12345678U);
    EXPECT_EQ(Crc16Table[1], 0xC0C1);
    EXPECT_EQ(Crc16Table[3], 0x0140);
    EXPECT_EQ(Crc32Table[255], 0x2D02EF8DU);
}

TEST(Checksums, CrcUpdateHasNoInversion) {
    // Starting from 0 over zero bytes stays 0 (zlib's crc32 would not).
    std::uint32_t crc = 0;
    const std::string zeros(100, '\0');
    UpdateCrc32Buf(zeros.data(), 100, crc);
    EXPECT_EQ(crc, 0U);
    // The byte step and the buffer update agree.
    std::uint32_t stepped = 0x89ABCDEF;
    std::uint32_t buffered = 0x89ABCDEF;
    const std::string data = RandomBytes(1000, 3);
    for (unsigned char c : data)
        stepped = Crc32Step(stepped, c);
    UpdateCrc32Buf(data.data(), 1000, buffered);
    EXPECT_EQ(stepped, buffered);
    UpdateCrc32Buf(data.data(), 0, buffered);
    UpdateCrc32Buf(data.data(), -1, buffered);
    EXPECT_EQ(stepped, buffered) << "a count below 1 changes nothing";
}

TEST(Checksums, MatchZlibOnRandomBuffersInPieces) {
    const std::string data = RandomBytes(1 << 20, 42);
    const auto* bytes = reinterpret_cast<const Bytef*>(data.data());
    for (std::int64_t len : Lengths) {
        SCOPED_TRACE(len);
        const std::uint32_t expectCrc = crc32_z(0, bytes, static_cast<z_size_t>(len));
        const std::uint32_t expectAdler = adler32_z(1, bytes, static_cast<z_size_t>(len));
        EXPECT_EQ(Crc32Of(data.substr(0, static_cast<std::size_t>(len))), expectCrc);
        EXPECT_EQ(Adler32(1, data.data(), len), expectAdler);
        EXPECT_EQ(Crc16Of(data.substr(0, static_cast<std::size_t>(len))),
                  SlowCrc16(data.substr(0, static_cast<std::size_t>(len))));
        // The same result when the data come in uneven pieces.
        std::uint32_t crc = 0xFFFFFFFF;
        std::uint32_t adler = 1;
        for (std::int64_t pos = 0, step = 1; pos < len; pos += step, step = step * 3 + 1) {
            const std::int64_t n = std::min(step, len - pos);
            UpdateCrc32Buf(data.data() + pos, n, crc);
            adler = Adler32(adler, data.data() + pos, n);
        }
        EXPECT_EQ(crc ^ 0xFFFFFFFF, expectCrc);
        EXPECT_EQ(adler, expectAdler);
    }
    // All 0xFF bytes drive the adler sums to their largest values.
    const std::string ff(200000, '\xFF');
    EXPECT_EQ(Adler32(1, ff.data(), 200000), adler32_z(1, reinterpret_cast<const Bytef*>(ff.data()), 200000));
    EXPECT_EQ(Adler32(0xFFF0FFF0, ff.data(), 200000),
              adler32_z(0xFFF0FFF0, reinterpret_cast<const Bytef*>(ff.data()), 200000));
}

TEST(Checksums, TarHeaderSum) {
    std::array<std::uint8_t, 512> header{};
    std::memset(header.data() + 148, ' ', 8);
    EXPECT_EQ(TarHeaderChecksum(header.data()), 256U);
    EXPECT_FALSE(IsTarHeaderValid(header.data())) << "a field of blanks reads as 0";
    header.fill(0);
    EXPECT_EQ(TarHeaderChecksum(header.data()), 256U) << "the field counts as blanks whatever it holds";
    EXPECT_FALSE(IsTarHeaderValid(header.data())) << "an all-zero end block is no header";

    std::memcpy(header.data(), "name.txt", 8);
    header[156] = '0';
    const std::uint32_t sum = TarHeaderChecksum(header.data());
    std::snprintf(reinterpret_cast<char*>(header.data()) + 148, 8, "%06o", sum);
    header[155] = ' ';
    EXPECT_TRUE(IsTarHeaderValid(header.data()));
    EXPECT_EQ(TarHeaderChecksum(header.data()), sum) << "the stored digits do not change the sum";
    header[0] ^= 1;
    EXPECT_FALSE(IsTarHeaderValid(header.data()));
    header[0] ^= 1;
    header[511] = 0x80; // bytes count unsigned
    EXPECT_EQ(TarHeaderChecksum(header.data()), sum + 0x80);
}

TEST(Checksums, StreamCrcRewindsAndCounts) {
    const std::string data = TextBytes(250000, 5);
    TMemoryStream32 stream;
    LoadStream(stream, data);
    stream.SetPosition(1234);
    double toDo = 300000;
    TJobRecord record;
    record.BytesToDo = &toDo;
    int progress = 0;
    const std::uint32_t crc = GetStreamCrc32(stream, record, [&](TStream32&) { ++progress; });
    EXPECT_EQ(crc ^ 0xFFFFFFFF, Crc32Of(data)) << "from position 0, the running value without the final XOR";
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_DOUBLE_EQ(toDo, 50000);
    EXPECT_EQ(progress, 3) << "one progress report per 100000-byte chunk";

    bool cancel = true;
    EXPECT_EQ(GetStreamCrc32(stream, record, {}, &cancel), 0xFFFFFFFFU) << "a cancelled pass reads nothing";
}

TEST(Checksums, CalcStreamWidthsAndShortSource) {
    const std::string data = RandomBytes(5000, 9);
    TMemoryStream32 source;
    source.WriteBuffer(data.data(), 5000);
    source.SetPosition(1000);
    TJobRecord record;
    TCalcStreamCRC crc16(source, {}, nullptr, 3000, record, 16);
    EXPECT_EQ(crc16.Crc(), Crc16Of(data.substr(1000, 3000))) << "a count copies from the current position";
    EXPECT_EQ(crc16.Copied(), 3000);
    EXPECT_EQ(crc16.Read(nullptr, 1), -1);
    EXPECT_EQ(crc16.Seek(0, soCurrent), -1);

    TCalcStreamCRC none(source, {}, nullptr, 0, record, 8);
    EXPECT_EQ(none.Crc(), 0U) << "other widths keep no checksum";

    source.SetPosition(4000);
    TCalcStreamCRC shortRead(source, {}, nullptr, 2000, record, 32);
    EXPECT_EQ(shortRead.Copied(), 0) << "a short read from the source ends the copy with 0";
}
