#include "engine/formats/zip/ZipFix.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvTempFileStream.h"
#include "engine/formats/zip/krvZipEntryName.h"
#include "engine/formats/zip/krvZipExtra.h"
#include "engine/formats/zip/krvZipWalk.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>

namespace {

// Names longer than any path a file system takes are not names.
constexpr std::size_t MaxNameLength = 4096;
constexpr std::int64_t MaxZipOffset = 0xFFFFFFFF;
constexpr std::int64_t MaxEntries = 0xFFFF;
constexpr std::int64_t SearchBlock = 65536;

} // namespace

int TZipFix::FixFile(const std::string& InFile, const std::string& OutFile) {
    int kept = 0;
    AimCancelAtOwnFlag();
    SetCancel(false);
    RunJob(
        [&] {
            std::error_code ec;
            if (InFile == OutFile || std::filesystem::equivalent(InFile, OutFile, ec))
                RaiseError(InFile, "", "0", ecSameInputAndOutputFileNames);
            std::uint8_t status = 0;
            TFileStream32 input(InFile, fmOpenRead | fmShareDenyNone, status);
            if (status != fsOpenOk) RaiseError(InFile, "", "0", ecErrorOpeningFile);
            TTempFileStream output(this, fmCreate, OutFile);
            if (output.Status() != fsOpenOk) RaiseError(OutFile, "", "0", ecErrorOpeningFile);
            kept = FixStream(input, output);
            if (!GetCancel()) output.Commit();
        },
        [] {});
    return GetCancel() ? 0 : kept;
}

std::int64_t TZipFix::FindLocalHeader(TStream32& Input, std::int64_t From) {
    static constexpr std::string_view signature("PK\x03\x04", 4);
    std::string block;
    for (std::int64_t at = From; !GetCancel();) {
        block.resize(SearchBlock);
        const std::int64_t got = ReadAt(Input, at, block.data(), SearchBlock);
        if (got < static_cast<std::int64_t>(signature.size())) return -1;
        block.resize(static_cast<std::size_t>(got));
        const std::size_t found = block.find(signature);
        if (found != std::string::npos) return at + static_cast<std::int64_t>(found);
        // The next block overlaps this one by a signature less one byte.
        at += got - static_cast<std::int64_t>(signature.size()) + 1;
    }
    return -1;
}

bool TZipFix::Plausible(const TZipWalkEntry& Item, std::int64_t End, std::int64_t Size) {
    const std::string& name = Item.RawName;
    if (name.empty() || name.size() > MaxNameLength) return false;
    if (std::any_of(name.begin(), name.end(), [](char C) { return static_cast<unsigned char>(C) < 32; }))
        return false;
    if (Item.DataEndUnknown || End > Size) return false;
    if (Item.CompressedSize > MaxZipOffset || Item.UncompressedSize > MaxZipOffset) return false;
    // Stored data are as long as the file (with the cipher header in front when enciphered);
    // other methods add at most deflate's few bytes per stored block to data that do not shrink.
    const std::int64_t header = (Item.Central.Flags & zfEncrypted) ? 12 : 0;
    const std::int64_t packed = Item.CompressedSize - header, unpacked = Item.UncompressedSize;
    if (packed < 0) return false;
    if (Item.Central.Method == zmStored) return packed == unpacked;
    return packed <= unpacked + unpacked / 16000 * 5 + 64;
}

std::vector<TZipFix::TListed> TZipFix::ReadDirectory(TStream32& Input) {
    // A directory that survives names the entries the archive holds, also those whose local
    // header is gone; a damaged one names those before the damage.
    std::vector<TListed> listed;
    const std::int64_t dirPos = LocateZipDirectory(Input);
    if (!(HeaderState & htCentral)) return listed;
    TZipWalk walk(*this, Input, TZipWalkKind::Central, dirPos, ZipDirectoryEnd(dirPos));
    TZipWalkEntry item;
    while (walk.Next(item))
        listed.push_back({item.Name, item.LocalOffset, false});
    std::stable_sort(listed.begin(), listed.end(),
                     [](const TListed& A, const TListed& B) { return A.Offset < B.Offset; });
    return listed;
}

bool TZipFix::DataSound(TStream32& Input, const TZipWalkEntry& Item) {
    // Enciphered data cannot be checked without the password, nor are the legacy methods
    // decoded here: their sizes are all there is to judge them by.
    if (Item.Central.Flags & zfEncrypted) return true;
    if (Item.Central.Method == zmDeflated) {
        TDeflateEnd end;
        return FindDeflateEnd(Input, Item.DataStart, CancelPtr, end) && end.Packed == Item.CompressedSize &&
               end.Size == Item.UncompressedSize && end.Crc == Item.Crc;
    }
    if (Item.Central.Method != zmStored) return true;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(SearchBlock));
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::int64_t at = Item.DataStart, left = Item.CompressedSize; left > 0 && !GetCancel();) {
        const std::int64_t got = ReadAt(Input, at, block.data(), std::min(left, SearchBlock));
        if (got <= 0) return false;
        UpdateCrc32Buf(block.data(), got, crc);
        at += got;
        left -= got;
    }
    return (crc ^ 0xFFFFFFFF) == Item.Crc;
}

std::string TZipFix::CutName(TStream32& Input, std::int64_t At) {
    // A header cut off by the end of the file is named by what is left of its name.
    std::array<std::uint8_t, TZipLocalHeader::Size> header{};
    if (ReadAt(Input, At, header.data(), std::ssize(header)) != std::ssize(header)) return {};
    std::string raw(TZipLocalHeader::FromBytes(header.data()).NameLength, '\0');
    raw.resize(static_cast<std::size_t>(
        std::max<std::int64_t>(ReadAt(Input, At + std::ssize(header), raw.data(), std::ssize(raw)), 0)));
    if (std::any_of(raw.begin(), raw.end(), [](char C) { return static_cast<unsigned char>(C) < 32; }))
        return {};
    return ZipStoredNameToLocal(raw, false, 0, false, TranslateOemChar);
}

