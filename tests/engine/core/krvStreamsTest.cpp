#include "engine/core/krvStreams.h"
#include "engine/core/EngineHost.h"
#include "engine/core/krvErrorCodes.h"

#include "TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// Counts the host's pumps; cancels a copy after a given number of blocks.
class TCountingHost : public EngineHost {
public:
    int Pumps = 0;
    int CancelAfter = -1;
    bool* Flag = nullptr;

protected:
    void DoPump() override {
        ++Pumps;
        if (Flag && Pumps == CancelAfter) *Flag = true;
    }
};

struct HostGuard {
    TCountingHost* Host;
    std::unique_ptr<EngineHost> Previous;
    HostGuard() {
        auto h = std::make_unique<TCountingHost>();
        h->SetPumpClock(SteppingClock()); // every block takes a pump interval
        Host = h.get();
        Previous = EngineHost::Install(std::move(h));
    }
    ~HostGuard() { EngineHost::Install(std::move(Previous)); }
};

} // namespace

TEST(FileStream, OpenStatuses) {
    TempDir dir;
    std::uint8_t status = 99;
    {
        TFileStream32 missing((dir / "missing").string(), fmOpenRead | fmShareDenyNone, status);
        EXPECT_EQ(status, fsOpenFailed);
        EXPECT_EQ(missing.Handle, -1);
        EXPECT_EQ(missing.Read(&status, 1), 0);
    }
    {
        TFileStream32 created((dir / "new").string(), fmCreate, status);
        EXPECT_EQ(status, fsOpenOk);
        created.WriteBuffer("hello", 5);
    }
    EXPECT_EQ(ReadFile(dir / "new"), "hello");
    {
        TFileStream32 folder(dir.Str(), fmOpenRead | fmShareDenyNone, status);
        EXPECT_EQ(status, fsOpenFailed) << "a folder is not a readable file";
    }
    if (geteuid() != 0) {
        ::chmod(dir.Path().c_str(), 0500);
        TFileStream32 refused((dir / "x").string(), fmCreate, status);
        EXPECT_EQ(status, fsCreateFailed);
        ::chmod(dir.Path().c_str(), 0700);
    }
    TFileStream32 badPath((dir / "no" / "such" / "folder").string(), fmCreate, status);
    EXPECT_EQ(status, fsCreateFailed);
    EXPECT_EQ(badPath.Handle, -1);
}

TEST(FileStream, ReadWriteSeekAndSize) {
    TempDir dir;
    std::uint8_t status = 0;
    TFileStream32 s((dir / "f").string(), fmCreate, status);
    ASSERT_EQ(status, fsOpenOk);
    const std::string data = RandomBytes(100000);
    s.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    EXPECT_EQ(s.Size(), 100000);
    EXPECT_EQ(s.Seek(-10, soEnd), 99990);
    char tail[10];
    s.ReadBuffer(tail, 10);
    EXPECT_EQ(std::string(tail, 10), data.substr(99990));
    EXPECT_THROW(s.ReadBuffer(tail, 1), EReadError);
    s.SetSize(50);
    EXPECT_EQ(s.Size(), 50);
    EXPECT_EQ(s.Position(), 50);
}

TEST(FileStream, OffsetsBeyondFourGigabytesAreKept) {
    TempDir dir;
    std::uint8_t status = 0;
    TFileStream32 s((dir / "sparse").string(), fmCreate, status);
    ASSERT_EQ(status, fsOpenOk);
    const std::int64_t far = (std::int64_t{1} << 32) + 12345;
    ASSERT_EQ(s.Seek(far, soBeginning), far);
    s.WriteBuffer("tail", 4);
    EXPECT_EQ(s.Size(), far + 4);
    EXPECT_EQ(s.Position(), far + 4);
    s.SetPosition(far);
    char buf[4];
    s.ReadBuffer(buf, 4);
    EXPECT_EQ(std::string(buf, 4), "tail");
    s.SetPosition(0);
    s.ReadBuffer(buf, 4);
    EXPECT_EQ(std::string(buf, 4), std::string(4, '\0'));
}

TEST(FileStream, DiskFullRaisesDiskFull) {
    std::uint8_t status = 0;
    TFileStream32 full("/dev/full", fmOpenWrite, status);
    ASSERT_EQ(status, fsOpenOk);
    try {
        full.WriteBuffer("x", 1);
        FAIL() << "no exception on a full disk";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Code(), ecDiskFull);
        EXPECT_STREQ(e.what(), "Disk full");
    }
}

