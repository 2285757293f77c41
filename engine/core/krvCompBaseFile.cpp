// Adding one gathered file: opening it, storing or deflating its data (with the traditional
// cipher when a password is set) and completing its header.
#include "engine/core/krvCompBase.h"

#include "engine/core/krvParallelDeflate.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvFileIo.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Files up to this size are deflated in memory first and stored when that does not help.
constexpr std::int64_t SmallFileSize = 256;
// Bytes read from an input file at a time.
constexpr std::int64_t ReadBlock = 256 * 1024;

} // namespace

bool TCompBase::AddFile(TCompHeaderObj& List, int Index) {
    TCompEntry& e = Entry(Index);
    std::string name = List.Name(Index);
    if (!DoBegin(name, FilesProcessed, List, Index)) return false;
    InitHeader(List, Index);
    if (e.IsDir) {
        TMemoryStream32 none;
        return CompressFile(none, List, Index);
    }
    struct stat st {};
    std::unique_ptr<TFileStream32> input = OpenGatheredFile(e.SourcePath, st);
    if (!input) return false;
    return CompressFile(*input, List, Index);
}

std::unique_ptr<TFileStream32> TCompBase::OpenGatheredFile(const std::string& Path, struct stat& St) {
    // Only a regular file is read, and never the archive being built.
    TUniqueFd fd = OpenForReading(Path);
    if (!fd || ::fstat(fd.Get(), &St) != 0 || !S_ISREG(St.st_mode) || NeverGathered(St)) {
        // The system's reason when it gave one (a file this user may not read, say).
        ReportError(Path, fd ? "" : std::strerror(errno), "0", ecErrorOpeningFile);
        return nullptr;
    }
    return std::make_unique<TFileStream32>(fd.Release());
}

bool TCompBase::NeverGathered(const struct stat& St) const {
    return NeverGathered(St.st_dev, St.st_ino);
}

bool TCompBase::NeverGathered(std::uint64_t Device, std::uint64_t Inode) const {
    return std::find(FNeverGather.begin(), FNeverGather.end(),
                     std::pair<std::uint64_t, std::uint64_t>(Device, Inode)) != FNeverGather.end();
}

// Reads Input to its end through Codec, stopping once more than Limit bytes went through;
// returns the bytes read, -1 when cancelled.
static std::int64_t PumpThrough(TStream32& Input, TStream32& Codec, const bool* CancelFlag,
                                std::int64_t Limit) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(ReadBlock));
    std::int64_t total = 0;
    for (;;) {
        if (CancelFlag && *CancelFlag) return -1;
        const std::int64_t n = Input.Read(buffer.data(), ReadBlock);
        if (n <= 0) break;
        Codec.WriteBuffer(buffer.data(), n);
        total += n;
        if (total > Limit) break;
    }
    return total;
}

bool TCompBase::StoreFile(TStream32& Input) {
    TJobRecord record;
    record.BytesToDo = &BytesToDo;
    TStoreStream store(*FOutput, StreamProgressEvent(), CancelPtr, record, 32);
    if (FEntryEncrypted) store.Cipher = &Cipher;
    const std::int64_t n = PumpThrough(Input, store, CancelPtr, MaxEntryBytes());
    FEntryCrc = store.Crc() ^ 0xFFFFFFFFU;
    FEntryUnpacked = n;
    return n >= 0;
}

bool TCompBase::CompressFile(TStream32& Input, TCompHeaderObj& List, int Index) {
    TCompEntry& e = Entry(Index);
    BeginEntry();
    if (e.IsDir) return AddFolderEntry(List, Index);

    const bool compress = DeflateType != dtDeflateS && !IsStoredType(List.Name(Index));
    const std::int64_t size = Input.Size();
    if (size > MaxEntryBytes()) Fail(e.SourcePath, "", ecMaxFileSizeExceeded);
    CurrentFileSize = size;
    FEntryEncrypted = size > 0 && !Password.empty();
    FEntryMethod = size > 0 && compress ? 8 : 0;
    FEntryDeflated = FEntryMethod == 8;

    WriteLocalHeader(*FOutput); // a place holder, written again with the final values
    const std::int64_t dataStart = FOutput->Position();
    // Files that fit in memory are deflated in one call; larger ones stream.
    TWholeFile whole = TWholeFile::TooLarge;
    if (FPrefetch && size > SmallFileSize && compress) whole = WritePrefetched(Input, Index);
    if (whole == TWholeFile::TooLarge && size > 0 && compress && size <= WholeBufferLimit)
        whole = WriteWholeFile(Input, size, size <= SmallFileSize ? SmallFileSize : WholeBufferLimit,
                               e.SourcePath);
    if (whole == TWholeFile::Failed) return false;
    if (whole == TWholeFile::TooLarge && !WriteFileData(Input, size, e.SourcePath)) return false;
    CompleteEntry(List, Index, dataStart);
    return true;
}

