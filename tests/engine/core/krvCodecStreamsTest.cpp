#include "engine/core/krvCodecStreams.h"
#include "engine/core/EngineHost.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvCrypt.h"
#include "engine/core/krvErrorCodes.h"

#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <zlib.h>

using namespace testsupport;

namespace {

const TDeflateType AllLevels[] = {dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX};
const std::size_t Sizes[] = {0, 1, 256, 257, 65535, 65536, 65537, 3 * 1024 * 1024 + 17};

std::uint32_t Crc32Of(const std::string& Data) {
    return static_cast<std::uint32_t>(
        crc32_z(0, reinterpret_cast<const Bytef*>(Data.data()), static_cast<z_size_t>(Data.size())));
}

// Compares without printing megabytes on a mismatch.
::testing::AssertionResult Same(const std::string& Actual, const std::string& Expected) {
    if (Actual == Expected) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < Actual.size() && at < Expected.size() && Actual[at] == Expected[at])
        ++at;
    return ::testing::AssertionFailure()
           << "sizes " << Actual.size() << " and " << Expected.size() << ", first difference at " << at;
}

// zlib's own raw deflate and inflate, as the oracle.
std::string ZlibDeflate(const std::string& Data, int Level) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, Level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, Data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
    z.avail_in = static_cast<uInt>(Data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string ZlibInflate(const std::string& Packed, int& Result) {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Packed.data()));
    z.avail_in = static_cast<uInt>(Packed.size());
    std::string out;
    char buf[65536];
    do {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        Result = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
    } while (Result == Z_OK);
    inflateEnd(&z);
    return out;
}

// Deflates Data through our compression stream, written in pieces of Piece bytes.
std::string OurDeflate(const std::string& Data, TDeflateType Level, std::uint32_t* Crc = nullptr,
                       std::size_t Piece = 100000, TZipCipher* Cipher = nullptr) {
    TMemoryStream32 out;
    out.SetCapacity(static_cast<std::int64_t>(Data.size() + Data.size() / 100 + 4096));
    TCompressStream z(out, {}, nullptr, TJobRecord{}, Level);
    z.Cipher = Cipher;
    for (std::size_t pos = 0; pos < Data.size(); pos += Piece) {
        const auto n = static_cast<std::int64_t>(std::min(Piece, Data.size() - pos));
        EXPECT_EQ(z.Write(Data.data() + pos, n), n);
    }
    EXPECT_EQ(z.Finish(), Z_OK);
    EXPECT_EQ(z.TotalIn(), static_cast<std::int64_t>(Data.size()));
    EXPECT_EQ(z.TotalOut(), out.Size());
    if (Crc) *Crc = z.Crc() ^ 0xFFFFFFFF;
    return StreamBytes(out);
}

// Inflates Packed through our decompression stream in reads of Chunk bytes.
std::string OurInflate(const std::string& Packed, int& Error, bool& End, std::size_t Chunk = 32768,
                       TZipCipher* Cipher = nullptr) {
    TMemoryStream32 in;
    LoadStream(in, Packed);
    TDecompressStream z(in);
    z.Cipher = Cipher;
    std::string out;
    std::string buf(Chunk, '\0');
    for (;;) {
        const std::int64_t n = z.Read(buf.data(), static_cast<std::int64_t>(Chunk));
        EXPECT_GE(n, 0);
        EXPECT_EQ(z.AvailOut(), static_cast<std::int64_t>(Chunk) - n);
        out.append(buf.data(), static_cast<std::size_t>(n));
        if (n < static_cast<std::int64_t>(Chunk)) break;
    }
    Error = z.ErrorCode();
    End = z.EndOfStream();
    return out;
}

// An output that accepts a number of bytes and then fails, as a full disk does.
class TFullStream : public TMemoryStream32 {
public:
    explicit TFullStream(std::int64_t Room) : FRoom(Room) {}
    std::int64_t Write(const void* Buffer, std::int64_t Count) override {
        if (Position() + Count > FRoom) return 0;
        return TMemoryStream32::Write(Buffer, Count);
    }

private:
    std::int64_t FRoom;
};

} // namespace

