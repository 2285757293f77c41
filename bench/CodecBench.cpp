// Throughput of the engine's checksums and codec streams next to zlib's own functions on the
// same buffers. The streams should stay within about 10% of raw zlib.
#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvCrc.h"

#include <benchmark/benchmark.h>
#include <random>
#include <string>
#include <zlib.h>

namespace {

constexpr std::size_t DataSize = 8 << 20;
constexpr std::size_t ReadChunk = 32768;

// Text-like data with random stretches, so that deflate has work of both kinds.
const std::string& Sample() {
    static const std::string data = [] {
        static const char* words[] = {"archive ",    "entry ", "folder ", "the ",    "of ",
                                      "compressed ", "data\n", "header ", "volume ", "0123 "};
        std::mt19937 rng(1);
        std::string s;
        s.reserve(DataSize);
        while (s.size() < DataSize) {
            if (rng() % 16 == 0)
                for (int i = 0; i < 200; ++i)
                    s += static_cast<char>(rng() & 0xFF);
            else
                s += words[rng() % 10];
        }
        s.resize(DataSize);
        return s;
    }();
    return data;
}

const Bytef* Bytes(const std::string& S) {
    return reinterpret_cast<const Bytef*>(S.data());
}

// Takes whatever is written and keeps only the count.
class TNullStream : public TStream32 {
public:
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void*, std::int64_t Count) override {
        FPos += Count;
        return Count;
    }
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override {
        FPos = Origin == soBeginning ? Offset : FPos + Offset;
        return FPos;
    }

private:
    std::int64_t FPos = 0;
};

int ZlibLevel(int Index) {
    static const int levels[] = {0, 1, Z_DEFAULT_COMPRESSION, 9};
    return levels[Index];
}

std::string ZlibDeflate(const std::string& Data, int Level) {
    z_stream z{};
    deflateInit2(&z, Level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, Data.size()), '\0');
    z.next_in = const_cast<Bytef*>(Bytes(Data));
    z.avail_in = static_cast<uInt>(Data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

void BM_Crc32_Ours(benchmark::State& State) {
    const std::string& data = Sample();
    for (auto _ : State) {
        std::uint32_t crc = 0xFFFFFFFF;
        UpdateCrc32Buf(data.data(), static_cast<std::int64_t>(data.size()), crc);
        benchmark::DoNotOptimize(crc);
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * data.size()));
}

void BM_Crc32_Zlib(benchmark::State& State) {
    const std::string& data = Sample();
    for (auto _ : State)
        benchmark::DoNotOptimize(crc32_z(0, Bytes(data), data.size()));
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * data.size()));
}

void BM_Crc32_StreamOurs(benchmark::State& State) {
    const std::string& data = Sample();
    TCustomMemoryStream32 source;
    source.SetPointer(const_cast<char*>(data.data()), static_cast<std::int64_t>(data.size()));
    for (auto _ : State)
        benchmark::DoNotOptimize(GetStreamCrc32(source, TJobRecord{}));
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * data.size()));
}

void BM_Adler32_Ours(benchmark::State& State) {
    const std::string& data = Sample();
    for (auto _ : State)
        benchmark::DoNotOptimize(Adler32(1, data.data(), static_cast<std::int64_t>(data.size())));
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * data.size()));
}

void BM_Adler32_Zlib(benchmark::State& State) {
    const std::string& data = Sample();
    for (auto _ : State)
        benchmark::DoNotOptimize(adler32_z(1, Bytes(data), data.size()));
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * data.size()));
}

// Deflate by the level index (0 stored .. 3 best), written in 100000-byte pieces as the
// engine's copy loops write.
void BM_Deflate_Ours(benchmark::State& State) {
    const std::string& data = Sample();
    const auto level = static_cast<TDeflateType>(State.range(0));
    for (auto _ : State) {
        TNullStream out;
        TCompressStream z(out, {}, nullptr, TJobRecord{}, level);
        for (std::size_t pos = 0; pos < data.size(); pos += 100000)
            z.Write(data.data() + pos,
                    static_cast<std::int64_t>(std::min<std::size_t>(100000, data.size() - pos)));
        benchmark::DoNotOptimize(z.Finish());
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * data.size()));
}

