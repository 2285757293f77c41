// Decoding one zip entry: the method dispatch, the stored copy and the inflate loop (both
// crossing the disks of a spanned set), the legacy decoders, and the target a link keeps as its
// data.
#include "engine/codec/krvExplode.h"
#include "engine/codec/krvUnreduce.h"
#include "engine/codec/krvUnshrink.h"
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/zip/krvUnZip.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Decoded data move in chunks of at most this many bytes.
constexpr std::int64_t OutputChunk = 32768;

} // namespace

bool TUnZip::ZipMethodSupported(std::uint16_t Method) {
    return Method == zmStored || (Method >= zmShrunk && Method <= zmImploded) || Method == zmDeflated;
}

void TUnZip::ZipExtractEntry() {
    RunningCrc32 = 0xFFFFFFFF;
    CurrentFileSize = FUncompressedSize;
    // The encryption header was consumed by the password check.
    const std::int64_t packed =
        (FFlags & zfEncrypted) ? std::max<std::int64_t>(FCompressedSize - 12, 0) : FCompressedSize;
    switch (FMethod) {
    case zmStored:
        ZipStoreEntry(packed);
        break;
    case zmShrunk:
    case zmReduced1:
    case zmReduced1 + 1:
    case zmReduced1 + 2:
    case zmReduced4:
    case zmImploded:
        ZipLegacyEntry(packed);
        break;
    case zmDeflated:
        ZipInflateEntry(packed);
        break;
    default:
        // Nothing is written: the entry fails, and a file of that name stays as it was.
        ReportError(FileName, "", "0", ecUnsupportedCompressionMethod);
        MarkEntryFailed();
        break;
    }
}

void TUnZip::ZipStoreEntry(std::int64_t Packed) {
    std::int64_t remaining = UnStore(*FInput, Packed, FUncompressedSize, 32, Encrypted);
    // On a spanned set the data go on at the start of the next disk.
    while (remaining > 0 && FSpanned && !GetCancel()) {
        FDiskSpann.BytesRemaining = remaining;
        if (!RequestNextDisk()) break;
        remaining = UnStore(*FInput, remaining, FUncompressedSize, 32, Encrypted);
    }
    if (remaining > 0 && !GetCancel()) {
        ReportError(FileName, "", "0", ecErrorReadingFile);
        MarkEntryFailed();
    }
}

void TUnZip::PutDecoded(const std::uint8_t* Buffer, std::int64_t Count) {
    // The write routine deciphers in place only when asked to; plain data stay untouched.
    WriteRoutine(OutputStream(), const_cast<std::uint8_t*>(Buffer), Count, true, 32, false);
    EntryBytesDone += Count;
    BytesToDo -= static_cast<double>(Count);
    DoProgress(EntryBytesDone, FUncompressedSize, JobTotal);
}

bool TUnZip::ZipInflateWhole(std::int64_t Packed) {
    // Only data that lie whole on this disk, in plain form, of sizes that fit in memory.
    if (FSpanned || Encrypted || Packed <= 0 || Packed > WholeBufferLimit ||
        FUncompressedSize > WholeBufferLimit)
        return false;
    std::vector<std::uint8_t> plain;
    const auto putAll = [&] {
        for (std::int64_t at = 0; at < FUncompressedSize && !GetCancel(); at += OutputChunk)
            PutDecoded(plain.data() + at, std::min(OutputChunk, FUncompressedSize - at));
        return true;
    };
    if (TakeInflated(plain)) return putAll();
    const std::int64_t start = FInput->Position();
    std::vector<std::uint8_t> packed(static_cast<std::size_t>(Packed));
    plain.resize(static_cast<std::size_t>(FUncompressedSize));
    const bool read = FInput->Read(packed.data(), Packed) == Packed;
    if (!FWholeInflater) FWholeInflater = std::make_unique<TWholeInflater>();
    if (!read || !FWholeInflater->Inflate(packed, plain)) {
        // Damaged, cut short or not of the size the entry gives: the stream decoder says where.
        FInput->Seek(start, soBeginning);
        return false;
    }
    return putAll();
}

void TUnZip::ZipInflateEntry(std::int64_t Packed) {
    if (ZipInflateWhole(Packed)) return;
    if (!FSpanned && !Encrypted && InflateEntryAhead(FInput->Position(), FUncompressedSize)) return;
    std::function<bool(TDecompressStream&)> nextDisk;
    if (FSpanned) {
        // The disk ended inside the entry's data: they go on at the start of the next.
        nextDisk = [this, Packed](TDecompressStream& Input) {
            FDiskSpann.BytesRemaining = std::max<std::int64_t>(Packed - Input.TotalIn(), 0);
            return RequestNextDisk();
        };
    }
    InflateEntry(*FInput, FUncompressedSize, Encrypted, nextDisk);
}

std::string TUnZip::ZipLinkTarget() {
    constexpr std::int64_t MaxTarget = 4096;
    if (FSpanned || (FFlags & zfEncrypted) || (FMethod != 0 && FMethod != 8) || FCompressedSize <= 0 ||
        FCompressedSize > MaxTarget || FUncompressedSize <= 0 || FUncompressedSize > MaxTarget)
        return {};
    std::vector<std::uint8_t> packed(static_cast<std::size_t>(FCompressedSize));
    if (ReadAt(*FInput, FDataStart, packed.data(), FCompressedSize) != FCompressedSize) return {};
    std::string target(static_cast<std::size_t>(FUncompressedSize), '\0');
    if (FMethod == 0) {
        if (FCompressedSize != FUncompressedSize) return {};
        std::memcpy(target.data(), packed.data(), packed.size());
    } else {
        if (!FWholeInflater) FWholeInflater = std::make_unique<TWholeInflater>();
        if (!FWholeInflater->Inflate(packed, {reinterpret_cast<std::uint8_t*>(target.data()), target.size()}))
            return {};
    }
    return target;
}

void TUnZip::ZipLegacyEntry(std::int64_t Packed) {
    TDecoderIO io;
    // The read routine deciphers the packed bytes of an encrypted entry.
    io.Input = [this](std::uint8_t* Buffer, std::int64_t Count) {
        return ReadRoutine(*FInput, Buffer, Count, 0, Encrypted);
    };
    io.Output = [this](const std::uint8_t* Buffer, std::int64_t Count) { PutDecoded(Buffer, Count); };
    io.PackedSize = Packed;
    io.UnpackedSize = FUncompressedSize;
    io.CancelFlag = CancelPtr;
    TDecodeResult result;
    try {
        if (FMethod == zmShrunk)
            result = ZipUnshrink(io);
        else if (FMethod == zmImploded)
            result = ZipExplode(io, (FFlags & zfOption1) != 0, (FFlags & zfOption2) != 0);
        else
            result = ZipUnreduce(io, FMethod - 1);
    } catch (const E_RAISE& e) {
        // A failed write has been reported and ends the job; damaged data end this entry.
        if (e.Code() == ecErrorWritingToFile || e.Code() == ecDiskFull) throw;
        ReportError(FileName, "", "0", e.Code());
        MarkEntryFailed();
        return;
    }
    if (result.ErrorCode != 0 && !result.Cancelled) {
        ReportError(FileName, "", "0", result.ErrorCode);
        MarkEntryFailed();
    }
    if (!result.Cancelled && result.Produced < FUncompressedSize)
        BytesToDo -= static_cast<double>(FUncompressedSize - result.Produced);
}
