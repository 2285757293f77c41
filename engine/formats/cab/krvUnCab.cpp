#include "engine/formats/cab/krvUnCab.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvOutputPath.h"
#include "engine/core/krvReadAhead.h"
#include "engine/formats/cab/krvCabGbls.h"
#include "platform/CabinetFdi.h"

#include <algorithm>

namespace {

constexpr std::uint16_t CabAttrNameIsUtf = 0x80;
constexpr std::uint16_t CabAttrDirectory = 0x10;
constexpr int OpenReadBinary = 0x8000;
// The most cabinets a set is walked back over.
constexpr std::ptrdiff_t MaxCabinets = 999;

std::uint32_t PackedDosDate(const TFdiNotification& N) {
    return (std::uint32_t{N.date} << 16) | N.time;
}

} // namespace

// The library's file callbacks: files through the handler, data into the current output. The
// cabinets it reads are read in blocks: it reads each file's record in small pieces.
class TUnCab::TFiles : public TFdiFiles {
public:
    explicit TFiles(TUnCab& Owner) : FOwner(Owner) {}

    std::intptr_t Open(const std::string& FileName, int OpenFlags, int Mode) override {
        int err = 0;
        if (OpenFlags & (cabOpenWrite | cabOpenReadWrite | cabOpenCreate))
            return FOwner.FHandler->Open(FileName, OpenFlags, Mode, err);
        std::uint8_t status = fsOpenOk;
        auto file = std::make_unique<TFileStream32>(FileName, fmOpenRead | fmShareDenyNone, status);
        if (status != fsOpenOk) return -1;
        const std::intptr_t handle = file->Handle;
        auto ahead = std::make_unique<TReadAheadStream>(*file);
        FInputs[handle] = {std::move(file), std::move(ahead)};
        return handle;
    }
    std::int64_t Read(std::intptr_t Handle, void* Buffer, std::int64_t Count) override {
        if (TReadAheadStream* input = Input(Handle)) return input->Read(Buffer, Count);
        int err = 0;
        const std::int64_t got = FOwner.FHandler->Read(Handle, Buffer, Count, err);
        return err == -1 ? -1 : got;
    }
    std::int64_t Write(std::intptr_t /*Handle*/, const void* Buffer, std::int64_t Count) override {
        return FOwner.WriteData(Buffer, Count);
    }
    int Close(std::intptr_t Handle) override {
        if (FInputs.erase(Handle) > 0) return 0;
        int err = 0;
        return FOwner.FHandler->Close(Handle, err);
    }
    std::int64_t Seek(std::intptr_t Handle, std::int64_t Distance, int SeekType) override {
        if (TReadAheadStream* input = Input(Handle))
            return input->Seek(Distance, static_cast<TSeekOrigin>(std::clamp(SeekType & 0xFFFF, 0, 2)));
        int err = 0;
        const std::int64_t at = FOwner.FHandler->Seek(Handle, Distance, SeekType, err);
        return err ? -1 : at;
    }

private:
    struct TInput {
        std::unique_ptr<TFileStream32> File;
        std::unique_ptr<TReadAheadStream> Ahead;
    };
    TReadAheadStream* Input(std::intptr_t Handle) const {
        const auto found = FInputs.find(Handle);
        return found == FInputs.end() ? nullptr : found->second.Ahead.get();
    }

    TUnCab& FOwner;
    std::map<std::intptr_t, TInput> FInputs;
};

TUnCab::TUnCab()
    : FHandler(std::make_unique<TStreamCabinetFileHandler>()), FFiles(std::make_unique<TFiles>(*this)),
      FErf(std::make_unique<TFdiErf>()) {
    ConfirmOverwrites = false;
    OverwriteMode = omOverwrite;
    RestoreFileAttr = true;
    UseStoredDirs = true;
    CreateOutputOnConfirm = true;
}

TUnCab::~TUnCab() = default;

