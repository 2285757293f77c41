#include "engine/write/krvCabCompressors.h"

#include "engine/codec/krvLzxEncoder.h"
#include "engine/codec/krvQuantumEncoder.h"

#include <algorithm>
#include <thread>

namespace {

class TStoreCompressor : public TFciCompressor {
public:
    bool Compress(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out) override {
        Out.insert(Out.end(), Data, Data + Count);
        return true;
    }
};

// MSZIP on several threads: a block depends only on the plain data before it, so the blocks
// of a batch are deflated at once, each after its predecessor's plain bytes.
class TMsZipCompressor : public TFciCompressor {
public:
    TMsZipCompressor(TDeflateType Level, unsigned Threads) : FLevel(Level), FThreads(std::max(Threads, 1U)) {
        for (unsigned i = 0; i < FThreads; ++i)
            FDeflaters.push_back(std::make_unique<TMsZipBlockDeflater>(Level));
    }
    bool Compress(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out) override {
        std::vector<std::vector<std::uint8_t>> outs;
        if (!CompressBatch(Data, Count, outs) || outs.size() != 1) return false;
        Out.insert(Out.end(), outs[0].begin(), outs[0].end());
        return true;
    }
    std::size_t BatchBlocks() const override { return FThreads > 1 ? 4 * FThreads : 1; }
    bool CompressBatch(const std::uint8_t* Data, std::size_t Count,
                       std::vector<std::vector<std::uint8_t>>& Outs) override {
        const std::size_t blocks = (Count + CabBlockSize - 1) / CabBlockSize;
        Outs.resize(blocks);
        std::vector<char> ok(blocks, 0);
        const auto work = [&](std::size_t Worker) {
            for (std::size_t i = Worker; i < blocks; i += FThreads) {
                Outs[i].clear();
                const std::uint8_t* history = i == 0 ? FHistory.data() : Data + (i - 1) * CabBlockSize;
                const std::size_t historyCount = i == 0 ? FHistory.size() : CabBlockSize;
                ok[i] = FDeflaters[Worker]->DeflateAfter(history, historyCount, Data + i * CabBlockSize,
                                                         std::min(CabBlockSize, Count - i * CabBlockSize),
                                                         Outs[i]);
            }
        };
        const std::size_t workers = std::min<std::size_t>(FThreads, blocks);
        std::vector<std::thread> threads;
        for (std::size_t w = 1; w < workers; ++w)
            threads.emplace_back(work, w);
        work(0);
        for (std::thread& t : threads)
            t.join();
        // The window the next batch refers back into.
        FHistory.insert(FHistory.end(), Data, Data + Count);
        if (FHistory.size() > CabBlockSize)
            FHistory.erase(FHistory.begin(), FHistory.end() - static_cast<std::ptrdiff_t>(CabBlockSize));
        return std::all_of(ok.begin(), ok.end(), [](char C) { return C != 0; });
    }

private:
    TDeflateType FLevel;
    unsigned FThreads;
    std::vector<std::unique_ptr<TMsZipBlockDeflater>> FDeflaters;
    std::vector<std::uint8_t> FHistory;
};

// An encoder of frames (LZX, Quantum) that keeps its window across the folder's blocks.
template <typename TEncoder> class TFrameCompressor : public TFciCompressor {
public:
    explicit TFrameCompressor(int WindowBits) : FEncoder(WindowBits) {}
    bool Compress(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out) override {
        FEncoder.EncodeFrame(Data, Count, Out);
        return true;
    }

private:
    TEncoder FEncoder;
};

} // namespace

std::unique_ptr<TFciCompressor> MakeCabCompressor(TCOMP Compression, TDeflateType Level, unsigned Threads) {
    switch (Compression & tcompMASK_TYPE) {
    case tcompTYPE_NONE:
        return std::make_unique<TStoreCompressor>();
    case tcompTYPE_MSZIP:
        return std::make_unique<TMsZipCompressor>(Level == dtDeflateS ? dtDeflateN : Level, Threads);
    case tcompTYPE_LZX:
        return std::make_unique<TFrameCompressor<TLzxEncoder>>((Compression >> 8) & 0x1F);
    case tcompTYPE_QUANTUM:
        return std::make_unique<TFrameCompressor<TQuantumEncoder>>((Compression >> 8) & 0x1F);
    default:
        return nullptr;
    }
}