// zlib alone with the same pieces and the same 64 KB output buffer, plus the CRC-32 that a
// writer needs of the data as well.
void BM_Deflate_Zlib(benchmark::State& State) {
    const std::string& data = Sample();
    std::string buffer(65536, '\0');
    for (auto _ : State) {
        z_stream z{};
        deflateInit2(&z, ZlibLevel(static_cast<int>(State.range(0))), Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        uLong crc = 0;
        std::size_t written = 0;
        for (std::size_t pos = 0; pos <= data.size(); pos += 100000) {
            const std::size_t n = pos < data.size() ? std::min<std::size_t>(100000, data.size() - pos) : 0;
            crc = crc32_z(crc, Bytes(data) + pos, n);
            z.next_in = const_cast<Bytef*>(Bytes(data) + pos);
            z.avail_in = static_cast<uInt>(n);
            const int flush = pos + n >= data.size() ? Z_FINISH : Z_NO_FLUSH;
            int rc = Z_OK;
            do {
                z.next_out = reinterpret_cast<Bytef*>(buffer.data());
                z.avail_out = static_cast<uInt>(buffer.size());
                rc = deflate(&z, flush);
                written += buffer.size() - z.avail_out;
            } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
            if (flush == Z_FINISH) break;
        }
        deflateEnd(&z);
        benchmark::DoNotOptimize(written);
        benchmark::DoNotOptimize(crc);
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * data.size()));
}

const std::string& Packed() {
    static const std::string packed = ZlibDeflate(Sample(), Z_DEFAULT_COMPRESSION);
    return packed;
}

// Inflate in 32 KB reads, as the zip reader reads.
void BM_Inflate_Ours(benchmark::State& State) {
    const std::string& packed = Packed();
    std::string out(ReadChunk, '\0');
    TCustomMemoryStream32 in;
    in.SetPointer(const_cast<char*>(packed.data()), static_cast<std::int64_t>(packed.size()));
    for (auto _ : State) {
        in.SetPosition(0);
        TDecompressStream z(in);
        std::int64_t total = 0;
        for (std::int64_t n; (n = z.Read(out.data(), ReadChunk)) > 0;)
            total += n;
        benchmark::DoNotOptimize(total);
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Sample().size()));
}

void BM_Inflate_Zlib(benchmark::State& State) {
    const std::string& packed = Packed();
    std::string out(ReadChunk, '\0');
    std::string input(65536, '\0');
    for (auto _ : State) {
        z_stream z{};
        inflateInit2(&z, -15);
        std::size_t pos = 0;
        std::int64_t total = 0;
        int rc = Z_OK;
        while (rc == Z_OK) {
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = ReadChunk;
            while (z.avail_out > 0 && rc == Z_OK) {
                if (z.avail_in == 0) {
                    // The same 64 KB input copies as the stream makes.
                    const std::size_t n = std::min<std::size_t>(input.size(), packed.size() - pos);
                    std::copy_n(packed.data() + pos, n, input.data());
                    pos += n;
                    z.next_in = reinterpret_cast<Bytef*>(input.data());
                    z.avail_in = static_cast<uInt>(n);
                }
                rc = inflate(&z, Z_NO_FLUSH);
            }
            total += static_cast<std::int64_t>(ReadChunk - z.avail_out);
        }
        inflateEnd(&z);
        benchmark::DoNotOptimize(total);
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Sample().size()));
}

} // namespace

BENCHMARK(BM_Crc32_Ours);
BENCHMARK(BM_Crc32_Zlib);
BENCHMARK(BM_Crc32_StreamOurs);
BENCHMARK(BM_Adler32_Ours);
BENCHMARK(BM_Adler32_Zlib);
BENCHMARK(BM_Deflate_Ours)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Deflate_Zlib)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate_Zlib)->Unit(benchmark::kMillisecond);