int TUnCab::DoExtract(std::unique_ptr<TFileStream32>& /*ArchiveStream*/) {
    const std::string first = ArchiveFile();
    // A cabinet that is gone by now is an error, not an empty run.
    if (!FileExists(first)) {
        ReportError(first, "", "0", ecFileNotFound);
        return 0;
    }
    if (!FContext) {
        FContext = TFdiContext::Create(*FFiles, *FErf);
        if (!FContext) RaiseError(first, "", "0", ecCabinetDllNotFound);
    }
    TFdiCabinetInfo info;
    if (!IsCabinet(first, info)) return 0;
    FSupplied.clear();
    FDeclined.clear();

    // A set opened at a later cabinet is extracted from its first one.
    std::string current = FirstOfSet(first, info);
    if (GetCancel()) return 0;
    std::vector<std::string> seen{current};
    if (!CountCabinet(current)) return 0;
    while (!GetCancel()) {
        if (!CopyCabinet(current) || GetCancel() || FNextCabinet.empty()) break;
        // Where the next cabinet was found when a file ran on into it, else beside this one.
        const auto supplied = FSupplied.find(LowerCaseAscii(FNextCabinet));
        std::string next =
            supplied != FSupplied.end() ? supplied->second : FindCabinetFile(FolderOf(current), FNextCabinet);
        // One that could not be had when a file ran on into it was reported then.
        if (std::find(seen.begin(), seen.end(), next) != seen.end() || FDeclined.count(next)) break;
        if (!FileExists(next) && !GetNextVolume(next, std::to_string(seen.size() + 1))) {
            // The rest of the set cannot be reached: what it holds is not extracted.
            ReportError(FindCabinetFile(FolderOf(current), FNextCabinet), "", "0", ecBrokenMultiVolumeChain);
            break;
        }
        // Only the next cabinet of the same set goes on with it.
        TFdiCabinetInfo nextInfo;
        const bool isCabinet = CabinetInfo(next, nextInfo);
        if (!isCabinet || nextInfo.setID != FSetID || nextInfo.iCabinet != FCabinetNumber + 1) {
            ReportError(next, "", "0", isCabinet ? ecCabinetNotInSet : ecBadFileHeader);
            break;
        }
        current = next;
        seen.push_back(current);
        if (!CountCabinet(current)) break;
    }
    return 0;
}

bool TUnCab::CabinetInfo(const std::string& Name, TFdiCabinetInfo& Info) {
    int err = 0;
    const std::intptr_t handle = FHandler->Open(Name, OpenReadBinary, 0, err);
    if (handle == -1) return false;
    const bool isCabinet = FContext->IsCabinet(handle, Info);
    FHandler->Close(handle, err);
    return isCabinet;
}

bool TUnCab::IsCabinet(const std::string& Name, TFdiCabinetInfo& Info) {
    int err = 0;
    const std::intptr_t handle = FHandler->Open(Name, OpenReadBinary, 0, err);
    if (handle == -1) RaiseError(Name, "", "0", ecErrorOpeningFile);
    const bool isCabinet = FContext->IsCabinet(handle, Info);
    FHandler->Close(handle, err);
    if (err) RaiseError(Name, "", "0", ecErrorClosingFile);
    if (!isCabinet) ReportError(Name, "", "0", ecBadFileHeader);
    return isCabinet;
}

std::string TUnCab::FirstOfSet(const std::string& Name, TFdiCabinetInfo Info) {
    std::string first = Name;
    std::vector<std::string> seen{first};
    while (Info.hasprev && Info.iCabinet > 0 && std::ssize(seen) < MaxCabinets) {
        // Beside the later one, else asked for; a cabinet that does not come just before it
        // in the same set ends the walk, as does a question declined.
        // Only a name is taken: the cabinet does not lead the search out of its folder.
        const std::string name = Info.PrevCabinet.substr(Info.PrevCabinet.find_last_of("/\\") + 1);
        std::string previous = FindCabinetFile(FolderOf(first), name);
        TFdiCabinetInfo before;
        const bool found =
            !name.empty() && (FileExists(previous) || GetNextVolume(previous, std::to_string(Info.iCabinet)));
        int err = 0;
        const std::intptr_t handle = found ? FHandler->Open(previous, OpenReadBinary, 0, err) : -1;
        bool fits = false;
        if (handle != -1) {
            fits = FContext->IsCabinet(handle, before) && before.setID == Info.setID &&
                   before.iCabinet + 1 == Info.iCabinet &&
                   std::find(seen.begin(), seen.end(), previous) == seen.end();
            FHandler->Close(handle, err);
        }
        if (!fits) {
            // The files that began before cannot be reached: each fails where it is met.
            if (GetCancel()) break;
            if (handle != -1)
                ReportError(previous, "", "0", ecCabinetNotInSet);
            else
                ReportError(first, Info.PrevCabinet, "0", ecCabinetNeedsFirstDisk);
            break;
        }
        first = previous;
        Info = before;
        seen.push_back(first);
    }
    return first;
}