TEST(FileStream, OtherWriteErrorsAreStreamWriteErrors) {
    TempDir dir;
    WriteFile(dir / "ro", "x");
    std::uint8_t status = 0;
    TFileStream32 s((dir / "ro").string(), fmOpenRead, status);
    ASSERT_EQ(status, fsOpenOk);
    try {
        s.WriteBuffer("x", 1);
        FAIL();
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Code(), 0);
        EXPECT_STREQ(e.what(), "Stream write error");
    }
}

TEST(MemoryStream, GrowsInBlocksAndFillsGapsWithZeros) {
    TMemoryStream32 m;
    m.SetPosition(10);
    EXPECT_EQ(m.Write("abc", 3), 3);
    EXPECT_EQ(m.Size(), 13);
    EXPECT_EQ(m.Capacity(), 8192);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(m.Memory()), 13), std::string(10, '\0') + "abc");
    char c;
    m.SetPosition(13);
    EXPECT_EQ(m.Read(&c, 1), 0);
    m.SetPosition(1000);
    EXPECT_EQ(m.Read(&c, 1), 0) << "reading past the end gives nothing";
    m.SetPosition(-5);
    EXPECT_EQ(m.Read(&c, 1), 0);
    EXPECT_EQ(m.Write("x", 1), 0);
    m.SetSize(5);
    EXPECT_EQ(m.Size(), 5);
    m.SetSize(20000);
    EXPECT_EQ(m.Capacity(), 24576);
    EXPECT_EQ(m.Memory()[19999], 0);
    m.Clear();
    EXPECT_EQ(m.Size(), 0);
    EXPECT_EQ(m.Capacity(), 0);
    EXPECT_EQ(m.Memory(), nullptr);
}

TEST(MemoryStream, PositionsBeyondThe64BitRangeFailInsteadOfWrapping) {
    TMemoryStream32 m;
    m.WriteBuffer("abc", 3);
    ASSERT_EQ(m.Seek(INT64_MAX - 1, soBeginning), INT64_MAX - 1);
    EXPECT_EQ(m.Seek(2, soCurrent), -1);
    EXPECT_EQ(m.Position(), INT64_MAX - 1) << "a failed seek keeps the position";
    EXPECT_EQ(m.Write("xyz", 3), 0);
    EXPECT_EQ(m.Seek(INT64_MAX, soEnd), -1);
    EXPECT_THROW(m.SetSize(INT64_MAX), EStreamError) << "the capacity cannot be rounded up";
    EXPECT_EQ(m.Size(), 3);
}

TEST(MemoryStream, CustomStreamStaysInsideItsBlock) {
    char block[4] = {'a', 'b', 'c', 'd'};
    TCustomMemoryStream32 m;
    m.SetPointer(block, 4);
    m.SetPosition(2);
    EXPECT_EQ(m.Write("XYZ", 3), 2);
    EXPECT_EQ(std::string(block, 4), "abXY");
    m.SetPosition(0);
    char out[8];
    EXPECT_EQ(m.Read(out, 8), 4);
}

TEST(CopyFrom, CopiesCountOrWholeSourceAndPumpsPerBlock) {
    HostGuard guard;
    TMemoryStream32 src, dst;
    const std::string data = RandomBytes(200000);
    src.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));

    src.SetPosition(100);
    EXPECT_EQ(dst.CopyFrom(src, nullptr, {}, 0), 0) << "a count of 0 copies nothing";
    EXPECT_EQ(dst.Size(), 0);

    EXPECT_EQ(dst.CopyFrom(src, nullptr, {}, 1000), 1000);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dst.Memory()), 1000), data.substr(100, 1000));

    dst.Clear();
    src.SetPosition(777);
    guard.Host->Pumps = 0;
    EXPECT_EQ(dst.CopyAllFrom(src), 200000);
    EXPECT_EQ(guard.Host->Pumps, 4) << "one pump per 61440-byte block";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dst.Memory()), 200000), data);
}

TEST(CopyFrom, CancelStopsAndReportsWhatWasCopied) {
    HostGuard guard;
    TMemoryStream32 src, dst;
    const std::string data = RandomBytes(300000);
    src.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    bool cancel = true;
    EXPECT_EQ(dst.CopyAllFrom(src, &cancel), 0) << "an already cancelled copy copies nothing";

    cancel = false;
    guard.Host->Pumps = 0;
    guard.Host->Flag = &cancel;
    guard.Host->CancelAfter = 2; // cancel during the second block
    EXPECT_EQ(dst.CopyAllFrom(src, &cancel), 2 * TStream32::CopyBlockSize);
    EXPECT_EQ(dst.Size(), 2 * TStream32::CopyBlockSize);
}

