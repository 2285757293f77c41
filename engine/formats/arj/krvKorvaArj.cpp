// The lister's arj walk over the records of krvArjRecords: the main header, then one entry
// per file header; an entry continued on the next volume is followed through the volumes and
// reported once with the sizes of all its parts.
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvHeaderDamage.h"
#include "engine/formats/arj/krvArjRecords.h"
#include "engine/read/krvKorvaWalk.h"

namespace {

class TArjWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        TArjHeader main;
        if (ReadArjHeader(Reader(), K.ArchiveOffset, End, main) != TArjRead::Ok) {
            K.ReportError(K.ArchiveFile(), "", "0", ecBadFileHeader);
            return;
        }
        ReportDamage(main, "");
        Follow(main);
        FVolumeSet = (main.Flags & ArjVolume) != 0;
        Pos = main.NextPos;
        StepSize = 4;
    }

    void Step() override {
        TArjHeader h;
        // A walk that found no header behind damage ends at the end of the file.
        if (HeaderPos >= End) {
            Stop();
            return;
        }
        const TArjRead r = ReadArjHeader(Reader(), HeaderPos, End, h);
        if (r == TArjRead::End) {
            // A volume that ends between entries: the set goes on with the next one.
            TArjHeader main;
            if (!FVolumeSet || !NextVolume() || ReadArjHeader(Reader(), 0, End, main) != TArjRead::Ok) {
                Stop();
                return;
            }
            ReportDamage(main, "");
            Follow(main);
            FVolumeSet = (main.Flags & ArjVolume) != 0;
            Pos = main.NextPos;
            return;
        }
        if (r == TArjRead::Bad) {
            BadHeader();
            return;
        }
        Follow(h);
        std::int64_t packed = h.PackedSize;
        std::int64_t unpacked = h.UnpackedSize;
        TKorvaEntry e;
        e.StoredName = h.Name;
        e.NameIsUtf8 = h.NameIsUtf8();
        // arj made on Unix keeps a Unix time.
        e.Date = h.UnixTime() ? UnixDateToDateTime(h.Time) : K.DosDateToDateTime(h.Time);
        e.VersionMadeBy = h.Version;
        e.VersionNeeded = h.MinVersion;
        e.CRC = h.Crc;
        e.Encrypted = (h.Flags & ArjGarbled) != 0;
        e.Method = h.Method;
        e.IsDirectory = h.IsDirectory();
        e.MarkFolder();
        e.InternalAttr = h.AccessMode;
        e.ExternalAttr = h.AccessMode;
        e.HostSystem = h.Host;
        e.Offset = HeaderPos;
        e.UnnamedByOffset = true;
        const bool fromPrevious = (h.Flags & ArjExtFile) && FVolumeSet;
        std::int64_t next = h.NextPos;

        // Continued on the next volume: its parts are added up there.
        bool more = (h.Flags & ArjVolume) != 0;
        for (int volumes = 0; more && volumes < 999; ++volumes) {
            if (!NextVolume()) return;
            TArjHeader main;
            TArjHeader part;
            if (ReadArjHeader(Reader(), 0, End, main) != TArjRead::Ok ||
                ReadArjHeader(Reader(), main.DataPos, End, part) != TArjRead::Ok) {
                BadHeader();
                return;
            }
            FVolumeSet = (main.Flags & ArjVolume) != 0;
            packed += part.PackedSize;
            unpacked += part.UnpackedSize;
            more = (part.Flags & ArjVolume) != 0;
            next = part.NextPos;
        }
        e.PackedSize = packed;
        e.UnpackedSize = unpacked;
        Pos = next;
        if (!fromPrevious) Select(e);
        ReportDamage(h, fromPrevious ? h.Name : K.FileName);
        if (!h.SizesAgree())
            K.ReportError(K.ArchiveFile(), K.FileName, "0",
                          h.DataCut ? ecUnexpectedEndOfFile : ecBadFileHeader);
    }

private:
    // The next header where Header's sizes put it, or past damage (reported) at the next
    // whole one.
    void Follow(TArjHeader& Header) {
        FollowArjHeader(Reader(), End, Header);
        if (Header.GapAt >= 0)
            K.ReportError(K.ArchiveFile(), HeaderDamageAt(Header.GapAt, Header.GapName), "0",
                          ecBadFileHeader);
    }

    // A header whose CRC fails is damage to report; what it describes is listed all the same.
    void ReportDamage(const TArjHeader& Header, const std::string& Name) {
        if (Header.HeaderDamaged) K.ReportError(K.ArchiveFile(), Name, "0", ecHeaderCRCError);
    }

    bool FVolumeSet = false;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeArjWalk(TKorva& Owner) {
    return std::make_unique<TArjWalk>(Owner);
}
