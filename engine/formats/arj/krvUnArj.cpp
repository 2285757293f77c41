#include "engine/formats/arj/krvUnArj.h"
#include "engine/core/krvHeaderDamage.h"

#include "engine/codec/krvArjFastest.h"
#include "engine/codec/krvLzhDecode.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int MaxPasswordAttempts = 10;
constexpr int MaxMinVersion = 3;
constexpr std::uint8_t MaxMethod = 4;

std::string LocalName(const TArjHeader& Header, bool OemTranslate) {
    return Header.NameIsUtf8() ? SlashToBackslash(Header.Name)
                               : ArcNameToLocalName(Header.Name, OemTranslate);
}

TEntryTime TimeOf(const TArjHeader& Header) {
    return Header.UnixTime() ? TEntryTime::Unix(Header.Time) : TEntryTime(Header.Time);
}

} // namespace

TUnArj::TUnArj() = default;

TUnArj::~TUnArj() = default;

int TUnArj::DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) {
    FKeptPassword.clear();
    FContinuing = false;
    FNextVolumes = 0;
    PasswordAttempts = std::min(PasswordAttempts, MaxPasswordAttempts);
    std::int64_t headerPos = ArchiveOffset;
    while (ArchiveStream && !GetCancel()) {
        if (!ExtractVolume(*ArchiveStream, headerPos) || GetCancel()) break;
        // The next volume is named after this one's real name, so renamed sets still work.
        if (!OpenNextVolume(ArchiveStream)) {
            if (!GetCancel() && FContinuing) ReportError(FileName, "", "0", ecBrokenMultiVolumeChain);
            break;
        }
        headerPos = 0;
        ++FNextVolumes;
    }
    return 0;
}

bool TUnArj::ExtractVolume(TStream32& Stream, std::int64_t HeaderPos) {
    const TReadAtFunc read = StreamReader(Stream);
    TArjHeader main;
    if (ReadArjHeader(read, HeaderPos, ArchiveSize, main) != TArjRead::Ok) {
        ReportError(ArchiveFile(), "", "0", ecBadFileHeader);
        return false;
    }
    // A main header whose CRC fails is damage to report; the entries behind it are still
    // taken on their own headers.
    if (main.HeaderDamaged) ReportError(ArchiveFile(), "", "0", ecHeaderCRCError);
    FollowArjHeader(read, ArchiveSize, main);
    if (main.GapAt >= 0)
        ReportError(ArchiveFile(), HeaderDamageAt(main.GapAt, main.GapName), "0", ecBadFileHeader);
    const bool volumeSet = (main.Flags & ArjVolume) != 0;
    // The rest of an entry begun on the previous volume is taken when that one was.
    const bool continuing = FContinuing;
    // The headers are walked twice, so that nothing is kept per entry: the first walk counts
    // the selected entries and their bytes and reports the damage it finds before any entry
    // is extracted; the second takes the same entries a batch at a time.
    const auto selects = [&](const TArjHeader& H, bool Report) {
        const std::string name = SelectionName(LocalName(H, TranslateOemChar), H.HeaderPos);
        if ((H.Flags & ArjExtFile) && (volumeSet || FNextVolumes > 0)) return continuing;
        if (!MatchEntrySpec(name)) return false;
        if (H.MinVersion > MaxMinVersion) {
            if (Report) ReportError(name, "", "0", ecVersionError);
            return false;
        }
        if (H.Method > MaxMethod || (H.Method == MaxMethod && H.Version == 1)) {
            if (Report) ReportError(name, "", "0", ecUnsupportedCompressionMethod);
            return false;
        }
        return true;
    };
    // Each walk goes on past damage at the next whole header; the first one reports where a
    // header was missing.
    const auto walk = [&](std::int64_t& Pos, TArjHeader& H, bool Report) {
        if (GetCancel() || Pos >= ArchiveSize || ReadArjHeader(read, Pos, ArchiveSize, H) != TArjRead::Ok)
            return false;
        FollowArjHeader(read, ArchiveSize, H);
        if (Report && H.GapAt >= 0)
            ReportError(ArchiveFile(), HeaderDamageAt(H.GapAt, H.GapName), "0", ecBadFileHeader);
        Pos = H.NextPos;
        return true;
    };
    int selected = 0;
    double unpackedTotal = 0;
    std::uint8_t lastFlags = 0;
    TArjHeader h;
    for (std::int64_t pos = main.NextPos; walk(pos, h, true);) {
        lastFlags = h.Flags;
        if (!selects(h, true)) continue;
        ++selected;
        if (h.Flags & ArjExtFile) continue;
        unpackedTotal += static_cast<double>(h.UnpackedSize);
        MaxFileDate = std::max(MaxFileDate, TimeOf(h).Dos);
    }
    std::int64_t pos = main.NextPos;
    const auto fill = [&](TArjHeader& Entry) {
        while (walk(pos, Entry, false))
            if (selects(Entry, false)) return true;
        return false;
    };
    const auto plan = [&](const std::vector<TArjHeader>& Batch, int First) {
        // The plain entries of a single archive are decoded ahead on the other cores.
        if (volumeSet || FNextVolumes > 0) return;
        std::vector<TDecodeJob> jobs;
        for (std::size_t i = 0; i < Batch.size(); ++i) {
            const TArjHeader& e = Batch[i];
            if ((e.Flags & (ArjGarbled | ArjVolume | ArjExtFile)) == 0 && e.FileType <= 1 && e.Method != 0 &&
                e.DamageCode() == 0)
                jobs.push_back({First + static_cast<int>(i), e.DataPos, e.PackedSize, e.UnpackedSize,
                                DecoderFor(e.Method)});
        }
        StartDecodePrefetch(std::move(jobs));
    };
    ExtractInBatches<TArjHeader>(selected, unpackedTotal, fill, plan,
                                 [&](const TArjHeader& Entry) { ExtractEntry(Stream, Entry); });
    // Every volume of a set but the last says so in its main header, also when the volume
    // ends between entries; the last entry says whether it goes on.
    return volumeSet || (lastFlags & ArjVolume) != 0;
}

