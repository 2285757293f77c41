// Updating a tar: reading the old archive's entries through the shared tar walk, copying kept
// entries (renamed ones with a header made anew), and the tar.gz wrapping.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvFileIo.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvGzipFilter.h"
#include "engine/core/krvTempEntries.h"
#include "engine/formats/tar/krvTar.h"

#include <cstring>
#include <ctime>

namespace {

bool EndsWith(const std::string& Text, const std::string& Tail) {
    return Text.size() > Tail.size() &&
           SameTextNoCase(std::string_view(Text).substr(Text.size() - Tail.size()), Tail);
}

std::string BaseName(const std::string& Path) {
    const std::size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

} // namespace

std::string TTar::GzipName() const {
    const std::string& name = ArchiveFile();
    if (EndsWith(name, ".gz") || EndsWith(name, ".tgz")) return name;
    return name + ".gz";
}

std::string TTar::TarNameInGzip() const {
    const std::string gz = BaseName(GzipName());
    if (EndsWith(gz, ".tgz")) return gz.substr(0, gz.size() - 4) + ".tar";
    return gz.substr(0, gz.size() - 3);
}

void TTar::ReadHeaders(TStream32& Input, TCompHeaderObj& List) {
    FOld.clear();
    TCompBase::ReadHeaders(Input, List);
    const TTarWalkEnd end = FOldWalk ? FOldWalk->EndReason() : TTarWalkEnd::End;
    FOldWalk.reset();
    // Entries behind damage would be lost by a rewrite: such an archive is not updated.
    if (end != TTarWalkEnd::End) Fail(ArchiveFile(), "", ecHeaderNotFound);
}

bool TTar::ReadFirstHeader(TStream32& Input, bool& Central) {
    Central = false;
    FOldWalk = std::make_unique<TTarWalker>(StreamReader(Input), 0, FInputSize);
    return ReadHeader(Input, FOldName, Central);
}

bool TTar::ReadHeader(TStream32& Input, std::string& Name, bool /*Central*/) {
    TTarEntry item;
    if (!FOldWalk || !FOldWalk->Next(item) || item.Truncated) return false;
    if (ReadAt(Input, item.HeaderPos, FOldImage.data(), TarBlockSize) != TarBlockSize)
        Fail(ArchiveFile(), "", ecUnexpectedEndOfFile);
    // The list's copy carries the values the walk found (pax sizes and times included).
    PutTarNumber(FOldImage.data() + TarSizeOffset, 12, item.Size);
    PutTarTime(FOldImage.data() + TarMTimeOffset, 12, item.MTime);
    Name = item.Name;
    FOldEntry.OldOffset = item.StartPos;
    FOldEntry.NewLength = item.DataPos + item.Size + TarPadding(item.Size) - item.StartPos;
    FOldEntry.IsDir = item.Kind == TTarKind::Directory;
    FOldEntry.RawName = item.Name;
    FOld[item.StartPos] = {item.HeaderPos, item.DataPos, item.Size};
    JobTotal += static_cast<double>(TarBlockSize + item.Size);
    return true;
}

void TTar::CopyKeptEntry(TCompHeaderObj& List, int Index) {
    TCompEntry& e = Entry(Index);
    FileName = List.Name(Index);
    const auto old = FOld.find(e.OldOffset);
    const std::int64_t lead = old == FOld.end() ? -1 : old->second.HeaderPos - e.OldOffset;
    if (lead < 0 || lead + TarBlockSize > e.NewLength) {
        CopyInput(e.OldOffset, e.NewLength);
        return;
    }
    // The headers of the entry (those of a long name or pax record before its own) get their
    // checksums in the form of a kept entry; everything else goes as it is.
    std::int64_t at = e.OldOffset;
    const std::int64_t header = old->second.HeaderPos;
    while (at <= header) {
        THeader h{};
        if (ReadAt(*FInput, at, h.data(), TarBlockSize) != TarBlockSize)
            Fail(ArchiveFile(), "", ecUnexpectedEndOfFile);
        if (!IsTarHeaderValid(h.data())) break;
        SetTarChecksumSixDigits(h.data());
        FOutput->WriteBuffer(h.data(), TarBlockSize);
        at += TarBlockSize;
        if (at > header) break;
        // A record's data up to the next header.
        const std::int64_t size = TarNumber(h.data() + TarSizeOffset, 12);
        const std::int64_t data = size < 0 ? -1 : size + TarPadding(size);
        if (data < 0 || at + data > header) break;
        CopyInput(at, data);
        at += data;
    }
    CopyInput(at, e.OldOffset + e.NewLength - at);
}

void TTar::CopyEntry(TCompHeaderObj& List, int Index) {
    TCompEntry& e = Entry(Index);
    const TOldEntry& old = FOld.at(e.OldOffset);
    THeader h{};
    if (ReadAt(*FInput, old.HeaderPos, h.data(), TarBlockSize) != TarBlockSize)
        Fail(ArchiveFile(), "", ecUnexpectedEndOfFile);
    // The entry's own header under its new name; its long-name and pax records stay behind.
    std::string name = LocalNameToArcName(List.Name(Index));
    if (e.IsDir && (name.empty() || name.back() != '/')) name += '/';
    FileName = name;
    std::memset(h.data() + TarNameOffset, 0, TarNameLength);
    std::memcpy(h.data() + TarNameOffset, name.data(), std::min(name.size(), TarNameLength));
    PutTarNumber(h.data() + TarSizeOffset, 12, old.Size);
    if (!PutTarNumber(h.data() + TarMTimeOffset, 12, TarNumber(List.GetHeader(Index) + TarMTimeOffset, 12)))
        Fail(ArchiveFile(), "", ecBadFileHeader);
    SetTarChecksumSixDigits(h.data());
    const std::int64_t start = FOutput->Position();
    WriteHeader(h, name);
    CopyInput(old.DataPos, old.Size + TarPadding(old.Size));
    e.NewLength = FOutput->Position() - start;
    std::memcpy(List.GetHeader(Index), h.data(), h.size());
}

void TTar::UnpackOld(const std::string& GzName, const std::string& Tar) {
    std::uint8_t status = fsOpenOk;
    TFileStream32 input(GzName, fmOpenRead | fmShareDenyWrite, status);
    if (status != fsOpenOk) Fail(GzName, "", ecErrorOpeningFile);
    TFileStream32 output(Tar, fmCreate, status);
    if (status != fsOpenOk) Fail(Tar, "", ecErrorOpeningFile);
    const int code = GunzipFile(*this, input, [&output](const std::uint8_t* Buffer, std::int64_t Count) {
        output.WriteBuffer(Buffer, Count);
    });
    CheckCancel();
    if (code != 0) Fail(GzName, "", code);
}

void TTar::DoCompress(TCompHeaderObj& List) {
    if (!GzipMode()) {
        TCompBase::DoCompress(List);
        return;
    }
    const std::string target = GzipName();
    // The tar.gz itself is what another update would replace (the base locks only the tar).
    TArchiveLock lock;
    if (Switch != swRead) LockArchive(lock, target);
    const bool exists = FileExists(target);
    if (Switch != swRead && exists && !CheckArchiveWriteable(target)) return;
    // The tar is unpacked and built in a private scratch folder, removed however the job ends.
    const TTempFolder scratch(TempDir(), "krv");
    if (!scratch.Made()) Fail(TempDir(), "", ecErrorOpeningFile);
    const std::string keep = FArchiveFile;
    FAlsoNeverGather = {target};
    const TScopeExit restore{[&] {
        FAlsoNeverGather.clear();
        FArchiveFile = keep;
        FGzipTarget.clear();
        FGzipOut = nullptr;
    }};
    const std::string tar = JoinPath(scratch.Path(), TarNameInGzip());
    if (exists && (Switch == swRead || !ReplaceArchive)) UnpackOld(target, tar);
    FArchiveFile = tar;
    FGzipTarget = target;
    TCompBase::DoCompress(List);
}

std::string TTar::TemporaryArchiveName() {
    return FGzipTarget.empty() ? ArchiveFile() : FGzipTarget;
}

std::unique_ptr<TStream32> TTar::WrapOutput(TTempFileStream& Temp) {
    if (FGzipTarget.empty()) return nullptr;
    const auto now = static_cast<std::uint32_t>(std::time(nullptr));
    std::unique_ptr<TGzipOutput> out = OpenGzipOutput(*this, Temp, TarNameInGzip(), now);
    FGzipOut = out.get();
    return out;
}
