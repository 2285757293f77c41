#include "engine/formats/arc/krvUnArc.h"

#include "engine/codec/krvArcDecode.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "platform/FileAttributes.h"

#include <vector>

TUnArc::TUnArc() = default;

TUnArc::~TUnArc() = default;

int TUnArc::DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) {
    if (!ArchiveStream) return 0;
    TStream32& stream = *ArchiveStream;
    TArcWalk walk([&stream](std::int64_t At, void* Buffer,
                            std::int64_t Count) { return ReadAt(stream, At, Buffer, Count); },
                  ArchiveOffset, ArchiveSize, FArcType == atPak || FArcType == atPakExe);
    std::vector<TArcHeader> selected;
    double unpackedTotal = 0;
    TArcHeader h;
    while (!GetCancel()) {
        const TArcRead r = walk.Next(h);
        if (r == TArcRead::End) break;
        if (r == TArcRead::Bad) {
            ReportError(ArchiveFile(), "", "0", ecBadFileHeader);
            break;
        }
        // Folders are made as their files are written.
        if (h.IsFolder ||
            !MatchEntrySpec(SelectionName(ArcNameToLocalName(h.Path, TranslateOemChar), h.HeaderPos)))
            continue;
        unpackedTotal += static_cast<double>(h.UnpackedSize);
        MaxFileDate = std::max(MaxFileDate, h.DosTime);
        selected.push_back(h);
    }
    ExtractSelected(selected, unpackedTotal, [&](const TArcHeader& Entry) { ExtractEntry(stream, Entry); });
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
