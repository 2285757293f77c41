// The gzip reader's job: the first member's header, the output name, the nested-tar question,
// and the extraction of the file or of the tar inside it.
#include "engine/formats/gzip/krvUnGZip.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvDates.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvOutputPath.h"
#include "engine/core/krvTempEntries.h"
#include "engine/read/krvReaders.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

// 1980-01-01 00:01:00, the date of a member without one when the file's own is unknown.
constexpr std::uint32_t FallbackDosDate = 0x00210020;
// How much decoded data the nested-tar test looks at.
constexpr std::int64_t PeekSize = 32768;
// Extra-flags bit that turns the text translation off for the member.
constexpr std::uint8_t XflNoTranslation = 0x02;

std::string BaseName(const std::string& Path) {
    const std::size_t sep = Path.find_last_of('/');
    return sep == std::string::npos ? Path : Path.substr(sep + 1);
}

// The extension of a name, with its dot; empty when it has none.
std::string ExtensionOf(const std::string& Name) {
    const std::size_t dot = Name.rfind('.');
    if (dot == std::string::npos || dot == 0 || Name.find('/', dot) != std::string::npos) return {};
    return Name.substr(dot);
}

} // namespace

TUnGZip::TUnGZip() = default;

TUnGZip::~TUnGZip() = default;

std::string TUnGZip::OutputName(const TGzipMember& Member, const std::string& ArchiveFile) {
    std::string name = Member.IsGzip() ? GzipStoredName(Member, ArchiveFile) : BaseName(ArchiveFile);
    const std::string ext = LowerCaseAscii(ExtensionOf(name));
    if (ext == ".tgz") return name.substr(0, name.size() - ext.size()) + ".tar";
    if (ext == ".tar") return name;
    // A compress file named report.doc.Z gives report.doc.
    if (!ext.empty() && SameTextNoCase(ext, ExtensionOf(BaseName(ArchiveFile))))
        name.resize(name.size() - ext.size());
    if (Member.IsGzip() && (Member.Flags & GzFlagText)) name += ".txt";
    return name;
}

int TUnGZip::DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) {
    if (!ArchiveStream) return 0;
    TStream32& input = *ArchiveStream;
    const std::int64_t size = input.Size();
    const TGzipHeaderResult header = ReadGzipHeader(StreamReader(input), 0, size, FMember);
    if (header == TGzipHeaderResult::NotGzip) {
        ReportError(ArchiveFile(), "", "0", ecBadFileHeader);
        return 0;
    }
    const std::string name = OutputName(FMember, ArchiveFile());
    if (!MatchEntrySpec(name)) return 0;

    const std::uint32_t dosDate = FMember.IsGzip() && FMember.MTime != 0
                                      ? DateTimeToDosDate(UnixDateToDateTime(FMember.MTime))
                                  : ArchiveDate != 0 ? ArchiveDate
                                                     : FallbackDosDate;
    MaxFileDate = std::max(MaxFileDate, dosDate);
    FPackedTotal = std::max<std::int64_t>(size - FMember.DataStart, 0);
    FUnpackedGuess = FPackedTotal;
    std::uint8_t trailer[GzipTrailer];
    if (FMember.IsGzip() && ReadAt(input, size - GzipTrailer, trailer, GzipTrailer) == GzipTrailer)
        FUnpackedGuess = GetU32LE(trailer + 4);
    JobTotal = static_cast<double>(FPackedTotal);
    BytesToDo = JobTotal;
    // The member's own time, else the archive file's, to the second.
    struct stat st {};
    FTime = FMember.IsGzip() && FMember.MTime != 0     ? TEntryTime::Unix(FMember.MTime)
            : ::fstat(ArchiveStream->Handle, &st) == 0 ? TEntryTime::Unix(st.st_mtime)
                                                       : TEntryTime(dosDate);

    Method = FMember.Method;
    PackedSize = FPackedTotal;
    UnpackedSize = FUnpackedGuess;
    FileDate = DosDateToDateTime(dosDate);
    if (IsFileOutput())
        SetCurrentFileName(name);
    else
        FileName = ShownStoredName(name);
    // A name that would leave the destination has been reported: nothing more is done.
    if (FileName.empty()) return 0;

    int refused = 0;
    if (header == TGzipHeaderResult::Truncated)
        refused = ecUnexpectedEndOfFile;
    else if (header == TGzipHeaderResult::BadHeaderCrc)
        refused = ecHeaderCRCError;
    else if (!FMember.IsGzip() && FMember.Magic != CompressMagic)
        refused = ecUnsupportedCompressionMethod; // pack and its relatives
    if (refused) {
        // Nothing is written: the entry fails, and a file of that name stays as it was.
        if (!ConfirmExtractFile(false)) return 0;
        ReportError(FileName, "", "0", refused);
        MarkEntryFailed();
        CheckCrc(32, RunningCrc32);
        return 0;
    }
    FNoTarHeader = false;
    const bool nested = AskNestedTar(input);
    FInflateAhead = JobThreads(Threads) >= 2;
    if (nested)
        ExtractNestedTar(input);
    else
        ExtractMember(input, name);
    FInflateAhead = false;
    return 0;
}