int TZipFix::FixStream(TStream32& Input, TStream32& Output) {
    const std::int64_t size = Input.GetSize();
    std::int64_t budget = 2 * size + (1 << 20); // for the descriptor searches of every entry
    std::vector<TListed> listed = ReadDirectory(Input);
    // Where there is a directory, the entries it lists are what the repair is counted against:
    // each is reported once, found or not; a header that no record points at and that is not
    // an entry kept is a chance match, not an entry.
    const auto listedAt = [&listed](std::int64_t At) -> TListed* {
        auto l = std::lower_bound(listed.begin(), listed.end(), At,
                                  [](const TListed& L, std::int64_t Offset) { return L.Offset < Offset; });
        while (l != listed.end() && l->Offset == At && l->Reported)
            ++l;
        return l != listed.end() && l->Offset == At ? &*l : nullptr;
    };
    std::vector<TKept> kept;
    for (std::int64_t pos = 0; !GetCancel();) {
        const std::int64_t at = FindLocalHeader(Input, pos);
        if (at < 0) break;
        TZipWalk walk(*this, Input, TZipWalkKind::Local, at);
        walk.ShareSearchBudget(budget);
        TZipWalkEntry item;
        const bool read = walk.Next(item) && item.RecordPos == at;
        std::int64_t end = -1;
        const bool ok = read && CheckedAdd(item.DataStart, item.CompressedSize, end) &&
                        CheckedAdd(end, item.DescriptorLength, end) && Plausible(item, end, size);
        const bool printable = read && std::none_of(item.RawName.begin(), item.RawName.end(), [](char C) {
                                   return static_cast<unsigned char>(C) < 32;
                               });
        TListed* entry = listedAt(at);
        if (entry) entry->Reported = true;
        std::string name = printable ? item.Name : std::string();
        if (name.empty() && entry) name = entry->Name;
        if (name.empty() && !read) name = CutName(Input, at);
        if (!ok) {
            if (OnFileFound && (entry || listed.empty())) OnFileFound(*this, name, false);
            pos = at + 4;
            continue;
        }
        // An entry whose data fail their check is kept as it stands (nothing is lost), but it
        // is not recovered whole.
        const bool sound = DataSound(Input, item);
        if (OnFileFound) OnFileFound(*this, name, sound);
        if (std::ssize(kept) >= MaxEntries)
            RaiseError(ArchiveFile(), "more than 65535 entries", "0", ecMaxFileSizeExceeded);
        TKept k;
        k.Central = item.Central;
        k.Central.Signature = ZipCentralSig;
        k.Central.VersionMadeBy = 0;
        k.Central.CompressedSize = static_cast<std::uint32_t>(item.CompressedSize);
        k.Central.UncompressedSize = static_cast<std::uint32_t>(item.UncompressedSize);
        k.Central.Crc = item.Crc;
        k.Central.InternalAttr = 0;
        k.Central.ExternalAttr = 0;
        k.RawName = item.RawName;
        k.Extra = ZipKeepNameReading(k.Central, item.RawName, item.Extra);
        k.Start = at;
        k.Length = end - at;
        kept.push_back(std::move(k));
        pos = end;
    }
    // The listed entries whose local header was not found are lost.
    for (const TListed& l : listed)
        if (!l.Reported && !GetCancel() && OnFileFound) OnFileFound(*this, l.Name, false);
    if (!kept.empty() && !GetCancel()) Write(Input, Output, kept);
    return static_cast<int>(kept.size());
}

void TZipFix::Write(TStream32& Input, TStream32& Output, std::vector<TKept>& Kept) {
    for (TKept& k : Kept) {
        const std::int64_t offset = Output.Position();
        if (offset > MaxZipOffset) RaiseError(ArchiveFile(), "", "0", ecMaxFileSizeExceeded);
        k.Central.LocalHeaderOffset = static_cast<std::uint32_t>(offset);
        if (Input.Seek(k.Start, soBeginning) != k.Start ||
            Output.CopyFrom(Input, CancelPtr, nullptr, k.Length) != k.Length)
            RaiseError(ArchiveFile(), "", "0", ecErrorReadingFile);
    }
    const std::int64_t dirStart = Output.Position();
    for (TKept& k : Kept) {
        k.Central.NameLength = static_cast<std::uint16_t>(k.RawName.size());
        k.Central.ExtraLength = static_cast<std::uint16_t>(k.Extra.size());
        k.Central.CommentLength = 0;
        k.Central.DiskNumberStart = 0;
        const auto image = k.Central.Image();
        Output.WriteBuffer(image.data(), std::ssize(image));
        Output.WriteBuffer(k.RawName.data(), std::ssize(k.RawName));
        Output.WriteBuffer(k.Extra.data(), std::ssize(k.Extra));
    }
    const std::int64_t dirEnd = Output.Position();
    if (dirEnd > MaxZipOffset) RaiseError(ArchiveFile(), "", "0", ecMaxFileSizeExceeded);
    TZipEndRecord end;
    end.EntriesOnDisk = end.TotalEntries = static_cast<std::uint16_t>(Kept.size());
    end.CentralSize = static_cast<std::uint32_t>(dirEnd - dirStart);
    end.CentralOffset = static_cast<std::uint32_t>(dirStart);
    const auto image = end.Image();
    Output.WriteBuffer(image.data(), std::ssize(image));
}
