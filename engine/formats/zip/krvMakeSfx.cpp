#include "engine/formats/zip/krvMakeSfx.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvTempFileStream.h"
#include "engine/formats/zip/krvZipExtra.h"
#include "engine/formats/zip/krvZipWalk.h"
#include "platform/ProgramFolders.h"

#include <filesystem>
#include <sys/stat.h>

namespace {

// The offset fields of zip records hold 32 bits.
constexpr std::int64_t MaxZipOffset = 0xFFFFFFFF;

const char* StubWord(TArcType Type) {
    switch (Type) {
    case atAce:
        return "Ace";
    case atArj:
        return "Arj";
    case atBh:
        return "Bh";
    case atJar:
        return "Jar";
    case atLha:
    case atLzh:
        return "Lha";
    case atRar:
        return "Rar";
    case atZip:
        return "Zip";
    default:
        return nullptr;
    }
}

bool SameFile(const std::string& A, const std::string& B) {
    std::error_code ec;
    return A == B || std::filesystem::equivalent(A, B, ec);
}

// Copies Count bytes of Input from its position to Output; false when Input ends first.
bool CopyBytes(TStream32& Input, TStream32& Output, std::int64_t Count, const bool* Cancel) {
    return Count <= 0 || Output.CopyFrom(Input, Cancel, nullptr, Count) == Count;
}

} // namespace

TMakeSFX::TMakeSFX() {
    FSfxStubDir = ProgramDataFolder();
}

void TMakeSFX::SetArchiveFile(const std::string& Name) {
    TZipCommon::SetArchiveFile(Name);
    TargetFile();
}

std::string TMakeSFX::TargetFile() {
    if (FTargetFile.empty() && !ArchiveFile().empty() && FileExists(ArchiveFile()))
        FTargetFile = ReplaceFileExt(ArchiveFile(), ".exe");
    return FTargetFile;
}

void TMakeSFX::SetSfxStubDir(const std::string& Value) {
    FSfxStubDir = Value.empty() || Value.back() == '/' ? Value : Value + '/';
}

std::string TMakeSFX::StubFile() const {
    const char* word = StubWord(ArcType());
    return word ? FSfxStubDir + "krv_" + word + ".SFX" : std::string();
}

void TMakeSFX::Activate() {
    AimCancelAtOwnFlag();
    SetCancel(false);
    RunJob([this] { Make(); }, [] {});
}

void TMakeSFX::Make() {
    const std::string archive = ArchiveFile();
    if (archive.empty() || !FileExists(archive)) RaiseError(archive, "", "0", ecFileNotFound);
    const std::string target = TargetFile();
    if (target.empty() || SameFile(archive, target))
        RaiseError(archive, "", "0", ecSameInputAndOutputFileNames);
    if (FileExists(target)) {
        if (!OnFileExists) {
            ReportError(target, "OnFileExists", "0", ecRequiredEventNotAssigned);
            return;
        }
        TOverwriteMode mode = omOverwrite;
        OnFileExists(*this, target, 0, mode);
        if (mode == omSkip || GetCancel()) return;
    }
    const std::string stub = StubFile();
    if (stub.empty()) RaiseError(archive, "", "0", ecInvalidArchiveType);
    if (!FileExists(stub)) RaiseError(stub, "", "0", ecFileNotFound);

    std::uint8_t status = 0;
    TFileStream32 stubStream(stub, fmOpenRead | fmShareDenyNone, status);
    if (status != fsOpenOk) RaiseError(stub, "", "0", ecErrorOpeningFile);
    TFileStream32 input(archive, fmOpenRead | fmShareDenyNone, status);
    if (status != fsOpenOk) RaiseError(archive, "", "0", ecErrorOpeningFile);
    // The target is written beside itself and put in place only when whole: a failure leaves
    // no half-written program and an old target as it was.
    TTempFileStream output(this, fmCreate, target);
    if (output.Status() != fsOpenOk) RaiseError(target, "", "0", ecErrorOpeningFile);

    const std::int64_t stubSize = stubStream.GetSize();
    if (!CopyBytes(stubStream, output, stubSize, CancelPtr)) RaiseError(stub, "", "0", ecErrorReadingFile);
    if (ArcType() == atZip || ArcType() == atJar)
        CopyZipShifted(input, output, stubSize);
    else if (!CopyBytes(input, output, input.GetSize(), CancelPtr))
        RaiseError(archive, "", "0", ecErrorReadingFile);
    if (GetCancel()) return;
    output.Commit();
    // A program: readable and runnable by everyone, writable by its owner.
    ::chmod(target.c_str(), 0755);
}

