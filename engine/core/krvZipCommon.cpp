#include "engine/core/krvZipCommon.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvOutputPath.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string CurrentFolder() {
    char buffer[4096];
    if (!::getcwd(buffer, sizeof buffer)) return "./";
    return AppendBackslash(buffer);
}

bool IsZipCipherType(TArcType Type) {
    return TArcTypeSet{atBh, atBhExe, atJar, atJarExe, atZip, atZipExe, atZipMV}.Contains(Type);
}

} // namespace

TZipCommon::TZipCommon() {
    CancelPtr = &FCancel;
    ResetRoutines();
}

TZipCommon::~TZipCommon() = default;

void TZipCommon::ResetRoutines() {
    ReadRoutine = [this](TStream32& Stream, void* Buffer, std::int64_t Count, int CrcWidth, bool Enc) {
        return ReadData(Stream, Buffer, Count, CrcWidth, Enc);
    };
    WriteRoutine = [this](TStream32* Output, void* Buffer, std::int64_t Count, bool DataFlag, int CrcWidth,
                          bool Enc) {
        return DecryptByteWrite(Output, Buffer, Count, DataFlag, CrcWidth, Enc);
    };
    BlockWriteRoutine = [this](TStream32* Output, void* Buffer, std::int64_t Count, bool DataFlag,
                               int CrcWidth, bool Enc) {
        return DecryptBlockWrite(Output, Buffer, Count, DataFlag, CrcWidth, Enc);
    };
    ResetProgressRoutine();
}

void TZipCommon::ResetJobState() {
    AimCancelAtOwnFlag();
    SetCancel(false);
    FilesProcessed = 0;
    JobTotal = 0;
    BytesToDo = 0;
    MaxFileDate = 0;
    ProgressByFile = 0;
    ProgressByArchive = 0;
    ResetProgressRoutine();
}

void TZipCommon::ResetProgressRoutine() {
    ProgressRoutine = [this]() {
        EngineHost::PumpIfDue();
        if (OnProgress) OnProgress(*this, ProgressByFile, ProgressByArchive);
    };
}

// ---- cancel and errors --------------------------------------------------------------------

bool TZipCommon::GetCancel() const {
    return CancelPtr ? *CancelPtr : FCancel;
}

void TZipCommon::SetCancel(bool Value) {
    if (CancelPtr)
        *CancelPtr = Value;
    else
        FCancel = Value;
    if (Value) ReportError(ArchiveFile(), FileName, "0", ecUserCanceled);
}

void TZipCommon::ReportError(const std::string& FileName, const std::string& ExtendedMsg,
                             const std::string& VolumeID, int ECode) {
    TkrvTimerPause pause(Timer);
    // Whatever fails in a cancelled job is reported as the cancel.
    if (GetCancel()) ECode = ecUserCanceled;
    if (OnError) OnError(*this, FileName, ExtendedMsg, VolumeID, ECode);
}

void TZipCommon::RaiseError(const std::string& FileName, const std::string& ExtendedMsg,
                            const std::string& VolumeID, int ECode) {
    TkrvTimerPause pause(Timer);
    ReportError(FileName, ExtendedMsg, VolumeID, ECode);
    // Cancelled: nothing is raised; the caller's loop ends by its own test of the flag.
    if (!GetCancel()) throw E_RAISE(ECode).MarkReported();
}

void TZipCommon::RaiseWriteError() {
    RaiseError(FileName, "", "0", ecErrorWritingToFile);
}

// ---- reading and writing entry data ---------------------------------------------------------

std::int64_t TZipCommon::ReadData(TStream32& Stream, void* Buffer, std::int64_t Count, int CrcWidth,
                                  bool Encrypted) {
    if (Count <= 0) return 0;
    const std::int64_t n = Stream.Read(Buffer, Count);
    if (n <= 0) return 0;
    DecryptBuffer(Encrypted, Buffer, n);
    UpdateCrc(CrcWidth, Buffer, n);
    return n;
}

void TZipCommon::DecryptBuffer(bool Encrypted, void* Buffer, std::int64_t Count) {
    if (!Encrypted || Count <= 0) return;
    auto* p = static_cast<std::uint8_t*>(Buffer);
    if (FArcType == atArj || FArcType == atArjExe) {
        if (Password.empty()) return;
        for (std::int64_t i = 0; i < Count; ++i) {
            if (FArjPasswordPos >= Password.size()) FArjPasswordPos = 0;
            p[i] ^= static_cast<std::uint8_t>(Password[FArjPasswordPos++]);
        }
    } else if (IsZipCipherType(FArcType)) {
        Cipher.DecryptBuf(p, Count);
    }
}

