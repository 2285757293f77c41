#include "engine/formats/zoo/krvUnZoo.h"

#include "engine/codec/krvLzhDecode.h"
#include "engine/codec/krvZooLzd.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvReadAhead.h"
#include "platform/FileAttributes.h"

namespace {

constexpr std::uint8_t MaxMethod = 2;

// The local name of an entry: UTF-8 when made on Unix, else the OEM code page.
std::string LocalName(const TZooEntry& Entry, bool OemTranslate) {
    return Entry.NameIsUtf8 ? SlashToBackslash(Entry.Name) : ArcNameToLocalName(Entry.Name, OemTranslate);
}

// An entry whose name names no file is selected by its directory entry's offset.
std::string SelectedBy(const TZooEntry& Entry, bool OemTranslate) {
    return TUnBase::SelectionName(LocalName(Entry, OemTranslate), Entry.HeaderPos);
}

} // namespace

TUnZoo::TUnZoo() = default;

TUnZoo::~TUnZoo() = default;

int TUnZoo::DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) {
    if (!ArchiveStream) return 0;
    // Directory entries and data are read through blocks read ahead: zoo keeps each entry's
    // data right behind its directory entry.
    TReadAheadStream stream(*ArchiveStream);
    const TReadAtFunc read = StreamReader(stream);
    // The chain is walked twice, so that nothing is kept per entry: the first walk counts the
    // selected entries and their bytes and reports a broken chain before any entry is
    // extracted; the second takes the same entries one by one.
    TZooWalk counting(read, ArchiveSize);
    if (!counting.Start()) {
        // The file begins as a zoo archive does, but holds no directory to walk.
        ReportError(ArchiveFile(), "", "0", ecBadFileHeader);
        return 0;
    }
    double unpackedTotal = 0;
    std::int64_t selected = 0;
    TZooEntry entry;
    while (!GetCancel()) {
        const TZooRead r = counting.Next(entry);
        if (r == TZooRead::End) break;
        if (r == TZooRead::Bad) {
            ReportError(ArchiveFile(), counting.Damage(), "0", ecBadFileHeader);
            break;
        }
        if (!MatchEntrySpec(SelectedBy(entry, TranslateOemChar))) continue;
        unpackedTotal += static_cast<double>(entry.UnpackedSize);
        MaxFileDate = std::max(MaxFileDate, entry.DosTime);
        ++selected;
    }
    TZooWalk walk(read, ArchiveSize);
    walk.Start();
    const auto next = [&]() -> const TZooEntry* {
        while (walk.Next(entry) == TZooRead::Ok)
            if (MatchEntrySpec(SelectedBy(entry, TranslateOemChar))) return &entry;
        return nullptr;
    };
    ExtractEach(selected, unpackedTotal, next, [&](const TZooEntry& Entry) { ExtractEntry(stream, Entry); });
    return 0;
}

void TUnZoo::ExtractEntry(TStream32& Stream, const TZooEntry& E) {
    const std::string name = LocalName(E, TranslateOemChar);
    SetCurrentEntry(name, E.Method, E.PackedSize, E.UnpackedSize, E.Crc, false, E.HeaderPos);
    FileDate = DosDateToDateTime(E.DosTime); // shown if the output is asked about
    if (!ConfirmExtractFile(false)) {
        SkipEntry(E.UnpackedSize);
        return;
    }
    if (E.DataBeyondEnd) {
        // The chain goes on, but this entry's data were cut off.
        RefuseEntry(ecUnexpectedEndOfFile, E.UnpackedSize, 16, E.Crc);
        return;
    }
    if (E.Method == 0 && !StoredSizesAgree(E.PackedSize, E.UnpackedSize, 16, E.Crc)) return;
    if (E.Method > MaxMethod) {
        // Nothing is written, and a file of that name stays as it is.
        RefuseEntry(ecUnsupportedCompressionMethod, E.UnpackedSize, 16, E.Crc);
        return;
    }
    const TEntryData data{E.DataPos, E.PackedSize, E.UnpackedSize, 16, E.Crc, faArchive, E.DosTime};
    if (E.Method == 0)
        ExtractEntryData(Stream, name, data, {});
    else if (E.Method == 1)
        ExtractEntryData(Stream, name, data, ZooLzdDecode);
    else
        ExtractEntryData(Stream, name, data, [](const TDecoderIO& IO) { return LzhDecode(IO, LzhLh5); });
}