bool TUnGZip::AskNestedTar(TStream32& Input) {
    const std::string head = PeekDecoded(Input, PeekSize);
    // A tar cut right after its first header is still a tar (of a cut entry).
    if (head.size() < static_cast<std::size_t>(512) || !IsTarHeaderValid(head.data())) {
        // A member named as a tar (or in a file named as a compressed tar) whose start is no tar
        // header, nor the zeros of an empty tar: the tar is damaged there. Its data still come
        // out as they are.
        const std::string archive = LowerCaseAscii(BaseName(ArchiveFile()));
        const bool namedTar = LowerCaseAscii(ExtensionOf(FileName)) == ".tar" || archive.ends_with(".tgz") ||
                              archive.ends_with(".taz") || archive.find(".tar.") != std::string::npos;
        const bool emptyTar = head.size() >= 512 && head.find_first_not_of('\0') >= 512;
        FNoTarHeader = OnNestedTarFile && namedTar && !emptyTar;
        return false;
    }
    if (!OnNestedTarFile) {
        ReportError(FileName, "OnNestedTarFile", "0", ecRequiredEventNotAssigned);
        return false;
    }
    bool doUnTar = false;
    TkrvTimerPause pause(Timer);
    OnNestedTarFile(*this, FileName, doUnTar);
    return doUnTar && !GetCancel();
}

void TUnGZip::ExtractMember(TStream32& Input, const std::string& StoredName) {
    if (!ConfirmExtractFile(false)) {
        SkipEntry(FPackedTotal);
        return;
    }
    const bool savedAscii = AsciiTranslation;
    if (FMember.ExtraFlags & XflNoTranslation) AsciiTranslation = false;
    CurrentFileSize = FUnpackedGuess;
    if (!OpenOutputFile(StoredName, FileName, false)) {
        MarkEntryFailed();
        SkipEntry(FPackedTotal);
    } else {
        const int code = DecodeAll(Input, [this](const std::uint8_t* Buffer, std::int64_t Count) {
            WriteRoutine(OutputStream(), const_cast<std::uint8_t*>(Buffer), Count, true, 0, false);
            EntryBytesDone += Count;
        });
        if (code != 0 && !GetCancel()) {
            ReportError(FileName, FDamage, "0", code);
            MarkEntryFailed();
        } else if (FNoTarHeader && !GetCancel()) {
            ReportError(FileName, "no valid tar header at offset 0 of the tar", "0", ecBadFileHeader);
            MarkEntryFailed();
        }
        CloseOutputFile(faArchive, FTime);
    }
    AsciiTranslation = savedAscii;
    // Each member was checked against its own trailer as it was decoded.
    CheckCrc(32, RunningCrc32);
}

