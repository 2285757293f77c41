// The lister's arc and pak walk over the records of krvArcRecords: one entry per header,
// folders of arc entered and left as the walk goes.
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/arc/krvArcRecords.h"
#include "engine/read/krvKorvaWalk.h"

#include <optional>

namespace {

class TArcListWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        FPak = ArcType() == atPak || ArcType() == atPakExe;
        FWalk.emplace(Reader(), K.ArchiveOffset, End, FPak);
        Pos = K.ArchiveOffset;
        // The walk of the records reads each header itself: a last byte that is no end mark is
        // damage it reports.
        StepSize = 1;
    }

    void Step() override {
        TArcHeader h;
        const TArcRead r = FWalk->Next(h);
        Pos = FWalk->Position();
        if (r != TArcRead::Ok) {
            if (r == TArcRead::Bad) K.ReportError(K.ArchiveFile(), FWalk->Damage(), "0", ecBadFileHeader);
            Stop();
            return;
        }
        TKorvaEntry e;
        e.StoredName = h.Path;
        e.IsDirectory = h.IsFolder;
        e.Date = K.DosDateToDateTime(h.DosTime);
        e.PackedSize = h.PackedSize;
        e.UnpackedSize = h.UnpackedSize;
        e.CRC = h.Crc;
        e.Method = h.Method;
        e.InternalAttr = h.IsFolder && !FPak ? 16 : 32;
        e.ExternalAttr = e.InternalAttr;
        e.Offset = h.HeaderPos;
        e.UnnamedByOffset = true;
        Pos = FWalk->Position();
        Select(e);
        // The entry's data run past the end of the file: the headers after it are lost.
        if (Pos > End) BadHeader();
    }

private:
    bool FPak = false;
    std::optional<TArcWalk> FWalk;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeArcWalk(TKorva& Owner) {
    return std::make_unique<TArcListWalk>(Owner);
}