void TCompBase::BeginEntry(std::int64_t At) {
    FHeaderPos = At >= 0 ? At : FOutput->Position();
    FEntryCrc = 0;
    FEntryMethod = 0;
    FEntryEncrypted = false;
    FEntryDeflated = false;
    FEntryUnpacked = 0;
    CurrentFileSize = 0;
}

bool TCompBase::AddFolderEntry(TCompHeaderObj& List, int Index) {
    SetHeaderFields(0, 0);
    WriteLocalHeader(*FOutput);
    Entry(Index).NewLength = FOutput->Position() - FHeaderPos;
    StoreHeader(List, Index);
    DoFileEnd();
    return !Cancel();
}

TCompBase::TWholeFile TCompBase::WriteWholeFile(TStream32& Input, std::int64_t Size, std::int64_t Limit,
                                                const std::string& SourcePath) {
    // One byte more than the file had tells that it grew.
    const std::int64_t room = std::min(Size, Limit) + 1;
    std::vector<std::uint8_t> plain(static_cast<std::size_t>(room));
    std::int64_t n = 0;
    for (std::int64_t r; n < room && (r = Input.Read(plain.data() + n, room - n)) > 0;)
        n += r;
    CheckCancel();
    if (n == room) {
        // It grew since it was found: it goes the way of a large file.
        SeekOrFail(Input, 0, SourcePath);
        return TWholeFile::TooLarge;
    }
    if (n < Size) {
        // Fewer bytes than the file had: a read error, or the file shrank while being read.
        ReportError(SourcePath, "", "0", ecErrorReadingFile);
        return TWholeFile::Failed;
    }
    plain.resize(static_cast<std::size_t>(n));
    std::uint32_t crc = 0xFFFFFFFFU;
    UpdateCrc32Buf(plain.data(), n, crc);
    if (!FWholeDeflater || FWholeDeflaterType != DeflateType) {
        FWholeDeflater = std::make_unique<TWholeDeflater>(DeflateType);
        FWholeDeflaterType = DeflateType;
    }
    std::vector<std::uint8_t> packed(static_cast<std::size_t>(FWholeDeflater->Bound(n)));
    packed.resize(static_cast<std::size_t>(FWholeDeflater->Deflate(plain, packed)));
    // A small file is stored when deflating does not make it smaller.
    const bool deflated = !packed.empty() && (n > SmallFileSize || std::ssize(packed) < n);
    PutWholeEntry(deflated ? packed : plain, deflated, n, crc ^ 0xFFFFFFFFU);
    return TWholeFile::Written;
}

TCompBase::TWholeFile TCompBase::WritePrefetched(TStream32& Input, int Index) {
    TPrefetched ahead;
    // Only a result read from the very file opened here, unchanged since, is used.
    TPrefetched opened;
    const auto* handle = dynamic_cast<THandleStream32*>(&Input);
    if (!FPrefetch->Take(Index, ahead) || !ahead.Ok || !handle ||
        !TPrefetched::Identify(handle->Handle, opened) || opened.Device != ahead.Device ||
        opened.Inode != ahead.Inode || opened.Size != ahead.Size || opened.ModifiedNs != ahead.ModifiedNs)
        return TWholeFile::TooLarge;
    CheckCancel();
    PutWholeEntry(ahead.Packed, true, ahead.Size, ahead.Crc);
    return TWholeFile::Written;
}

