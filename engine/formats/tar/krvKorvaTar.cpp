// The lister's tar walk: the shared tar walk (krvTarRecords) yields the entries with their
// long names, pax records and ustar prefixes folded in; files and links are listed, folders
// when the lister shows them, other kinds not at all. Tar names are made on Unix: UTF-8.
#include "engine/core/krvUnBase.h"
#include "engine/formats/tar/krvTarRecords.h"
#include "engine/read/krvKorvaWalk.h"

namespace {

class TTarWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        Pos = K.ArchiveOffset;
        StepSize = static_cast<int>(TarBlockSize);
        FWalker = std::make_unique<TTarWalker>(
            [this](std::int64_t At, void* Buffer, std::int64_t Count) { return ReadAt(At, Buffer, Count); },
            Pos, End);
    }

    void Step() override {
        FWalker->SetPosition(HeaderPos);
        TTarEntry entry;
        if (!FWalker->Next(entry)) {
            Stop();
            return;
        }
        Pos = FWalker->Position();
        if (entry.Kind == TTarKind::Other) return;
        const bool isDir = entry.Kind == TTarKind::Directory;

        TKorvaEntry e;
        // An entry without a name is listed as the reader skips it: by its header's offset.
        e.StoredName = entry.Name.empty() ? TUnBase::UnnamedEntryName("", entry.HeaderPos) : entry.Name;
        e.NameIsUtf8 = true;
        e.IsDirectory = isDir;
        e.CountDirectory = isDir;
        if (isDir && !e.StoredName.empty() && e.StoredName.back() != '/') e.StoredName += '/';
        e.Date = UnixDateToDateTime(entry.MTime);
        e.PackedSize = entry.Size;
        e.UnpackedSize = entry.FileSize();
        e.CRC = entry.Checksum;
        e.InternalAttr = isDir ? 16 : 0;
        e.ExternalAttr = isDir ? 16 : 0;
        e.Offset = entry.HeaderPos;
        Select(e);
    }

private:
    std::unique_ptr<TTarWalker> FWalker;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeTarWalk(TKorva& Owner) {
    return std::make_unique<TTarWalk>(Owner);
}
