#include "engine/core/krvCodecStreams.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <new>

#include "engine/codec/krvDeflateWalk.h"
#include "engine/codec/krvIncompressible.h"
#include "engine/core/EngineHost.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvCrypt.h"
#include "engine/core/krvErrorCodes.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

namespace {

// zlib counts in unsigned int: larger transfers go in pieces of this size.
constexpr std::int64_t ZlibPiece = std::int64_t{1} << 30;

constexpr int MemLevel = 8;

uInt ZlibCount(std::int64_t Count) {
    return static_cast<uInt>(std::min(Count, ZlibPiece));
}

} // namespace

int DeflateLevel(TDeflateType Level) {
    switch (Level) {
    case dtDeflateS:
        return 0;
    case dtDeflateF:
        return 1;
    case dtDeflateN:
        return Z_DEFAULT_COMPRESSION;
    case dtDeflateX:
        return 9;
    }
    return Z_DEFAULT_COMPRESSION;
}

// ---------------------------------------------------------------------------------------------
// TZlibState

int TZlibState::End() {
    if (!FLive) return Z_STREAM_ERROR;
    FLive = false;
    return FKind == zkDeflate ? deflateEnd(&Z) : inflateEnd(&Z);
}

// ---------------------------------------------------------------------------------------------
// TCustomStream

TCustomStream::TCustomStream(TStream32& Wrapped) : FWrapped(Wrapped), FWrappedPos(Wrapped.Position()) {}

std::int64_t TCustomStream::CopyFrom(TStream32& Source, const bool* CancelFlag, TProgressEvent Progress,
                                     std::int64_t Count) {
    OnProgress = std::move(Progress);
    if (Count <= 0) return 0;
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min(Count, CopyChunkSize)));
    std::int64_t copied = 0;
    while (copied < Count && !(CancelFlag && *CancelFlag)) {
        const std::int64_t n =
            std::min<std::int64_t>(static_cast<std::int64_t>(chunk.size()), Count - copied);
        EngineHost::PumpIfDue();
        if (Source.Read(chunk.data(), n) != n) return 0;
        WriteBuffer(chunk.data(), n);
        copied += n;
    }
    return copied;
}

void TCustomStream::StartChecksum(int Width, bool FromRecord) {
    FWidth = Width;
    if (FromRecord)
        FCrc = Width == 16 ? (FRecord.Crc & 0xFFFF) : FRecord.Crc;
    else
        FCrc = Width == 32 ? 0xFFFFFFFF : 0;
}

void TCustomStream::UpdateChecksum(const void* Buffer, std::int64_t Count) {
    if (FWidth == 32) {
        UpdateCrc32Buf(Buffer, Count, FCrc);
    } else if (FWidth == 16) {
        auto crc = static_cast<std::uint16_t>(FCrc);
        UpdateCrc16Buf(Buffer, Count, crc);
        FCrc = crc;
    }
}

void TCustomStream::TakeOffBytesToDo(std::int64_t Count) {
    if (FRecord.BytesToDo) *FRecord.BytesToDo -= static_cast<double>(Count);
}

void TCustomStream::RestoreWrappedPosition() {
    if (FWrappedPos < 0) return;
    if (FWrapped.Position() != FWrappedPos) FWrapped.Seek(FWrappedPos, soBeginning);
}

void TCustomStream::AdvanceWrappedPosition(std::int64_t Count) {
    if (FWrappedPos >= 0) FWrappedPos += Count;
}

// ---------------------------------------------------------------------------------------------
// TCalcStreamCRC

TCalcStreamCRC::TCalcStreamCRC(TStream32& Source, TProgressEvent Progress, const bool* CancelFlag,
                               std::int64_t Count, const TJobRecord& Record, int Width)
    : TCustomStream(Source) {
    FRecord = Record;
    CancelFlagPtr = CancelFlag;
    StartChecksum(Width, false);
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.Size();
    }
    FCopied = CopyFrom(Source, CancelFlag, std::move(Progress), Count);
}

std::int64_t TCalcStreamCRC::Read(void* /*Buffer*/, std::int64_t /*Count*/) {
    return -1;
}

std::int64_t TCalcStreamCRC::Write(const void* Buffer, std::int64_t Count) {
    if (Count <= 0) return 0;
    UpdateChecksum(Buffer, Count);
    TakeOffBytesToDo(Count);
    DoProgress();
    return Count;
}

