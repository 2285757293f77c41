// The reader base's bridge to the codecs: an entry's packed bytes in, its decoded bytes out.
#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvDecodeAhead.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvFileIo.h"
#include "engine/core/krvOutputPath.h"
#include "engine/core/krvUnBase.h"

#include "engine/core/krvDeflatePrefetch.h"

#include <algorithm>
#include <vector>

namespace {

// Inflated data move in chunks of at most this many bytes.
constexpr std::int64_t InflateChunk = 32768;
// Entries from this size on are decoded on a thread of their own when they are not decoded
// ahead whole.
constexpr std::int64_t MinInflateAhead = std::int64_t{4} << 20;

} // namespace

void TUnBase::PutDecodedBlock(const std::uint8_t* Buffer, std::int64_t Count, int CrcWidth,
                              std::int64_t Unpacked) {
    // The write routine deciphers in place only when asked to; decoded data stay untouched.
    WriteRoutine(OutputStream(), const_cast<std::uint8_t*>(Buffer), Count, true, CrcWidth, false);
    EntryBytesDone += Count;
    BytesToDo -= static_cast<double>(Count);
    DoProgress(EntryBytesDone, Unpacked, JobTotal);
}

void TUnBase::FinishDecode(TDecodeResult Result, std::int64_t Unpacked) {
    if (Result.Cancelled) return;
    if (Result.ErrorCode == 0 && Result.Produced < Unpacked) Result.ErrorCode = ecUnexpectedEndOfFile;
    if (Result.ErrorCode != 0) {
        ReportError(FileName, "", "0", Result.ErrorCode);
        MarkEntryFailed();
    }
    if (Result.Produced < Unpacked) BytesToDo -= static_cast<double>(Unpacked - Result.Produced);
}

void TUnBase::DecodeEntry(TStream32& Input, std::int64_t Packed, std::int64_t Unpacked, int CrcWidth,
                          bool ReadEncrypted,
                          const std::function<TDecodeResult(const TDecoderIO&)>& Decoder) {
    TDecoderIO io;
    io.Input = [&](std::uint8_t* Buffer, std::int64_t Count) {
        return ReadRoutine(Input, Buffer, Count, 0, ReadEncrypted);
    };
    io.Output = [&](const std::uint8_t* Buffer, std::int64_t Count) {
        PutDecodedBlock(Buffer, Count, CrcWidth, Unpacked);
    };
    io.PackedSize = Packed;
    io.UnpackedSize = Unpacked;
    io.CancelFlag = CancelPtr;
    TDecodeResult result;
    try {
        result = Decoder(io);
    } catch (const E_RAISE& e) {
        // A failed write has been reported and ends the job; damaged data end this entry.
        if (e.Code() == ecErrorWritingToFile || e.Code() == ecDiskFull) throw;
        result.ErrorCode = e.Code();
        result.Produced = EntryBytesDone;
    }
    FinishDecode(result, Unpacked);
}

bool TUnBase::TakeDecodedAhead(std::int64_t DataPos, int CrcWidth, std::int64_t Unpacked) {
    TDecoded ahead;
    if (!FDecodePrefetch || !FDecodePrefetch->Take(FSelectedIndex, ahead) || ahead.DataPos != DataPos)
        return false;
    // The output comes in the blocks the decoder gave it.
    std::int64_t at = 0;
    for (const std::int64_t block : ahead.Blocks) {
        if (GetCancel()) {
            ahead.Result.Cancelled = true;
            break;
        }
        PutDecodedBlock(ahead.Plain.data() + at, block, CrcWidth, Unpacked);
        at += block;
    }
    FinishDecode(ahead.Result, Unpacked);
    return true;
}

bool TUnBase::DecodesAhead(std::int64_t Packed, std::int64_t Unpacked) {
    return Packed > 0 && Packed <= MaxPrefetchFileSize && Unpacked <= MaxPrefetchFileSize;
}

