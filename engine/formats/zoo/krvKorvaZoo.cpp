// The lister's zoo walk over the records of krvZooRecords: the archive header, then one entry
// per live directory entry of the chain, with its long name and folder when it has them.
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/zoo/krvZooRecords.h"
#include "engine/read/krvKorvaWalk.h"

#include <optional>

namespace {

class TZooListWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        FWalk.emplace(Reader(), End);
        if (!FWalk->Start()) {
            // The file begins as a zoo archive does, but holds no directory to walk.
            BadHeader();
            return;
        }
        if (FWalk->CommentLen() > 0) K.FileComment = ReadComment(FWalk->CommentPos(), FWalk->CommentLen());
        Pos = FWalk->Position();
        // The walk of the records reads each entry itself, and knows a closing entry cut short
        // from one that is not there.
        StepSize = 1;
    }

    void Step() override {
        TZooEntry h;
        const TZooRead r = FWalk->Next(h);
        if (r != TZooRead::Ok) {
            if (r == TZooRead::Bad) K.ReportError(K.ArchiveFile(), FWalk->Damage(), "0", ecBadFileHeader);
            Stop();
            return;
        }
        TKorvaEntry e;
        e.StoredName = h.Name;
        e.NameIsUtf8 = h.NameIsUtf8;
        e.Date = K.DosDateToDateTime(h.DosTime);
        e.VersionMadeBy = h.VersionMadeBy;
        e.VersionNeeded = h.VersionNeeded;
        e.PackedSize = h.PackedSize;
        e.UnpackedSize = h.UnpackedSize;
        e.CRC = h.Crc;
        e.Method = h.Method;
        e.Offset = h.HeaderPos;
        e.UnnamedByOffset = true;
        if (h.CommentLen > 0) K.FileComment = ReadComment(h.CommentPos, h.CommentLen);
        Pos = FWalk->Position();
        Select(e);
        // The chain leads out of the file (or was lost): the step after it says how.
        if (TZooEntry more; Pos >= End && FWalk->Next(more) == TZooRead::Bad)
            K.ReportError(K.ArchiveFile(), FWalk->Damage(), "0", ecBadFileHeader);
    }

private:
    std::optional<TZooWalk> FWalk;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeZooWalk(TKorva& Owner) {
    return std::make_unique<TZooListWalk>(Owner);
}
