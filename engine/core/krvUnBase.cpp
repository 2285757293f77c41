// The extraction driver of the reader base.
#include "engine/core/krvUnBase.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvExtractOutput.h"
#include "engine/core/krvGbls.h"

TUnBase::TUnBase() {
    CreateStoredDirs = false;
    RestoreFileAttr = true;
    AsciiTranslation = false;
    DateAttribute = daFileDate;
    RecurseDirs = true;
}

TUnBase::~TUnBase() = default;

int TUnBase::Extract() {
    InputMode = 0;
    OutputMode = omdDiskFile;
    return RunExtraction();
}

int TUnBase::ExtractNoOutput() {
    InputMode = 0;
    OutputMode = omdNoOutput;
    return RunExtraction();
}

int TUnBase::DoExtract(std::unique_ptr<TFileStream32>& /*ArchiveStream*/) {
    return 0;
}

bool TUnBase::CheckEncryptionHeader(std::span<std::uint8_t, 2 * CryptHeaderSize> /*WorkBuffer*/) {
    return false;
}

void TUnBase::ReportError(const std::string& AFileName, const std::string& ExtendedMsg,
                          const std::string& AVolumeID, int ECode) {
    ++ErrorsReported;
    TZipCommon::ReportError(AFileName, ExtendedMsg, AVolumeID, ECode);
}

int TUnBase::RunExtraction() {
    // One job at a time: a job started from inside the host's event processing is refused.
    if (EngineHost::Pumping()) return 0;

    ResetJobState();
    FilesFailed = 0;
    ErrorsReported = 0;
    PasswordFailed = false;
    FLastDosTime.reset();
    if (CpuType == cpt80486) CpuType = cptAuto;

    // Multi-volume workers change the archive name; it is restored on the way out.
    const std::string savedArchive = FArchiveFile;
    FileName.clear();
    // Extraction selects by FileSpec alone.
    ExcludeSpec.clear();

    std::unique_ptr<TFileStream32> stream;
    RunJob(
        [&] {
            if (FArchiveFile.empty()) RaiseError(FArchiveFile, "", "0", ecFileNotFound);
            if (GetCancel() || !DiskManager.CheckDrive(*this, FArchiveFile, false)) return;
            if (OnActivate) OnActivate(*this);
            if (!LibraryArcTypes.Contains(FArcType)) {
                std::uint8_t status = fsOpenOk;
                stream = std::make_unique<TFileStream32>(FArchiveFile, fmOpenRead | fmShareDenyNone, status);
                if (status != fsOpenOk) {
                    stream.reset();
                    ReportError(FArchiveFile, "", "0", ecErrorOpeningFile);
                    return;
                }
            }
            if (stream) ArchiveSize = stream->Size();
            Timer.Start();
            if (FArcType != atGZip && FArcType != atMsGZ) AsciiTranslation = false;
            DoExtract(stream);
            Timer.Stop();
            if (OnElapsedTime) OnElapsedTime(*this, Timer.Elapsed());
        },
        [&] {
            // An entry that the job left unfinished is not put in place.
            FCreatedAtConfirm.reset();
            EndCopyAhead();
            if (FOutput) {
                FOutput.reset();
                if (FEntryCounted) {
                    ++FilesFailed;
                    // A write error has taken the entry off the count already.
                    if (FilesProcessed == FCountAtConfirm && FilesProcessed > 0) --FilesProcessed;
                    FEntryCounted = false;
                }
            }
            FFolders.reset();
            Timer.Stop();
            const TScopeExit restore{[&] { FArchiveFile = savedArchive; }};
            if (OnDeactivate) OnDeactivate(*this);
        });
    return FilesProcessed;
}