void TCompBase::PutWholeEntry(std::vector<std::uint8_t>& Bytes, bool Deflated, std::int64_t Plain,
                              std::uint32_t Crc) {
    FEntryCrc = Crc;
    FEntryMethod = Deflated ? 8 : 0;
    FEntryDeflated = Deflated;
    FEntryEncrypted = Plain > 0 && !Password.empty();
    if (FEntryEncrypted) {
        WriteCipherHeader(FEntryCrc);
        Cipher.EncryptBuf(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
    }
    FOutput->WriteBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
    BytesToDo -= static_cast<double>(Plain);
    FEntryUnpacked = Plain;
    DoProgress(Plain, Plain, JobTotal);
}

bool TCompBase::DeflatesWhole(const std::string& Name, std::int64_t Size) const {
    return Size > 0 && Size <= WholeBufferLimit && DeflateType != dtDeflateS && !IsStoredType(Name);
}

void TCompBase::StartPrefetch(TCompHeaderObj& List) {
    FPrefetch.reset();
    const unsigned threads = JobThreads(Threads);
    if (threads < 2) return;
    std::vector<TPrefetchJob> jobs;
    for (int i = 0; i < List.Count(); ++i) {
        const TCompEntry& e = Entry(i);
        if (List.Value(i) == hkAdd && !e.IsDir && e.SourceSize > SmallFileSize &&
            e.SourceSize <= MaxPrefetchFileSize && DeflatesWhole(List.Name(i), e.SourceSize))
            jobs.push_back({i, e.SourcePath});
    }
    if (jobs.size() > 1) FPrefetch = StartDeflatePrefetch(std::move(jobs), DeflateType, threads);
}

bool TCompBase::WriteFileData(TStream32& Input, std::int64_t Size, const std::string& SourcePath) {
    // An empty file is stored; should it have grown since it was found, its data are too.
    if (Size == 0) {
        FEntryMethod = 0;
        FEntryDeflated = false;
    }
    std::uint32_t firstCrc = 0;
    if (!Password.empty()) {
        // The cipher header carries the CRC, so the data are checksummed first.
        TJobRecord record;
        TCalcStreamCRC calc(Input, StreamProgressEvent(), CancelPtr, 0, record, 32);
        CheckCancel();
        firstCrc = calc.Crc() ^ 0xFFFFFFFFU;
        SeekOrFail(Input, 0, SourcePath);
        FEntryEncrypted = calc.Copied() > 0;
        if (FEntryEncrypted) WriteCipherHeader(firstCrc);
    }
    bool ok = true;
    if (FEntryDeflated && Size > WholeBufferLimit) {
        // A large file: deflated in blocks on the job's threads into the entry's one stream.
        std::int64_t done = 0;
        const TParallelDeflateResult packed =
            ParallelDeflate(Input, *FOutput, DeflateType, JobThreads(Threads),
                            FEntryEncrypted ? &Cipher : nullptr, [&](std::int64_t Block) {
                                // Counted by the blocks written, not read: the same for any
                                // thread count.
                                done += Block;
                                BytesToDo -= static_cast<double>(Block);
                                if (OnProgress) DoProgress(done, CurrentFileSize, JobTotal);
                                EngineHost::PumpIfDue();
                                return !Cancel();
                            });
        CheckCancel();
        ok = packed.Ok;
        FEntryUnpacked = packed.In;
        FEntryCrc = packed.Crc;
    } else if (FEntryDeflated) {
        TJobRecord record;
        record.BytesToDo = &BytesToDo;
        TCompressStream deflate(*FOutput, StreamProgressEvent(), CancelPtr, record, DeflateType);
        if (FEntryEncrypted) deflate.Cipher = &Cipher;
        FEntryUnpacked = PumpThrough(Input, deflate, CancelPtr, MaxEntryBytes());
        CheckCancel();
        ok = deflate.Finish() == Z_OK;
        FEntryCrc = deflate.Crc() ^ 0xFFFFFFFFU;
    } else {
        ok = StoreFile(Input);
    }
    CheckCancel();
    if (FEntryUnpacked > MaxEntryBytes()) Fail(SourcePath, "", ecMaxFileSizeExceeded);
    if (!ok) {
        ReportError(SourcePath, "", "0", ecErrorWritingToFile);
        return false;
    }
    if (FEntryUnpacked < Size) {
        // Fewer bytes than the file had: a read error, or the file shrank while being read.
        ReportError(SourcePath, "", "0", ecErrorReadingFile);
        return false;
    }
    if (FEntryEncrypted && FEntryCrc != firstCrc) {
        // The file changed between the two reads: its cipher header would not fit its data.
        ReportError(SourcePath, "", "0", ecFileFailsCRCCheck);
        return false;
    }
    if (FEntryUnpacked == 0) {
        FEntryCrc = 0;
        FEntryEncrypted = false;
    }
    return true;
}

void TCompBase::WriteCipherHeader(std::uint32_t Crc) {
    std::array<std::uint8_t, CryptHeaderSize> header{};
    Cipher.MakeCryptHeader(Password, Crc, header);
    FOutput->WriteBuffer(header.data(), CryptHeaderSize);
}

void TCompBase::CompleteEntry(TCompHeaderObj& List, int Index, std::int64_t DataStart) {
    TStream32& out = *FOutput;
    const std::int64_t packedSize = out.Position() - DataStart;
    if (packedSize > MaxEntryBytes() || out.Position() > MaxArchiveSize())
        Fail(ArchiveFile(), "", ecMaxFileSizeExceeded);
    SetHeaderFields(FEntryUnpacked, packedSize);
    DoFileEnd();
    const std::int64_t end = out.Position();
    SeekOrFail(out, FHeaderPos, ArchiveFile());
    WriteLocalHeader(out);
    SeekOrFail(out, end, ArchiveFile());
    Entry(Index).NewLength = end - FHeaderPos;
    StoreHeader(List, Index);
}

void TCompBase::SeekOrFail(TStream32& Stream, std::int64_t Position, const std::string& FileName) {
    if (Stream.Seek(Position, soBeginning) != Position) Fail(FileName, "", ecSeekError);
}
