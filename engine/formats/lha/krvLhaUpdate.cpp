// Reading the entries of an existing lha archive through the shared lha records and copying
// the kept ones into the new archive, unchanged or under a new name.
#include "engine/formats/lha/krvLha.h"

#include "engine/core/krvDates.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvMatchSpec.h"

namespace {

TReadAtFunc ReaderOf(TStream32& Input) {
    return [&Input](std::int64_t At, void* Buffer, std::int64_t Count) {
        return ReadAt(Input, At, Buffer, Count);
    };
}

} // namespace

void TLha::ReadHeaders(TStream32& Input, TCompHeaderObj& List) {
    const std::int64_t size = Input.Size();
    const TReadAtFunc read = ReaderOf(Input);
    std::int64_t pos = LhaFirstHeader(read, 0);
    // Whatever precedes the first header is kept.
    FKnownCentralOffset = pos;
    TLhaHeader h;
    for (;;) {
        CheckCancel();
        const TLhaRead r = ReadLhaHeader(read, pos, size, h);
        if (r == TLhaRead::End) break;
        // A header that cannot be read, or data that run past the file, would be lost or
        // carried on damaged by a rewrite: the archive is left as it is.
        if (r == TLhaRead::Bad || h.NextPos > size) Fail(ArchiveFile(), h.Name, ecBadFileHeader);
        std::string name = h.NameIsUtf8 ? h.Name : ArcNameToLocalName(h.Name, TranslateOemChar);
        name = BackslashToSlash(name);
        if (h.IsDirectory && !name.empty() && name.back() != '/') name += '/';
        const std::uint16_t kind =
            Switch == swDelete && MatchFileSpec(name, FileSpec, ExcludeSpec) ? hkDrop : hkKeep;
        TRecord rec;
        rec.Packed = h.PackedSize;
        rec.Unpacked = h.UnpackedSize;
        rec.DosTime = h.UnixTime ? FileTimeToDosTime(static_cast<std::time_t>(h.Time)) : h.Time;
        rec.Attr = h.Attr;
        rec.Crc = h.Crc;
        rec.Method = h.MethodChar();
        rec.Level = static_cast<std::uint8_t>(h.Level);
        std::uint8_t image[RecordSize];
        rec.ToBytes(image);
        TCompEntry data;
        data.OldOffset = h.HeaderPos;
        data.RawName = h.Name;
        data.IsDir = h.IsDirectory;
        AddEntryRecord(List, image, name, kind, std::move(data));
        pos = h.NextPos;
    }
    // A file that holds no lha entry at all is not overwritten as if it were an empty archive.
    if (List.Count() == 0 && size > 1) Fail(ArchiveFile(), "", ecInvalidArchiveType);
}

TLhaHeader TLha::ReadOld(int Index) {
    TLhaHeader h;
    if (ReadLhaHeader(ReaderOf(*FInput), Entry(Index).OldOffset, FInputSize, h) != TLhaRead::Ok ||
        h.NextPos > FInputSize)
        Fail(ArchiveFile(), "", ecBadFileHeader);
    return h;
}

void TLha::CopyKeptEntry(TCompHeaderObj& List, int Index) {
    const TLhaHeader h = ReadOld(Index);
    CopyOldEntryBytes(List, Index, h.HeaderPos, h.NextPos - h.HeaderPos);
}

void TLha::CopyEntry(TCompHeaderObj& List, int Index) {
    // A header of its own for the new name (level 0 or 2 as the name needs), over the data
    // as they were; a level-2 entry keeps its Unix time, the others their DOS time.
    const TLhaHeader old = ReadOld(Index);
    TLhaHeader h = old;
    h.Name = LocalNameToArcName(List.Name(Index));
    if (old.IsDirectory && !h.Name.empty() && h.Name.back() != '/') h.Name += '/';
    h.Level = LhaLevelFor(h.Name);
    if (old.Level == 2 && h.Level == 0) h.Level = 2;
    if (h.Level == 2 && !old.UnixTime) h.Time = static_cast<std::uint32_t>(DosTimeToFileTime(old.Time));
    if (h.Name.size() > 0xFF00) Fail(List.Name(Index), "", ecInvalidFileName);
    const std::vector<std::uint8_t> header = LhaHeaderBytes(h);
    const auto headerSize = static_cast<std::int64_t>(header.size());
    if (FOutput->Position() + headerSize + old.PackedSize > MaxFormatSize)
        Fail(ArchiveFile(), "", ecMaxFileSizeExceeded);
    FileName = List.Name(Index);
    FOutput->WriteBuffer(header.data(), headerSize);
    CopyInput(old.DataPos, old.PackedSize);
    Entry(Index).RawName = h.Name;
    Entry(Index).NewLength = headerSize + old.PackedSize;
}
