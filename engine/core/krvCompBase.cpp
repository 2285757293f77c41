// The writer job: preparing, the temporary archive, merging with the old archive, finishing,
// putting the new archive in place and deleting moved sources.
#include "engine/core/krvCompBase.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvArchiveLock.h"
#include "engine/core/krvFileIo.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvMatchSpec.h"
#include "engine/core/krvUnBase.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>
#include <utility>

namespace {

// The longest folder that every mask's folder lies in, with a trailing separator.
std::string CommonFolder(const std::vector<std::string>& Masks) {
    std::string common;
    bool first = true;
    for (const std::string& m : Masks) {
        if (m.empty()) continue;
        const std::size_t slash = m.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : m.substr(0, slash + 1);
        if (first) {
            common = folder;
            first = false;
            continue;
        }
        std::size_t n = 0;
        while (n < common.size() && n < folder.size() && common[n] == folder[n])
            ++n;
        common.resize(n);
    }
    const std::size_t slash = common.rfind('/');
    return slash == std::string::npos ? std::string() : common.substr(0, slash + 1);
}

// A path ending in a separator names a folder: no extension is added to it.
bool NamesFolder(const std::string& Path) {
    return !Path.empty() && IsPathSeparator(Path.back());
}

bool FileExistsPlain(const std::string& Name) {
    struct stat st {};
    return ::stat(Name.c_str(), &st) == 0;
}

} // namespace

TCompBase::TCompBase() {
    RecurseDirs = true;
    SetArcType(atBh);
}

TCompBase::~TCompBase() = default;

void TCompBase::SetCompressMethod(TCompressMethod Value) {
    if (FSupportedMethods.Contains(Value)) FCompressMethod = Value;
}

void TCompBase::SetDefaultExt(const std::string& Value) {
    std::string ext = Value;
    if (ext.empty() || ext == ".") {
        ext = FBuiltInExt;
    } else {
        if (ext.front() == '.') ext.erase(0, 1);
        if (ext.size() > 4) ext.resize(4);
        ext = '.' + LowerCaseAscii(ext);
    }
    FDefaultExt = ext;
    if (FArchiveFile.empty() || FDefaultExt.empty() || NamesFolder(FArchiveFile)) return;
    const std::string current(FileExtOf(FArchiveFile));
    if (current.empty())
        FArchiveFile += FDefaultExt;
    else if (current != FDefaultExt)
        FArchiveFile = ReplaceFileExt(FArchiveFile, FDefaultExt);
}

void TCompBase::ApplyDefaultExt() {
    if (Loading || FArchiveFile.empty() || FDefaultExt.empty() || NamesFolder(FArchiveFile)) return;
    if (FileExtOf(FArchiveFile).empty()) FArchiveFile += FDefaultExt;
}

void TCompBase::SetArchiveFile(const std::string& Name) {
    if (Loading && !FileExistsPlain(Name)) {
        FArchiveFile.clear();
        return;
    }
    FArchiveFile = Name;
    ApplyDefaultExt();
    FKnownCentralOffset = -1;
    SetCancel(false);
}

void TCompBase::SetArcType(TArcType Value) {
    FArcType = Value;
    ApplyDefaultExt();
}

bool TCompBase::IsEncryptableArcType(TArcType Type) {
    return Type == atBh || Type == atJar || Type == atZip;
}

void TCompBase::DeflateFlagBits(std::uint16_t& Flags) const {
    static constexpr std::uint16_t bits[] = {6, 4, 0, 2};
    Flags |= bits[DeflateType];
}

bool TCompBase::IsStoredType(const std::string& Name) const {
    const std::string ext = LowerCaseAscii(std::string(FileExtOf(Name)));
    if (ext.empty()) return false;
    for (const std::string& t : StoreFilesOfType) {
        if (t.empty()) continue;
        std::string type = t.front() == '.' ? t : '.' + t;
        if (LowerCaseAscii(type) == ext) return true;
    }
    return false;
}

