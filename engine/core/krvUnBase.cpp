// The extraction driver of the reader base.
#include "engine/core/krvUnBase.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvExtractOutput.h"

#include <new>
#include <system_error>

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
    if (CpuType == cpt80486) CpuType = cptAuto;

    // Multi-volume workers change the archive name; it is restored on the way out.
    const std::string savedArchive = FArchiveFile;
    FileName.clear();
    // Extraction selects by FileSpec alone.
    ExcludeSpec.clear();

    std::unique_ptr<TFileStream32> stream;
    try {
        if (FArchiveFile.empty()) RaiseError(FArchiveFile, "", "0", ecFileNotFound);
        if (!GetCancel() && DiskManager.CheckDrive(*this, FArchiveFile, false)) {
            if (OnActivate) OnActivate(*this);
            bool opened = true;
            if (!LibraryArcTypes.Contains(FArcType)) {
                std::uint8_t status = fsOpenOk;
                stream = std::make_unique<TFileStream32>(FArchiveFile, fmOpenRead | fmShareDenyNone, status);
                if (status != fsOpenOk) {
                    stream.reset();
                    ReportError(FArchiveFile, "", "0", ecErrorOpeningFile);
                    opened = false;
                }
            }
            if (opened) {
                if (stream) ArchiveSize = stream->Size();
                Timer.Start();
                if (FArcType != atGZip && FArcType != atMsGZ) AsciiTranslation = false;
                DoExtract(stream);
                Timer.Stop();
                if (OnElapsedTime) OnElapsedTime(*this, Timer.Elapsed());
            }
        }
    } catch (const E_RAISE&) {
        // Reported through OnError where it was raised; the job ends here.
    } catch (const EWriteError&) {
        // Reported by the write routine.
    } catch (const EReadError&) {
        ReportError(FArchiveFile, FileName, "0", ecErrorReadingFile);
    } catch (const std::bad_alloc&) {
        ReportError(FArchiveFile, FileName, "0", ecOutOfMemory);
    } catch (const std::system_error& e) {
        ReportError(FArchiveFile, e.what(), "0", ecUnknownError);
    }
    // An entry that the job left unfinished is not put in place.
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
    if (OnDeactivate) OnDeactivate(*this);
    FArchiveFile = savedArchive;
    return FilesProcessed;
}
