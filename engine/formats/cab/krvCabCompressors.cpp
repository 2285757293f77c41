#include "engine/formats/cab/krvCabCompressors.h"

#include "engine/codec/krvLzxEncoder.h"
#include "engine/codec/krvQuantumEncoder.h"
#include "engine/core/krvGbls.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace {

class TStoreCompressor : public TFciCompressor {
public:
    bool Compress(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out) override {
        Out.insert(Out.end(), Data, Data + Count);
        return true;
    }
};

// A compressor that works on batches of blocks on several threads; a single block is a batch of
// one.
class TBatchCompressor : public TFciCompressor {
public:
    bool Compress(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out) override {
        std::vector<std::vector<std::uint8_t>> outs;
        if (!CompressBatch(Data, Count, outs, false) || outs.size() != 1) return false;
        Out.insert(Out.end(), outs[0].begin(), outs[0].end());
        return true;
    }

protected:
    // Runs Work(0) .. Work(Workers - 1) at once, Work(0) on this thread.
    static void RunWorkers(std::size_t Workers, const std::function<void(std::size_t)>& Work) {
        std::vector<std::thread> threads;
        for (std::size_t w = 1; w < Workers; ++w)
            threads.emplace_back(Work, w);
        Work(0);
        for (std::thread& t : threads)
            t.join();
    }
};

