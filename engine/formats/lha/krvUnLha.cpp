#include "engine/formats/lha/krvUnLha.h"
#include "engine/core/krvHeaderDamage.h"

#include "engine/codec/krvLzhAdaptive.h"
#include "engine/codec/krvLzhDecode.h"
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvReadAhead.h"

#include <algorithm>
#include <vector>

namespace {

// The local name of a header's stored name: UTF-8 from Unix hosts, else the OEM code page.
std::string LocalName(const TLhaHeader& Header, bool OemTranslate) {
    return Header.NameIsUtf8 ? SlashToBackslash(Header.Name) : ArcNameToLocalName(Header.Name, OemTranslate);
}

// The decoder of an entry's method; none for stored data and for the methods that are refused.
std::function<TDecodeResult(const TDecoderIO&)> DecoderFor(const TLhaHeader& H) {
    const char m = H.MethodChar();
    if (m == '1') return LzhAdaptiveDecode;
    if (m >= '4' && m <= '7') {
        static constexpr TLzhParams params[] = {LzhLh4, LzhLh5, LzhLh6, LzhLh7};
        const TLzhParams p = params[m - '4'];
        return [p](const TDecoderIO& IO) { return LzhDecode(IO, p); };
    }
    return {};
}

TEntryTime TimeOf(const TLhaHeader& Header) {
    return Header.UnixTime ? TEntryTime::Unix(Header.Time) : TEntryTime(Header.Time);
}

} // namespace

TUnLha::TUnLha() = default;

TUnLha::~TUnLha() = default;

int TUnLha::DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) {
    if (!ArchiveStream) return 0;
    // Headers and data are read through blocks read ahead: an archive of many small entries
    // costs a system call per block, not several per entry.
    TReadAheadStream stream(*ArchiveStream);
    const TReadAtFunc read = StreamReader(stream);
    const std::int64_t first = LhaFirstHeader(read, ArchiveOffset);
    const auto selects = [this](const TLhaHeader& H) {
        std::string name = SelectionName(LocalName(H, TranslateOemChar), H.HeaderPos);
        if (H.IsDirectory && !name.empty() && name.back() == '/') name.pop_back();
        return name;
    };

    // The headers are walked twice, so that nothing is kept per entry: the first walk counts
    // the selected entries and their bytes and reports the damage it finds before any entry
    // is extracted; the second takes the same entries a batch at a time. Each goes on past
    // damage at the next whole header.
    const auto walk = [&](std::int64_t& Pos, TLhaHeader& H, bool Report) {
        while (!GetCancel()) {
            const TLhaRead r = ReadLhaHeader(read, Pos, ArchiveSize, H);
            if (r == TLhaRead::End) {
                // The file was taken for an lha archive, yet not even its first header is there.
                if (Report && Pos == first) ReportError(ArchiveFile(), "", "0", ecHeaderNotFound);
                return false;
            }
            if (r == TLhaRead::Bad) {
                // Only the first header can be broken here: the others were found whole.
                if (Report)
                    ReportError(ArchiveFile(), HeaderDamageAt(Pos, LhaNameAt(read, Pos, ArchiveSize)), "0",
                                ecBadFileHeader);
                Pos = FindLhaHeader(read, Pos + 1, ArchiveSize);
                if (Pos < 0) return false;
                continue;
            }
            FollowLhaHeader(read, ArchiveSize, H);
            if (Report && H.GapAt >= 0)
                ReportError(ArchiveFile(), HeaderDamageAt(H.GapAt, H.GapName), "0", ecBadFileHeader);
            Pos = H.NextPos;
            return true;
        }
        return false;
    };
    double unpackedTotal = 0;
    int selected = 0;
    TLhaHeader header;
    for (std::int64_t pos = first; walk(pos, header, true);) {
        if (!MatchEntrySpec(selects(header))) continue;
        unpackedTotal += static_cast<double>(header.UnpackedSize);
        MaxFileDate = std::max(MaxFileDate, TimeOf(header).Dos);
        ++selected;
    }
    std::int64_t pos = first;
    const auto fill = [&](TLhaHeader& Entry) {
        while (walk(pos, Entry, false))
            if (MatchEntrySpec(selects(Entry))) return true;
        return false;
    };
    // The entries of a single file are decoded ahead on the other cores.
    const auto plan = [&](const std::vector<TLhaHeader>& Batch, int First) {
        std::vector<TDecodeJob> jobs;
        for (std::size_t i = 0; i < Batch.size(); ++i) {
            const TLhaHeader& h = Batch[i];
            if (!h.IsDirectory && !h.IsLink && h.DamageCode() == 0 &&
                DecodesAhead(h.PackedSize, h.UnpackedSize))
                jobs.push_back(
                    {First + static_cast<int>(i), h.DataPos, h.PackedSize, h.UnpackedSize, DecoderFor(h)});
        }
        StartDecodePrefetch(std::move(jobs));
    };
    ExtractInBatches<TLhaHeader>(selected, unpackedTotal, fill, plan,
                                 [&](const TLhaHeader& Entry) { ExtractEntry(stream, Entry); });
    return 0;
}

void TUnLha::ExtractEntry(TStream32& Stream, const TLhaHeader& H) {
    std::string name = LocalName(H, TranslateOemChar);
    // A link is named by what stands before its target.
    if (H.IsLink) name.resize(std::min(name.find('|'), name.size()));
    SetCurrentEntry(name, static_cast<std::uint16_t>(static_cast<unsigned char>(H.MethodChar())),
                    H.PackedSize, H.UnpackedSize, H.Crc, false, H.HeaderPos);
    // Links are not made: they could lead outputs out of the destination.
    if (H.IsLink) return SkipLinkEntry(H.LinkTarget, H.UnpackedSize);
    FileDate = DosDateToDateTime(TimeOf(H).Dos); // shown if the output is asked about
    if (!ConfirmExtractFile(H.IsDirectory)) {
        SkipEntry(H.UnpackedSize);
        return;
    }
    // A header that fails its own check, or sizes that do not fit where the data lie: nothing
    // the header says is trusted.
    if (const int damage = H.DamageCode(); damage != 0) {
        RefuseEntry(damage, H.UnpackedSize, 16, H.Crc);
        return;
    }
    if (H.IsDirectory) {
        if (IsFileOutput() && CreateStoredDirs && !ForceOutputDirs(FileName)) MarkEntryFailed();
        RunningCrc16 = H.Crc;
        CheckCrc(16, H.Crc);
        return;
    }

    const std::function<TDecodeResult(const TDecoderIO&)> decoder = DecoderFor(H);
    if (!decoder && !H.IsStored()) {
        // -lh2-, -lh3-, -lz5-, -lzs- and anything else: nothing is written.
        RefuseEntry(ecUnsupportedCompressionMethod, H.UnpackedSize, 16, H.Crc);
        return;
    }
    // A Unix permission header gives the file's mode.
    if (H.Mode != 0) HostSystem = 3;
    ExtractEntryData(Stream, name,
                     {H.DataPos, H.PackedSize, H.UnpackedSize, 16, H.Crc,
                      H.Mode != 0 ? UnixModeAttr(H.Mode) : H.Attr, TimeOf(H)},
                     decoder);
}