TEST(CodecStreams, RoundTripEveryLevelAndSize) {
    for (TDeflateType level : AllLevels) {
        for (std::size_t size : Sizes) {
            for (int kind = 0; kind < 2; ++kind) {
                SCOPED_TRACE(testing::Message()
                             << "level " << int(level) << " size " << size << " kind " << kind);
                const std::string data = kind ? TextBytes(size, 7) : RandomBytes(size, 7);
                std::uint32_t crc = 0;
                const std::string packed = OurDeflate(data, level, &crc);
                EXPECT_EQ(crc, Crc32Of(data));
                int error = -1;
                bool end = false;
                EXPECT_TRUE(Same(OurInflate(packed, error, end), data));
                EXPECT_EQ(error, 0);
                EXPECT_TRUE(end || data.size() % 32768 == 0);
                int rc = 0;
                EXPECT_TRUE(Same(ZlibInflate(packed, rc), data)) << "zlib reads our deflate";
                EXPECT_EQ(rc, Z_STREAM_END);
                if (level == dtDeflateS && size > 0) {
                    EXPECT_GT(packed.size(), size) << "level 0 stores";
                }
                if (level != dtDeflateS && kind == 1 && size > 65536) {
                    EXPECT_LT(packed.size(), size / 2);
                }
            }
        }
    }
}

TEST(CodecStreams, SameBytesAsZlibAndReadsZlibOutput) {
    const std::string data = TextBytes(1 << 20, 3) + RandomBytes(300000, 4);
    const int levels[] = {0, 1, Z_DEFAULT_COMPRESSION, 9};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const std::string theirs = ZlibDeflate(data, levels[i]);
        const std::string ours = OurDeflate(data, AllLevels[i], nullptr, 7777);
        int rc = 0;
        EXPECT_TRUE(Same(ZlibInflate(ours, rc), data));
        // Stored blocks follow the pieces written; the other levels give zlib's very bytes.
        if (i > 0) {
            EXPECT_TRUE(Same(ours, theirs)) << "zlib configured the same way";
        }
        int error = -1;
        bool end = false;
        EXPECT_TRUE(Same(OurInflate(theirs, error, end, 1000), data));
        EXPECT_EQ(error, 0);
        EXPECT_TRUE(end);
    }
}

TEST(CodecStreams, InputStandsAfterTheCompressedData) {
    const std::string data = TextBytes(200000, 8);
    const std::string packed = ZlibDeflate(data, 6);
    TMemoryStream32 in;
    in.WriteBuffer("HEAD", 4);
    in.WriteBuffer(packed.data(), static_cast<std::int64_t>(packed.size()));
    in.WriteBuffer("TRAILER-BYTES", 13);
    in.SetPosition(4);
    std::string out(data.size() + 10, '\0');
    {
        TDecompressStream z(in);
        EXPECT_EQ(z.Read(out.data(), 1000), 1000);
        in.SetPosition(0); // someone else moves the input between reads
        EXPECT_EQ(z.Read(out.data() + 1000, static_cast<std::int64_t>(out.size()) - 1000),
                  static_cast<std::int64_t>(data.size()) - 1000);
        EXPECT_TRUE(z.EndOfStream());
        EXPECT_EQ(z.Seek(0, soCurrent), static_cast<std::int64_t>(data.size()));
        EXPECT_EQ(z.Seek(5, soBeginning), -1);
        EXPECT_EQ(z.TotalIn(), static_cast<std::int64_t>(packed.size()));
        EXPECT_EQ(z.Read(out.data(), 10), 0) << "nothing after the end";
        EXPECT_EQ(z.Write("x", 1), -1);
    }
    out.resize(data.size());
    EXPECT_TRUE(Same(out, data));
    EXPECT_EQ(in.Position(), static_cast<std::int64_t>(4 + packed.size()));
    char trailer[13];
    in.ReadBuffer(trailer, 13);
    EXPECT_EQ(std::string(trailer, 13), "TRAILER-BYTES");
}

