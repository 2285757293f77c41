// The inflate of one large deflate stream on a thread of its own, a few blocks ahead of the
// job that checksums and writes what it gives: the two overlap instead of taking turns. The
// stream is read from the archive file through a descriptor of its own and decoded by the very
// calls the job would make itself (one read of Piece bytes at a time), so the job receives the
// same pieces, the same short last piece and the same error as when it decodes alone. The
// thread raises no events; it stops when the object goes.
#pragma once

#include "engine/core/krvFileIo.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

class TInflateAhead {
public:
    // Decodes the raw deflate stream at DataPos of File into Unpacked bytes (or until the
    // stream ends), in pieces of at most Piece bytes.
    TInflateAhead(TUniqueFd File, std::int64_t DataPos, std::int64_t Unpacked, std::int64_t Piece);
    ~TInflateAhead();
    TInflateAhead(const TInflateAhead&) = delete;
    TInflateAhead& operator=(const TInflateAhead&) = delete;

    // The next piece, waiting for it: Piece bytes (fewer for the last of Unpacked), or fewer
    // where the stream ended early or was damaged (nothing after that). The bytes stay valid
    // until the next call.
    std::span<const std::uint8_t> Next();
    // What the decoder said right after the piece Next gave (its TDecompressStream namesakes).
    int ErrorCode() const { return FLast.ErrorCode; }
    int Status() const { return FLast.Status; }
    bool EndOfStream() const { return FLast.EndOfStream; }
    std::int64_t TotalIn() const { return FLast.TotalIn; }

private:
    struct TPiece {
        std::int64_t Count = 0;
        std::int64_t TotalIn = 0;
        int Status = 0;
        int ErrorCode = 0;
        bool EndOfStream = false;
    };
    struct TBlock {
        std::vector<std::uint8_t> Data;
        std::vector<TPiece> Pieces; // in order
    };
    void Run(TUniqueFd File, std::int64_t DataPos);
    // A block to fill (one the job has done with, or a new one); nullptr when stopped.
    std::unique_ptr<TBlock> FreeBlock();

    const std::int64_t FUnpacked;
    const std::int64_t FPiece;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<std::unique_ptr<TBlock>> FReady; // filled blocks, in order
    std::vector<std::unique_ptr<TBlock>> FFree;
    std::size_t FBlocksMade = 0;
    bool FStop = false;
    bool FFinished = false; // the thread has handed over its last block
    bool FWaiting = false;  // the job waits for a block
    // The job's side: the block in hand and the next piece of it.
    std::unique_ptr<TBlock> FCurrent;
    std::size_t FPieceAt = 0;
    std::int64_t FOffset = 0;
    TPiece FLast;
    std::thread FThread;
};
