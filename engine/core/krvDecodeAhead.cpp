#include "engine/core/krvDecodeAhead.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"

#include <algorithm>
#include <cstring>

namespace {

// The decoded bytes handed over at a time, and the blocks held ahead of the job.
constexpr std::int64_t BlockSize = std::int64_t{1} << 20;
constexpr std::size_t MaxBlocks = 8;

} // namespace

TDecodeAhead::TDecodeAhead(TUniqueFd File, std::int64_t DataPos, std::int64_t Unpacked, std::int64_t Piece)
    : FUnpacked(Unpacked), FPiece(std::clamp<std::int64_t>(Piece, 1, BlockSize)) {
    FThread = std::thread(
        [this, file = std::move(File), DataPos]() mutable { RunInflate(std::move(file), DataPos); });
}

TDecodeAhead::TDecodeAhead(TUniqueFd File, std::int64_t DataPos, std::int64_t Packed, std::int64_t Unpacked,
                           TDecoder Decoder)
    : FUnpacked(Unpacked), FPiece(BlockSize) {
    FThread =
        std::thread([this, file = std::move(File), DataPos, Packed, decoder = std::move(Decoder)]() mutable {
            RunDecoder(std::move(file), DataPos, Packed, decoder);
        });
}

TDecodeAhead::~TDecodeAhead() {
    {
        const std::lock_guard lock(FLock);
        FStop = true;
    }
    FChanged.notify_all();
    FThread.join();
}

std::unique_ptr<TDecodeAhead::TBlock> TDecodeAhead::FreeBlock() {
    std::unique_lock lock(FLock);
    FChanged.wait(lock, [this] { return FStop || !FFree.empty() || FBlocksMade < MaxBlocks; });
    if (FStop) return nullptr;
    std::unique_ptr<TBlock> block;
    if (!FFree.empty()) {
        block = std::move(FFree.back());
        FFree.pop_back();
    } else {
        ++FBlocksMade;
        lock.unlock();
        block = std::make_unique<TBlock>();
        block->Data.resize(static_cast<std::size_t>(BlockSize));
    }
    block->Pieces.clear();
    block->Used = 0;
    return block;
}

void TDecodeAhead::Publish(std::unique_ptr<TBlock> Block, bool Last) {
    const std::lock_guard lock(FLock);
    if (Block) FReady.push_back(std::move(Block));
    FFinished = Last;
    if (FWaiting || Last) FChanged.notify_all();
}

void TDecodeAhead::RunInflate(TUniqueFd File, std::int64_t DataPos) {
    try {
        TFileStream32 archive(File.Release());
        archive.Seek(DataPos, soBeginning);
        TDecompressStream input(archive);
        std::int64_t remaining = FUnpacked;
        bool ended = false;
        while (!ended) {
            std::unique_ptr<TBlock> block = FreeBlock();
            if (!block) return;
            while (remaining > 0 && block->Used + FPiece <= BlockSize) {
                const std::int64_t chunk = std::min(remaining, FPiece);
                const std::int64_t got = input.Read(block->Data.data() + block->Used, chunk);
                block->Pieces.push_back(
                    {got, input.TotalIn(), input.Status(), input.ErrorCode(), input.EndOfStream()});
                block->Used += got;
                remaining -= got;
                if (got != chunk || input.EndOfStream()) {
                    ended = true;
                    break;
                }
            }
            Publish(std::move(block), ended || remaining <= 0);
            ended = ended || remaining <= 0;
        }
    } catch (const std::exception&) {
        // Out of memory, or the file could not be read: the job sees the stream end here.
        auto block = std::make_unique<TBlock>();
        block->Pieces.push_back({0, 0, Z_DATA_ERROR, ecDecompressionError, false});
        Publish(std::move(block), true);
    }
}

void TDecodeAhead::RunDecoder(TUniqueFd File, std::int64_t DataPos, std::int64_t Packed,
                              const TDecoder& Decoder) {
    std::unique_ptr<TBlock> block;
    std::int64_t produced = 0;
    std::int64_t at = DataPos;
    std::int64_t left = Packed;
    TDecoderIO io;
    io.Input = [&](std::uint8_t* Buffer, std::int64_t Count) {
        const std::int64_t got = ReadFileAt(File.Get(), at, Buffer, std::min(Count, left));
        at += got;
        left -= got;
        return got;
    };
    io.Output = [&](const std::uint8_t* Buffer, std::int64_t Count) {
        // Each piece stays whole in one block, as the decoder gave it.
        if (block && block->Used + Count > static_cast<std::int64_t>(block->Data.size()))
            Publish(std::move(block), false);
        if (!block && !(block = FreeBlock())) throw TStopped{};
        if (Count > static_cast<std::int64_t>(block->Data.size()))
            block->Data.resize(static_cast<std::size_t>(Count));
        if (Count > 0) std::memcpy(block->Data.data() + block->Used, Buffer, static_cast<std::size_t>(Count));
        block->Pieces.push_back({Count, 0, 0, 0, false});
        block->Used += Count;
        produced += Count;
    };
    io.PackedSize = Packed;
    io.UnpackedSize = FUnpacked;
    TDecodeResult result;
    try {
        result = Decoder(io);
    } catch (const TStopped&) {
        return;
    } catch (const E_RAISE& e) {
        result.ErrorCode = e.Code();
        result.Produced = produced;
    } catch (const std::exception&) {
        // Out of memory: the entry fails as damaged where the output stopped.
        result.ErrorCode = ecDecompressionError;
        result.Produced = produced;
    }
    {
        const std::lock_guard lock(FLock);
        FResult = result;
    }
    Publish(std::move(block), true);
}

std::span<const std::uint8_t> TDecodeAhead::Next() {
    while (!FCurrent || FPieceAt >= FCurrent->Pieces.size()) {
        std::unique_lock lock(FLock);
        if (FCurrent) {
            FFree.push_back(std::move(FCurrent));
            FChanged.notify_all();
        }
        FWaiting = true;
        // The host runs while the job waits, as it would while the job decoded itself.
        EngineHost::WaitPumping(lock, FChanged, [this] { return !FReady.empty() || FFinished; });
        FWaiting = false;
        if (FReady.empty()) {
            FEnded = true;
            return {};
        }
        FCurrent = std::move(FReady.front());
        FReady.pop_front();
        FPieceAt = 0;
        FOffset = 0;
    }
    FLast = FCurrent->Pieces[FPieceAt++];
    const std::span<const std::uint8_t> piece(FCurrent->Data.data() + FOffset,
                                              static_cast<std::size_t>(FLast.Count));
    FOffset += FLast.Count;
    return piece;
}