TEST(CodecStreams, DamagedInputIsAnErrorWithTheBytesProduced) {
    const std::string data = TextBytes(400000, 9);
    const std::string packed = ZlibDeflate(data, 9);
    int error = 0;
    bool end = true;

    // A block type of 3 does not exist.
    std::string bad = packed;
    bad[0] = static_cast<char>(0x07);
    EXPECT_EQ(OurInflate(bad, error, end), "");
    EXPECT_EQ(error, ecDecompressionError);
    EXPECT_FALSE(end);

    // Cut short: what came out is a true prefix, and the end is missing.
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, packed.size() / 3, packed.size() - 1}) {
        SCOPED_TRACE(cut);
        const std::string out = OurInflate(packed.substr(0, cut), error, end);
        EXPECT_EQ(error, ecDecompressionError);
        EXPECT_FALSE(end);
        EXPECT_LE(out.size(), data.size());
        EXPECT_TRUE(Same(out, data.substr(0, out.size())));
    }

    // Flipped bytes and garbage: an error or different data, never a crash or a hang.
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        std::string flipped = packed;
        const std::string noise = RandomBytes(8, seed);
        for (int i = 0; i < 4; ++i) {
            const std::size_t at =
                (static_cast<unsigned char>(noise[i]) * 2654435761U + seed * 40503U) % flipped.size();
            flipped[at] = static_cast<char>(flipped[at] ^ (noise[4 + i] | 1));
        }
        const std::string out = OurInflate(flipped, error, end, 65536);
        EXPECT_TRUE(error == ecDecompressionError || out != data) << seed;
        EXPECT_LE(out.size(), data.size() + 65536 * 64);

        const std::string garbage = RandomBytes(5000 + seed * 100, seed + 1000);
        const std::string junk = OurInflate(garbage, error, end);
        EXPECT_TRUE(error == ecDecompressionError || end) << seed;
    }
}

TEST(CodecStreams, CancelStopsCompressionAndDecompression) {
    const std::string data = RandomBytes(2 << 20, 12);
    TMemoryStream32 source;
    LoadStream(source, data);

    bool cancel = false;
    int reports = 0;
    TMemoryStream32 out;
    {
        TCompressStream z(out, {}, &cancel, TJobRecord{}, dtDeflateF);
        auto cancelLater = [&](TStream32&) {
            if (++reports == 5) cancel = true;
        };
        z.CopyFrom(source, &cancel, cancelLater, source.Size());
        EXPECT_TRUE(cancel);
        EXPECT_GT(z.TotalIn(), 0);
        EXPECT_LT(z.TotalIn(), static_cast<std::int64_t>(data.size()) / 2);
        EXPECT_EQ(z.Write(data.data(), 100), 100) << "takes nothing more once cancelled";
        EXPECT_LT(z.TotalIn(), static_cast<std::int64_t>(data.size()) / 2);
    } // destroyed without Finish: the deflate state still ends

    const std::string packed = ZlibDeflate(data, 1);
    TMemoryStream32 in;
    LoadStream(in, packed);
    cancel = false;
    reports = 0;
    TDecompressStream z(in);
    z.CancelFlagPtr = &cancel;
    z.OnProgress = [&](TStream32&) {
        if (++reports == 3) cancel = true;
    };
    std::string out2(data.size(), '\0');
    const std::int64_t got = z.Read(out2.data(), static_cast<std::int64_t>(data.size()));
    EXPECT_GT(got, 0);
    EXPECT_LT(got, static_cast<std::int64_t>(data.size()));
    EXPECT_TRUE(
        Same(out2.substr(0, static_cast<std::size_t>(got)), data.substr(0, static_cast<std::size_t>(got))));
    EXPECT_FALSE(z.EndOfStream());
}

