#include "engine/core/krvParallelDeflate.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvCrypt.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>
#include <zlib.h>

namespace {

// A block in hand: its plain bytes as filled, then its piece. The buffers of a block are reused
// for the blocks after it, so that no memory is touched anew per block.
struct TBlock {
    std::vector<std::uint8_t> Plain; // ParallelDeflateBlock bytes, of which Size are filled
    std::int64_t Size = 0;
    std::vector<std::uint8_t> Packed;
    std::uint32_t Crc = 0; // of this block alone
    bool Final = false;
    bool Ok = false;
    bool Done = false;
};

void MakePiece(TWholeDeflater& Deflater, TBlock& Block) {
    const std::span<const std::uint8_t> plain(Block.Plain.data(), static_cast<std::size_t>(Block.Size));
    std::uint32_t crc = 0xFFFFFFFFU;
    UpdateCrc32Buf(plain.data(), Block.Size, crc);
    Block.Crc = crc ^ 0xFFFFFFFFU;
    Block.Ok = Deflater.DeflatePiece(plain, Block.Final, Block.Packed);
}

} // namespace

// The ring of blocks in hand and the workers that deflate them. The calling thread fills each
// block in the ring and takes the pieces out in order; a worker takes the oldest block not yet
// begun. Twice as many blocks as workers are in hand, so a worker finds the next block filled
// while the caller still waits for an older, slower one. Without workers the ring holds one
// block, deflated where it is handed on.
class TParallelDeflater::TRing {
public:
    TRing(TStream32& Output, TDeflateType Level, unsigned Threads, TZipCipher* Cipher,
          TParallelDeflateStep Step)
        : FOutput(Output), FCipher(Cipher), FStep(std::move(Step)),
          FBlocks(Threads > 1 ? 2 * std::size_t{Threads} : 1), FOutPos(Output.Position()) {
        const unsigned workers = Threads > 1 ? Threads : 0;
        for (unsigned i = 0; i < std::max(workers, 1U); ++i)
            FDeflaters.push_back(std::make_unique<TWholeDeflater>(Level, true));
        for (unsigned i = 0; i < workers; ++i)
            FThreads.emplace_back([this, i] { Work(*FDeflaters[i]); });
    }
    ~TRing() {
        {
            const std::lock_guard lock(FLock);
            FStop = true;
        }
        FChanged.notify_all();
        for (std::thread& t : FThreads)
            t.join();
    }
    TRing(const TRing&) = delete;
    TRing& operator=(const TRing&) = delete;

    std::span<std::uint8_t> Room() {
        TBlock& block = Current();
        if (std::ssize(block.Plain) != ParallelDeflateBlock)
            block.Plain.resize(static_cast<std::size_t>(ParallelDeflateBlock));
        return {block.Plain.data() + FFill, static_cast<std::size_t>(ParallelDeflateBlock - FFill)};
    }

    bool Fill(std::int64_t Count) {
        if (FStopped) return false;
        FFill += Count;
        FIn += Count;
        if (FFill == ParallelDeflateBlock) HandOn(false);
        return !FStopped;
    }

    TParallelDeflateResult Finish() {
        if (!FStopped) {
            HandOn(true);
            while (!Empty())
                TakeOldest();
        }
        return {FFinished && !FStopped, FWritten, FCrc};
    }

    std::int64_t Position() const { return FIn; }

    void KeepHere() {
        FKeepAt = FIn;
        FKeepBlock = FAdded;
        FKeepWritten = false;
        FKeptAside = false;
    }

    bool Rewind(std::int64_t To) {
        if (To > FIn) return false;
        if (To >= FIn - FFill) {
            // Within the block being filled: nothing of it went on yet.
            FFill -= FIn - To;
            FIn = To;
            return true;
        }
        if (To != FKeepAt) return false;
        // The blocks handed on before the kept one are written; it and those after are dropped.
        while (!Empty()) {
            TBlock& block = Oldest();
            if (FTaken < FKeepBlock && !FStopped) Put(block, FTaken);
            ++FTaken;
        }
        if (FKeepWritten) {
            FOutput.SetSize(FKeepOut);
            if (FOutput.Seek(FKeepOut, soBeginning) != FKeepOut) throw EWriteError(0);
            FOutPos = FKeepOut;
            FCrc = FKeepCrc;
            FWritten = static_cast<std::int64_t>(FKeepBlock) * ParallelDeflateBlock;
            FFinished = false;
            FKeepWritten = false;
        }
        {
            // Every worker is idle: the kept block is filled again.
            const std::lock_guard lock(FLock);
            FAdded = FBegun = FTaken = FKeepBlock;
        }
        if (FKeptAside) std::swap(Current().Plain, FKept);
        FKeptAside = false;
        FFill = To - static_cast<std::int64_t>(FKeepBlock) * ParallelDeflateBlock;
        FIn = To;
        return true;
    }

private:
    TBlock& Current() { return FBlocks[FAdded % FBlocks.size()]; }
    bool Full() const { return FAdded - FTaken == FBlocks.size(); }
    bool Empty() const { return FAdded == FTaken; }