std::int64_t TCalcStreamCRC::Seek(std::int64_t /*Offset*/, TSeekOrigin /*Origin*/) {
    return -1;
}

// ---------------------------------------------------------------------------------------------
// TStoreStream

TStoreStream::TStoreStream(TStream32& Output, TProgressEvent Progress, const bool* CancelFlag,
                           const TJobRecord& Record, int Width)
    : TCustomStream(Output) {
    FRecord = Record;
    CancelFlagPtr = CancelFlag;
    OnProgress = std::move(Progress);
    StartChecksum(Width, Record.Continue);
    AllocateBuffer();
}

std::int64_t TStoreStream::Read(void* /*Buffer*/, std::int64_t /*Count*/) {
    return -1;
}

std::int64_t TStoreStream::Write(const void* Data, std::int64_t Count) {
    if (Count <= 0) return 0;
    UpdateChecksum(Data, Count);
    TakeOffBytesToDo(Count);
    RestoreWrappedPosition();
    if (Cipher) {
        // The caller's data stay plain: encipher a copy, piece by piece.
        const auto* p = static_cast<const std::uint8_t*>(Data);
        for (std::int64_t done = 0; done < Count;) {
            const std::int64_t n = std::min(BufferSize, Count - done);
            std::copy_n(p + done, n, Buffer());
            Cipher->EncryptBuf(Buffer(), n);
            FWrapped.WriteBuffer(Buffer(), n);
            done += n;
        }
    } else {
        FWrapped.WriteBuffer(Data, Count);
    }
    AdvanceWrappedPosition(Count);
    FTakenIn += Count;
    DoProgress();
    return Count;
}

std::int64_t TStoreStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    return Offset == 0 && Origin == soCurrent ? FTakenIn : -1;
}

std::int64_t TStoreStream::CopyFromStream(TStream32& Input) {
    Input.OnProgress = OnProgress;
    Input.SetPosition(0);
    std::vector<std::uint8_t> step(static_cast<std::size_t>(StepSize));
    std::int64_t total = 0;
    while (!Cancelled()) {
        const std::int64_t n = Input.Read(step.data(), StepSize);
        if (n <= 0) break;
        WriteBuffer(step.data(), n);
        total += n;
    }
    return total;
}

// ---------------------------------------------------------------------------------------------
// TMsZipBlockDeflater

TMsZipBlockDeflater::TMsZipBlockDeflater(TDeflateType Level) {
    const int rc = deflateInit2(&FState.Z, DeflateLevel(Level), Z_DEFLATED, RawDeflateWindowBits, MemLevel,
                                Z_DEFAULT_STRATEGY);
    if (rc == Z_MEM_ERROR) throw E_RAISE(ecOutOfMemory);
    if (rc != Z_OK) throw std::invalid_argument("deflateInit2: bad parameters");
    FState.SetLive();
}

bool TMsZipBlockDeflater::DeflateAfter(const std::uint8_t* History, std::size_t HistoryCount,
                                       const std::uint8_t* Data, std::size_t Count,
                                       std::vector<std::uint8_t>& Out) {
    constexpr std::size_t Window = 32768;
    z_stream& z = FState.Z;
    if (deflateReset(&z) != Z_OK) return false;
    if (HistoryCount > Window) {
        History += HistoryCount - Window;
        HistoryCount = Window;
    }
    if (HistoryCount > 0 && deflateSetDictionary(&z, History, static_cast<uInt>(HistoryCount)) != Z_OK)
        return false;
    const std::size_t start = Out.size();
    Out.resize(start + 2 + deflateBound(&z, static_cast<uLong>(Count)) + 16);
    Out[start] = 'C';
    Out[start + 1] = 'K';
    z.next_in = const_cast<Bytef*>(Data);
    z.avail_in = static_cast<uInt>(Count);
    z.next_out = Out.data() + start + 2;
    z.avail_out = static_cast<uInt>(Out.size() - start - 2);
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) return false;
    Out.resize(Out.size() - z.avail_out);
    return true;
}