void TUnBase::StartDecodePrefetch(std::vector<TDecodeJob> Jobs) {
    FDecodePrefetch.reset();
    FDataInArchiveFile = true;
    const unsigned threads = JobThreads(Threads);
    if (threads < 2) return;
    std::erase_if(
        Jobs, [](const TDecodeJob& Job) { return !Job.Decoder || !DecodesAhead(Job.Packed, Job.Unpacked); });
    if (Jobs.size() < 2) return;
    std::vector<int> indexes;
    std::vector<std::int64_t> costs;
    indexes.reserve(Jobs.size());
    costs.reserve(Jobs.size());
    for (const TDecodeJob& job : Jobs) {
        indexes.push_back(job.Index);
        costs.push_back(job.Unpacked);
    }
    auto jobs = std::make_shared<const std::vector<TDecodeJob>>(std::move(Jobs));
    const std::string archive = ArchiveFile();
    auto makeWork = [jobs, archive]() -> TOrderedPrefetch<TDecoded>::TWork {
        auto file = std::make_shared<TUniqueFd>(OpenForReading(archive));
        return [jobs, file](int Index) {
            const TDecodeJob& job = *std::lower_bound(jobs->begin(), jobs->end(), Index,
                                                      [](const TDecodeJob& J, int I) { return J.Index < I; });
            TDecoded decoded;
            decoded.DataPos = job.DataPos;
            std::vector<std::uint8_t> packed(static_cast<std::size_t>(job.Packed));
            const std::int64_t got = ReadFileAt(file->Get(), job.DataPos, packed.data(), job.Packed);
            std::int64_t at = 0;
            TDecoderIO io;
            io.Input = [&](std::uint8_t* Buffer, std::int64_t Count) {
                const std::int64_t n = std::min(Count, got - at);
                std::copy_n(packed.data() + at, n, Buffer);
                at += n;
                return n;
            };
            io.Output = [&](const std::uint8_t* Buffer, std::int64_t Count) {
                decoded.Plain.insert(decoded.Plain.end(), Buffer, Buffer + Count);
                decoded.Blocks.push_back(Count);
            };
            io.PackedSize = job.Packed;
            io.UnpackedSize = job.Unpacked;
            try {
                decoded.Result = job.Decoder(io);
            } catch (const E_RAISE& e) {
                decoded.Result.ErrorCode = e.Code();
                decoded.Result.Produced = static_cast<std::int64_t>(decoded.Plain.size());
            }
            return decoded;
        };
    };
    // Entries go on ahead while the reader decodes a large one itself, within the memory that
    // threads entries of the largest size taken would hold.
    FDecodePrefetch = std::make_unique<TOrderedPrefetch<TDecoded>>(std::move(indexes), makeWork, threads,
                                                                   costs, threads * MaxPrefetchFileSize);
}

void TUnBase::CopyStoredEntry(TStream32& Input, std::int64_t Packed, std::int64_t Unpacked, int CrcWidth,
                              bool ReadEncrypted) {
    if (UnStore(Input, Packed, Unpacked, CrcWidth, ReadEncrypted) > 0 && !GetCancel()) {
        ReportError(FileName, "", "0", ecUnexpectedEndOfFile);
        MarkEntryFailed();
    }
}

bool TUnBase::RefuseEntry(int ECode, std::int64_t EntrySize, int CrcWidth, std::uint32_t StoredCrc) {
    if (ECode != 0) ReportError(FileName, "", "0", ECode);
    MarkEntryFailed();
    SkipEntry(EntrySize);
    CheckCrc(CrcWidth, StoredCrc);
    return false;
}

bool TUnBase::StoredSizesAgree(std::int64_t Packed, std::int64_t Unpacked, int CrcWidth,
                               std::uint32_t StoredCrc) {
    if (Packed == Unpacked) return true;
    ReportError(FileName, "stored entry's sizes differ", "0", ecBadFileHeader);
    return RefuseEntry(0, Unpacked, CrcWidth, StoredCrc);
}

void TUnBase::SetCurrentEntry(const std::string& LocalName, std::uint16_t AMethod, std::int64_t Packed,
                              std::int64_t Unpacked, std::uint32_t Crc, bool IsEncrypted,
                              std::int64_t HeaderPos) {
    HostSystem = 0;
    Method = AMethod;
    PackedSize = Packed;
    UnpackedSize = Unpacked;
    CRC = Crc;
    Encrypted = IsEncrypted;
    CurrentFileSize = Unpacked;
    FEntryUnnamed = HeaderPos >= 0 && NamesNoFile(LocalName);
    if (FEntryUnnamed)
        FileName = UnnamedEntryName(LocalName, HeaderPos);
    else if (IsFileOutput())
        SetCurrentFileName(LocalName);
    else
        FileName = ShownStoredName(LocalName);
}

bool TUnBase::NamesNoFile(const std::string& LocalName) {
    std::vector<std::string> parts;
    bool folder = false;
    return SplitStoredName(LocalName, parts, folder) && parts.empty();
}

std::string TUnBase::UnnamedEntryName(const std::string& LocalName, std::int64_t HeaderPos) {
    return "entry at offset " + std::to_string(HeaderPos) + " named \"" + LocalName + "\"";
}

