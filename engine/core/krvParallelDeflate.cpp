#include "engine/core/krvParallelDeflate.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvCrypt.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>
#include <zlib.h>

namespace {

// A block in hand: its plain bytes as read, then its piece. The buffers of a block are reused
// for the blocks after it, so that no memory is touched anew per block.
struct TBlock {
    std::vector<std::uint8_t> Plain;
    std::vector<std::uint8_t> Packed;
    std::uint32_t Crc = 0; // of this block alone
    bool Final = false;
    bool Ok = false;
    bool Done = false;
};

void MakePiece(TWholeDeflater& Deflater, TBlock& Block) {
    std::uint32_t crc = 0xFFFFFFFFU;
    UpdateCrc32Buf(Block.Plain.data(), std::ssize(Block.Plain), crc);
    Block.Crc = crc ^ 0xFFFFFFFFU;
    Block.Ok = Deflater.DeflatePiece(Block.Plain, Block.Final, Block.Packed);
}

// Reads the next block of Input into Plain: full unless Input ended within it.
void ReadBlock(TStream32& Input, std::vector<std::uint8_t>& Plain) {
    Plain.resize(static_cast<std::size_t>(ParallelDeflateBlock));
    std::int64_t n = 0;
    for (std::int64_t r;
         n < ParallelDeflateBlock && (r = Input.Read(Plain.data() + n, ParallelDeflateBlock - n)) > 0;)
        n += r;
    Plain.resize(static_cast<std::size_t>(n));
}

// The ring of blocks in hand and the workers that deflate them. The calling thread reads each
// block into the ring and takes the pieces out in order; a worker takes the oldest block not
// yet begun. Twice as many blocks as workers are in hand, so a worker finds the next block read
// while the caller still waits for an older, slower one.
class TDeflateRing {
public:
    TDeflateRing(TDeflateType Level, unsigned Workers) : FBlocks(2 * std::size_t{Workers}) {
        for (unsigned i = 0; i < Workers; ++i)
            FDeflaters.push_back(std::make_unique<TWholeDeflater>(Level, true));
        for (unsigned i = 0; i < Workers; ++i)
            FThreads.emplace_back([this, i] { Work(*FDeflaters[i]); });
    }
    ~TDeflateRing() {
        {
            const std::lock_guard lock(FLock);
            FStop = true;
        }
        FChanged.notify_all();
        for (std::thread& t : FThreads)
            t.join();
    }
    TDeflateRing(const TDeflateRing&) = delete;
    TDeflateRing& operator=(const TDeflateRing&) = delete;

    bool Full() const { return FAdded - FTaken == FBlocks.size(); }
    bool Empty() const { return FAdded == FTaken; }
    // The block to read the next input into; Add hands it to the workers.
    TBlock& Next() { return FBlocks[FAdded % FBlocks.size()]; }
    void Add() {
        {
            const std::lock_guard lock(FLock);
            FBlocks[FAdded % FBlocks.size()].Done = false;
            ++FAdded;
        }
        FChanged.notify_all();
    }
    // The oldest block, once deflated; the host runs meanwhile. Release gives its place back.
    TBlock& Oldest() {
        TBlock& block = FBlocks[FTaken % FBlocks.size()];
        std::unique_lock lock(FLock);
        while (!FDone.wait_for(lock, std::chrono::milliseconds(5), [&] { return block.Done; })) {
            lock.unlock();
            EngineHost::PumpIfDue();
            lock.lock();
        }
        return block;
    }
    void Release() { ++FTaken; }

private:
    void Work(TWholeDeflater& Deflater) {
        std::unique_lock lock(FLock);
        for (;;) {
            FChanged.wait(lock, [this] { return FStop || FBegun < FAdded; });
            if (FStop) return;
            TBlock& block = FBlocks[FBegun++ % FBlocks.size()];
            lock.unlock();
            try {
                MakePiece(Deflater, block);
            } catch (const std::exception&) {
                block.Ok = false; // out of memory, say: the run fails
            }
            lock.lock();
            block.Done = true;
            FDone.notify_all();
        }
    }

    std::vector<TBlock> FBlocks;
    std::vector<std::unique_ptr<TWholeDeflater>> FDeflaters;
    std::size_t FAdded = 0; // blocks handed to the workers (the caller's alone)
    std::size_t FBegun = 0; // blocks a worker took
    std::size_t FTaken = 0; // blocks the caller took out (the caller's alone)
    bool FStop = false;
    std::mutex FLock;
    std::condition_variable FChanged, FDone;
    std::vector<std::thread> FThreads;
};

} // namespace

TParallelDeflateResult ParallelDeflate(TStream32& Input, TStream32& Output, TDeflateType Level,
                                       unsigned Threads, TZipCipher* Cipher,
                                       const std::function<bool(std::int64_t)>& Step) {
    TParallelDeflateResult result;
    std::uint32_t crc = 0;
    // Writes a deflated block; false when the run stops there.
    auto put = [&](TBlock& Block) {
        if (!Block.Ok) return false;
        if (Cipher) Cipher->EncryptBuf(Block.Packed.data(), std::ssize(Block.Packed));
        Output.WriteBuffer(Block.Packed.data(), std::ssize(Block.Packed));
        const auto size = std::ssize(Block.Plain);
        crc = static_cast<std::uint32_t>(crc32_combine64(crc, Block.Crc, size));
        result.In += size;
        if (!Step(size)) return false;
        result.Ok = Block.Final;
        return true;
    };
    if (Threads <= 1) {
        // One thread: each block deflated where it is read.
        TWholeDeflater deflater(Level, true);
        TBlock block;
        do {
            ReadBlock(Input, block.Plain);
            block.Final = std::ssize(block.Plain) < ParallelDeflateBlock;
            MakePiece(deflater, block);
            if (!put(block)) return result;
        } while (!block.Final);
    } else {
        TDeflateRing ring(Level, Threads);
        bool ended = false;
        while (!ended || !ring.Empty()) {
            // Blocks are read in order while there is room; the last short block is the final one.
            while (!ended && !ring.Full()) {
                TBlock& block = ring.Next();
                ReadBlock(Input, block.Plain);
                ended = block.Final = std::ssize(block.Plain) < ParallelDeflateBlock;
                ring.Add();
            }
            const bool go = put(ring.Oldest());
            ring.Release();
            if (!go) return result; // the workers stop after the blocks they hold
        }
    }
    result.Crc = crc;
    return result;
}
