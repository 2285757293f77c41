// The lister's zip walk: the entries the zip walk reads from the central directory, or from
// the local headers one by one when detection found the directory damaged or missing;
// spanned sets are listed from the disk that holds the directory.
#include "engine/formats/zip/krvSpannedDir.h"
#include "engine/formats/zip/krvZipWalk.h"
#include "engine/read/krvKorvaWalk.h"

#include <cstdio>
#include <optional>

namespace {

class TZipListWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        FState = K.HeaderState;
        if (K.ArcType() == atZipMV) {
            SetupSpanned();
            return;
        }
        // An archive of no entries is its end record alone: nothing to list, nothing wrong.
        const TZipEndRecord end = TZipEndRecord::FromBytes(K.EndRecord.data());
        if ((FState & htEnding) && end.TotalEntries == 0 && end.CentralSize == 0) return;
        if (!(FState & htCentral) || !(FState & htEnding)) {
            // With the end record found the archive is a zip whose directory is damaged: its
            // entries are listed from the local headers unless the host says otherwise. With
            // nothing found the host decides whether to look for them at all.
            bool cancel = !(FState & htEnding);
            if (K.OnCorruptZipHeader) {
                K.OnCorruptZipHeader(K, static_cast<THeaderTypeState>(FState), cancel);
                if (cancel) return;
            } else {
                K.ReportError(K.ArchiveFile(), "OnCorruptZipHeader", "0", ecRequiredEventNotAssigned);
            }
            if (!(FState & htCentral)) FState = htLocal;
        }
        if (FState == htLocal) {
            // The entries are listed, but the archive itself is damaged.
            K.ReportError(K.ArchiveFile(), "central directory missing or damaged", "0", ecHeaderNotFound);
            Start(TZipWalkKind::Local, K.ArchiveOffset, -1);
        } else {
            FExpected = K.ZipEntryCount;
            Start(TZipWalkKind::Central, K.ArchiveOffset, K.ZipDirectoryEnd(K.ArchiveOffset));
        }
    }

    void Step() override {
        TZipWalkEntry item;
        if (!FWalk->Next(item)) {
            if (FWalk->Records() == 0 && FWalk->Ended() != TZipWalkEnd::Cancelled)
                K.ReportError(K.ArchiveFile(), "", "0", ecBadFileHeader);
            // A directory that ends before the records the end record counts is damaged: what
            // follows the damage cannot be found.
            else if (FWalk->Ended() != TZipWalkEnd::Cancelled && !Cancelled() &&
                     static_cast<std::uint64_t>(FWalk->Records()) < FExpected)
                K.ReportError(K.ArchiveFile(), "", "0", ecHeaderNotFound);
            Stop();
            return;
        }
        TKorvaEntry e;
        e.StoredName = item.Name;
        e.RawName = true;
        e.Date = K.DosDateToDateTime(item.Central.DosDateTime);
        e.VersionMadeBy = item.Central.VersionMadeBy;
        e.VersionNeeded = item.Central.VersionNeeded;
        e.Encrypted = (item.Central.Flags & zfEncrypted) != 0;
        e.RatioPacked = item.CompressedSize;
        e.PackedSize =
            e.Encrypted && item.CompressedSize >= 12 ? item.CompressedSize - 12 : item.CompressedSize;
        e.UnpackedSize = item.ShownUncompressed;
        e.CRC = item.Crc;
        e.Method = item.Central.Method;
        e.MethodFlags = item.Central.Flags;
        e.Offset = item.LocalOffset;
        if (item.FromCentral) {
            const std::uint32_t attr = item.Central.ExternalAttr;
            e.IsDirectory = (attr & 0x10) != 0 || item.NameIsFolder();
            e.MarkFolder();
            e.UseEntrySpec = true;
            e.NoMethodText = (attr & 0x18) != 0;
            e.InternalAttr = item.Central.InternalAttr;
            e.ExternalAttr = attr & 0xFFFF;
            if (!item.Comment.empty()) K.FileComment = CutComment(item.Comment);
            if (K.ArcType() == atZipMV) {
                char label[16];
                std::snprintf(label, sizeof label, "PKBACK# %.3u", item.Disk + 1);
                e.VolumeID = label;
            } else if (item.RawName.empty()) {
                // A directory record without a name: listed under its local header's name,
                // as the readers fail it.
                e.StoredName =
                    TZipWalk::NamelessRecordName(K, *Stream(), item.LocalOffset, FWalk->Records() - 1);
                K.ReportError(e.StoredName, TZipWalk::NamelessRecordDamage, "0", ecBadFileHeader);
            } else if (!(FState & htLocal)) {
                // The directory does not lead to a readable local header.
                K.ReportError(K.ArchiveFile(), e.StoredName, "0", ecBadFileHeader);
            }
        } else if (item.Name.empty()) {
            // A local header without a name: listed by its number, as the readers fail it.
            e.StoredName = TZipWalk::NamelessRecordName(K, *Stream(), item.LocalOffset, FWalk->Records() - 1);
            K.ReportError(e.StoredName, TZipWalk::NamelessLocalDamage, "0", ecBadFileHeader);
        } else {
            e.IsDirectory = item.NameIsFolder();
        }
        // The walk moves on; a step that leads nowhere ends the listing after this entry.
        Pos = FWalk->Position() > HeaderPos ? FWalk->Position() : End;
        // The disk that holds the rest of the record was not supplied.
        if (Cancelled()) return;
        Select(e);
    }

private:
    void SetupSpanned() {
        TDiskSpannObj& spann = DiskSpann();
        spann.Init(K);
        spann.Request = drLastDisk;
        ResetCache();
        if (!spann.OpenDisk(StreamRef())) return;
        End = K.ArchiveSize;
        FState = K.HeaderState;
        const TZipEndRecord end = TZipEndRecord::FromBytes(K.EndRecord.data());
        if (!ZipDirectoryStartsEarlier(end)) {
            FExpected = end.EntriesOnDisk;
            Start(TZipWalkKind::Central, K.ArchiveOffset, K.ZipDirectoryEnd(K.ArchiveOffset));
            return;
        }
        // The directory begins on an earlier disk and runs on over the following ones.
        FDirectory = std::make_unique<TSpannedDirStream>(spann, StreamRef(), end);
        if (!FDirectory->Open()) return;
        End = FDirectory->GetSize();
        FExpected = end.TotalEntries;
        Start(TZipWalkKind::Central, 0, -1);
    }

    // The zip walk reads its records itself, through the lister's reader (a directory spread
    // over disks can be read forward only); each step reads one signature's worth at Pos.
    void Start(TZipWalkKind Kind, std::int64_t From, std::int64_t To) {
        TStream32* source = ReadAheadStream();
        if (!source) return;
        FWalk.emplace(K, *source, Kind, From, To, true);
        Pos = FWalk->Position();
        if (To >= 0) End = std::min(End, To);
        StepSize = 4;
    }

    TStream32* Source() override { return FDirectory ? FDirectory.get() : TWalk::Source(); }

    std::uint8_t FState = 0;
    std::uint64_t FExpected = 0;                   // the directory records the end record counts
    std::unique_ptr<TSpannedDirStream> FDirectory; // a directory spread over disks
    std::optional<TZipWalk> FWalk;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeZipWalk(TKorva& Owner) {
    return std::make_unique<TZipListWalk>(Owner);
}
