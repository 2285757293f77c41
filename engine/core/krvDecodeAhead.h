// The decoding of one large entry or stream on a thread of its own, a few blocks ahead of the
// job that checksums and writes what it gives: the two overlap instead of taking turns. The
// data are read from the archive file through a descriptor of its own. A deflate stream is
// decoded by the very calls the job would make itself (one read of Piece bytes at a time), so
// the job receives the same pieces, the same short last piece and the same error as when it
// decodes alone; any other decoder's output comes in the pieces it gave, with its result. The
// thread raises no events; it stops when the object goes.
#pragma once

#include "engine/codec/krvDecoderIO.h"
#include "engine/core/krvFileIo.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

class TDecodeAhead {
public:
    using TDecoder = std::function<TDecodeResult(const TDecoderIO&)>;
    // Inflates the raw deflate stream at DataPos of File into Unpacked bytes (or until the
    // stream ends), in pieces of at most Piece bytes.
    TDecodeAhead(TUniqueFd File, std::int64_t DataPos, std::int64_t Unpacked, std::int64_t Piece);
    // Runs Decoder over the Packed bytes at DataPos of File, which decode to Unpacked bytes.
    TDecodeAhead(TUniqueFd File, std::int64_t DataPos, std::int64_t Packed, std::int64_t Unpacked,
                 TDecoder Decoder);
    ~TDecodeAhead();
    TDecodeAhead(const TDecodeAhead&) = delete;
    TDecodeAhead& operator=(const TDecodeAhead&) = delete;

    // The next piece, waiting for it. Inflating: Piece bytes (fewer for the last of Unpacked),
    // or fewer where the stream ended early or was damaged (nothing after that). Nothing, and
    // Ended(), after the last piece.
    std::span<const std::uint8_t> Next();
    bool Ended() const { return FEnded; }
    // What the inflater said right after the piece Next gave (its TDecompressStream namesakes).
    int ErrorCode() const { return FLast.ErrorCode; }
    int Status() const { return FLast.Status; }
    bool EndOfStream() const { return FLast.EndOfStream; }
    std::int64_t TotalIn() const { return FLast.TotalIn; }
    // The decoder's result, once Ended().
    TDecodeResult Result() const { return FResult; }

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
        std::int64_t Used = 0;
    };
    // Thrown through the decoder when the job no longer wants its output.
    struct TStopped {};

    void RunInflate(TUniqueFd File, std::int64_t DataPos);
    void RunDecoder(TUniqueFd File, std::int64_t DataPos, std::int64_t Packed, const TDecoder& Decoder);
    // A block to fill (one the job has done with, or a new one); nullptr when stopped.
    std::unique_ptr<TBlock> FreeBlock();
    // Hands Block (may be empty) to the job; Last: nothing follows.
    void Publish(std::unique_ptr<TBlock> Block, bool Last);

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
    TDecodeResult FResult;  // the decoder's, set before the last block is handed over
    // The job's side: the block in hand and the next piece of it.
    std::unique_ptr<TBlock> FCurrent;
    std::size_t FPieceAt = 0;
    std::int64_t FOffset = 0;
    TPiece FLast;
    bool FEnded = false;
    std::thread FThread;
};
