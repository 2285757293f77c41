// Finding the entries of a zip archive through the zip walk: the central directory, or the
// local headers when the directory is unusable.
#include "engine/core/EngineHost.h"
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/zip/krvUnZip.h"
#include "engine/formats/zip/krvZipExtra.h"

#include <algorithm>
#include <array>

void TUnZip::AddToTotals(std::uint32_t DosDateTime, std::int64_t Compressed, std::int64_t Uncompressed,
                         std::uint16_t Flags) {
    MaxFileDate = std::max(MaxFileDate, DosDateTime);
    FPackedTotal +=
        static_cast<double>((Flags & zfEncrypted) ? std::max<std::int64_t>(Compressed - 12, 0) : Compressed);
    FUnpackedTotal += static_cast<double>(Uncompressed);
}

void TUnZip::SelectEntry(const TZipWalkEntry& Item) {
    if (!MatchEntrySpec(Item.Name)) return;
    TEntryRef entry;
    static_cast<TZipWalkEntry&>(entry) = Item;
    // The extra field is kept only when a unicode path field in it names the local header.
    if (FindZipExtraField(entry.Extra, ZipExtraUnicodePath).empty()) entry.Extra.clear();
    entry.Comment.clear();
    AddToTotals(Item.Central.DosDateTime, Item.CompressedSize, Item.UncompressedSize, Item.Central.Flags);
    FEntries.push_back(std::move(entry));
}

int TUnZip::ScanCentralDirectory(TStream32& Archive, std::int64_t Start, std::int64_t End,
                                 std::uint64_t Expected, bool& DirectoryFound) {
    DirectoryFound = false;
    TZipWalk walk(*this, Archive, TZipWalkKind::Central, Start, End);
    TZipWalkEntry item;
    std::vector<TZipExtent> extents;        // of every record
    std::vector<std::ptrdiff_t> selectedAt; // its place in FEntries, or -1
    while (walk.Next(item)) {
        DirectoryFound = true;
        extents.push_back(ZipItemExtent(item));
        selectedAt.push_back(-1);
        if (!FSpanned) {
            // The entry must have its local header where the directory says.
            std::array<std::uint8_t, TZipLocalHeader::Size> local{};
            bool localEnciphered = false;
            if (ReadAt(Archive, item.LocalOffset, local.data(), TZipLocalHeader::Size) !=
                    TZipLocalHeader::Size ||
                ZipHeaderKind(GetU32LE(local.data()), zkLocal, localEnciphered) != zkLocal) {
                if (MatchEntrySpec(item.Name)) ReportError(item.Name, "", "0", ecBadFileHeader);
                continue;
            }
        }
        const std::size_t before = FEntries.size();
        SelectEntry(item);
        if (FEntries.size() > before) selectedAt.back() = static_cast<std::ptrdiff_t>(before);
        // Each record's local header is read: thousands of them take a while.
        EngineHost::PumpIfDue();
    }
    const std::vector<bool> overlaps = FindZipOverlaps(extents);
    for (std::size_t i = 0; i < overlaps.size(); ++i)
        if (overlaps[i] && selectedAt[i] >= 0)
            FEntries[static_cast<std::size_t>(selectedAt[i])].Overlaps = true;
    // A directory that ends before the records the end record counts is damaged: what
    // follows the damage cannot be found.
    if (DirectoryFound && !GetCancel() && Expected != 0 &&
        static_cast<std::uint64_t>(walk.Records()) < Expected)
        ReportError(ArchiveFile(), "", "0", ecHeaderNotFound);
    return static_cast<int>(FEntries.size());
}

int TUnZip::ScanLocalHeaders(TStream32& Archive) {
    if (OnCorruptZipHeader) {
        bool cancel = true;
        OnCorruptZipHeader(*this, static_cast<THeaderTypeState>(HeaderState), cancel);
        if (cancel) return 0;
    }
    TZipWalk walk(*this, Archive, TZipWalkKind::Local, ArchiveOffset);
    TZipWalkEntry item;
    while (walk.Next(item))
        if (!item.Name.empty()) SelectEntry(item);
    return static_cast<int>(FEntries.size());
}
