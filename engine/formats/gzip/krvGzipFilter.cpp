// The gzip filter over the gzip reader and writer.
#include "engine/core/krvGzipFilter.h"

#include "engine/core/krvCompBase.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvOrderedPrefetch.h"
#include "engine/core/krvParallelDeflate.h"
#include "engine/formats/gzip/krvGZip.h"
#include "engine/formats/gzip/krvGzipRecords.h"
#include "engine/formats/gzip/krvUnGZip.h"

#include <algorithm>
#include <vector>

namespace {

// The first bytes are kept in memory: a file that ends within the whole-buffer limit is
// deflated in one call, as the gzip writer does with such a file. On several threads the
// workers deflate every block as it comes all the same (what they wrote is cut off again when
// the file stays that small); on one thread the blocks wait until the limit is passed.
class TGzipStreamOutput final : public TGzipOutput {
public:
    TGzipStreamOutput(TCompBase& Owner, TStream32& Output, const std::string& StoredName, std::uint32_t MTime)
        : FOutput(Output), FLevel(Owner.DeflateType), FThreads(JobThreads(Owner.Threads)) {
        const std::string header = GzipHeaderBytes(StoredName, MTime, GzipExtraFlags(FLevel));
        Output.WriteBuffer(header.data(), std::ssize(header));
        FDataStart = Output.Position();
        if (FThreads > 1) Start();
    }

    std::int64_t Read(void* /*Buffer*/, std::int64_t /*Count*/) override { return 0; }

    std::int64_t Write(const void* Buffer, std::int64_t Count) override {
        if (Count <= 0) return 0;
        if (FDeflater && !FDeflater->Write(Buffer, Count)) return 0;
        if (!FWhole) return Count;
        const auto* bytes = static_cast<const std::uint8_t*>(Buffer);
        if (FHead.empty()) FHead.reserve(static_cast<std::size_t>(WholeBufferLimit + 1));
        FHead.insert(FHead.end(), bytes, bytes + Count);
        if (std::ssize(FHead) > WholeBufferLimit) {
            FWhole = false;
            if (!FDeflater) Start();
            std::vector<std::uint8_t>().swap(FHead);
        }
        return Count;
    }

    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override {
        const std::int64_t at = Here();
        return (Origin == soBeginning ? Offset : at + Offset) == at ? at : -1;
    }
    std::int64_t GetSize() override { return Here(); }
    void SetSize(std::int64_t NewSize) override {
        if (FDeflater && !FDeflater->Rewind(NewSize)) throw EWriteError(0);
        if (!FWhole) return;
        if (NewSize < 0 || NewSize > std::ssize(FHead)) throw EWriteError(0);
        FHead.resize(static_cast<std::size_t>(NewSize));
        FKeep = std::min(FKeep, NewSize);
    }

    void KeepHere() override {
        FKeep = Here();
        if (FDeflater) FDeflater->KeepHere();
    }

    bool Finish() override {
        std::uint32_t crc = 0xFFFFFFFFU;
        std::int64_t size = 0;
        if (!FWhole) {
            const TParallelDeflateResult packed = FDeflater->Finish();
            if (!packed.Ok) return false;
            crc = packed.Crc;
            size = packed.In;
        } else {
            if (FDeflater) {
                // The workers' blocks give way to the one call.
                FDeflater.reset();
                FOutput.SetSize(FDataStart);
                if (FOutput.Seek(FDataStart, soBeginning) != FDataStart) throw EWriteError(0);
            }
            size = std::ssize(FHead);
            UpdateCrc32Buf(FHead.data(), size, crc);
            crc ^= 0xFFFFFFFFU;
            TWholeDeflater deflater(FLevel);
            std::vector<std::uint8_t> packed(static_cast<std::size_t>(deflater.Bound(size)));
            const std::int64_t n = deflater.Deflate(FHead, packed);
            if (n <= 0) return false;
            FOutput.WriteBuffer(packed.data(), n);
        }
        WriteGzipTrailer(FOutput, crc, size);
        return true;
    }

private:
    std::int64_t Here() const { return FDeflater ? FDeflater->Position() : std::ssize(FHead); }

    // The workers start, given the bytes in memory (with the kept position marked on the way).
    void Start() {
        FDeflater = std::make_unique<TParallelDeflater>(FOutput, FLevel, FThreads, nullptr,
                                                        [](std::int64_t) { return true; });
        FDeflater->Write(FHead.data(), FKeep);
        FDeflater->KeepHere();
        FDeflater->Write(FHead.data() + FKeep, std::ssize(FHead) - FKeep);
    }

    TStream32& FOutput;
    TDeflateType FLevel;
    unsigned FThreads;
    std::int64_t FDataStart = 0; // where the deflate data begin in Output
    bool FWhole = true;          // FHead holds every byte so far
    std::vector<std::uint8_t> FHead;
    std::int64_t FKeep = 0;
    std::unique_ptr<TParallelDeflater> FDeflater;
};

} // namespace

int GunzipFile(TZipCommon& Owner, TStream32& Input, const TGunzipSink& Sink) {
    TUnGZip reader;
    reader.DriveCancelFrom(Owner);
    reader.OnProgress = Owner.OnProgress;
    return reader.DecodeFile(Input, Sink);
}

std::unique_ptr<TGzipOutput> OpenGzipOutput(TCompBase& Owner, TStream32& Output,
                                            const std::string& StoredName, std::uint32_t MTime) {
    return std::make_unique<TGzipStreamOutput>(Owner, Output, StoredName, MTime);
}
