#include "engine/core/krvReadAhead.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// Counts the reads that reach the source.
class TCountingStream : public TMemoryStream32 {
public:
    int Reads = 0;
    std::int64_t Read(void* Buffer, std::int64_t Count) override {
        ++Reads;
        return TMemoryStream32::Read(Buffer, Count);
    }
};

std::string ReadAtText(TStream32& S, std::int64_t Pos, std::int64_t Count) {
    std::string out(static_cast<std::size_t>(Count), '\0');
    S.Seek(Pos, soBeginning);
    out.resize(static_cast<std::size_t>(std::max<std::int64_t>(S.Read(out.data(), Count), 0)));
    return out;
}

} // namespace

TEST(ReadAhead, SmallReadsComeFromOneBlockAndMatchTheSource) {
    const std::string data = RandomBytes(5000);
    TCountingStream source;
    source.Write(data.data(), std::ssize(data));
    TReadAheadStream reader(source, 1024);
    EXPECT_EQ(ReadAtText(reader, 10, 30), data.substr(10, 30));
    EXPECT_EQ(ReadAtText(reader, 500, 46), data.substr(500, 46));
    EXPECT_EQ(source.Reads, 1);
    // Across a block's end, a read larger than a block, and past the end of the source.
    EXPECT_EQ(ReadAtText(reader, 1000, 100), data.substr(1000, 100));
    EXPECT_EQ(ReadAtText(reader, 100, 3000), data.substr(100, 3000));
    EXPECT_EQ(ReadAtText(reader, 4990, 100), data.substr(4990));
    EXPECT_EQ(ReadAtText(reader, 6000, 10), "");
    EXPECT_EQ(reader.Seek(-1, soBeginning), -1);
    EXPECT_EQ(reader.Write("x", 1), -1);
}