// MSZIP on several threads: a block depends only on the plain data before it, so the blocks
// of a batch are deflated at once, each after its predecessor's plain bytes.
class TMsZipCompressor : public TBatchCompressor {
public:
    TMsZipCompressor(TDeflateType Level, unsigned Threads) : FLevel(Level), FThreads(std::max(Threads, 1U)) {
        for (unsigned i = 0; i < FThreads; ++i)
            FDeflaters.push_back(std::make_unique<TMsZipBlockDeflater>(Level));
    }
    std::size_t BatchBlocks() const override { return FThreads > 1 ? 4 * FThreads : 1; }
    bool CompressBatch(const std::uint8_t* Data, std::size_t Count,
                       std::vector<std::vector<std::uint8_t>>& Outs, bool /*Last*/) override {
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
        RunWorkers(workers, work);
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

// LZX on several threads: the folder's data are parsed in stretches of StretchFrames frames,
// each with the window before it and nothing else, so the workers parse stretches at once, each
// taking the next one not yet taken (a slow stretch holds up no other worker), while this
// thread writes the frames of the parsed ones in order. Stretches begin at the same places of
// the folder for any count of threads, and a stretch's parse depends only on its data and
// window, so the output is the same.
class TLzxCompressor : public TBatchCompressor {
public:
    static constexpr std::size_t StretchFrames = 32;
    static constexpr std::size_t StretchBytes = StretchFrames * TLzxParser::FrameSize;
    // The E8 translation size the folders declare: call targets anywhere in the first 2^30
    // bytes of a folder, the part that is translated, are made absolute.
    static constexpr std::uint32_t E8Size = std::uint32_t{1} << 30;
    // A batch holds this many stretches per thread: enough that the last stretches of a batch
    // keep few workers waiting, few enough that a cancel is seen soon.
    static constexpr std::size_t BatchStretchesPerThread = 2;

    TLzxCompressor(int WindowBits, unsigned Threads)
        : FWindow(std::size_t{1} << std::clamp(WindowBits, 15, 21)), FThreads(std::max(Threads, 1U)),
          FEncoder(WindowBits, E8Size) {
        for (unsigned i = 0; i < FThreads; ++i)
            FParsers.push_back(std::make_unique<TLzxParser>(WindowBits));
    }
    std::size_t BatchBlocks() const override {
        return FThreads > 1 ? StretchFrames * FThreads * BatchStretchesPerThread : StretchFrames;
    }
    bool CompressBatch(const std::uint8_t* Data, std::size_t Count,
                       std::vector<std::vector<std::uint8_t>>& Outs, bool /*Last*/) override {
        // The window before the batch and the batch, in one piece.
        const std::size_t history = FHistory.size();
        FHistory.insert(FHistory.end(), Data, Data + Count);
        std::uint8_t* data = FHistory.data() + history;
        // What is parsed and sent is the translated data; batches begin on frame boundaries.
        for (std::size_t at = 0; at < Count; at += TLzxParser::FrameSize)
            TLzxEncoder::TranslateE8(data + at, std::min(TLzxParser::FrameSize, Count - at), FPosition + at,
                                     E8Size);
        FPosition += Count;
        const std::size_t stretches = (Count + StretchBytes - 1) / StretchBytes;
        std::vector<std::vector<std::vector<TLzxParser::TToken>>> frames(stretches);
        std::vector<char> parsed(stretches, 0);
        // Workers run at most Ahead stretches beyond the one being written: the tokens in hand
        // stay bounded by the thread count.
        const std::size_t ahead = std::size_t{FThreads} + 2;
        std::size_t taken = 0;   // stretches given to a worker
        std::size_t written = 0; // stretches whose frames are written
        std::mutex lock;
        std::condition_variable changed;
        const auto work = [&](std::size_t Worker) {
            for (;;) {
                std::size_t i = 0;
                {
                    std::unique_lock<std::mutex> guard(lock);
                    changed.wait(guard, [&] { return taken >= stretches || taken < written + ahead; });
                    if (taken >= stretches) return;
                    i = taken++;
                }
                FParsers[Worker]->Parse(data + i * StretchBytes, history + i * StretchBytes,
                                        std::min(StretchBytes, Count - i * StretchBytes), frames[i]);
                const std::lock_guard<std::mutex> guard(lock);
                parsed[i] = 1;
                changed.notify_all();
            }
        };
        const std::size_t workers = std::min<std::size_t>(FThreads, stretches);
        std::vector<std::thread> threads;
        const TScopeExit joinAll{[&] {
            {
                // Workers waiting for room give up when the batch ends early.
                const std::lock_guard<std::mutex> guard(lock);
                taken = stretches;
            }
            changed.notify_all();
            for (std::thread& t : threads)
                t.join();
        }};
        for (std::size_t w = 0; w < workers; ++w)
            threads.emplace_back(work, w);
        const std::size_t blocks = (Count + TLzxParser::FrameSize - 1) / TLzxParser::FrameSize;
        Outs.resize(blocks);
        for (std::size_t s = 0; s < stretches; ++s) {
            {
                std::unique_lock<std::mutex> guard(lock);
                changed.wait(guard, [&] { return parsed[s] != 0; });
            }
            const std::size_t first = s * StretchFrames;
            const std::size_t last = std::min(blocks, first + StretchFrames);
            for (std::size_t b = first; b < last; ++b) {
                Outs[b].clear();
                const std::size_t at = b * TLzxParser::FrameSize;
                FEncoder.EncodeFrame(frames[s][b - first], data + at,
                                     std::min(TLzxParser::FrameSize, Count - at), Outs[b]);
            }
            std::vector<std::vector<TLzxParser::TToken>>().swap(frames[s]);
            {
                const std::lock_guard<std::mutex> guard(lock);
                written = s + 1;
            }
            changed.notify_all();
        }
        // The window the next batch refers back into.
        if (FHistory.size() > FWindow)
            FHistory.erase(FHistory.begin(), FHistory.end() - static_cast<std::ptrdiff_t>(FWindow));
        return true;
    }

private:
    std::size_t FWindow;
    unsigned FThreads;
    TLzxEncoder FEncoder;
    std::vector<std::unique_ptr<TLzxParser>> FParsers;
    std::vector<std::uint8_t> FHistory;
    std::uint64_t FPosition = 0; // the folder's bytes before this batch
};

// An encoder of frames (Quantum) that keeps its window across the folder's blocks.
template <typename TEncoder> class TFrameCompressor : public TFciCompressor {
public:
    template <typename... TArgs> explicit TFrameCompressor(TArgs... Args) : FEncoder(Args...) {}
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
        return std::make_unique<TLzxCompressor>((Compression >> 8) & 0x1F, Threads);
    case tcompTYPE_QUANTUM:
        // The level rides in bits 4..7 of the word, the window in bits 8..12.
        return std::make_unique<TFrameCompressor<TQuantumEncoder>>((Compression >> 8) & 0x1F,
                                                                   (Compression >> 4) & 0xF);
    default:
        return nullptr;
    }
}
