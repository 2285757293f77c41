// The directory lister: the run, the selection rules, the report of one entry and the totals.
// The walks of the archive types live in krvKorva<Format>.cpp.
#include "engine/read/krvKorva.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvMatchSpec.h"
#include "engine/core/krvOutputPath.h"
#include "engine/core/krvUnBase.h"
#include "engine/formats/zip/krvZipRecords.h"
#include "engine/read/krvKorvaWalk.h"
#include "platform/CodePages.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace {

std::unique_ptr<TKorva::TWalk> MakeWalk(TKorva& Owner, TArcType Type) {
    switch (Type) {
    case atJar:
    case atJarExe:
    case atZip:
    case atZipExe:
    case atZipMV:
        return MakeZipWalk(Owner);
    case atTar:
        return MakeTarWalk(Owner);
    case atGZip:
        return MakeGzipWalk(Owner);
    case atLha:
    case atLhaExe:
    case atLzh:
    case atLzhExe:
        return MakeLhaWalk(Owner);
    case atArj:
    case atArjExe:
        return MakeArjWalk(Owner);
    case atArc:
    case atArcExe:
    case atPak:
    case atPakExe:
        return MakeArcWalk(Owner);
    case atZoo:
        return MakeZooWalk(Owner);
    case atBh:
    case atBhExe:
        return MakeBhWalk(Owner);
    case atCab:
        return MakeCabWalk(Owner);
    case atRar:
    case atRarExe:
        return MakeRarWalk(Owner);
    case atAce:
    case atAceExe:
        return MakeAceWalk(Owner);
    case atUUE:
        return MakeUueWalk(Owner);
    case atHA:
        return MakeHaWalk(Owner);
    case atMsGZ:
        return MakeMsGZWalk(Owner);
    default:
        return nullptr; // atTarGZip and the unknown types: nothing is listed
    }
}

} // namespace

TKorva::TKorva() {
    SetZipCmntBufSize(32000);
    RecurseDirs = true;
    FDiskSpann = std::make_unique<TDiskSpannObj>();
}

TKorva::~TKorva() = default;

void TKorva::SetCurrentFileName(const std::string& StoredName) {
    // Plain ASCII reads the same in every code page.
    FileName = ArcNameToLocalName(StoredName, TranslateOemChar && !IsAsciiText(StoredName));
}

bool TKorva::MatchesSpec(const std::string& Name, bool UseEntrySpec) const {
    if (FileSpec.empty()) return true;
    if (UseEntrySpec) return MatchEntrySpec(Name, FileSpec, ExcludeSpec, RecurseDirs);
    return MatchFileSpec(Name, FileSpec, ExcludeSpec);
}

void TKorva::AddTotals(std::int64_t Packed, std::int64_t Unpacked) {
    TotalPackedSize += static_cast<double>(Packed);
    TotalUnpackedSize += static_cast<double>(Unpacked);
}

bool TKorva::SelectEntry(TKorvaEntry& Entry) {
    if (Entry.RawName)
        FileName = Entry.StoredName;
    else if (Entry.NameIsUtf8)
        FileName = SlashToBackslash(Entry.StoredName);
    else
        SetCurrentFileName(Entry.StoredName);
    // A name that names no file is listed as the readers test and select it, by its header's
    // offset; control bytes (a NUL would end the name) are listed escaped, as they name them.
    if (Entry.UnnamedByOffset) FileName = TUnBase::SelectionName(FileName, Entry.Offset);
    FileName = ShownStoredName(FileName);
    if (OnReadFile) OnReadFile(*this, FileName);

    // A folder is tested without its trailing separator.
    std::string tested = FileName;
    if (Entry.IsDirectory && tested.size() > 1 && tested.back() == PathDelim) tested.pop_back();
    if (!Entry.Always && !MatchesSpec(tested, Entry.UseEntrySpec)) return false;

    const std::int64_t stored = Entry.RatioPacked >= 0 ? Entry.RatioPacked : Entry.PackedSize;
    if (Entry.IsDirectory) {
        if (!ShowEmptyDirs) return false;
        if (Entry.CountDirectory) {
            ++NumFiles;
            AddTotals(stored, Entry.UnpackedSize);
        }
        ReportEntry(Entry);
        return true;
    }
    ++NumFiles;
    AddTotals(stored, Entry.UnpackedSize);
    ReportEntry(Entry);
    return true;
}

