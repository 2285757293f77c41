#include "engine/formats/bh/krvUnBh.h"
#include "engine/core/krvHeaderDamage.h"

#include "engine/codec/krvLzhDecode.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"

#include <vector>

TUnBh::TUnBh() = default;

TUnBh::~TUnBh() = default;

int TUnBh::DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) {
    if (!ArchiveStream) return 0;
    TStream32& stream = *ArchiveStream;
    const TReadAtFunc read = StreamReader(stream);
    // The headers are walked twice, so that nothing is kept per entry: the first walk counts
    // the selected entries and their bytes and reports the damage it finds before any entry
    // is extracted; the second takes the same entries one by one.
    const auto selects = [this](const TBhHeader& H) {
        return MatchEntrySpec(SelectionName(BhLocalName(H.Name, TranslateOemChar), H.HeaderPos));
    };
    // Each walk goes on past damage at the next whole header; the first one reports where a
    // header was missing.
    const auto walk = [&](std::int64_t& Pos, TBhHeader& H, bool Report) {
        while (!GetCancel()) {
            const TBhRead r = ReadBhHeader(read, Pos, ArchiveSize, H);
            if (r == TBhRead::End) return false;
            if (r != TBhRead::Ok) {
                // Only the first header can be broken here: the others were found whole.
                if (Report)
                    ReportError(ArchiveFile(), HeaderDamageAt(Pos, BhNameAt(read, Pos, ArchiveSize)), "0",
                                ecBadFileHeader);
                Pos = FindBhHeader(read, Pos + 1, ArchiveSize);
                if (Pos < 0) return false;
                continue;
            }
            FollowBhHeader(read, ArchiveSize, H);
            if (Report && H.GapAt >= 0)
                ReportError(ArchiveFile(), HeaderDamageAt(H.GapAt, H.GapName), "0", ecBadFileHeader);
            Pos = H.NextPos;
            return true;
        }
        return false;
    };
    int selected = 0;
    double unpackedTotal = 0;
    TBhHeader h;
    for (std::int64_t pos = ArchiveOffset; walk(pos, h, true);) {
        if (!selects(h)) continue;
        unpackedTotal += static_cast<double>(h.UnpackedSize);
        MaxFileDate = std::max(MaxFileDate, h.DosTime);
        ++selected;
    }
    std::int64_t pos = ArchiveOffset;
    const auto next = [&]() -> const TBhHeader* {
        while (walk(pos, h, false))
            if (selects(h)) return &h;
        return nullptr;
    };
    ExtractEach(selected, unpackedTotal, next, [&](const TBhHeader& Entry) { ExtractEntry(stream, Entry); });
    FCurrent = nullptr;
    return 0;
}

bool TUnBh::CheckEncryptionHeader(std::span<std::uint8_t, 2 * CryptHeaderSize> WorkBuffer) {
    if (!FCurrent) return false;
    return Cipher.CheckCryptHeader(WorkBuffer, FCurrent->Flags, FCurrent->Crc, Password,
                                   FCurrent->DosTime & 0xFFFF);
}

void TUnBh::ExtractEntry(TStream32& Stream, const TBhHeader& H) {
    FCurrent = &H;
    const std::string name = BhLocalName(H.Name, TranslateOemChar);
    const std::uint8_t method = H.IsDeflated() ? BhDeflate : H.Method;
    const bool enciphered = H.Enciphered() && !H.IsFolder();
    SetCurrentEntry(name, method, H.PackedSize, H.UnpackedSize, H.Crc, enciphered, H.HeaderPos);
    FileDate = DosDateToDateTime(H.DosTime); // shown if the output is asked about
    if (!ConfirmExtractFile(H.IsFolder())) {
        SkipEntry(H.UnpackedSize);
        return;
    }
    if (H.IsFolder()) {
        if (IsFileOutput() && CreateStoredDirs && !ForceOutputDirs(FileName)) MarkEntryFailed();
        RunningCrc32 = H.Crc;
        CheckCrc(32, H.Crc);
        return;
    }
    if (const int damage = H.DamageCode(); damage != 0) {
        // Where the data end is not known: nothing of them is trusted.
        RefuseEntry(damage, H.UnpackedSize, 32, H.Crc);
        return;
    }
    if (method != BhStored && method != BhLzh13 && method != BhLzh15 && method != BhDeflate) {
        // Before any password is asked: no password would make the entry readable.
        RefuseEntry(ecUnsupportedCompressionMethod, H.UnpackedSize, 32, H.Crc);
        return;
    }
    Stream.Seek(H.DataPos, soBeginning);
    if (enciphered) {
        // The password is settled before any output is opened: a wrong one leaves an existing
        // file of the entry's name as it is.
        const bool askedNow = !PasswordFailed;
        if (askedNow && !CheckPassword(Stream)) PasswordFailed = true;
        if (PasswordFailed) {
            RefuseEntry(askedNow ? 0 : ecPasswordFailed, H.UnpackedSize, 32, H.Crc);
            return;
        }
        // Older writers started the cipher afresh after its header.
        if (H.VersionMadeBy < BhFirstChainedCipherVersion) Cipher.InitCryptKeys(Password);
    }
    if (!OpenOutputFile(name, FileName, enciphered)) {
        RefuseEntry(0, H.UnpackedSize, 32, H.Crc);
        return;
    }
    RunningCrc32 = 0xFFFFFFFF;
    DecodeData(Stream, H);
    RunningCrc32 ^= 0xFFFFFFFF;
    CloseOutputFile(H.Attr, H.DosTime);
    CheckCrc(32, H.Crc);
}

void TUnBh::DecodeData(TStream32& Stream, const TBhHeader& H) {
    const bool enciphered = H.Enciphered();
    const std::int64_t packed = H.DataSize();
    if (H.Method == BhStored) {
        CopyStoredEntry(Stream, packed, H.UnpackedSize, 32, enciphered);
    } else if (H.IsDeflated()) {
        InflateEntry(Stream, H.UnpackedSize, enciphered);
    } else {
        const TLzhParams params = H.Method == BhLzh13 ? LzhLh5 : LzhLh6;
        DecodeEntry(Stream, packed, H.UnpackedSize, 32, enciphered,
                    [params](const TDecoderIO& IO) { return LzhDecode(IO, params); });
    }
}