void TCompBase::Fail(const std::string& FileName, const std::string& ExtendedMsg, int ECode) {
    RaiseError(FileName, ExtendedMsg, "0", ECode);
    throw TJobEnded{}; // the cancel flag kept RaiseError from raising
}

void TCompBase::ThrowCancelled() {
    throw TJobEnded{};
}

int TCompBase::Compress() {
    InputMode = 0;
    OutputMode = omdDiskFile;
    FFilesAdded = 0;
    FFilesDeleted = 0;
    FSomethingToDo = false;
    FArchiveWritten = false;
    FMoveList.clear();
    CurrentFileSize = 0;
    ResetJobState();
    FActivated = false;

    TCompHeaderObj list;
    bool committed = false;
    RunJob(
        [&] {
            if (!DiskManager.CheckDrive(*this, ArchiveFile(), true)) return;
            if (FileSpec.empty()) return;
            FExplorerDir.clear();
            if (Switch != swDelete) {
                if (StoredDirNames == sdExplorer_Auto) {
                    FExplorerDir = CommonFolder(FileSpec);
                } else if (StoredDirNames == sdExplorer_UserDefineDefaultDir) {
                    if (DefaultDir.empty()) {
                        ReportError(ArchiveFile(), "DefaultDir", "0", ecRequiredPropertyNotAssigned);
                        return;
                    }
                    FExplorerDir = AppendBackslash(DefaultDir);
                }
            }
            if (ArchiveFile().empty() || Cancel()) return;

            list.Init(static_cast<std::size_t>(std::max(GetHeadSize(), 1)));
            FList = &list;
            FEntries.clear();
            FNameIndex.clear();
            DoCompress(list);
            committed = FArchiveWritten;
        },
        [&] {
            const TScopeExit clear{[this] {
                FList = nullptr;
                FEntries.clear();
                FNameIndex.clear();
                FInput = nullptr;
                FOutput = nullptr;
            }};
            if (Timer.Running()) Timer.Stop();
            if (std::exchange(FActivated, false) && OnDeactivate) OnDeactivate(*this);
        });
    if (!committed) {
        FFilesAdded = 0;
        FFilesDeleted = 0;
    }
    return Switch == swDelete ? FFilesDeleted : FFilesAdded;
}