std::int64_t TZipCommon::DecryptByteWrite(TStream32* Output, void* Buffer, std::int64_t Count, bool DataFlag,
                                          int CrcWidth, bool Encrypted) {
    if (Encrypted && DataFlag && IsZipCipherType(FArcType)) {
        auto* p = static_cast<std::uint8_t*>(Buffer);
        for (std::int64_t i = 0; i < Count; ++i)
            Cipher.DecryptBuf(p + i, 1);
    }
    return WriteOutput(Output, Buffer, Count, DataFlag, CrcWidth);
}

std::int64_t TZipCommon::DecryptBlockWrite(TStream32* Output, void* Buffer, std::int64_t Count, bool DataFlag,
                                           int CrcWidth, bool Encrypted) {
    if (Encrypted && DataFlag && IsZipCipherType(FArcType)) Cipher.DecryptBuf(Buffer, Count);
    return WriteOutput(Output, Buffer, Count, DataFlag, CrcWidth);
}

std::int64_t TZipCommon::WriteOutput(TStream32* Output, const void* Buffer, std::int64_t Count, bool DataFlag,
                                     int CrcWidth) {
    if (Count <= 0) return 0;
    const auto* p = static_cast<const std::uint8_t*>(Buffer);
    if (IsFileOutput()) {
        if (!Output) {
            errno = 0;
            FailWrite(false);
        }
        auto put = [&](const void* Data, std::int64_t N) {
            if (N <= 0) return;
            errno = 0;
            if (Output->Write(Data, N) != N) FailWrite(errno == ENOSPC || errno == EDQUOT);
        };
        if (AsciiTranslation) {
            // Each LF that does not follow a CR (also one that ended the previous buffer)
            // becomes CR LF.
            std::int64_t runStart = 0;
            bool prevCR = FLastWasCR;
            for (std::int64_t i = 0; i < Count; ++i) {
                if (p[i] == '\n' && !prevCR) {
                    put(p + runStart, i - runStart);
                    put("\r\n", 2);
                    runStart = i + 1;
                }
                prevCR = p[i] == '\r';
            }
            put(p + runStart, Count - runStart);
            FLastWasCR = prevCR;
        } else {
            put(p, Count);
        }
    }
    if (DataFlag) UpdateCrc(CrcWidth, p, Count);
    return Count;
}

void TZipCommon::FailWrite(bool DiskFull) {
    const std::string reason = errno ? std::strerror(errno) : std::string();
    // The entry is not extracted: it does not count as processed.
    if (FilesProcessed > 0) --FilesProcessed;
    ReportError(FileName, reason, "0", DiskFull ? ecDiskFull : ecErrorWritingToFile);
    if (DiskFull) {
        EWriteError full(ecDiskFull);
        full.MarkReported();
        throw full;
    }
    throw E_RAISE(ecErrorWritingToFile).MarkReported();
}

std::string TZipCommon::ReadNameBuffer(TStream32& Stream, std::int64_t Count) {
    // The whole stored name is consumed, so the next field is read from the right place;
    // an absurd length keeps only its first 64 KB.
    constexpr std::size_t MaxKept = 65535;
    std::string name;
    char chunk[4096];
    while (Count > 0) {
        const std::int64_t want = std::min<std::int64_t>(Count, sizeof chunk);
        const std::int64_t n = ReadRoutine(Stream, chunk, want, 0, false);
        if (n <= 0) break;
        if (name.size() < MaxKept)
            name.append(chunk, static_cast<std::size_t>(std::min<std::int64_t>(n, MaxKept - name.size())));
        Count -= n;
        if (n < want) break;
    }
    const std::size_t nul = name.find('\0');
    if (nul != std::string::npos) name.resize(nul);
    return name;
}

void TZipCommon::UpdateCrc(int Width, const void* Buffer, std::int64_t Count) {
    if (Width == 16)
        UpdateCrc16Buf(Buffer, Count, RunningCrc16);
    else if (Width == 32)
        UpdateCrc32Buf(Buffer, Count, RunningCrc32);
}

bool TZipCommon::CloseOutput(TFileStream32* Output) {
    FLastWasCR = false;
    if (!IsFileOutput() || !Output) return true;
    return Output->Close();
}

// ---- progress -------------------------------------------------------------------------------

void TZipCommon::DoProgress(std::int64_t FileBytesDone, std::int64_t FileSize, double JobTotalBytes) {
    ProgressByFile = static_cast<std::uint8_t>(
        PercentOfFloat(static_cast<double>(FileSize), static_cast<double>(FileBytesDone)));
    ProgressByArchive = static_cast<std::uint8_t>(PercentOfFloat(JobTotalBytes, JobTotalBytes - BytesToDo));
    if (ProgressRoutine) ProgressRoutine();
}

void TZipCommon::StreamProgress(TStream32& Stream) {
    if (OnProgress) DoProgress(Stream.Position(), CurrentFileSize, JobTotal);
}

