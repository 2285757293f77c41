#include "engine/write/krvCabCompressors.h"

#include "engine/codec/krvLzxEncoder.h"
#include "engine/codec/krvQuantumEncoder.h"

namespace {

class TStoreCompressor : public TFciCompressor {
public:
    bool Compress(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out) override {
        Out.insert(Out.end(), Data, Data + Count);
        return true;
    }
};

class TMsZipCompressor : public TFciCompressor {
public:
    explicit TMsZipCompressor(TDeflateType Level) : FDeflater(Level) {}
    bool Compress(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out) override {
        return FDeflater.Deflate(Data, Count, Out);
    }

private:
    TMsZipBlockDeflater FDeflater;
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

std::unique_ptr<TFciCompressor> MakeCabCompressor(TCOMP Compression, TDeflateType Level) {
    switch (Compression & tcompMASK_TYPE) {
    case tcompTYPE_NONE:
        return std::make_unique<TStoreCompressor>();
    case tcompTYPE_MSZIP:
        return std::make_unique<TMsZipCompressor>(Level == dtDeflateS ? dtDeflateN : Level);
    case tcompTYPE_LZX:
        return std::make_unique<TFrameCompressor<TLzxEncoder>>((Compression >> 8) & 0x1F);
    case tcompTYPE_QUANTUM:
        return std::make_unique<TFrameCompressor<TQuantumEncoder>>((Compression >> 8) & 0x1F);
    default:
        return nullptr;
    }
}
