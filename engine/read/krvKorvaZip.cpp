// The lister's zip walk: the central directory, or the local headers one by one when
// detection found the directory damaged or missing; enciphered headers ("PL") are
// deciphered on the way; spanned sets are listed from the disk that holds the directory.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvSpannedDir.h"
#include "engine/core/krvZipRecords.h"
#include "engine/read/krvKorvaWalk.h"

#include <cstdio>

namespace {

constexpr std::uint32_t Zip64Mark = 0xFFFFFFFF;
constexpr std::int64_t DescriptorScanLimit = std::int64_t{1} << 32;

// Sizes and offset from the zip64 extra field (id 1), where the record holds the marks.
void ApplyZip64(const std::string& Extra, std::int64_t& Unpacked, std::int64_t& Packed,
                std::int64_t* Offset) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(Extra.data());
    std::size_t at = 0;
    while (at + 4 <= Extra.size()) {
        const std::uint16_t id = GetU16LE(p + at);
        const std::size_t len = GetU16LE(p + at + 2);
        const std::size_t data = at + 4;
        if (data + len > Extra.size()) return;
        if (id == 1) {
            std::size_t f = data;
            auto take = [&](std::int64_t& Value) {
                if (Value != Zip64Mark) return;
                if (f + 8 > data + len) return;
                const std::uint64_t v = GetU32LE(p + f) | (std::uint64_t{GetU32LE(p + f + 4)} << 32);
                if (v <= static_cast<std::uint64_t>(INT64_MAX)) Value = static_cast<std::int64_t>(v);
                f += 8;
            };
            take(Unpacked);
            take(Packed);
            if (Offset) take(*Offset);
            return;
        }
        at = data + len;
    }
}

// The UTF-8 name of Info-ZIP's unicode path field (id 0x7075), when it belongs to the
// stored name (its CRC-32 matches); empty otherwise.
std::string UnicodePath(const std::string& Extra, const std::string& StoredName) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(Extra.data());
    for (std::size_t at = 0; at + 4 <= Extra.size();) {
        const std::uint16_t id = GetU16LE(p + at);
        const std::size_t len = GetU16LE(p + at + 2);
        const std::size_t data = at + 4;
        if (data + len > Extra.size()) break;
        if (id == 0x7075 && len > 5 && p[data] == 1) {
            std::uint32_t crc = 0xFFFFFFFF;
            UpdateCrc32Buf(StoredName.data(), std::ssize(StoredName), crc);
            if ((crc ^ 0xFFFFFFFF) == GetU32LE(p + data + 1)) return Extra.substr(data + 5, len - 5);
        }
        at = data + len;
    }
    return {};
}

bool IsZipRecordSig(std::uint32_t Sig) {
    bool enciphered = false;
    return TRegisterKorva::IsZipLocalOrCentralSig(Sig) ||
           TRegisterKorva::ZipHeaderKind(Sig, zkEnd, enciphered) == zkEnd || Sig == 0x06064B50;
}

// A folder entry is shown with its trailing separator.
void MarkFolder(TKorvaEntry& Entry) {
    if (Entry.IsDirectory && !Entry.StoredName.empty() && Entry.StoredName.back() != '/' &&
        Entry.StoredName.back() != '\\')
        Entry.StoredName += '/';
}

class TZipWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        FState = K.HeaderState;
        if (K.ArcType() == atZipMV) {
            SetupSpanned();
            return;
        }
        // An archive of no entries is its end record alone: nothing to list, nothing wrong.
        if ((FState & htEnding) && GetU16LE(&K.EndRecord[10]) == 0 && GetU32LE(&K.EndRecord[12]) == 0) return;
        if (!(FState & htCentral) || !(FState & htEnding)) {
            bool cancel = true;
            if (K.OnCorruptZipHeader) {
                K.OnCorruptZipHeader(K, static_cast<THeaderTypeState>(FState), cancel);
                if (cancel) return;
            } else {
                K.ReportError(K.ArchiveFile(), "OnCorruptZipHeader", "0", ecRequiredEventNotAssigned);
            }
            if (!(FState & htCentral)) FState = htLocal;
        }
        Pos = K.ArchiveOffset;
        if (FState == htLocal) {
            FCentral = false;
            std::uint8_t sig[4];
            if (ReadExact(Pos, sig, 4) && GetU32LE(sig) == ZipDescriptorSig) Pos += 4;
            StepSize = TZipLocalHeader::Size;
        } else {
            FCentral = true;
            StepSize = TZipCentralHeader::Size;
        }
    }

    void Step() override {
        if (FCentral)
            CentralStep();
        else
            LocalStep();
    }