bool TMsZipBlockDeflater::Deflate(const std::uint8_t* Data, std::size_t Count,
                                  std::vector<std::uint8_t>& Out) {
    constexpr std::size_t Window = 32768;
    if (!DeflateAfter(FHistory.data(), FHistory.size(), Data, Count, Out)) return false;
    // The window the next block may refer back into.
    FHistory.insert(FHistory.end(), Data, Data + Count);
    if (FHistory.size() > Window)
        FHistory.erase(FHistory.begin(), FHistory.end() - static_cast<std::ptrdiff_t>(Window));
    return true;
}

// ---------------------------------------------------------------------------------------------
// TCompressStream

TCompressStream::TCompressStream(TStream32& Output, TProgressEvent Progress, const bool* CancelFlag,
                                 const TJobRecord& Record, TDeflateType Level, int WindowBits)
    : TCustomStream(Output) {
    FRecord = Record;
    CancelFlagPtr = CancelFlag;
    OnProgress = std::move(Progress);
    StartChecksum(32, false);
    AllocateBuffer();
    DeflateInit(Level, WindowBits);
}

void TCompressStream::DeflateInit(TDeflateType Level, int WindowBits) {
    const int rc =
        deflateInit2(&FState.Z, DeflateLevel(Level), Z_DEFLATED, WindowBits, MemLevel, Z_DEFAULT_STRATEGY);
    if (rc == Z_MEM_ERROR) throw E_RAISE(ecOutOfMemory);
    if (rc != Z_OK) throw std::invalid_argument("deflateInit2: bad parameters");
    FState.SetLive();
    FState.Z.next_out = Buffer();
    FState.Z.avail_out = static_cast<uInt>(BufferSize);
}

void TCompressStream::WriteOutput(std::int64_t Count) {
    if (Count > 0) {
        RestoreWrappedPosition();
        if (Cipher) Cipher->EncryptBuf(Buffer(), Count);
        FWrapped.WriteBuffer(Buffer(), Count);
        AdvanceWrappedPosition(Count);
    }
    FState.Z.next_out = Buffer();
    FState.Z.avail_out = static_cast<uInt>(BufferSize);
}

std::int64_t TCompressStream::Read(void* /*Buffer*/, std::int64_t /*Count*/) {
    return -1;
}

std::int64_t TCompressStream::Write(const void* Data, std::int64_t Count) {
    if (Count <= 0 || !FState.Live()) return 0;
    z_stream& z = FState.Z;
    const auto* p = static_cast<const std::uint8_t*>(Data);
    std::int64_t left = Count;
    while (left > 0 && !Cancelled() && FStatus == Z_OK) {
        z.next_in = const_cast<Bytef*>(p);
        z.avail_in = ZlibCount(left);
        const uInt offered = z.avail_in;
        while (z.avail_in > 0 && !Cancelled()) {
            const uInt before = z.avail_in;
            const int rc = deflate(&z, Z_NO_FLUSH);
            TakeOffBytesToDo(before - z.avail_in);
            if (z.avail_out == 0) WriteOutput(BufferSize);
            DoProgress();
            if (rc != Z_OK) {
                FStatus = rc;
                break;
            }
        }
        const uInt used = offered - z.avail_in;
        UpdateChecksum(p, used);
        p += used;
        left -= used;
    }
    z.next_in = nullptr;
    z.avail_in = 0;
    return Count;
}

std::int64_t TCompressStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    return Offset == 0 && Origin == soCurrent ? TotalIn() : -1;
}

int TCompressStream::Finish() {
    if (!FState.Live()) return Z_STREAM_ERROR;
    z_stream& z = FState.Z;
    int result = FStatus;
    while (result == Z_OK) {
        const int rc = deflate(&z, Z_FINISH);
        if (z.avail_out == 0) WriteOutput(BufferSize);
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK) result = rc;
    }
    WriteOutput(BufferSize - z.avail_out);
    const int ended = FState.End();
    FStatus = result != Z_OK ? result : ended;
    return FStatus;
}

// ---------------------------------------------------------------------------------------------
// TDecompressStream

TDecompressStream::TDecompressStream(TStream32& Input)
    : TCustomStream(Input), FState(std::make_unique<inflate_state>()) {
    AllocateBuffer();
    isal_inflate_init(FState.get());
    FState->crc_flag = ISAL_DEFLATE; // raw deflate, no checksum of ISA-L's own
}