void TKorva::ReportEntry(const TKorvaEntry& Entry) {
    if (GetCancel()) return;
    FileDate = Entry.Date;
    VersionMadeBy = Entry.VersionMadeBy;
    VersionNeeded = Entry.VersionNeeded;
    PackedSize = Entry.PackedSize;
    UnpackedSize = Entry.UnpackedSize;
    CRC = Entry.CRC;
    Encrypted = Entry.Encrypted;
    Method = Entry.Method;
    MethodName = Entry.NoMethodText ? std::string()
                                    : CompressMethodName(ArcType(), Entry.Method, Entry.MethodFlags,
                                                         Entry.IsDirectory, Entry.Magic);
    InternalAttr = Entry.InternalAttr;
    ExternalAttr = Entry.ExternalAttr;
    HostSystem = Entry.HostSystem;
    const std::int64_t stored = Entry.RatioPacked >= 0 ? Entry.RatioPacked : Entry.PackedSize;
    Ratio = Entry.NoRatio ? 0 : static_cast<std::uint8_t>(CompressRatio64(Entry.UnpackedSize, stored));
    VolumeID = Entry.VolumeID.empty() ? FVolumeID : Entry.VolumeID;

    if (OnReadBegin) OnReadBegin(*this);
    if (OnRead) OnRead(*this, Entry.Offset, NumFiles);
    if (OnReadEnd) OnReadEnd(*this);
}

std::string TKorva::ReadComment(std::int64_t Pos, std::int64_t Len) {
    if (!FWalk || Pos < 0) return {};
    const bool toNul = Len <= 0;
    std::int64_t want = toNul ? 2500 : Len;
    // Never past the archive's end nor the comment buffer.
    want = std::min<std::int64_t>(want, FWalk->End - Pos);
    want = std::min<std::int64_t>(want, static_cast<std::int64_t>(CommentBufSize) - 1);
    if (want <= 0) return {};
    std::string text(static_cast<std::size_t>(want), '\0');
    text.resize(static_cast<std::size_t>(FWalk->ReadAt(Pos, text.data(), want)));
    return CutComment(std::move(text));
}

std::string TKorva::CutComment(std::string Text) {
    const std::size_t nul = Text.find('\0');
    if (nul != std::string::npos) Text.resize(nul);
    if (Text.size() > CommentBufSize - 1) Text.resize(CommentBufSize - 1);
    return Text;
}

void TKorva::Walk() {
    TWalk& w = *FWalk;
    w.Setup();
    while (!GetCancel() && FStream) {
        if (w.StepSize <= 0 || w.Pos < 0 || w.StepSize > w.End - w.Pos) break;
        w.HeaderPos = w.Pos;
        w.Buf.resize(static_cast<std::size_t>(w.StepSize));
        if (w.ReadAt(w.Pos, w.Buf.data(), w.StepSize) != w.StepSize) break;
        w.Pos += w.StepSize;
        FileComment.clear();
        w.VolumeChanged = false;
        w.Step();
        // A header that does not lead forward would be read again and again.
        if (!w.VolumeChanged && w.Pos <= w.HeaderPos && !GetCancel()) {
            ReportError(ArchiveFile(), "", "0", ecBadFileHeader);
            break;
        }
    }
}