void TUnGZip::ExtractNestedTar(TStream32& Input) {
    const TTempFile tarFile(TempDir());
    const std::string& tarName = tarFile.Path();
    if (tarName.empty()) {
        ReportError(FileName, std::strerror(errno), "0", ecErrorCreatingFile);
        ++FilesFailed;
        return;
    }
    int code = 0;
    {
        std::uint8_t status = fsOpenFailed;
        TFileStream32 tar(tarName, fmOpenWrite | fmShareDenyNone, status);
        if (status != fsOpenOk) {
            ReportError(tarName, std::strerror(errno), "0", ecErrorOpeningFile);
            ++FilesFailed;
            return;
        }
        // The tar goes to the file as it is, whatever translation the output would get.
        code = DecodeAll(Input, [this, &tar](const std::uint8_t* Buffer, std::int64_t Count) {
            errno = 0;
            if (tar.Write(Buffer, Count) != Count) FailWrite(errno == ENOSPC || errno == EDQUOT);
        });
        if (code == 0 && !tar.Close()) code = ecErrorWritingToFile;
    }
    if (GetCancel()) return;
    // A member cut short still gives the entries of the tar that came before the cut (a last
    // entry cut off by it fails in the tar reader); then the damage fails the job. A member
    // whose data was changed (it inflates to other bytes than were packed, or breaks off on
    // invalid codes) gives none: the change may lie anywhere before the point where it showed,
    // and a tar keeps no checksum of its entries' data.
    const std::string member = FileName;
    const bool changed =
        code == ecFileFailsCRCCheck || code == ecFileSizeDifferent || code == ecDecompressionError;
    if (!changed) RunTarReader(tarName, code != 0);
    if (code != 0 && !GetCancel()) {
        ReportError(member, FDamage, "0", code);
        ++FilesFailed;
        if (OnEnd) OnEnd(*this, member, false);
    }
}

void TUnGZip::RunTarReader(const std::string& TarFile, bool Damaged) {
    // The tar reader comes from the engine's reader table, as for any archive of its type.
    const std::unique_ptr<TUnBase> reader = CreateReader(atTar);
    TUnBase& tar = *reader;
    tar.SetArchiveFile(TarFile);
    if (tar.ArcType() != atTar) {
        // Damage before the first tar header: the damage is the cause to report.
        if (Damaged) return;
        ReportError(FileName, "", "0", ecInvalidArchiveType);
        ++FilesFailed;
        return;
    }
    tar.SetExtractDir(ExtractDir());
    tar.FileSpec = FileSpec;
    tar.RecurseDirs = RecurseDirs;
    // The tar keeps its folders: files of the same name in different folders stay apart.
    tar.UseStoredDirs = UseStoredDirs;
    tar.CreateStoredDirs = CreateStoredDirs;
    tar.OverwriteMode = OverwriteMode;
    tar.ConfirmOverwrites = ConfirmOverwrites;
    tar.DateAttribute = DateAttribute;
    tar.RestoreFileAttr = RestoreFileAttr;
    tar.OnBegin = OnBegin;
    tar.OnEnd = OnEnd;
    // The tar is a temporary of this job: its errors are this archive's, and where they
    // name the temporary they name this archive.
    tar.OnError = [this, TarFile](TZipCommon&, const std::string& Name, const std::string& ExtendedMsg,
                                  const std::string& VolumeID, int ECode) {
        if (OnError) OnError(*this, Name == TarFile ? ArchiveFile() : Name, ExtendedMsg, VolumeID, ECode);
    };
    tar.OnFileExists = OnFileExists;
    // The host cancels this component, the one it knows of.
    tar.OnProgress = [this](TZipCommon& Sender, std::uint8_t ByFile, std::uint8_t ByArchive) {
        if (GetCancel()) Sender.SetCancel(true);
        if (OnProgress) OnProgress(*this, ByFile, ByArchive);
    };
    if (OutputMode == omdNoOutput) {
        tar.WriteRoutine = WriteRoutine;
        tar.ExtractNoOutput();
    } else {
        tar.Extract();
    }
    FilesProcessed = tar.FilesProcessed;
    FilesFailed += tar.FilesFailed;
    ErrorsReported += tar.ErrorsReported;
    MaxFileDate = std::max(MaxFileDate, tar.MaxFileDate);
    // The job went on in the tar: the host learns its name (the member's) and type.
    FArcType = atTar;
    if (FilesProcessed > 0 && OnChangeArchive) OnChangeArchive(*this, FileName, atTar);
}
