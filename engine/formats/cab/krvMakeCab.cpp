#include "engine/formats/cab/krvMakeCab.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvDeflatePrefetch.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvFileIo.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvTempEntries.h"
#include "engine/formats/cab/krvCabCompressors.h"
#include "engine/read/krvReaders.h"
#include "platform/FileAttributes.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

// The attribute that marks a cabinet name as UTF-8.
constexpr std::uint16_t CabNameIsUtf8 = 0x80;
// The longest name a cabinet holds, in bytes (readers keep 256 with the terminating zero).
constexpr std::size_t CabMaxName = 255;

// The local name as a cabinet stores it: folders separated by backslashes.
std::string CabName(const std::string& Name) {
    std::string n = LocalNameToArcName(Name);
    for (char& c : n)
        if (c == '/') c = '\\';
    return n;
}

class TTempCabinet : public TFciOutput {
public:
    explicit TTempCabinet(TTempFileStream& Stream) : FStream(Stream) {}
    bool Write(const void* Buffer, std::int64_t Count) override {
        FStream.WriteBuffer(Buffer, Count); // a full disk raises
        return true;
    }
    bool Close() override { return true; }

private:
    TTempFileStream& FStream;
};

// The library's spool: a scratch file made like every temporary file of the writer, so that a
// full disk there is told as such.
class TScratchSpool : public TFciSpool {
public:
    explicit TScratchSpool(std::unique_ptr<TTempFileStream> Stream) : FStream(std::move(Stream)) {}
    bool Append(const void* Data, std::size_t Count) override {
        const auto count = static_cast<std::int64_t>(Count);
        return FStream->Write(Data, count) == count;
    }
    bool ReadAt(std::int64_t Pos, void* Data, std::size_t Count) override {
        return ReadFully(FStream->Handle, Pos, Data, Count);
    }
    bool Clear() override {
        FStream->SetSize(0);
        return FStream->Seek(0, soBeginning) == 0;
    }

private:
    std::unique_ptr<TTempFileStream> FStream;
};

} // namespace

TMakeCab::TMakeCab() {
    FSupportedMethods = {cmStore, cmMsZip, cmLzx, cmQuantum};
    FCompressMethod = cmMsZip;
    FBuiltInExt = ".cab";
    FDefaultExt = FBuiltInExt;
    StoredDirNames = sdRelative;
    TMakeCab::SetArcType(atCab);
}

void TMakeCab::SetArcType(TArcType /*Value*/) {
    FArcType = atCab;
    ApplyDefaultExt();
}

TCOMP TMakeCab::CompressionWord() const {
    switch (CompressMethod()) {
    case cmMsZip:
        return tcompTYPE_MSZIP;
    case cmLzx:
        return MakeLzxCompression(FLzxLevel);
    case cmQuantum:
        // Always Quantum: the type word is not taken from QuantumType, which would make it MSZIP.
        return MakeQuantumCompression(FQuantumLevel, FQuantumMemory);
    default:
        return tcompTYPE_NONE;
    }
}

void TMakeCab::InfoToHeader(std::uint8_t* Header, const TCompFileInfo& Info) {
    std::memcpy(Header, &Info, sizeof Info);
}

void TMakeCab::HeaderToInfo(const std::uint8_t* Header, TCompFileInfo& Info) {
    std::memcpy(&Info, Header, sizeof Info);
}

void TMakeCab::FailFci(const std::string& FileName) {
    if (Cancel()) ThrowCancelled();
    const TFciErf& erf = FFci->Erf();
    if (erf.erfType == ENOSPC || erf.erfType == EDQUOT) Fail(FileName, "", ecDiskFull);
    int code = ecErrorWritingToFile;
    if (erf.erfOper == fcierrOPEN_SRC) code = ecErrorOpeningFile;
    if (erf.erfOper == fcierrREAD_SRC) code = ecErrorReadingFile;
    if (erf.erfOper == fcierrCAB_FORMAT_LIMIT) code = ecMaxFileSizeExceeded;
    if (erf.erfOper == fcierrBAD_COMPR_TYPE) code = ecUnsupportedCompressionMethod;
    if (erf.erfOper == fcierrMCI_FAIL && erf.erfType == EDOM)
        Fail(FileName, "the data do not compress with this method (FailOnIncompressible)",
             ecErrorWritingToFile);
    Fail(FileName, code == ecErrorWritingToFile ? "cabinet library error " + std::to_string(erf.erfOper) : "",
         code);
}

