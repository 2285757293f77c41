#include "engine/core/krvInflateAhead.h"

#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvErrorCodes.h"

#include <algorithm>

namespace {

// The decoded bytes handed over at a time, and the blocks held ahead of the job.
constexpr std::int64_t BlockSize = std::int64_t{1} << 20;
constexpr std::size_t MaxBlocks = 8;

} // namespace

TInflateAhead::TInflateAhead(TUniqueFd File, std::int64_t DataPos, std::int64_t Unpacked, std::int64_t Piece)
    : FUnpacked(Unpacked), FPiece(std::clamp<std::int64_t>(Piece, 1, BlockSize)) {
    FThread =
        std::thread([this, file = std::move(File), DataPos]() mutable { Run(std::move(file), DataPos); });
}

TInflateAhead::~TInflateAhead() {
    {
        const std::lock_guard lock(FLock);
        FStop = true;
    }
    FChanged.notify_all();
    FThread.join();
}

std::unique_ptr<TInflateAhead::TBlock> TInflateAhead::FreeBlock() {
    std::unique_lock lock(FLock);
    FChanged.wait(lock, [this] { return FStop || !FFree.empty() || FBlocksMade < MaxBlocks; });
    if (FStop) return nullptr;
    if (!FFree.empty()) {
        std::unique_ptr<TBlock> block = std::move(FFree.back());
        FFree.pop_back();
        return block;
    }
    ++FBlocksMade;
    lock.unlock();
    auto block = std::make_unique<TBlock>();
    block->Data.resize(static_cast<std::size_t>(BlockSize));
    block->Pieces.reserve(static_cast<std::size_t>(BlockSize / FPiece));
    return block;
}

void TInflateAhead::Run(TUniqueFd File, std::int64_t DataPos) {
    std::unique_ptr<TBlock> block;
    try {
        TFileStream32 archive(File.Release());
        archive.Seek(DataPos, soBeginning);
        TDecompressStream input(archive);
        std::int64_t remaining = FUnpacked;
        bool ended = false;
        while (!ended) {
            block = FreeBlock();
            if (!block) return;
            block->Pieces.clear();
            std::int64_t used = 0;
            while (remaining > 0 && used + FPiece <= BlockSize) {
                const std::int64_t chunk = std::min(remaining, FPiece);
                const std::int64_t got = input.Read(block->Data.data() + used, chunk);
                block->Pieces.push_back(
                    {got, input.TotalIn(), input.Status(), input.ErrorCode(), input.EndOfStream()});
                used += got;
                remaining -= got;
                if (got != chunk || input.EndOfStream()) {
                    ended = true;
                    break;
                }
            }
            ended = ended || remaining <= 0;
            const std::lock_guard lock(FLock);
            FReady.push_back(std::move(block));
            FFinished = ended;
            if (FWaiting) FChanged.notify_all();
        }
    } catch (const std::exception&) {
        // Out of memory, or the file could not be read: the job sees the stream end here.
        block = std::make_unique<TBlock>();
        block->Pieces.push_back({0, 0, Z_DATA_ERROR, ecDecompressionError, false});
        const std::lock_guard lock(FLock);
        FReady.push_back(std::move(block));
        FFinished = true;
        FChanged.notify_all();
    }
}

std::span<const std::uint8_t> TInflateAhead::Next() {
    if (!FCurrent || FPieceAt >= FCurrent->Pieces.size()) {
        std::unique_lock lock(FLock);
        if (FCurrent) {
            FFree.push_back(std::move(FCurrent));
            FChanged.notify_all();
        }
        FWaiting = true;
        FChanged.wait(lock, [this] { return !FReady.empty() || FFinished; });
        FWaiting = false;
        if (FReady.empty()) return {};
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