private:
    void SetupSpanned() {
        TDiskSpannObj& spann = DiskSpann();
        spann.Init(K);
        spann.Request = drLastDisk;
        ResetCache();
        if (!spann.OpenDisk(StreamRef())) return;
        End = K.ArchiveSize;
        FState = K.HeaderState;
        FCentral = true;
        Pos = K.ArchiveOffset;
        const TZipEndRecord end = TZipEndRecord::FromBytes(K.EndRecord.data());
        if (ZipDirectoryStartsEarlier(end)) {
            // The directory begins on an earlier disk and runs on over the following ones.
            FDirectory = std::make_unique<TSpannedDirStream>(spann, StreamRef(), end);
            if (!FDirectory->Open()) return;
            Pos = 0;
            End = FDirectory->GetSize();
        }
        StepSize = TZipCentralHeader::Size;
    }

    TStream32* Source() override { return FDirectory ? FDirectory.get() : TWalk::Source(); }

    // Not the expected record: the walk ends, with an error when it found nothing before.
    void WrongRecord() {
        if (FHeaders == 0) K.ReportError(K.ArchiveFile(), "", "0", ecBadFileHeader);
        Stop();
    }

    void CentralStep() {
        bool enciphered = false;
        if (K.ZipHeaderKind(GetU32LE(Buf.data()), zkCentral, enciphered) != zkCentral) {
            WrongRecord();
            return;
        }
        if (enciphered) K.DecryptZipHeader(std::span<std::uint8_t>(Buf.data(), Buf.size()), zkCentral);
        const TZipCentralHeader h = TZipCentralHeader::FromBytes(Buf.data());
        const std::int64_t namePos = Pos;
        const std::int64_t extraPos = namePos + h.NameLength;
        const std::int64_t commentPos = extraPos + h.ExtraLength;
        const std::int64_t next = commentPos + h.CommentLength;
        if (next > End) {
            Stop();
            return;
        }
        ++FHeaders;
        TKorvaEntry e;
        e.StoredName = ReadText(namePos, h.NameLength);
        if (enciphered) K.DecryptHeaderBuf(e.StoredName.data(), std::ssize(e.StoredName));

        std::int64_t packed = h.CompressedSize;
        std::int64_t unpacked = h.UncompressedSize;
        std::int64_t offset = h.LocalHeaderOffset;
        e.NameIsUtf8 = (h.Flags & zfUtf8) != 0;
        // Name, extra field and comment are read in the order they are stored: a directory
        // spread over disks is read forward only.
        if (h.ExtraLength > 0) {
            const std::string extra = ReadText(extraPos, h.ExtraLength);
            if (packed == Zip64Mark || unpacked == Zip64Mark || offset == Zip64Mark)
                ApplyZip64(extra, unpacked, packed, &offset);
            ApplyUnicodePath(extra, e);
        }
        if (h.CommentLength > 0) K.FileComment = ReadComment(commentPos, h.CommentLength);
        Pos = next;
        e.IsDirectory = (h.ExternalAttr & 0x10) != 0 || (!e.StoredName.empty() && e.StoredName.back() == '/');
        MarkFolder(e);
        e.UseEntrySpec = true;
        e.Date = K.DosDateToDateTime(h.DosDateTime);
        e.VersionMadeBy = h.VersionMadeBy;
        e.VersionNeeded = h.VersionNeeded;
        e.Encrypted = (h.Flags & zfEncrypted) != 0;
        e.RatioPacked = packed;
        e.PackedSize = e.Encrypted && packed >= 12 ? packed - 12 : packed;
        e.UnpackedSize = unpacked;
        e.CRC = h.Crc;
        e.Method = h.Method;
        e.MethodFlags = h.Flags;
        e.NoMethodText = (h.ExternalAttr & 0x18) != 0;
        e.InternalAttr = h.InternalAttr;
        e.ExternalAttr = h.ExternalAttr & 0xFFFF;
        e.Offset = offset + K.ZipOffsetCorrection;
        if (K.ArcType() == atZipMV) {
            char label[16];
            std::snprintf(label, sizeof label, "PKBACK# %.3d", h.DiskNumberStart + 1);
            e.VolumeID = label;
        } else if (!(FState & htLocal)) {
            // The directory does not lead to a readable local header.
            K.ReportError(K.ArchiveFile(), ArcNameToLocalName(e.StoredName, K.TranslateOemChar), "0",
                          ecBadFileHeader);
        }
        // The disk that holds the rest of the record was not supplied.
        if (Cancelled()) return;
        Select(e);
    }

    void LocalStep() {
        bool enciphered = false;
        if (K.ZipHeaderKind(GetU32LE(Buf.data()), zkLocal, enciphered) != zkLocal) {
            WrongRecord();
            return;
        }
        if (enciphered) K.DecryptZipHeader(std::span<std::uint8_t>(Buf.data(), Buf.size()), zkLocal);
        const TZipLocalHeader h = TZipLocalHeader::FromBytes(Buf.data());
        const std::int64_t namePos = Pos;
        const std::int64_t dataPos = namePos + h.NameLength + h.ExtraLength;
        if (dataPos > End) {
            Stop();
            return;
        }
        ++FHeaders;
        TKorvaEntry e;
        e.StoredName = ReadText(namePos, h.NameLength);
        if (enciphered) K.DecryptHeaderBuf(e.StoredName.data(), std::ssize(e.StoredName));

        std::int64_t packed = h.CompressedSize;
        std::int64_t unpacked = h.UncompressedSize;
        std::uint32_t crc = h.Crc;
        // Sizes that are all zero with the descriptor flag are not known before the data.
        bool sizesKnown = packed != 0 || unpacked != 0 || crc != 0;
        e.NameIsUtf8 = (h.Flags & zfUtf8) != 0;
        if (h.ExtraLength > 0) {
            const std::string extra = ReadText(namePos + h.NameLength, h.ExtraLength);
            if (packed == Zip64Mark || unpacked == Zip64Mark) {
                ApplyZip64(extra, unpacked, packed, nullptr);
                sizesKnown = true;
            }
            ApplyUnicodePath(extra, e);
        }
        std::int64_t next = dataPos + packed;
        if (h.Flags & zfDescriptor) next = AfterDescriptor(dataPos, sizesKnown, packed, unpacked, crc);

        e.IsDirectory = !e.StoredName.empty() && e.StoredName.back() == '/';
        e.Date = K.DosDateToDateTime(h.DosDateTime);
        e.VersionMadeBy = h.VersionNeeded;
        e.VersionNeeded = h.VersionNeeded;
        e.Encrypted = (h.Flags & zfEncrypted) != 0;
        e.RatioPacked = packed;
        e.PackedSize = e.Encrypted && packed >= 12 ? packed - 12 : packed;
        e.UnpackedSize = unpacked;
        e.CRC = crc;
        e.Method = h.Method;
        e.MethodFlags = h.Flags;
        e.Offset = HeaderPos;
        Pos = next > HeaderPos ? next : End;
        Select(e);
    }

    // The data of an entry whose sizes follow it: the descriptor is stepped over, and when
    // the local header holds no sizes they are taken from the descriptor found by its
    // signature and a compressed size equal to its distance from the data.
    std::int64_t AfterDescriptor(std::int64_t DataPos, bool SizesKnown, std::int64_t& Packed,
                                 std::int64_t& Unpacked, std::uint32_t& Crc) {
        std::uint8_t d[24];
        if (SizesKnown) {
            // The descriptor, with or without its signature, in its 32- or 64-bit form: the
            // one that a zip record follows.
            const std::int64_t at = DataPos + Packed;
            const bool signature = ReadExact(at, d, 4) && GetU32LE(d) == ZipDescriptorSig;
            const std::int64_t lengths[] = {16, 24, 12, 20, 0};
            for (std::int64_t len : lengths) {
                if (signature != (len == 16 || len == 24)) continue;
                if (ReadExact(at + len, d, 4) && IsZipRecordSig(GetU32LE(d))) return at + len;
            }
            return signature ? at + 16 : at;
        }
        const std::int64_t limit = std::min(End, DataPos + DescriptorScanLimit);
        std::uint8_t chunk[4096];
        for (std::int64_t at = DataPos; at + 16 <= limit;) {
            const std::int64_t n = ReadAt(at, chunk, std::min<std::int64_t>(sizeof chunk, limit - at));
            if (n < 16) break;
            for (std::int64_t i = 0; i + 16 <= n; ++i) {
                if (chunk[i] != 'P') continue;
                const std::uint32_t sig = GetU32LE(chunk + i);
                if (sig == ZipLocalSig || sig == ZipCentralSig) {
                    // No descriptor before the next record: the data run up to it.
                    Packed = at + i - DataPos;
                    return at + i;
                }
                if (sig != ZipDescriptorSig) continue;
                if (!ReadExact(at + i, d, 16)) break;
                if (GetU32LE(d + 8) != static_cast<std::uint64_t>(at + i - DataPos)) continue;
                Crc = GetU32LE(d + 4);
                Packed = GetU32LE(d + 8);
                Unpacked = GetU32LE(d + 12);
                return at + i + 16;
            }
            if (Cancelled()) break;
            at += n - 15;
        }
        return End;
    }

    // A name of the unicode path field replaces the stored one.
    static void ApplyUnicodePath(const std::string& Extra, TKorvaEntry& Entry) {
        if (Entry.NameIsUtf8) return;
        std::string name = UnicodePath(Extra, Entry.StoredName);
        if (name.empty()) return;
        Entry.StoredName = std::move(name);
        Entry.NameIsUtf8 = true;
    }

    std::uint8_t FState = 0;
    bool FCentral = true;
    std::int64_t FHeaders = 0;
    std::unique_ptr<TSpannedDirStream> FDirectory; // a directory spread over disks
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeZipWalk(TKorva& Owner) {
    return std::make_unique<TZipWalk>(Owner);
}