void TMakeCab::CheckLimits(TCompHeaderObj& List) {
    // A longer name would make a cabinet no reader opens: refused before anything is written.
    for (int i = 0; i < List.Count(); ++i)
        if (List.Value(i) == hkAdd && CabName(List.Name(i)).size() > CabMaxName)
            Fail(Entry(i).SourcePath, "the name is longer than the 255 bytes a cabinet can hold",
                 ecInvalidFileName);
}

bool TMakeCab::AddToCabinet(const std::string& Source, const std::string& StoredName) {
    struct stat st {};
    // A file that cannot be opened is reported and left out; the others go on.
    std::unique_ptr<TFileStream32> input = OpenGatheredFile(Source, st);
    if (!input) return false;
    std::int64_t done = 0;
    const std::int64_t size = static_cast<std::int64_t>(st.st_size);
    const TFciGetOpenInfo openInfo = [&](const std::string& Path, TFciSource& Info) {
        CurrentFileSize = size;
        const std::uint32_t dos = ApplyDateAttribute(FileTimeToDosTime(st.st_mtime));
        Info.Date = static_cast<std::uint16_t>(dos >> 16);
        Info.Time = static_cast<std::uint16_t>(dos & 0xFFFF);
        Info.Attribs =
            static_cast<std::uint16_t>(FileAttributesOf(Path) & (faReadOnly | faHidden | faSysFile)) |
            static_cast<std::uint16_t>(faArchive);
        if (NameBytesOf(StoredName) != TNameBytes::Ascii) Info.Attribs |= CabNameIsUtf8;
        Info.Size = size;
        Info.Read = [&](void* Buffer, std::int64_t Count) -> std::int64_t {
            if (Cancel()) return -1;
            const std::int64_t n = input->Read(Buffer, Count);
            if (n > 0) {
                done += n;
                BytesToDo -= static_cast<double>(n);
                DoProgress(done, size, JobTotal);
                EngineHost::PumpIfDue();
            }
            return n;
        };
        return true;
    };
    if (!FFci->AddFile(Source, CabName(StoredName), false, FNextCabinet, nullptr, openInfo,
                       CompressionWord()))
        FailFci(Source);
    // A file that grew or shrank while it was read is written as it was read: no harm done.
    return true;
}

bool TMakeCab::AddFile(TCompHeaderObj& List, int Index) {
    std::string name = List.Name(Index);
    if (!DoBegin(name, FilesProcessed, List, Index)) return false;
    if (!AddToCabinet(Entry(Index).SourcePath, List.Name(Index))) return false;
    if (OnEnd) OnEnd(*this, FileName, !Cancel());
    CheckCancel();
    if (OnRead) OnRead(*this, 0, 0);
    return true;
}

void TMakeCab::CopyKeptEntry(TCompHeaderObj& List, int Index) {
    FileName = List.Name(Index);
    // An entry of the old cabinet that cannot be copied would be lost: the job ends.
    if (!AddToCabinet(Entry(Index).SourcePath, List.Name(Index))) Fail(ArchiveFile(), "", ecErrorReadingFile);
}

void TMakeCab::CopyEntry(TCompHeaderObj& List, int Index) {
    CopyKeptEntry(List, Index);
}

void TMakeCab::LoadOldEntries(TCompHeaderObj& List, const std::string& Scratch) {
    namespace fs = std::filesystem;
    const std::string folder = JoinPath(Scratch, "old");
    std::unique_ptr<TUnBase> reader = CreateReader(atCab);
    if (!reader) Fail(ArchiveFile(), "", ecCabinetDllNotFound);
    TUnBase& r = *reader;
    r.SetArchiveFile(ArchiveFile());
    r.UseStoredDirs = true;
    r.CreateStoredDirs = true;
    r.RecurseDirs = true;
    r.FileSpec = {"*"};
    r.DateAttribute = daFileDate;
    r.SetExtractDir(folder);
    r.OnError = OnError;
    r.DriveCancelFrom(*this);
    r.Extract();
    CheckCancel();
    // An entry that does not come out would be lost by the rewrite: such a cabinet is left.
    if (r.FilesFailed > 0 || r.ErrorsReported > 0) Fail(ArchiveFile(), "", ecHeaderNotFound);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
        const std::string path = it->path().string();
        const std::string name = fs::relative(it->path(), folder).generic_string();
        struct stat st {};
        ::stat(path.c_str(), &st);
        TCompFileInfo info;
        info.Size = info.PackedSize = static_cast<std::int64_t>(st.st_size);
        info.DosDate = FileTimeToDosTime(st.st_mtime);
        info.Attr = FileAttributesOf(path) & 0xFF;
        std::vector<std::uint8_t> header(static_cast<std::size_t>(GetHeadSize()), 0);
        InfoToHeader(header.data(), info);
        TCompEntry data;
        data.SourcePath = path;
        data.SourceSize = info.Size;
        data.OldOffset = 0;
        data.RawName = name;
        std::uint16_t kind = hkKeep;
        AddEntryRecord(List, header.data(), name, kind, std::move(data));
        JobTotal += static_cast<double>(info.Size);
    }
    if (ec) Fail(folder, "", ecErrorReadingFile);
}

