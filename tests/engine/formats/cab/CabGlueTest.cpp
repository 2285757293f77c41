// The cabinet file handler's edge cases and the compression words.
#include "TestSupport.h"

#include "engine/formats/cab/krvCabGbls.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(CabGlue, HandlerReportsThroughErrNeverByThrowing) {
    TempDir dir;
    TStreamCabinetFileHandler handler;
    int err = 0;
    EXPECT_EQ(handler.Open((dir / "missing.cab").string(), 0x8000, 0, err), -1);
    EXPECT_EQ(err, -1);

    WriteFile(dir / "a.cab", "0123456789");
    const std::intptr_t h = handler.Open((dir / "a.cab").string(), 0x8000, 0, err);
    ASSERT_NE(h, -1);
    char buffer[16];
    EXPECT_EQ(handler.Read(h, buffer, 16, err), 10);
    EXPECT_NE(err, 0) << "a short read sets the platform's error";
    EXPECT_EQ(handler.Seek(h, -4, 2, err), 6);
    EXPECT_EQ(err, 0) << "seeking from the end or the current position reports nothing";
    handler.Seek(h, -1, 0, err);
    EXPECT_NE(err, 0) << "a place before the start cannot be reached";
    EXPECT_EQ(handler.Read(h + 1000, buffer, 1, err), 0);
    EXPECT_EQ(err, -1);
    EXPECT_EQ(handler.Close(h + 1000, err), 0);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(handler.Close(h, err), 0);

    EXPECT_EQ(MakeLzxCompression(21), 0x1503);
    EXPECT_EQ(MakeQuantumCompression(2, 7, 21), 0x1572);
}