bool TUnCab::CountCabinet(const std::string& Name) {
    FContext->Copy(CabinetNameOf(Name), FolderOf(Name),
                   [this](TFdiNotificationType Type, TFdiNotification& N) {
                       if (GetCancel()) return std::intptr_t{-1};
                       if (Type == fdintCOPY_FILE && MatchEntrySpec(StoredName(N))) {
                           JobTotal += static_cast<double>(N.cb);
                           BytesToDo += static_cast<double>(N.cb);
                           MaxFileDate = std::max(MaxFileDate, PackedDosDate(N));
                       }
                       return std::intptr_t{0};
                   });
    return CheckErf(Name);
}

bool TUnCab::CopyCabinet(const std::string& Name) {
    FCopyingCabinet = Name;
    FFirstCabinetInfo = true;
    FNextCabinet.clear();
    const bool copied = FContext->Copy(CabinetNameOf(Name), FolderOf(Name),
                                       [this](TFdiNotificationType Type, TFdiNotification& N) {
                                           switch (Type) {
                                           case fdintCABINET_INFO:
                                               DoCabinetInfo(N);
                                               break;
                                           case fdintPARTIAL_FILE:
                                               DoPartialFile(N);
                                               break;
                                           case fdintCOPY_FILE:
                                               return DoCopyFile(N);
                                           case fdintCLOSE_FILE_INFO:
                                               DoCloseFileInfo(N);
                                               return std::intptr_t{1};
                                           case fdintNEXT_CABINET:
                                               return DoNextCabinet(N) ? std::intptr_t{0} : std::intptr_t{-1};
                                           default:
                                               break;
                                           }
                                           return GetCancel() ? std::intptr_t{-1} : std::intptr_t{0};
                                       });
    return CheckErf(Name) && copied;
}

bool TUnCab::CheckErf(const std::string& Cabinet) {
    if (!FErf->fError) return true;
    const TFdiErf erf = *FErf;
    *FErf = {};
    // Aborted by an answer of the reader's, or by a cancel that was reported already.
    if (erf.erfOper == fdieUserAbort || GetCancel()) return false;
    // A damaged cabinet, found by its headers, its data, or data longer than a file's size.
    const bool damaged = erf.erfOper == fdieCorruptCabinet || erf.erfOper == fdieNotACabinet ||
                         erf.erfOper == fdieUnknownVersion ||
                         (erf.erfOper == fdieTargetFile && EntryFailed());
    if (damaged) {
        ReportError(Cabinet, "", "0", ecCorruptInput);
        return false;
    }
    if (erf.erfOper == fdieCabinetNotFound) {
        ReportError(Cabinet, "", "0", ecErrorOpeningFile);
        return false;
    }
    RaiseCabinetError(erf.erfOper, erf.erfType);
}

std::string TUnCab::StoredName(const TFdiNotification& File) const {
    if (File.attribs & CabAttrNameIsUtf) return ArcNameToLocalName(File.psz1, false);
    return ArcNameToLocalName(File.psz1, TranslateOemChar);
}

void TUnCab::DoCabinetInfo(const TFdiNotification& Info) {
    // The faults of the cabinet's records, told once, where they lie.
    if (!Info.Where.empty()) ReportError(FCopyingCabinet, Info.Where, "0", ecBadFileHeader);
    if (!FFirstCabinetInfo) return;
    FNextCabinet = Info.psz1;
    FNextDisk = Info.psz2;
    FCabinetPath = Info.psz3;
    FSetID = Info.setID;
    FCabinetNumber = Info.iCabinet;
    FFirstCabinetInfo = false;
}

void TUnCab::DoPartialFile(const TFdiNotification& File) {
    // A file whose data lie in a cabinet that cannot be reached, or whose record is faulty:
    // it fails by its name without output.
    FCopying = false;
    if (GetCancel() || !BeginFile(File)) return;
    if (File.fdie == fdieCorruptCabinet)
        ReportError(FileName, File.Where, "0", ecBadFileHeader);
    else
        ReportError(FileName, "", "0", ecBrokenMultiVolumeChain);
    RefuseEntry(0, File.cb, 32, RunningCrc32);
}