    // The block being filled goes to the workers (or is deflated here without them); then room
    // is made for the next one.
    void HandOn(bool Final) {
        TBlock& block = Current();
        block.Size = FFill;
        block.Final = Final;
        if (FThreads.empty()) {
            MakePiece(*FDeflaters.front(), block);
            block.Done = true;
            ++FAdded;
        } else {
            {
                const std::lock_guard lock(FLock);
                block.Done = false;
                ++FAdded;
            }
            FChanged.notify_all();
        }
        FFill = 0;
        // The host runs between blocks too, not only while the oldest is awaited.
        EngineHost::PumpIfDue();
        if (Final) return;
        while (Full())
            TakeOldest();
        // The kept block's buffer is set aside before its place is filled again.
        if (FAdded == FKeepBlock + FBlocks.size()) {
            std::swap(Current().Plain, FKept);
            FKeptAside = true;
        }
    }

    // The oldest block, once deflated; the host runs meanwhile.
    TBlock& Oldest() {
        TBlock& block = FBlocks[FTaken % FBlocks.size()];
        std::unique_lock lock(FLock);
        EngineHost::WaitPumping(lock, FDone, [&] { return block.Done; });
        return block;
    }

    // Writes the oldest block (dropped once the run stopped) and gives its place back.
    void TakeOldest() {
        TBlock& block = Oldest();
        if (!FStopped) Put(block, FTaken);
        ++FTaken;
    }

    void Put(TBlock& Block, std::size_t Index) {
        if (Index == FKeepBlock) {
            FKeepWritten = true;
            FKeepOut = FOutPos;
            FKeepCrc = FCrc;
        }
        if (!Block.Ok) {
            FStopped = true;
            return;
        }
        if (FCipher) FCipher->EncryptBuf(Block.Packed.data(), std::ssize(Block.Packed));
        FOutput.WriteBuffer(Block.Packed.data(), std::ssize(Block.Packed));
        FOutPos += std::ssize(Block.Packed);
        FCrc = static_cast<std::uint32_t>(crc32_combine64(FCrc, Block.Crc, Block.Size));
        FWritten += Block.Size;
        if (!FStep(Block.Size)) {
            FStopped = true;
            return;
        }
        FFinished = Block.Final;
    }

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

    TStream32& FOutput;
    TZipCipher* FCipher;
    TParallelDeflateStep FStep;
    std::vector<TBlock> FBlocks;
    std::vector<std::unique_ptr<TWholeDeflater>> FDeflaters;
    // Blocks handed on, taken by a worker and taken out, counted from the start: block i lies
    // in place i % size. FAdded and FTaken change on the caller's thread only.
    std::size_t FAdded = 0;
    std::size_t FBegun = 0;
    std::size_t FTaken = 0;
    bool FStop = false;
    std::mutex FLock;
    std::condition_variable FChanged, FDone;
    std::vector<std::thread> FThreads;

    std::int64_t FFill = 0;   // bytes in the block being filled
    std::int64_t FIn = 0;     // plain bytes taken
    std::int64_t FOutPos = 0; // Output's position
    std::int64_t FWritten = 0;
    std::uint32_t FCrc = 0;
    bool FStopped = false;
    bool FFinished = false;

    // The kept position, its block, and where that block went out once it did.
    std::int64_t FKeepAt = 0;
    std::size_t FKeepBlock = 0;
    bool FKeepWritten = false;
    std::int64_t FKeepOut = 0;
    std::uint32_t FKeepCrc = 0;
    // The kept block's buffer once its place in the ring was filled again.
    std::vector<std::uint8_t> FKept;
    bool FKeptAside = false;
};

TParallelDeflater::TParallelDeflater(TStream32& Output, TDeflateType Level, unsigned Threads,
                                     TZipCipher* Cipher, TParallelDeflateStep Step)
    : FRing(std::make_unique<TRing>(Output, Level, Threads, Cipher, std::move(Step))) {}

TParallelDeflater::~TParallelDeflater() = default;

std::span<std::uint8_t> TParallelDeflater::Room() {
    return FRing->Room();
}

bool TParallelDeflater::Fill(std::int64_t Count) {
    return FRing->Fill(Count);
}

bool TParallelDeflater::Write(const void* Data, std::int64_t Count) {
    const auto* from = static_cast<const std::uint8_t*>(Data);
    while (Count > 0) {
        const std::span<std::uint8_t> room = Room();
        const std::int64_t n = std::min<std::int64_t>(Count, std::ssize(room));
        std::memcpy(room.data(), from, static_cast<std::size_t>(n));
        if (!Fill(n)) return false;
        from += n;
        Count -= n;
    }
    return true;
}

TParallelDeflateResult TParallelDeflater::Finish() {
    return FRing->Finish();
}

std::int64_t TParallelDeflater::Position() const {
    return FRing->Position();
}

void TParallelDeflater::KeepHere() {
    FRing->KeepHere();
}

bool TParallelDeflater::Rewind(std::int64_t To) {
    return FRing->Rewind(To);
}

TParallelDeflateResult ParallelDeflate(TStream32& Input, TStream32& Output, TDeflateType Level,
                                       unsigned Threads, TZipCipher* Cipher,
                                       const TParallelDeflateStep& Step) {
    TParallelDeflater deflater(Output, Level, Threads, Cipher, Step);
    for (;;) {
        const std::span<std::uint8_t> room = deflater.Room();
        const std::int64_t n = Input.Read(room.data(), std::ssize(room));
        if (n <= 0) break;
        if (!deflater.Fill(n)) break;
    }
    return deflater.Finish();
}
