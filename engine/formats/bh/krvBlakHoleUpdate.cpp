// Reading the entries of an existing bh archive and copying the kept ones into the new
// archive, unchanged or under a new name; extra fields travel with their entries.
#include "engine/formats/bh/krvBlakHole.h"

#include "engine/core/krvGbls.h"
#include "platform/FileAttributes.h"

bool TBlakHole::ReadFirstHeader(TStream32& Input, bool& Central) {
    Central = false;
    FKnownCentralOffset = 0;
    FReadPos = 0;
    return ReadHeader(Input, FOldName, Central);
}

bool TBlakHole::ReadHeader(TStream32& Input, std::string& Name, bool /*Central*/) {
    TBhHeader e;
    const TBhRead r = ReadBhHeader(StreamReader(Input), FReadPos, Input.Size(), e);
    if (r == TBhRead::End) return false;
    // Bytes that are no entry would be lost by a rewrite: the archive is left as it is.
    if (r != TBhRead::Ok) Fail(ArchiveFile(), e.Name, ecBadFileHeader);
    Name = BackslashToSlash(BhLocalName(e.Name, TranslateOemChar));
    const bool isDir = (e.Image.Attr & faDirectory) != 0;
    if (isDir && !Name.empty() && Name.back() != '/') Name += '/';
    FOldEntry.OldOffset = e.HeaderPos;
    FOldEntry.RawName = e.Name;
    FOldEntry.IsDir = isDir;
    FOldImage = e.Image.Image();
    FReadPos = e.NextPos;
    return true;
}

TBhHeader TBlakHole::ReadOld(int Index) {
    TBhHeader e;
    if (ReadBhHeader(StreamReader(*FInput), Entry(Index).OldOffset, FInputSize, e) != TBhRead::Ok)
        Fail(ArchiveFile(), "", ecBadFileHeader);
    return e;
}

std::int64_t TBlakHole::GetEntrySize(int Index) {
    const TBhHeader e = ReadOld(Index);
    return e.NextPos - e.HeaderPos;
}

void TBlakHole::CopyEntry(TCompHeaderObj& List, int Index) {
    const TBhHeader old = ReadOld(Index);
    const std::string name = BhStoredName(List.Name(Index));
    if (name.size() + old.Image.ExtraLength > 0xFFFF - TBhImage::Size)
        Fail(List.Name(Index), "", ecInvalidFileName);
    TBhImage h = old.Image;
    h.NameLength = static_cast<std::uint16_t>(name.size());
    h.TotalLength = static_cast<std::uint16_t>(TBhImage::Size + name.size() + h.ExtraLength);
    const std::int64_t tail = old.NextPos - old.ExtraPos; // extra field and data
    const std::int64_t total = TBhImage::Size + static_cast<std::int64_t>(name.size()) + tail;
    if (FOutput->Position() + total > MaxFormatSize) Fail(ArchiveFile(), "", ecMaxFileSizeExceeded);
    FileName = List.Name(Index);
    const auto image = h.Image();
    FOutput->WriteBuffer(image.data(), TBhImage::Size);
    FOutput->WriteBuffer(name.data(), static_cast<std::int64_t>(name.size()));
    CopyInput(old.ExtraPos, tail);
    h.ToBytes(List.GetHeader(Index));
    Entry(Index).RawName = name;
    Entry(Index).NewLength = total;
}
