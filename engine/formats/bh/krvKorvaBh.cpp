// The lister's bh walk over the records of krvBhRecords: one entry per header.
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvHeaderDamage.h"
#include "engine/formats/bh/krvBhRecords.h"
#include "engine/read/krvKorvaWalk.h"

namespace {

class TBhListWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        Pos = K.ArchiveOffset;
        StepSize = BhFixedSize;
    }

    void Step() override {
        TBhHeader h;
        const TBhRead r = ReadBhHeader(Reader(), HeaderPos, End, h);
        if (r == TBhRead::End) {
            Stop();
            return;
        }
        if (r != TBhRead::Ok) {
            // Only the first header can be broken here; the walk goes on at the next whole one.
            K.ReportError(K.ArchiveFile(), HeaderDamageAt(HeaderPos, BhNameAt(Reader(), HeaderPos, End)), "0",
                          ecBadFileHeader);
            const std::int64_t found = FindBhHeader(Reader(), HeaderPos + 1, End);
            if (found < 0)
                Stop();
            else
                Pos = found;
            return;
        }
        FollowBhHeader(Reader(), End, h);
        TKorvaEntry e;
        e.StoredName = h.Name;
        e.NameIsUtf8 = BhNameIsUtf8(h.Name);
        e.Date = K.DosDateToDateTime(h.DosTime);
        e.VersionMadeBy = h.VersionMadeBy;
        e.VersionNeeded = h.VersionNeeded;
        e.Encrypted = h.Enciphered();
        e.PackedSize = h.DataSize();
        e.UnpackedSize = h.UnpackedSize;
        e.CRC = h.Crc;
        e.Method = h.Method;
        e.MethodFlags = h.Flags;
        e.InternalAttr = h.Attr;
        e.ExternalAttr = h.Attr;
        e.IsDirectory = h.IsFolder();
        e.Offset = HeaderPos;
        e.UnnamedByOffset = true;
        Pos = h.NextPos;
        Select(e);
        if (!h.SizesAgree())
            K.ReportError(K.ArchiveFile(), K.FileName, "0",
                          h.DataCut ? ecUnexpectedEndOfFile : ecBadFileHeader);
        if (h.GapAt >= 0)
            K.ReportError(K.ArchiveFile(), HeaderDamageAt(h.GapAt, h.GapName), "0", ecBadFileHeader);
    }
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeBhWalk(TKorva& Owner) {
    return std::make_unique<TBhListWalk>(Owner);
}