void TMakeCab::DoCompress(TCompHeaderObj& List) {
    namespace fs = std::filesystem;
    if (Switch == swDelete) Fail(ArchiveFile(), "", ecInvalidArchiveType);
    if (Switch == swRead) {
        if (FileExists(ArchiveFile())) ReadArchive();
        return;
    }
    TArchiveLock lock;
    LockArchive(lock, ArchiveFile());
    const bool exists = FileExists(ArchiveFile());
    FNewArchive = !exists || ReplaceArchive;
    if (exists && !CheckArchiveWriteable(ArchiveFile())) return;

    Timer.Start();
    FActivated = true;
    if (OnActivate) OnActivate(*this);

    TTempFolder scratchFolder(TempDir(), "krv");
    if (!scratchFolder.Made()) Fail(TempDir(), "", ecErrorOpeningFile);
    const std::string scratch = scratchFolder.Path();
    const TScopeExit cleanup{[&] {
        FFci.reset();
        FCabinets.clear(); // what was not put in place is removed
        scratchFolder.Remove();
    }};
    FNeverGather.clear();
    struct stat st {};
    if (!FNewArchive && ::stat(ArchiveFile().c_str(), &st) == 0)
        FNeverGather.emplace_back(st.st_dev, st.st_ino);
    if (!FNewArchive) LoadOldEntries(List, scratch);

    TCCAB cab;
    cab.cb = MaxCabinetSize;
    cab.fFailOnIncompressible = FailOnIncompressible ? 1 : 0;
    cab.szCab = fs::path(ArchiveFile()).filename().string();
    cab.szCabPath = FolderOf(ArchiveFile());
    TFciErf erf;
    const TDeflateType level = DeflateType;
    const unsigned threads = JobThreads(Threads);
    FFci = TFciContext::Create(
        erf, cab,
        [this](const std::string& Path) -> std::unique_ptr<TFciOutput> {
            FCabinets.push_back(CreateTempStream(Path));
            if (FCabinets.back()->Status() != fsOpenOk) return nullptr;
            return std::make_unique<TTempCabinet>(*FCabinets.back());
        },
        [&]() -> std::unique_ptr<TFciSpool> {
            std::unique_ptr<TTempFileStream> spool = CreateTempStream(AppendBackslash(scratch));
            if (spool->Status() != fsOpenOk) return nullptr;
            return std::make_unique<TScratchSpool>(std::move(spool));
        },
        [level, threads](TCOMP Compression) { return MakeCabCompressor(Compression, level, threads); });
    if (!FFci) Fail(scratch, "", ecErrorOpeningFile);

    FNextCabinet = [this](TCCAB& Cab, std::uint32_t Estimate) {
        if (!OnGetNextCabinet) return false;
        std::string name;
        bool abort = true;
        OnGetNextCabinet(*this, Cab, name, static_cast<int>(Estimate), abort);
        if (abort || name.empty()) return false;
        Cab.szCab = fs::path(name).filename().string();
        Cab.szCabPath = FolderOf(name);
        return true;
    };
    TMemoryStream32 none; // the library writes the cabinets; the base's output stays empty
    FOutput = &none;
    ProcessFileList(List);
    Timer.Stop();
    if (FFilesAdded == 0 && FFilesDeleted == 0) return;

    if (!FFci->FlushCabinet(false, FNextCabinet, nullptr)) FailFci(ArchiveFile());
    CheckCancel();
    // The whole set was written: every cabinet goes in place.
    for (auto& c : FCabinets)
        c->Commit();
    FArchiveWritten = true;
    DeleteMovedSources();
    if (OnElapsedTime) OnElapsedTime(*this, Timer.Elapsed());
}
