// Reading the entries of an existing lha archive through the shared lha records and copying
// the kept ones into the new archive, unchanged or under a new name.
#include "engine/formats/lha/krvLha.h"

#include "engine/core/krvDates.h"
#include "engine/core/krvGbls.h"

void TLha::ReadHeaders(TStream32& Input, TCompHeaderObj& List) {
    TCompBase::ReadHeaders(Input, List);
    // A file that holds no lha entry at all is not overwritten as if it were an empty archive.
    if (List.Count() == 0 && Input.Size() > 1) Fail(ArchiveFile(), "", ecInvalidArchiveType);
}

bool TLha::ReadFirstHeader(TStream32& Input, bool& Central) {
    Central = false;
    FReadPos = LhaFirstHeader(StreamReader(Input), 0);
    // Whatever precedes the first header is kept.
    FKnownCentralOffset = FReadPos;
    return ReadHeader(Input, FOldName, Central);
}

bool TLha::ReadHeader(TStream32& Input, std::string& Name, bool /*Central*/) {
    const std::int64_t size = Input.Size();
    TLhaHeader h;
    const TLhaRead r = ReadLhaHeader(StreamReader(Input), FReadPos, size, h);
    if (r == TLhaRead::End) return false;
    // A header that cannot be read, or data that run past the file, would be lost or carried
    // on damaged by a rewrite: the archive is left as it is.
    if (r == TLhaRead::Bad || h.NextPos > size) Fail(ArchiveFile(), h.Name, ecBadFileHeader);
    Name = BackslashToSlash(h.NameIsUtf8 ? h.Name : ArcNameToLocalName(h.Name, TranslateOemChar));
    if (h.IsDirectory && !Name.empty() && Name.back() != '/') Name += '/';
    TRecord rec;
    rec.Packed = h.PackedSize;
    rec.Unpacked = h.UnpackedSize;
    rec.DosTime = h.UnixTime ? FileTimeToDosTime(static_cast<std::time_t>(h.Time)) : h.Time;
    rec.Attr = h.Attr;
    rec.Crc = h.Crc;
    rec.Method = h.MethodChar();
    rec.Level = static_cast<std::uint8_t>(h.Level);
    rec.ToBytes(FOldImage);
    FOldEntry.OldOffset = h.HeaderPos;
    FOldEntry.RawName = h.Name;
    FOldEntry.IsDir = h.IsDirectory;
    FReadPos = h.NextPos;
    return true;
}

TLhaHeader TLha::ReadOld(int Index) {
    TLhaHeader h;
    if (ReadLhaHeader(StreamReader(*FInput), Entry(Index).OldOffset, FInputSize, h) != TLhaRead::Ok ||
        h.NextPos > FInputSize)
        Fail(ArchiveFile(), "", ecBadFileHeader);
    return h;
}

std::int64_t TLha::GetEntrySize(int Index) {
    const TLhaHeader h = ReadOld(Index);
    return h.NextPos - h.HeaderPos;
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