TEST(CodecStreams, CompressionCountsAndKeepsItsOutputPlace) {
    const std::string data = TextBytes(300000, 21);
    double toDo = 1e6;
    TJobRecord record;
    record.BytesToDo = &toDo;
    int reports = 0;
    TMemoryStream32 out;
    out.WriteBuffer("PK-HEADER", 9);
    TCompressStream z(
        out, [&](TStream32& s) { reports += s.Position() >= 0; }, nullptr, record, dtDeflateN);
    z.Write(data.data(), 150000);
    out.SetPosition(0); // someone else looks at the output between writes
    z.Write(data.data() + 150000, 150000);
    EXPECT_EQ(z.Seek(0, soCurrent), 300000);
    EXPECT_EQ(z.Seek(0, soBeginning), -1);
    EXPECT_EQ(z.Read(nullptr, 1), -1);
    EXPECT_EQ(z.Finish(), Z_OK);
    EXPECT_EQ(z.Finish(), Z_STREAM_ERROR) << "the state ends once";
    EXPECT_EQ(z.Write(data.data(), 10), 0);
    EXPECT_DOUBLE_EQ(toDo, 700000);
    EXPECT_GT(reports, 0);
    EXPECT_EQ(z.Crc() ^ 0xFFFFFFFF, Crc32Of(data));

    const std::string all = StreamBytes(out);
    EXPECT_EQ(all.substr(0, 9), "PK-HEADER");
    int rc = 0;
    EXPECT_TRUE(Same(ZlibInflate(all.substr(9), rc), data));
}

TEST(CodecStreams, FullOutputRaisesAndStillEndsTheState) {
    const std::string data = RandomBytes(500000, 5);
    TFullStream out(100000);
    {
        TCompressStream z(out, {}, nullptr, TJobRecord{}, dtDeflateN);
        EXPECT_THROW(z.Write(data.data(), static_cast<std::int64_t>(data.size())), EWriteError);
    }
    TFullStream small(1000);
    TCompressStream z(small, {}, nullptr, TJobRecord{}, dtDeflateN);
    z.Write(data.data(), 60000);
    EXPECT_THROW(z.Finish(), EWriteError);
}

TEST(CodecStreams, StoreStreamChecksumsEnciphersAndCounts) {
    const std::string data = RandomBytes(250000, 30);
    TMemoryStream32 input;
    LoadStream(input, data);
    input.SetPosition(777);

    double toDo = 250000;
    TJobRecord record;
    record.BytesToDo = &toDo;
    TMemoryStream32 out;
    TZipCipher cipher;
    cipher.InitCryptKeys("store");
    int reports = 0;
    {
        TStoreStream store(
            out, [&](TStream32&) { ++reports; }, nullptr, record, 32);
        store.Cipher = &cipher;
        EXPECT_EQ(store.CopyFromStream(input), 250000) << "all of the input from position 0";
        EXPECT_EQ(store.Seek(0, soCurrent), 250000);
        EXPECT_EQ(store.Crc() ^ 0xFFFFFFFF, Crc32Of(data)) << "the checksum is over the plain data";
        EXPECT_EQ(store.Read(nullptr, 1), -1);
    }
    EXPECT_EQ(reports, 3);
    EXPECT_DOUBLE_EQ(toDo, 0);
    std::string stored = StreamBytes(out);
    ASSERT_EQ(stored.size(), data.size());
    EXPECT_NE(stored, data);
    TZipCipher reader;
    reader.InitCryptKeys("store");
    reader.DecryptBuf(stored.data(), static_cast<std::int64_t>(stored.size()));
    EXPECT_TRUE(Same(stored, data));

    // The caller's buffer stays plain.
    std::string copy = data.substr(0, 1000);
    TMemoryStream32 out2;
    TStoreStream store16(out2, {}, nullptr, TJobRecord{}, 16);
    store16.Cipher = &cipher;
    store16.WriteBuffer(copy.data(), 1000);
    EXPECT_EQ(copy, data.substr(0, 1000));
    std::uint16_t crc16 = 0;
    UpdateCrc16Buf(copy.data(), 1000, crc16);
    EXPECT_EQ(store16.Crc(), crc16);
}