bool TUnBase::ExtractEntryData(TStream32& Input, const std::string& LocalName, const TEntryData& Data,
                               const std::function<TDecodeResult(const TDecoderIO&)>& Decoder) {
    if (!OpenOutputFile(LocalName, FileName, false))
        return RefuseEntry(0, Data.Unpacked, Data.CrcWidth, Data.Crc);
    RunningCrc16 = 0;
    RunningCrc32 = 0xFFFFFFFF;
    Input.Seek(Data.DataPos, soBeginning);
    if (Decoder && (TakeDecodedAhead(Data.DataPos, Data.CrcWidth, Data.Unpacked) ||
                    DecodeEntryAhead(Data.DataPos, Data.Packed, Data.Unpacked, Data.CrcWidth, Decoder))) {
        // Decoded on other threads.
    } else if (Decoder)
        DecodeEntry(Input, Data.Packed, Data.Unpacked, Data.CrcWidth, false, Decoder);
    else
        CopyStoredEntry(Input, Data.Packed, Data.Unpacked, Data.CrcWidth, false);
    RunningCrc32 ^= 0xFFFFFFFF;
    CloseOutputFile(Data.Attr, Data.Time);
    return CheckCrc(Data.CrcWidth, Data.Crc);
}

void TUnBase::InflateEntry(TStream32& Input, std::int64_t Unpacked, bool Enciphered,
                           const std::function<bool(TDecompressStream&)>& MoreInput) {
    TDecompressStream input(Input);
    input.CancelFlagPtr = CancelPtr;
    if (Enciphered) input.Cipher = &Cipher;
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::clamp<std::int64_t>(Unpacked, 1, InflateChunk)));
    std::int64_t remaining = Unpacked;
    while (remaining > 0) {
        if (GetCancel()) return;
        const std::int64_t chunk = std::min(remaining, InflateChunk);
        const std::int64_t got = input.Read(buffer.data(), chunk);
        if (got > 0) {
            PutDecodedBlock(buffer.data(), got, 32, Unpacked);
            remaining -= got;
        }
        if (got == chunk) continue;
        if (GetCancel()) return;
        if (input.Status() == Z_BUF_ERROR && !input.EndOfStream() && MoreInput) {
            if (!MoreInput(input)) {
                MarkEntryFailed();
                return;
            }
            input.ClearInput();
            continue;
        }
        // Damaged or truncated data, or data that end before the size the entry gives.
        BytesToDo -= static_cast<double>(remaining);
        const int code = input.ErrorCode();
        ReportError(FileName, "", "0", code ? code : ecDecompressionError);
        MarkEntryFailed();
        return;
    }
}

TUniqueFd TUnBase::ArchiveForDecodeAhead(std::int64_t Unpacked) const {
    if (Unpacked < MinInflateAhead || !IsFileOutput() || JobThreads(Threads) < 2) return {};
    return OpenForReading(ArchiveFile());
}

bool TUnBase::DecodeEntryAhead(std::int64_t DataPos, std::int64_t Packed, std::int64_t Unpacked, int CrcWidth,
                               const std::function<TDecodeResult(const TDecoderIO&)>& Decoder) {
    if (!FDataInArchiveFile) return false;
    TUniqueFd file = ArchiveForDecodeAhead(Unpacked);
    if (!file) return false;
    TDecodeAhead input(std::move(file), DataPos, Packed, Unpacked, Decoder);
    // The output comes in the pieces the decoder gave it, as TakeDecodedAhead replays them.
    TDecodeResult result;
    for (;;) {
        if (GetCancel()) {
            result.Cancelled = true;
            break;
        }
        const std::span<const std::uint8_t> piece = input.Next();
        if (input.Ended()) {
            result = input.Result();
            break;
        }
        PutDecodedBlock(piece.data(), static_cast<std::int64_t>(piece.size()), CrcWidth, Unpacked);
    }
    FinishDecode(result, Unpacked);
    return true;
}

bool TUnBase::InflateEntryAhead(std::int64_t DataPos, std::int64_t Unpacked) {
    TUniqueFd file = ArchiveForDecodeAhead(Unpacked);
    if (!file) return false;
    TDecodeAhead input(std::move(file), DataPos, Unpacked, InflateChunk);
    // The loop of InflateEntry, the pieces coming from the other thread.
    std::int64_t remaining = Unpacked;
    while (remaining > 0) {
        if (GetCancel()) return true;
        const std::int64_t chunk = std::min(remaining, InflateChunk);
        const std::span<const std::uint8_t> piece = input.Next();
        const auto got = static_cast<std::int64_t>(piece.size());
        if (got > 0) {
            PutDecodedBlock(piece.data(), got, 32, Unpacked);
            remaining -= got;
        }
        if (got == chunk) continue;
        if (GetCancel()) return true;
        BytesToDo -= static_cast<double>(remaining);
        const int code = input.ErrorCode();
        ReportError(FileName, "", "0", code ? code : ecDecompressionError);
        MarkEntryFailed();
        return true;
    }
    return true;
}