void TMakeSFX::CopyZipShifted(TFileStream32& Input, TStream32& Output, std::int64_t StubSize) {
    const std::string& archive = ArchiveFile();
    const std::int64_t dirPos = LocateZipDirectory(Input);
    const TZipEndRecord end = TZipEndRecord::FromBytes(EndRecord.data());
    // Only a plain, single-disk archive with a directory can be moved record by record.
    if (!(HeaderState & htEnding) || (end.TotalEntries > 0 && !(HeaderState & htCentral)) ||
        end.ThisDisk != 0 || end.CentralOffset == Zip64Marker32 || end.TotalEntries == Zip64Marker16 ||
        ZipEndRecordPos < dirPos)
        RaiseError(archive, "", "0", ecInvalidArchiveType);
    // Where the entries lie in the new file, less what their stored offsets say.
    const std::int64_t shift = StubSize + ZipOffsetCorrection;

    Input.Seek(0, soBeginning);
    if (!CopyBytes(Input, Output, dirPos, CancelPtr)) RaiseError(archive, "", "0", ecErrorReadingFile);
    TZipWalk walk(*this, Input, TZipWalkKind::Central, dirPos, ZipDirectoryEnd(dirPos));
    TZipWalkEntry item;
    while (walk.Next(item)) {
        TZipCentralHeader c = item.Central;
        std::int64_t offset = 0;
        if (c.LocalHeaderOffset == Zip64Marker32 || !CheckedAdd(c.LocalHeaderOffset, shift, offset) ||
            offset > MaxZipOffset)
            RaiseError(archive, "", "0", ecMaxFileSizeExceeded);
        c.LocalHeaderOffset = static_cast<std::uint32_t>(offset);
        auto image = c.Image();
        std::string name = item.RawName;
        if (item.Enciphered) {
            EncryptZipHeader(image, zkCentral);
            EncryptHeaderBuf(name.data(), std::ssize(name));
        }
        Output.WriteBuffer(image.data(), std::ssize(image));
        Output.WriteBuffer(name.data(), std::ssize(name));
        Output.WriteBuffer(item.Extra.data(), std::ssize(item.Extra));
        Output.WriteBuffer(item.Comment.data(), std::ssize(item.Comment));
    }
    if (walk.Ended() != TZipWalkEnd::AtEnd || static_cast<std::uint64_t>(walk.Records()) != ZipEntryCount)
        RaiseError(archive, "", "0", ecHeaderNotFound);
    // Whatever stands between the directory and the end record, then the end record moved.
    Input.Seek(walk.Position(), soBeginning);
    if (!CopyBytes(Input, Output, ZipEndRecordPos - walk.Position(), CancelPtr))
        RaiseError(archive, "", "0", ecErrorReadingFile);
    TZipEndRecord moved = end;
    std::int64_t dirOffset = 0;
    if (!CheckedAdd(dirPos, StubSize, dirOffset) || dirOffset > MaxZipOffset)
        RaiseError(archive, "", "0", ecMaxFileSizeExceeded);
    moved.CentralOffset = static_cast<std::uint32_t>(dirOffset);
    auto image = moved.Image();
    std::uint8_t stored[4] = {};
    if (ReadAt(Input, ZipEndRecordPos, stored, 4) == 4 && IsEncryptedHeaderSig(GetU32LE(stored)))
        EncryptZipHeader(image, zkEnd);
    Output.WriteBuffer(image.data(), std::ssize(image));
    // The archive comment and anything after it.
    const std::int64_t rest = ZipEndRecordPos + static_cast<std::int64_t>(TZipEndRecord::Size);
    Input.Seek(rest, soBeginning);
    if (!CopyBytes(Input, Output, Input.GetSize() - rest, CancelPtr))
        RaiseError(archive, "", "0", ecErrorReadingFile);
}