TDecompressStream::~TDecompressStream() {
    if (FWrappedPos < 0 || Unused() == 0) return;
    try {
        FWrapped.Seek(FWrappedPos - Unused(), soBeginning);
    } catch (...) {
        // The input cannot seek: it stays where the read-ahead left it.
    }
}

std::int64_t TDecompressStream::Unused() const {
    // ISA-L reads ahead into its bit buffer and a small buffer of its own; once the stream has
    // ended, what it holds there lies beyond it. Before, it holds what it still needs.
    if (!FEndOfStream) return FState->avail_in;
    return FState->avail_in + FState->read_in_length / 8 + FState->tmp_in_size;
}

std::int64_t TDecompressStream::TotalIn() const {
    return FTotalFed - Unused();
}

std::int64_t TDecompressStream::FillInput() {
    if (Cancelled()) return -1;
    RestoreWrappedPosition();
    const std::int64_t n = std::max<std::int64_t>(0, FWrapped.Read(Buffer(), BufferSize));
    AdvanceWrappedPosition(n);
    if (Cipher) Cipher->DecryptBuf(Buffer(), n);
    FState->next_in = Buffer();
    FState->avail_in = static_cast<std::uint32_t>(n);
    FTotalFed += n;
    DoProgress();
    return n;
}

std::int64_t TDecompressStream::Read(void* Data, std::int64_t Count) {
    FAvailOut = std::max<std::int64_t>(Count, 0);
    // After damaged data nothing more comes; after the input ran out a new read may find more.
    const bool damaged = ErrorCode() != 0 && FStatus != Z_BUF_ERROR;
    if (Count <= 0 || FEndOfStream || damaged) return 0;
    inflate_state& z = *FState;
    auto* p = static_cast<std::uint8_t*>(Data);
    std::int64_t produced = 0;
    while (produced < Count) {
        z.next_out = p + produced;
        z.avail_out = static_cast<std::uint32_t>(std::min(Count - produced, ZlibPiece));
        const std::uint32_t offered = z.avail_out;
        bool inputEnded = false;
        if (z.avail_in == 0) {
            const std::int64_t n = FillInput();
            if (n < 0) break; // cancelled
            // The inflater may still hold bits of input it took earlier: it runs once more.
            inputEnded = n == 0;
        }
        const std::uint32_t offeredIn = z.avail_in;
        const int rc = isal_inflate(&z);
        const std::uint32_t made = offered - z.avail_out;
        produced += made;
        FTotalOut += made;
        if (rc != ISAL_DECOMP_OK) {
            FStatus = Z_DATA_ERROR;
            break;
        }
        if (z.block_state == ISAL_BLOCK_FINISH) {
            FStatus = Z_STREAM_END;
            FEndOfStream = true;
            break;
        }
        FStatus = Z_OK;
        if (made == 0 && z.avail_in == offeredIn) {
            // No progress: the input ended before the deflate stream did.
            FStatus = inputEnded ? Z_BUF_ERROR : Z_DATA_ERROR;
            break;
        }
    }
    FAvailOut = Count - produced;
    return produced;
}

std::int64_t TDecompressStream::Write(const void* /*Buffer*/, std::int64_t /*Count*/) {
    return -1;
}

std::int64_t TDecompressStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    return Offset == 0 && Origin == soCurrent ? TotalOut() : -1;
}

int TDecompressStream::ErrorCode() const {
    return FStatus == Z_OK || FStatus == Z_STREAM_END ? 0 : ecDecompressionError;
}

void TDecompressStream::ClearInput() {
    FTotalFed -= FState->avail_in;
    FState->next_in = nullptr;
    FState->avail_in = 0;
    FWrappedPos = FWrapped.Position();
    if (FStatus == Z_BUF_ERROR) FStatus = Z_OK;
}

// ---- whole buffers --------------------------------------------------------------------------

TWholeInflater::TWholeInflater() : FDecompressor(libdeflate_alloc_decompressor()) {
    if (!FDecompressor) throw std::bad_alloc();
}

TWholeInflater::~TWholeInflater() {
    libdeflate_free_decompressor(FDecompressor);
}

namespace {

// Whole buffers from these sizes on take long enough (a few milliseconds and more) that the
// host's event loop keeps turning while another thread does the work.
constexpr std::size_t InflateWhilePumpingFrom = 4 << 20;   // bytes out
constexpr std::size_t DeflateWhilePumpingFrom = 512 << 10; // bytes in

} // namespace