std::intptr_t TUnCab::DoCopyFile(const TFdiNotification& File) {
    FCopying = false;
    if (GetCancel()) return -1;
    if (!BeginFile(File)) return 0;
    if (!OpenOutputFile(FStoredName, FileName, false)) {
        // Reported where it failed; the other files go on.
        MarkEntryFailed();
        SkipEntry(File.cb);
        CheckCrc(32, RunningCrc32);
        return 0;
    }
    FCopying = true;
    TStream32* out = OutputStream();
    auto* file = dynamic_cast<THandleStream32*>(out);
    return file ? file->Handle : 1;
}

bool TUnCab::BeginFile(const TFdiNotification& File) {
    FStoredName = StoredName(File);
    if (!MatchEntrySpec(FStoredName)) return false;
    FFileSize = File.cb;
    FBytesExpected = File.cb;
    if (IsFileOutput())
        SetCurrentFileName(FStoredName);
    else
        FileName = ShownStoredName(FStoredName);
    FileDate = DosDateToDateTime(PackedDosDate(File));
    UnpackedSize = PackedSize = File.cb;
    CurrentFileSize = File.cb;
    RunningCrc32 = 0;
    const bool isDirectory = (File.attribs & CabAttrDirectory) != 0;
    AttrAtConfirm(File.attribs);
    if (!ConfirmExtractFile(isDirectory) || isDirectory) {
        SkipEntry(File.cb);
        return false;
    }
    return true;
}

std::int64_t TUnCab::WriteData(const void* Buffer, std::int64_t Count) {
    if (!FCopying || GetCancel()) return -1;
    if (Count > FBytesExpected) {
        // More data than the file's size: the cabinet is damaged.
        MarkEntryFailed();
        return -1;
    }
    FBytesExpected -= Count;
    BytesToDo -= static_cast<double>(Count);
    EntryBytesDone += Count;
    BlockWriteRoutine(OutputStream(), const_cast<void*>(Buffer), Count, true, 32, false);
    DoProgress(EntryBytesDone, FFileSize, JobTotal);
    return Count;
}

void TUnCab::DoCloseFileInfo(const TFdiNotification& File) {
    if (!FCopying) return;
    FCopying = false;
    if (File.fdie != fdieNone) {
        // The file's data could not be decoded, or run on into a cabinet that cannot be had:
        // it fails by its own name.
        ReportError(FileName, "", "0",
                    File.fdie == fdieCorruptCabinet ? ecCorruptInput : ecBrokenMultiVolumeChain);
        MarkEntryFailed();
    }
    if (FBytesExpected != 0) {
        MarkEntryFailed();
        BytesToDo -= static_cast<double>(FBytesExpected);
    }
    CloseOutputFile(File.attribs, PackedDosDate(File));
    CheckCrc(32, RunningCrc32);
}

bool TUnCab::DoNextCabinet(TFdiNotification& Next) {
    // Beside the cabinet before it, or beside the first (the one before may have come from
    // elsewhere); asked for when it is in neither place, or was not the right one.
    std::string name = FindCabinetFile(Next.psz3, Next.psz1);
    if (!FileExists(name)) name = FindCabinetFile(FolderOf(ArchiveFile()), Next.psz1);
    const bool found =
        (Next.fdie == fdieNone && FileExists(name)) || GetNextVolume(name, std::to_string(Next.iCabinet + 1));
    if (!found) {
        if (GetCancel()) {
            // The run ends: the file that runs on into it fails; what was done stays.
            if (FCopying) {
                FCopying = false;
                MarkEntryFailed();
                CheckCrc(32, RunningCrc32);
            }
            return false;
        }
        // The files that run on into it fail; the copy goes on with the others.
        ReportError(name, "", "0", ecBrokenMultiVolumeChain);
        FDeclined.insert(name);
        Next.psz1.clear();
        return true;
    }
    FSupplied[LowerCaseAscii(Next.psz1)] = name;
    Next.psz1 = CabinetNameOf(name);
    Next.psz3 = FolderOf(name);
    return true;
}
