// The lister's lha/lzh walk: the header records of krvLhaRecords, one entry per header.
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvHeaderDamage.h"
#include "engine/formats/lha/krvLhaRecords.h"
#include "engine/read/krvKorvaWalk.h"

namespace {

constexpr int LhaFixed = 22;

class TLhaWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        Pos = LhaFirstHeader(Reader(), K.ArchiveOffset);
        FFirst = Pos;
        StepSize = LhaFixed;
    }

    void Step() override {
        TLhaHeader h;
        const TLhaRead r = ReadLhaHeader(Reader(), HeaderPos, End, h);
        if (r == TLhaRead::End) {
            // The file was taken for an lha archive, yet not even its first header is there.
            if (HeaderPos == FFirst) K.ReportError(K.ArchiveFile(), "", "0", ecHeaderNotFound);
            Stop();
            return;
        }
        if (r == TLhaRead::Bad) {
            // Only the first header can be broken here; the walk goes on at the next whole one.
            K.ReportError(K.ArchiveFile(), HeaderDamageAt(HeaderPos, LhaNameAt(Reader(), HeaderPos, End)),
                          "0", ecBadFileHeader);
            const std::int64_t found = FindLhaHeader(Reader(), HeaderPos + 1, End);
            if (found < 0)
                Stop();
            else
                Pos = found;
            return;
        }
        FollowLhaHeader(Reader(), End, h);
        TKorvaEntry e;
        e.StoredName = h.Name;
        e.NameIsUtf8 = h.NameIsUtf8;
        e.IsDirectory = h.IsDirectory;
        e.MarkFolder();
        e.Date = h.UnixTime ? UnixDateToDateTime(h.Time) : K.DosDateToDateTime(h.Time);
        e.PackedSize = std::min(h.PackedSize, h.UnpackedSize);
        e.UnpackedSize = h.UnpackedSize;
        e.CRC = h.Crc;
        e.Method = static_cast<std::uint8_t>(h.Method.size() > 3 ? h.Method[3] : 0);
        e.InternalAttr = 32;
        e.ExternalAttr = h.Attr;
        e.HostSystem = h.Host;
        e.Offset = HeaderPos;
        e.UnnamedByOffset = true;
        Pos = h.NextPos;
        Select(e);
        // A header whose own check fails is damage to report; its entry is listed all the same.
        if (h.HeaderDamaged) K.ReportError(K.ArchiveFile(), K.FileName, "0", ecHeaderCRCError);
        if (!h.SizesAgree())
            K.ReportError(K.ArchiveFile(), K.FileName, "0",
                          h.DataCut ? ecUnexpectedEndOfFile : ecBadFileHeader);
        if (h.GapAt >= 0)
            K.ReportError(K.ArchiveFile(), HeaderDamageAt(h.GapAt, h.GapName), "0", ecBadFileHeader);
    }

private:
    std::int64_t FFirst = 0;

    TReadAtFunc Reader() {
        return
            [this](std::int64_t At, void* Buffer, std::int64_t Count) { return ReadAt(At, Buffer, Count); };
    }
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeLhaWalk(TKorva& Owner) {
    return std::make_unique<TLhaWalk>(Owner);
}