TEST(CodecStreams, StoreStreamContinuesAJobCrcAndStopsOnCancel) {
    const std::string data = TextBytes(400000, 31);
    std::uint32_t firstHalf = 0xFFFFFFFF;
    UpdateCrc32Buf(data.data(), 200000, firstHalf);
    TJobRecord record;
    record.Continue = true;
    record.Crc = firstHalf;
    TMemoryStream32 out;
    TStoreStream store(out, {}, nullptr, record, 32);
    store.WriteBuffer(data.data() + 200000, 200000);
    EXPECT_EQ(store.Crc() ^ 0xFFFFFFFF, Crc32Of(data)) << "a continued entry's checksum covers both parts";

    TMemoryStream32 input;
    LoadStream(input, data);
    bool cancel = false;
    TMemoryStream32 out2;
    TStoreStream cancelled(
        out2, [&](TStream32&) { cancel = true; }, &cancel, TJobRecord{}, 32);
    EXPECT_EQ(cancelled.CopyFromStream(input), TStoreStream::StepSize);
    EXPECT_EQ(out2.Size(), TStoreStream::StepSize);
}

TEST(CodecStreams, EncipheredDeflateRoundTrip) {
    const std::string data = TextBytes(180000, 40);
    TZipCipher writer;
    writer.InitCryptKeys("deflate");
    const std::string packed = OurDeflate(data, dtDeflateN, nullptr, 5000, &writer);
    int rc = 0;
    EXPECT_NE(ZlibInflate(packed, rc), data);

    TZipCipher reader;
    reader.InitCryptKeys("deflate");
    int error = -1;
    bool end = false;
    EXPECT_TRUE(Same(OurInflate(packed, error, end, 32768, &reader), data));
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(end);
}

TEST(CodecStreams, InputThatRunsOutCanGoOnFromANewPlace) {
    // The compressed data split over two "disks": the stream waits at the end of the first
    // with Z_BUF_ERROR and goes on once the input holds the rest.
    const std::string data = TextBytes(500000, 50);
    const std::string packed = ZlibDeflate(data, 6);
    const std::size_t split = packed.size() / 2;
    TMemoryStream32 disk;
    disk.WriteBuffer(packed.data(), static_cast<std::int64_t>(split));
    disk.SetPosition(0);
    TDecompressStream z(disk);
    std::string out(data.size(), '\0');
    std::int64_t got = z.Read(out.data(), static_cast<std::int64_t>(out.size()));
    EXPECT_EQ(z.Status(), Z_BUF_ERROR);
    EXPECT_EQ(z.ErrorCode(), ecDecompressionError);
    EXPECT_EQ(z.AvailOut(), static_cast<std::int64_t>(out.size()) - got);
    EXPECT_EQ(z.TotalIn(), static_cast<std::int64_t>(split));

    disk.Clear();
    disk.WriteBuffer(packed.data() + split, static_cast<std::int64_t>(packed.size() - split));
    disk.SetPosition(0);
    z.ClearInput();
    EXPECT_EQ(z.ErrorCode(), 0);
    got += z.Read(out.data() + got, static_cast<std::int64_t>(out.size()) - got);
    EXPECT_EQ(got, static_cast<std::int64_t>(data.size()));
    EXPECT_TRUE(Same(out, data));
    EXPECT_EQ(z.Read(out.data(), 1), 0);
    EXPECT_TRUE(z.EndOfStream());
}

namespace {

// A host with an event loop: counts its turns and lets a test wait for the next one.
class TLoopHost : public EngineHost {
public:
    TLoopHost() { SetPumpClock(SteppingClock()); }
    std::atomic<int> Pumps{0};

protected:
    bool HasEventLoop() const override { return true; }
    void DoPump() override { ++Pumps; }
};

} // namespace