void TCompBase::DoCompress(TCompHeaderObj& List) {
    if (Switch == swRead) {
        if (FileExistsPlain(ArchiveFile())) ReadArchive();
        return;
    }
    // Held from reading the old archive until the new one is in its place (the lock goes last,
    // after the streams below).
    TArchiveLock lock;
    LockArchive(lock, ArchiveFile());
    const bool exists = FileExistsPlain(ArchiveFile());
    FNewArchive = !exists || ReplaceArchive;
    if (exists && !CheckArchiveWriteable(ArchiveFile())) return;
    if (FNewArchive && Switch == swDelete) {
        ReportError(ArchiveFile(), "", "0", ecNothingToDoWriter);
        return;
    }

    Timer.Start();
    // From here on the job's exit fires OnDeactivate, however the job ends.
    FActivated = true;
    if (OnActivate) OnActivate(*this);

    // The new archive is built beside the old one and only renamed over it at the end.
    std::unique_ptr<TStream32> output;
    TTempFileStream* temp = nullptr;
    if (CompressionMethod == cmInMemory) {
        output = std::make_unique<TMemoryStream32>();
    } else {
        std::unique_ptr<TTempFileStream> t = CreateTempStream(TemporaryArchiveName());
        if (t->Status() != fsOpenOk) Fail(ArchiveFile(), "", ecErrorOpeningFile);
        temp = t.get();
        output = std::move(t);
    }
    // Destroyed before the temporary file it writes into.
    std::unique_ptr<TStream32> wrapped = temp ? WrapOutput(*temp) : nullptr;
    FOutput = wrapped ? wrapped.get() : output.get();
    FNeverGather.clear();
    auto neverGather = [this](const std::string& Name) {
        struct stat st {};
        if (::stat(Name.c_str(), &st) == 0) FNeverGather.emplace_back(st.st_dev, st.st_ino);
    };
    if (temp) neverGather(temp->OpenName());
    for (const std::string& name : FAlsoNeverGather)
        neverGather(name);

    // The archive a replacing job does not read is not gathered into its successor either.
    if (exists) neverGather(ArchiveFile());
    std::unique_ptr<TFileStream32> input;
    if (!FNewArchive) {
        std::uint8_t status = fsOpenOk;
        input = std::make_unique<TFileStream32>(ArchiveFile(), fmOpenRead | fmShareDenyWrite, status);
        if (status != fsOpenOk) Fail(ArchiveFile(), "", ecErrorOpeningFile);
        neverGather(ArchiveFile());
        FInput = input.get();
        FInputSize = input->Size();
        if (FInputSize > MaxArchiveSize()) Fail(ArchiveFile(), "", ecMaxFileSizeExceeded);
        if (FInputSize > 0) {
            ReadHeaders(*input, List);
            // Whatever precedes the first entry (a self-extractor stub) is kept.
            if (FKnownCentralOffset > 0) {
                input->Seek(0, soBeginning);
                CopyInput(0, FKnownCentralOffset);
            }
        }
    }

    ProcessFileList(List);
    Timer.Stop();

    const bool changed = FFilesAdded > 0 || FFilesDeleted > 0;
    if (!changed) {
        if (temp) temp->Discard();
        return;
    }
    int kept = 0;
    for (int i = 0; i < List.Count(); ++i)
        if (List.Value(i) != hkDrop) ++kept;
    if (Switch == swDelete && kept == 0) WriteEmptyEndRecord(*FOutput);
    FOutputPlaced = false;
    if (!FinishArchive(*FOutput, List)) ThrowCancelled();
    CheckCancel();

    input.reset();
    FInput = nullptr;
    if (temp) {
        if (FOutputPlaced)
            temp->Discard();
        else
            PlaceArchive(*temp);
    } else if (auto* mem = dynamic_cast<TMemoryStream32*>(FOutput); mem && !FOutputPlaced) {
        WriteMemoryImage(*mem);
    }
    FArchiveWritten = true;
    ListEntries(List);

    DeleteMovedSources();
    if (OnElapsedTime) OnElapsedTime(*this, Timer.Elapsed());
}