void TUnArj::ExtractEntry(TStream32& Stream, const TArjHeader& H) {
    const std::string name = LocalName(H, TranslateOemChar);
    const bool garbled = (H.Flags & ArjGarbled) != 0;
    const bool continues = (H.Flags & ArjVolume) != 0;
    // A part continued from the previous volume has the same name as the entry it goes on.
    SetCurrentEntry(name, H.Method, H.PackedSize, H.UnpackedSize, H.Crc, garbled, H.HeaderPos);
    EntryBytesDone = 0;
    const bool continuation = FContinuing;
    // A header that fails its CRC, or sizes that do not fit where the data lie: nothing the
    // header says is trusted, and the entry fails (an entry begun on an earlier volume too).
    const int damage = H.DamageCode();
    if (damage != 0 && continuation) {
        ReportError(FileName, "", "0", damage);
        MarkEntryFailed();
    }
    if (!continuation) {
        // A volume label names the disk, not a file. The type of a damaged header is not
        // trusted: its entry fails below.
        FileDate = DosDateToDateTime(TimeOf(H).Dos); // shown if the output is asked about
        if ((H.FileType == 4 && damage == 0) || !ConfirmExtractFile(H.IsDirectory() && damage == 0)) {
            SkipEntry(H.UnpackedSize);
            return;
        }
        if (H.IsDirectory() && damage == 0) {
            if (IsFileOutput() && CreateStoredDirs && !ForceOutputDirs(FileName)) MarkEntryFailed();
            RunningCrc32 = H.Crc;
            CheckCrc(32, H.Crc);
            return;
        }
        if (damage != 0 || H.FileType > 1) {
            RefuseEntry(damage != 0 ? damage : ecUnknownFileType, H.UnpackedSize, 32, H.Crc);
            return;
        }
    }

    // A garbled entry is tried with one password after another; a wrong one gives a failed
    // CRC, and its output is dropped before the next attempt.
    const int attempts = garbled && !continuation ? std::max(PasswordAttempts, 1) : 1;
    bool passed = false;
    bool keyed = !garbled;
    for (int attempt = 0; attempt < attempts && !passed && !GetCancel(); ++attempt) {
        if (garbled && !(keyed = GarbleKey(H))) break;
        if (!continuation) {
            ClearEntryFailed();
            if (!OpenOutputFile(name, FileName, false)) {
                RefuseEntry(0, H.UnpackedSize, 32, H.Crc);
                return;
            }
        }
        passed = DecodeOnce(Stream, H);
        if (!passed && garbled && !continuation) {
            FKeptPassword.clear();
            ReportError(FileName, "", "0", ecInvalidPassword);
        }
    }
    if (!keyed) {
        // No password: nothing is written, and a file of that name stays as it is.
        FContinuing = false;
        RefuseEntry(ecPasswordFailed, H.UnpackedSize, 32, H.Crc);
        return;
    }
    if (continues) {
        // The output stays open for the next part; a bad part fails the whole entry.
        FContinuing = true;
        if (!passed && !GetCancel()) {
            ReportError(FileName, "", "0", ecFileFailsCRCCheck);
            MarkEntryFailed();
        }
        return;
    }
    const bool failedBefore = EntryFailed();
    FContinuing = false;
    // Made on Unix: the access mode holds the file's permission bits.
    const bool unixMode = H.Host == ArjHostUnix;
    if (unixMode) HostSystem = 3;
    CloseOutputFile(unixMode ? UnixModeAttr(H.AccessMode) : faArchive, TimeOf(H));
    if (failedBefore) MarkEntryFailed();
    CheckCrc(32, H.Crc);
}

TUnArj::TDecoder TUnArj::DecoderFor(std::uint8_t Method) {
    if (Method <= 3) return [](const TDecoderIO& IO) { return LzhDecode(IO, LzhArj); };
    return ArjDecodeFastest;
}

bool TUnArj::DecodeOnce(TStream32& Stream, const TArjHeader& H) {
    const bool garbled = (H.Flags & ArjGarbled) != 0;
    RunningCrc32 = 0xFFFFFFFF;
    FArjPasswordPos = 0;
    Stream.Seek(H.DataPos, soBeginning);
    switch (H.Method) {
    case 0:
        CopyStoredEntry(Stream, H.PackedSize, H.UnpackedSize, 32, garbled);
        break;
    default:
        if (garbled || !(TakeDecodedAhead(H.DataPos, 32, H.UnpackedSize) ||
                         DecodeEntryAhead(H.DataPos, H.PackedSize, H.UnpackedSize, 32, DecoderFor(H.Method))))
            DecodeEntry(Stream, H.PackedSize, H.UnpackedSize, 32, garbled, DecoderFor(H.Method));
        break;
    }
    RunningCrc32 ^= 0xFFFFFFFF;
    return !EntryFailed() && RunningCrc32 == H.Crc;
}

bool TUnArj::GarbleKey(const TArjHeader& Header) {
    if (FKeptPassword.empty()) {
        if (!OnGetPassword) {
            ReportError(FileName, "OnGetPassword", "0", ecRequiredEventNotAssigned);
            return false;
        }
        std::string answer;
        bool tryAgain = true;
        OnGetPassword(*this, FileName, answer, tryAgain);
        if (!tryAgain || answer.empty()) return false;
        FKeptPassword = answer;
    }
    Password = ShiftChars(false, FKeptPassword, Header.PasswordModifier);
    return true;
}
