// Finding the entries of a zip archive through the zip walk: the central directory, or the
// local headers when the directory is unusable.
#include "engine/core/EngineHost.h"
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/zip/krvUnZip.h"
#include "engine/formats/zip/krvZipEntryName.h"
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

bool TUnZip::CorruptHeaderAnswered() {
    if (!OnCorruptZipHeader) return true;
    bool cancel = true;
    OnCorruptZipHeader(*this, static_cast<THeaderTypeState>(HeaderState), cancel);
    return !cancel;
}

bool TUnZip::NextSelected(TZipWalk& Walk, TEntryRef& Entry, bool Report) {
    TZipWalkEntry item;
    while (Walk.Next(item)) {
        const std::int64_t record = Walk.Records() - 1;
        if (Report && item.FromCentral) {
            // A spanned set's directory is read once: its extents are kept.
            if (FSpanned)
                FExtents.push_back(ZipItemExtent(item));
            else
                FOverlapCheck.Add(ZipItemExtent(item, FInput->GetSize()));
        }
        if (item.FromCentral && !FSpanned) {
            // The entry must have its local header where the directory says.
            std::array<std::uint8_t, TZipLocalHeader::Size> local{};
            bool localEnciphered = false;
            if (ReadAt(*FInput, item.LocalOffset, local.data(), TZipLocalHeader::Size) !=
                    TZipLocalHeader::Size ||
                ZipHeaderKind(GetU32LE(local.data()), zkLocal, localEnciphered) != zkLocal) {
                if (Report && MatchEntrySpec(item.Name))
                    FailUnread(item.Name, "no local header at " + std::to_string(item.LocalOffset));
                continue;
            }
            // Each record's local header is read: thousands of them take a while.
            EngineHost::PumpIfDue();
        }
        if (item.FromCentral && item.RawName.empty()) {
            // A directory record without a name: the entry fails under its local header's name.
            const std::string name = TZipWalk::NamelessRecordName(*this, *FInput, item.LocalOffset, record);
            if (Report && MatchEntrySpec(name)) FailUnread(name, TZipWalk::NamelessRecordDamage);
            continue;
        }
        if (!item.FromCentral && item.Name.empty()) {
            // A local header without a name, and no directory to name it: failed by its number.
            const std::string name = TZipWalk::NamelessRecordName(*this, *FInput, item.LocalOffset, record);
            if (Report && MatchEntrySpec(name)) FailUnread(name, TZipWalk::NamelessLocalDamage);
            continue;
        }
        if (!MatchEntrySpec(item.Name)) continue;
        static_cast<TZipWalkEntry&>(Entry) = std::move(item);
        // The extra field is kept only when a unicode path field in it names the local header.
        if (FindZipExtraField(Entry.Extra, ZipExtraUnicodePath).empty()) Entry.Extra.clear();
        Entry.Comment.clear();
        Entry.Record = record;
        Entry.Overlaps =
            Entry.FromCentral && std::binary_search(FOverlapping.begin(), FOverlapping.end(), record);
        return true;
    }
    return false;
}

int TUnZip::ScanEntries(const TWalkPlan& Plan, std::uint64_t Expected, bool& DirectoryFound) {
    FOverlapCheck = TZipOverlapCheck{};
    FOverlapping.clear();
    FExtents.clear();
    TZipWalk walk(*this, *Plan.Stream, Plan.Kind, Plan.Start, Plan.End);
    TEntryRef entry;
    int selected = 0;
    while (NextSelected(walk, entry, true)) {
        AddToTotals(entry.Central.DosDateTime, entry.CompressedSize, entry.UncompressedSize,
                    entry.Central.Flags);
        ++selected;
        if (FSpanned) FEntries.push_back(std::move(entry));
    }
    DirectoryFound = Plan.Kind == TZipWalkKind::Central && walk.Records() > 0;
    if (FSpanned) {
        const std::vector<bool> overlaps = FindZipOverlaps(FExtents);
        for (TEntryRef& kept : FEntries)
            kept.Overlaps = overlaps[static_cast<std::size_t>(kept.Record)];
        FExtents.clear();
    } else if (!FOverlapCheck.Ordered() && !GetCancel()) {
        FindOverlapsOutOfOrder(Plan);
    } else {
        FOverlapping = FOverlapCheck.Overlapping();
    }
    FOverlapCheck = TZipOverlapCheck{};
    // A directory that ends before the records the end record counts is damaged: what
    // follows the damage cannot be found.
    if (DirectoryFound && !GetCancel() && Expected != 0 &&
        static_cast<std::uint64_t>(walk.Records()) < Expected) {
        ReportError(ArchiveFile(),
                    "the directory ends at " + std::to_string(walk.Position()) + " after " +
                        std::to_string(walk.Records()) + " of " + std::to_string(Expected) + " records",
                    "0", ecHeaderNotFound);
        if (!FSpanned) FailEntriesNotReached(Plan);
    } else if (DirectoryFound && !GetCancel() && !FSpanned && Plan.End >= 0 && walk.Position() != Plan.End &&
               walk.Ended() == TZipWalkEnd::AtEnd && !DigitalSignatureAt(*Plan.Stream, walk.Position())) {
        // Every record was read, but the directory does not end where the end record says.
        ReportError(ArchiveFile(),
                    "the directory ends at " + std::to_string(walk.Position()) + ", the end record says at " +
                        std::to_string(Plan.End),
                    "0", ecHeaderNotFound);
    }
    return selected;
}

bool TUnZip::DigitalSignatureAt(TStream32& Stream, std::int64_t Pos) {
    // The directory's digital signature record, which its size counts, follows its records.
    std::uint8_t sig[4]{};
    return ReadAt(Stream, Pos, sig, 4) == 4 && GetU32LE(sig) == 0x05054B50;
}

void TUnZip::FailEntriesNotReached(const TWalkPlan& Plan) {
    // The entries whose records lie past the damage are found through their local headers:
    // each one that no record read points at is named and fails.
    std::vector<std::int64_t> reached;
    TZipWalkEntry item;
    for (TZipWalk walk(*this, *Plan.Stream, Plan.Kind, Plan.Start, Plan.End); walk.Next(item);)
        reached.push_back(item.LocalOffset);
    std::sort(reached.begin(), reached.end());
    for (TZipWalk walk(*this, *FInput, TZipWalkKind::Local, std::max<std::int64_t>(ZipOffsetCorrection, 0));
         walk.Next(item);) {
        if (item.Name.empty() || std::binary_search(reached.begin(), reached.end(), item.LocalOffset) ||
            !MatchEntrySpec(item.Name))
            continue;
        FailUnread(item.Name, "its directory record was not reached");
    }
}

void TUnZip::FailUnread(const std::string& Name, const std::string& Why) {
    ReportError(Name, Why, "0", ecBadFileHeader);
    ++FilesFailed;
    if (OnEnd) OnEnd(*this, Name, false);
}

void TUnZip::FindOverlapsOutOfOrder(const TWalkPlan& Plan) {
    // Records out of the order of their data (rare): every extent is looked at at once.
    std::vector<TZipExtent> extents;
    TZipWalk walk(*this, *Plan.Stream, Plan.Kind, Plan.Start, Plan.End);
    TZipWalkEntry item;
    while (walk.Next(item))
        extents.push_back(ZipItemExtent(item, FInput->GetSize()));
    const std::vector<bool> overlaps = FindZipOverlaps(extents);
    for (std::size_t i = 0; i < overlaps.size(); ++i)
        if (overlaps[i]) FOverlapping.push_back(static_cast<std::int64_t>(i));
}
