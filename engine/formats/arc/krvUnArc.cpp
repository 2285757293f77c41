#include "engine/formats/arc/krvUnArc.h"

#include "engine/codec/krvArcDecode.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvReadAhead.h"
#include "platform/FileAttributes.h"

TUnArc::TUnArc() = default;

TUnArc::~TUnArc() = default;

int TUnArc::DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) {
    if (!ArchiveStream) return 0;
    // Headers and data are read through blocks read ahead: an archive of many small entries
    // costs a system call per block, not several per entry.
    TReadAheadStream stream(*ArchiveStream);
    const TReadAtFunc read = StreamReader(stream);
    const bool pak = FArcType == atPak || FArcType == atPakExe;
    // Folders are made as their files are written.
    const auto selects = [this](const TArcHeader& H) {
        return !H.IsFolder &&
               MatchEntrySpec(SelectionName(ArcNameToLocalName(H.Path, TranslateOemChar), H.HeaderPos));
    };
    // The headers are walked twice, so that nothing is kept per entry: the first walk counts
    // the selected entries and their bytes and reports the damage it finds before any entry
    // is extracted; the second takes the same entries one by one.
    TArcWalk counting(read, ArchiveOffset, ArchiveSize, pak);
    double unpackedTotal = 0;
    std::int64_t selected = 0;
    TArcHeader h;
    while (!GetCancel()) {
        const TArcRead r = counting.Next(h);
        if (r == TArcRead::End) break;
        if (r == TArcRead::Bad) {
            ReportError(ArchiveFile(), counting.Damage(), "0", ecBadFileHeader);
            break;
        }
        if (!selects(h)) continue;
        unpackedTotal += static_cast<double>(h.UnpackedSize);
        MaxFileDate = std::max(MaxFileDate, h.DosTime);
        ++selected;
    }
    TArcWalk walk(read, ArchiveOffset, ArchiveSize, pak);
    const auto next = [&]() -> const TArcHeader* {
        while (walk.Next(h) == TArcRead::Ok)
            if (selects(h)) return &h;
        return nullptr;
    };
    ExtractEach(selected, unpackedTotal, next, [&](const TArcHeader& Entry) { ExtractEntry(stream, Entry); });
    return 0;
}

void TUnArc::ExtractEntry(TStream32& Stream, const TArcHeader& H) {
    const std::string name = ArcNameToLocalName(H.Path, TranslateOemChar);
    SetCurrentEntry(name, H.Method, H.PackedSize, H.UnpackedSize, H.Crc, false, H.HeaderPos);
    FileDate = DosDateToDateTime(H.DosTime); // shown if the output is asked about
    if (!ConfirmExtractFile(false)) {
        SkipEntry(H.UnpackedSize);
        return;
    }
    if (H.Method <= 2 && !StoredSizesAgree(H.PackedSize, H.UnpackedSize, 16, H.Crc)) return;
    if (H.Method > 9) {
        // Nothing is written, and a file of that name stays as it is.
        RefuseEntry(ecUnsupportedCompressionMethod, H.UnpackedSize, 16, H.Crc);
        return;
    }
    const TEntryData data{H.DataPos, H.PackedSize, H.UnpackedSize, 16, H.Crc, faArchive, H.DosTime};
    if (H.Method <= 2)
        ExtractEntryData(Stream, name, data, {});
    else
        ExtractEntryData(Stream, name, data, [&H](const TDecoderIO& IO) { return ArcDecode(IO, H.Method); });
}