TEST(CodecStreams, LongWholeBufferWorkKeepsAnEventLoopTurning) {
    auto owned = std::make_unique<TLoopHost>();
    TLoopHost& host = *owned;
    std::unique_ptr<EngineHost> previous = EngineHost::Install(std::move(owned));
    // On the host's thread the work runs elsewhere and the loop turns until it is done: this work
    // ends only once the loop has turned.
    const std::thread::id caller = std::this_thread::get_id();
    std::thread::id worker;
    EngineHost::RunWhilePumping([&] {
        worker = std::this_thread::get_id();
        for (int i = 0; i < 60000 && host.Pumps == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    EXPECT_NE(worker, caller);
    EXPECT_GT(host.Pumps, 0);
    // The work's exception reaches the caller; from any other thread the work runs in place.
    EXPECT_THROW(EngineHost::RunWhilePumping([] { throw std::runtime_error("no room"); }),
                 std::runtime_error);
    std::thread([] {
        const std::thread::id self = std::this_thread::get_id();
        std::thread::id ran;
        EngineHost::RunWhilePumping([&] { ran = std::this_thread::get_id(); });
        EXPECT_EQ(ran, self);
    }).join();
    // Whole buffers big enough to go to another thread: the same bytes as zlib reads back, and
    // damage still found.
    const std::string data = TextBytes(6 << 20, 33);
    const std::span<const std::uint8_t> plain(reinterpret_cast<const std::uint8_t*>(data.data()),
                                              data.size());
    TWholeDeflater deflater(dtDeflateN);
    std::vector<std::uint8_t> packed(static_cast<std::size_t>(deflater.Bound(std::ssize(data))));
    packed.resize(static_cast<std::size_t>(deflater.Deflate(plain, packed)));
    ASSERT_FALSE(packed.empty());
    int rc = 0;
    EXPECT_TRUE(Same(ZlibInflate(std::string(packed.begin(), packed.end()), rc), data));
    EXPECT_EQ(rc, Z_STREAM_END);
    TWholeInflater inflater;
    std::vector<std::uint8_t> out(data.size());
    EXPECT_TRUE(inflater.Inflate(packed, out));
    EXPECT_TRUE(Same(std::string(out.begin(), out.end()), data));
    packed[packed.size() / 2] ^= 0x55;
    EXPECT_FALSE(inflater.Inflate(packed, out));
    EngineHost::Install(std::move(previous));
}

TEST(CodecStreams, AJobWaitingForItsWorkersKeepsTheEventLoopTurning) {
    auto owned = std::make_unique<TLoopHost>();
    TLoopHost& host = *owned;
    std::unique_ptr<EngineHost> previous = EngineHost::Install(std::move(owned));
    std::mutex lock;
    std::condition_variable changed;
    bool ready = false;
    // The worker answers only once the loop has turned: a wait that did not pump would hang.
    std::thread worker([&] {
        for (int i = 0; i < 60000 && host.Pumps == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const std::lock_guard hold(lock);
        ready = true;
        changed.notify_all();
    });
    {
        std::unique_lock hold(lock);
        EngineHost::WaitPumping(hold, changed, [&] { return ready; });
        EXPECT_TRUE(ready);
    }
    worker.join();
    EXPECT_GT(host.Pumps, 0);
    // Off the host's thread the wait never runs the host.
    const int pumps = host.Pumps;
    ready = false;
    std::thread([&] {
        std::unique_lock hold(lock);
        std::thread answer([&] {
            const std::lock_guard inner(lock);
            ready = true;
            changed.notify_all();
        });
        EngineHost::WaitPumping(hold, changed, [&] { return ready; });
        hold.unlock();
        answer.join();
    }).join();
    EXPECT_EQ(host.Pumps, pumps);
    EngineHost::Install(std::move(previous));
}