bool TKorva::Activate() {
    AimCancelAtOwnFlag();
    SetCancel(false);
    FVolumeID = ArchiveFile();
    VolumeID = FVolumeID;
    ExcludeSpec.clear(); // the lister selects by FileSpec alone
    NumFiles = 0;
    TotalPackedSize = 0;
    TotalUnpackedSize = 0;
    TotalRatio = 0;
    FileComment.clear();

    // Multi-volume walks move ArchiveFile and the volume numbering on; they are restored.
    const std::string savedName = FArchiveFile;
    const std::int32_t savedVolumeNumber = VolumeNumber;
    const char savedVolumeLetter = VolumeLetter;
    const std::int64_t savedSize = ArchiveSize;
    bool walked = false;
    bool activated = false;
    const bool finished = RunJob(
        [&] {
            if (!FileExists(ArchiveFile())) {
                RaiseError(ArchiveFile(), "", "0", ecFileNotFound);
                return;
            }
            if (!OnRead) {
                RaiseError(ArchiveFile(), "OnRead", "0", ecRequiredEventNotAssigned);
                return;
            }

            if (ArcType() == atZip && ArchiveOffset == 0) {
                if (!DiskManager.CheckDrive(*this, ArchiveFile(), false)) return;
                // A removable medium alone does not make a spanned set: the end record's disk
                // number or the spanning marker must say so.
                if (DiskManager.IsRemovable()) {
                    std::uint8_t status = fsOpenOk;
                    TFileStream32 probe(ArchiveFile(), fmOpenRead | fmShareDenyNone, status);
                    std::uint8_t sig[4] = {};
                    const bool marker = status == fsOpenOk && ::ReadAt(probe, 0, sig, 4) == 4 &&
                                        GetU32LE(sig) == ZipDescriptorSig;
                    if (marker || GetU16LE(&EndRecord[4]) != 0) FArcType = atZipMV;
                }
            }

            std::uint8_t status = fsOpenOk;
            FStream = std::make_unique<TFileStream32>(ArchiveFile(), fmOpenRead | fmShareDenyNone, status);
            if (status != fsOpenOk) {
                ReportError(ArchiveFile(), "", "0", ecErrorOpeningFile);
                return;
            }
            ArchiveSize = FStream->Size();

            if (OnActivate) OnActivate(*this);
            activated = true;
            Timer.Start();

            FWalk = MakeWalk(*this, ArcType());
            if (FWalk) Walk();

            Timer.Stop();
            FStream.reset();
            if (OnTotals) {
                TotalRatio =
                    static_cast<std::uint8_t>(CompressRatioFloat(TotalUnpackedSize, TotalPackedSize));
                OnTotals(*this, TotalUnpackedSize, TotalPackedSize, TotalRatio, NumFiles);
            }
            walked = true;
        },
        [&] {
            if (Timer.Running()) Timer.Stop();
            FWalk.reset();
            FStream.reset();
            FArchiveFile = savedName;
            VolumeNumber = savedVolumeNumber;
            VolumeLetter = savedVolumeLetter;
            ArchiveSize = savedSize;
            if (activated) {
                if (OnDeactivate) OnDeactivate(*this);
                if (OnElapsedTime) OnElapsedTime(*this, Timer.Elapsed());
            }
        });
    return finished && walked;
}

// ---- the walk frame ---------------------------------------------------------------------------

TStream32* TKorva::TWalk::ReadAheadStream() {
    TStream32* stream = Source();
    if (!stream) return nullptr;
    if (!FReader || FReaderSource != stream) {
        FReader = std::make_unique<TReadAheadStream>(*stream);
        FReaderSource = stream;
    }
    return FReader.get();
}

std::int64_t TKorva::TWalk::ReadAt(std::int64_t At, void* Buffer, std::int64_t Count) {
    TStream32* reader = ReadAheadStream();
    return reader ? std::max<std::int64_t>(::ReadAt(*reader, At, Buffer, Count), 0) : 0;
}

void TKorva::TWalk::BadHeader() {
    K.ReportError(K.ArchiveFile(), K.FileName, "0", ecBadFileHeader);
    Stop();
}

std::string TKorva::TWalk::ReadText(std::int64_t At, std::int64_t Count) {
    if (Count <= 0) return {};
    std::string text(
        static_cast<std::size_t>(std::min<std::int64_t>(Count, std::max<std::int64_t>(End - At, 0))), '\0');
    text.resize(static_cast<std::size_t>(ReadAt(At, text.data(), std::ssize(text))));
    return text;
}

std::string TKorva::TWalk::ReadZText(std::int64_t At, std::int64_t MaxLen, std::int64_t& Next,
                                     bool* Complete) {
    std::string text = ReadText(At, MaxLen);
    const std::size_t nul = text.find('\0');
    if (Complete) *Complete = nul != std::string::npos || std::ssize(text) == MaxLen;
    if (nul != std::string::npos) {
        text.resize(nul);
        Next = At + static_cast<std::int64_t>(nul) + 1;
    } else {
        Next = At + static_cast<std::int64_t>(text.size());
    }
    return text;
}

bool TKorva::TWalk::NextVolume() {
    ResetCache();
    if (!K.OnNextVolume) {
        K.ReportError(K.ArchiveFile(), "OnNextVolume", "0", ecRequiredEventNotAssigned);
        Stop();
        return false;
    }
    if (!K.OpenNextVolume(K.FStream)) {
        if (!K.GetCancel()) K.SetCancel(true);
        return false;
    }
    End = K.ArchiveSize;
    VolumeChanged = true;
    return true;
}