TStream32::TProgressEvent TZipCommon::StreamProgressEvent() {
    return [this](TStream32& Stream) { StreamProgress(Stream); };
}

// ---- names, folders, dates --------------------------------------------------------------------

TDateTime TZipCommon::DosDateToDateTime(std::uint32_t DosDateTime) {
    return ::DosDateToDateTime(DosDateTime);
}

void TZipCommon::ClearWorkList() {
    WorkList.clear();
}

void TZipCommon::PostProcess(const std::string& /*ArchiveName*/) {}

void TZipCommon::SetExtractDir(const std::string& Value) {
    FExtractDir = Value.empty() ? FolderOf(ArchiveFile()) : AppendBackslash(Value);
}

void TZipCommon::SetCurrentFileName(const std::string& StoredName) {
    FLastWasCR = false;
    if (StoredName.empty()) {
        FileName.clear();
        return;
    }
    if (FExtractDir.empty()) SetExtractDir("");
    if (FExtractDir.empty()) FExtractDir = CurrentFolder();
    TOutputPath out;
    if (MakeOutputPath(FExtractDir, StoredName, UseStoredDirs, out) != TOutputPathResult::Ok) {
        // A name that would leave the destination: reported, and left without an output name.
        FileName.clear();
        ReportError(ShownStoredName(StoredName), "", "0", ecInvalidFileName);
        return;
    }
    FileName = out.FullName;
}

std::string TZipCommon::TempDir() {
    if (!FTempDir.empty() && DirExists(FTempDir)) return FTempDir;
    FTempDir = GetTempPathStr();
    return FTempDir;
}

void TZipCommon::SetTempDir(const std::string& Value) {
    if (Loading) {
        FTempDir = Value;
        return;
    }
    std::string dir = Value.empty() ? GetTempPathStr() : AppendBackslash(Value);
    if (!DirExists(dir)) {
        const std::string question = std::string(ErrorText(ecDirectoryDoesNotExistCreate)) + "\r\n\r\n" + dir;
        if (EngineHost::Ask(question, abYesNo) == mrYes)
            ForceDirPath(dir);
        else
            dir.clear();
    }
    if (dir.empty() || !DirExists(dir)) dir = GetTempPathStr();
    FTempDir = dir;
}

std::uint32_t TZipCommon::ApplyDateAttribute(std::uint32_t DosDate) const {
    switch (DateAttribute) {
    case daSysDate:
        return FileTimeToDosTime(std::time(nullptr));
    case daMaxFileDate:
        return MaxFileDate;
    case daFileDate:
        break;
    }
    return DosDate;
}

std::string TZipCommon::GetArcTypeName() const {
    return ArcTypeNames[FArcType];
}

std::string TZipCommon::GetAttributeString(std::uint32_t Attr, char Fill) const {
    return AttributeString(FArcType, HostSystem, Attr, Fill);
}

std::string TZipCommon::GetFileTypeName(const std::string& FileName) const {
    std::string name = EngineHost::FileTypeName(FileName);
    if (!name.empty()) return name;
    const std::string_view dotted = FileExtOf(FileName);
    std::string ext(dotted.empty() ? dotted : dotted.substr(1));
    for (char& c : ext)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext.empty() ? "File" : ext + " File";
}

int TZipCommon::GetFileIconIndex(const std::string& /*FileName*/) const {
    return -1;
}

// ---- archive type tests ---------------------------------------------------------------------

bool TZipCommon::IsZipArcType(TArcType Type) {
    return ZipArcTypes.Contains(Type);
}

bool TZipCommon::IsKnownArcType(TArcType Type) {
    return !UnknownArcTypes.Contains(Type);
}

bool TZipCommon::IsCompressibleArcType(TArcType Type) {
    return TArcTypeSet{atBh, atCab, atGZip, atJar, atLha, atLzh, atTar, atZip}.Contains(Type);
}

bool TZipCommon::IsExtractableArcType(TArcType Type) {
    return ExtractableArcTypes.Contains(Type);
}

bool TZipCommon::IsTestableArcType(TArcType Type) {
    return TestableArcTypes.Contains(Type);
}

// ---- temporary files ------------------------------------------------------------------------

std::string CreateTempFileName(const std::string& Dir, TUniqueFd* Lock) {
    std::string folder = Dir.empty() ? std::string() : AppendBackslash(Dir);
    if (!folder.empty() && !DirExists(folder)) ForceDirPath(folder);
    if (folder.empty() || !DirExists(folder)) folder = GetTempPathStr();
    const TUniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string leaf;
    TUniqueFd file(dir ? CreateTempFileAt(dir.Get(), "krv", leaf) : -1);
    if (!file) return {};
    if (Lock) *Lock = std::move(file);
    return AppendBackslash(folder) + leaf;
}