void TCompBase::LockArchive(TArchiveLock& Lock, const std::string& Name) {
    const bool locked = Lock.Acquire(
        Name,
        [this, &Name] {
            if (OnWaitArchive) OnWaitArchive(*this, Name);
        },
        [this] {
            EngineHost::Pump();
            return Cancel();
        });
    if (!locked) ThrowCancelled();
    // A temporary archive sits beside the archive it replaces (a link's target).
    std::string target = Name;
    struct stat st {};
    if (::lstat(Name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(Name.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    const std::size_t slash = target.find_last_of('/');
    RemoveAbandonedTemporaries(slash == std::string::npos ? std::string() : target.substr(0, slash + 1),
                               "krv", [this](const std::string& Path) {
                                   if (OnRemovedTemporary) OnRemovedTemporary(*this, Path);
                               });
}

void TCompBase::DeleteMovedSources() {
    if (Switch != swMove || FMoveList.empty()) return;
    ProgressByFile = 0;
    ProgressByArchive = 0;
    const int count = static_cast<int>(FMoveList.size());
    for (int i = 0; i < count; ++i)
        if (TUnBase::EraseFile(FMoveList[static_cast<std::size_t>(i)], DeleteOptions) && OnDeleteFile)
            OnDeleteFile(*this, FMoveList[static_cast<std::size_t>(i)], i + 1, count);
}

std::unique_ptr<TTempFileStream> TCompBase::CreateTempStream(const std::string& FinalName) {
    return std::make_unique<TTempFileStream>(this, fmCreate, FinalName);
}

std::unique_ptr<TStream32> TCompBase::WrapOutput(TTempFileStream& /*Temp*/) {
    return nullptr;
}

void TCompBase::PlaceArchive(TTempFileStream& Temp) {
    Temp.Commit();
}

std::string TCompBase::TemporaryArchiveName() {
    return ArchiveFile();
}

void TCompBase::WriteMemoryImage(TMemoryStream32& Image) {
    std::unique_ptr<TTempFileStream> out = CreateTempStream(ArchiveFile());
    if (out->Status() != fsOpenOk) Fail(ArchiveFile(), "", ecErrorOpeningFile);
    out->WriteBuffer(Image.Memory(), Image.Size());
    out->Commit();
}

void TCompBase::CopyInput(std::int64_t Offset, std::int64_t Count) {
    if (Offset < 0 || Count < 0 || Offset + Count > FInputSize) Fail(ArchiveFile(), "", ecHeaderNotFound);
    if (FInput->Seek(Offset, soBeginning) != Offset) Fail(ArchiveFile(), "", ecSeekError);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::int64_t>(Count, CopyChunk)));
    while (Count > 0) {
        CheckCancel();
        const std::int64_t n = std::min<std::int64_t>(Count, static_cast<std::int64_t>(buffer.size()));
        if (FInput->Read(buffer.data(), n) != n) Fail(ArchiveFile(), "", ecErrorReadingFile);
        FOutput->WriteBuffer(buffer.data(), n);
        Count -= n;
        EngineHost::PumpIfDue();
    }
}

void TCompBase::CopyOldEntryBytes(TCompHeaderObj& List, int Index, std::int64_t Offset, std::int64_t Count) {
    if (FOutput->Position() + Count > MaxArchiveSize()) Fail(ArchiveFile(), "", ecMaxFileSizeExceeded);
    FileName = List.Name(Index);
    CopyInput(Offset, Count);
    Entry(Index).NewLength = Count;
}

void TCompBase::ReadArchive() {
    if (!OnRead) {
        ReportError(ArchiveFile(), "OnRead", "0", ecRequiredEventNotAssigned);
        return;
    }
    std::uint8_t status = fsOpenOk;
    TFileStream32 input(ArchiveFile(), fmOpenRead | fmShareDenyNone, status);
    if (status != fsOpenOk) {
        ReportError(ArchiveFile(), "", "0", ecErrorOpeningFile);
        return;
    }
    FInput = &input;
    FInputSize = input.Size();
    TCompHeaderObj list;
    list.Init(static_cast<std::size_t>(std::max(GetHeadSize(), 1)));
    FList = &list;
    FEntries.clear();
    FNameIndex.clear();
    if (FInputSize > 0) ReadHeaders(input, list);
    for (int i = 0; i < list.Count(); ++i) {
        DoReadFile(list.Name(i));
        OnRead(*this, Entry(i).OldOffset, i + 1);
        if (Cancel()) break;
    }
}

void TCompBase::DoReadFile(const std::string& /*Name*/) {}

bool TCompBase::CheckArchiveWriteable(const std::string& Name) {
    if (Cancel() || OverwriteMode == omSkip) return false;
    struct stat st {};
    if (::stat(Name.c_str(), &st) != 0) return true;
    if (S_ISDIR(st.st_mode)) {
        // A folder is never written over, whatever the owner answers.
        ReportError(Name, "", "0", ecFileIsADirectory);
        return false;
    }
    // A dot-name is hidden only from listings here: it is no reason to ask before writing.
    const std::uint32_t attr = FileAttributesOf(Name);
    const bool plain = S_ISREG(st.st_mode) && (attr & (faReadOnly | faSysFile)) == 0;
    if (plain) return true;
    if (!OnNonWriteableArchive) {
        ReportError(Name, "OnNonWriteableArchive", "0", ecRequiredEventNotAssigned);
        return false;
    }
    bool writeToFile = false;
    OnNonWriteableArchive(*this, Name, writeToFile);
    if (!writeToFile) return false;
    // Only a regular file can be made writable; a folder or device stays what it is.
    if (!S_ISREG(st.st_mode)) return false;
    return (st.st_mode & S_IWUSR) != 0 || ::chmod(Name.c_str(), st.st_mode | S_IWUSR) == 0;
}

// ---- default format operations ---------------------------------------------------------------

int TCompBase::GetHeadSize() {
    return 0;
}
int TCompBase::GetLocalHeadSize() {
    return 0;
}
void TCompBase::ReadHeaders(TStream32& Input, TCompHeaderObj& List) {
    FHeaderInput = &Input;
    const TScopeExit done{[this] { FHeaderInput = nullptr; }};
    bool central = false;
    for (bool more = ReadFirstHeader(Input, central); more; more = ReadNextHeader(central)) {
        CheckCancel();
        const std::uint8_t* image = GetHeadPtr();
        if (!image) Fail(ArchiveFile(), "GetHeadPtr", ecInvalidArchiveType);
        const std::uint16_t kind =
            Switch == swDelete && MatchFileSpec(FOldName, FileSpec, ExcludeSpec) ? hkDrop : hkKeep;
        AddEntryRecord(List, image, FOldName, kind, std::exchange(FOldEntry, {}));
    }
}
bool TCompBase::ReadFirstHeader(TStream32& Input, bool& Central) {
    Central = FKnownCentralOffset > 0;
    const std::int64_t start = Central ? FKnownCentralOffset : 0;
    if (Input.Seek(start, soBeginning) != start) return false;
    return ReadHeader(Input, FOldName, Central);
}
bool TCompBase::ReadNextHeader(bool Central) {
    return FHeaderInput && ReadHeader(*FHeaderInput, FOldName, Central);
}
bool TCompBase::ReadHeader(TStream32& /*Input*/, std::string& /*Name*/, bool /*Central*/) {
    return false;
}
const std::uint8_t* TCompBase::GetHeadPtr() {
    ReportError(ArchiveFile(), "GetHeadPtr", "0", ecInvalidArchiveType);
    return nullptr;
}
std::int64_t TCompBase::GetEntrySize(int /*Index*/) {
    return 0;
}
int TCompBase::Reserved58(const std::string& Name) {
    ReportError(Name, "", "0", ecInvalidArchiveType);
    return 0;
}
void TCompBase::InitHeader(TCompHeaderObj& /*List*/, int /*Index*/) {}
void TCompBase::WriteLocalHeader(TStream32& /*Output*/) {}
void TCompBase::SetHeaderFields(std::int64_t /*UnpackedSize*/, std::int64_t /*PackedSize*/) {}
void TCompBase::StoreHeader(TCompHeaderObj& /*List*/, int /*Index*/) {}
void TCompBase::InfoToHeader(std::uint8_t* /*Header*/, const TCompFileInfo& /*Info*/) {}
void TCompBase::HeaderToInfo(const std::uint8_t* /*Header*/, TCompFileInfo& Info) {
    Info = {};
}
void TCompBase::CopyKeptEntry(TCompHeaderObj& List, int Index) {
    if (const std::int64_t size = GetEntrySize(Index); size > 0)
        CopyOldEntryBytes(List, Index, Entry(Index).OldOffset, size);
}
void TCompBase::CopyEntry(TCompHeaderObj& /*List*/, int /*Index*/) {}
void TCompBase::WriteEmptyEndRecord(TStream32& /*Output*/) {}
void TCompBase::DoFileEnd() {}
bool TCompBase::FinishArchive(TStream32& /*Output*/, TCompHeaderObj& /*List*/) {
    return true;
}
void TCompBase::ListEntries(TCompHeaderObj& /*List*/) {}
void TCompBase::CheckLimits(TCompHeaderObj& /*List*/) {}