bool TWholeInflater::Inflate(std::span<const std::uint8_t> In, std::span<std::uint8_t> Out) {
    const auto inflate = [&] {
        return libdeflate_deflate_decompress(FDecompressor, In.data(), In.size(), Out.data(), Out.size(),
                                             nullptr) == LIBDEFLATE_SUCCESS;
    };
    if (Out.size() < InflateWhilePumpingFrom) return inflate();
    bool inflated = false;
    EngineHost::RunWhilePumping([&] { inflated = inflate(); });
    return inflated;
}

namespace {

// libdeflate's levels for the deflate types: its 1, 6 and 9 are faster than zlib's and give
// smaller output; stored blocks come from level 0. The pieces of one long input at the best
// level take 7: a third of 9's time for 0.5% more bytes, still smaller than zlib's 9, so that a
// large file or tar.gz at the best level is made in half the time of a parallel zlib -9.
int WholeDeflateLevel(TDeflateType Level, bool Pieces) {
    switch (Level) {
    case dtDeflateS:
        return 0;
    case dtDeflateF:
        return 1;
    case dtDeflateX:
        return Pieces ? 7 : 9;
    default:
        return 6;
    }
}

} // namespace

TWholeDeflater::TWholeDeflater(TDeflateType Level, bool Pieces)
    : FCompressor(libdeflate_alloc_compressor(WholeDeflateLevel(Level, Pieces))) {
    if (!FCompressor) throw std::bad_alloc();
}

TWholeDeflater::~TWholeDeflater() {
    libdeflate_free_compressor(FCompressor);
}

std::int64_t TWholeDeflater::Bound(std::int64_t InSize) const {
    return static_cast<std::int64_t>(
        libdeflate_deflate_compress_bound(FCompressor, static_cast<std::size_t>(InSize)));
}

std::int64_t TWholeDeflater::Deflate(std::span<const std::uint8_t> In, std::span<std::uint8_t> Out) {
    std::size_t size = 0;
    const auto deflate = [&] {
        size = libdeflate_deflate_compress(FCompressor, In.data(), In.size(), Out.data(), Out.size());
    };
    if (In.size() < DeflateWhilePumpingFrom)
        deflate();
    else
        EngineHost::RunWhilePumping(deflate);
    return static_cast<std::int64_t>(size);
}

bool TWholeDeflater::DeflatePiece(std::span<const std::uint8_t> In, bool Final,
                                  std::vector<std::uint8_t>& Out) {
    if (In.empty()) {
        // Nothing to deflate: an empty final block of fixed codes, or an empty stored block.
        if (Final)
            Out.assign({0x03, 0x00});
        else
            Out.assign({0x00, 0x00, 0x00, 0xFF, 0xFF});
        return true;
    }
    if (LooksIncompressible(In)) {
        // Stored as the deflater would store it, in a fraction of its time.
        Out.clear();
        AppendStoredBlocks(In, Final, Out);
        return true;
    }
    Out.resize(static_cast<std::size_t>(Bound(std::ssize(In)) + 5));
    const std::int64_t size = Deflate(In, Out);
    if (size <= 0) return false;
    Out.resize(static_cast<std::size_t>(size));
    if (Final) return true;
    const TDeflateFinalBlock last = FindFinalDeflateBlock(Out);
    const std::int64_t finalStart = last.Start, end = last.End;
    // libdeflate writes the bytes of the stream and no more: the end lies in the last one.
    if (!last.Found() || end <= (size - 1) * 8 || end > size * 8) return false;
    // The last block stops being the final one; three zero bits (a stored block, not final),
    // padding to the byte, and its lengths 0 and ~0 end the piece on a byte boundary.
    Out[static_cast<std::size_t>(finalStart / 8)] &= static_cast<std::uint8_t>(~(1U << (finalStart % 8)));
    if (end % 8 != 0)
        Out[static_cast<std::size_t>(end / 8)] &= static_cast<std::uint8_t>((1U << (end % 8)) - 1);
    Out.resize(static_cast<std::size_t>((end + 3 + 7) / 8), 0);
    Out.insert(Out.end(), {0x00, 0x00, 0xFF, 0xFF});
    return true;
}