TEST(CopyFrom, ShortSourceRaisesReadError) {
    TMemoryStream32 src, dst;
    src.WriteBuffer("abc", 3);
    src.SetPosition(0);
    EXPECT_THROW(dst.CopyFrom(src, nullptr, {}, 10), EReadError);
}

TEST(CopyFrom, FullDiskRaisesDiskFull) {
    TMemoryStream32 src;
    src.WriteBuffer("abc", 3);
    std::uint8_t status = 0;
    TFileStream32 full("/dev/full", fmOpenWrite, status);
    ASSERT_EQ(status, fsOpenOk);
    EXPECT_THROW(full.CopyAllFrom(src), EWriteError);
}

TEST(EngineHostTest, DefaultAnswersNoAndPumpIsNotReentrant) {
    EXPECT_EQ(EngineHost::Ask("Continue?", abYesNo), mrNo);
    EXPECT_FALSE(EngineHost::MoveToTrash("/nonexistent"));
    struct TReentrant : EngineHost {
        int Depth = 0, Max = 0;
        void DoPump() override {
            ++Depth;
            Max = std::max(Max, Depth);
            EXPECT_TRUE(EngineHost::Pumping());
            EngineHost::Pump();
            --Depth;
        }
    };
    auto host = std::make_unique<TReentrant>();
    auto* raw = host.get();
    auto previous = EngineHost::Install(std::move(host));
    EngineHost::Pump();
    EXPECT_EQ(raw->Max, 1);
    EXPECT_FALSE(EngineHost::Pumping());
    EngineHost::Install(std::move(previous));
}

TEST(EngineHostTest, BlocksPumpOnlyWhenTheIntervalHasPassed) {
    // Blocks of work StepMs apart: the host runs at the first and then whenever 5 ms of work
    // have passed since it last ran; a question lets it run at once and starts the interval anew.
    struct TCase {
        std::uint64_t StepMs;
        int Blocks;
        int Pumps;
    };
    for (const TCase c :
         {TCase{0, 1000, 1}, TCase{1, 40, 8}, TCase{3, 10, 5}, TCase{5, 5, 5}, TCase{50, 3, 3}}) {
        SCOPED_TRACE(c.StepMs);
        HostGuard guard;
        std::uint64_t now = 1000;
        guard.Host->SetPumpClock([&] { return now; });
        for (int i = 0; i < c.Blocks; ++i, now += c.StepMs)
            EngineHost::PumpIfDue();
        EXPECT_EQ(guard.Host->Pumps, c.Pumps);
    }
    HostGuard guard;
    std::uint64_t now = 1000;
    guard.Host->SetPumpClock([&] { return now; });
    EngineHost::PumpIfDue();
    now += 4;
    EngineHost::Ask("Go on?", abYesNo);
    now += 4;
    EngineHost::PumpIfDue();
    EXPECT_EQ(guard.Host->Pumps, 2) << "4 ms after the question's pump: not yet";
    now += 1;
    EngineHost::PumpIfDue();
    EXPECT_EQ(guard.Host->Pumps, 3);
}

TEST(ErrorCodes, TextsAreVerbatim) {
    EXPECT_STREQ(ErrorText(ecBadFileHeader), "Bad file header");
    EXPECT_STREQ(ErrorText(25101), "64 bit hearder");
    EXPECT_STREQ(ErrorText(25248), "Inconsistant local header");
    EXPECT_STREQ(ErrorText(ecUserCanceled), "User canceled");
    EXPECT_STREQ(ErrorText(26000), "All_files (*.*)|*.*");
    EXPECT_STREQ(ErrorText(26899), "Directory does not exist... Create?");
    EXPECT_STREQ(ErrorText(25100), "") << "a code without a text";
    EXPECT_STREQ(ErrorText(0), "");
    E_RAISE e(ecUnsupportedCompressionMethod);
    EXPECT_EQ(e.Code(), 25326);
    EXPECT_STREQ(e.what(), "Unsupported compression method");
    EXPECT_STREQ(E_RAISE(25999).what(), "");
}
