// The lister's zip walk: the central directory, or the local headers one by one when
// detection found the directory damaged or missing; enciphered headers ("PL") are
// deciphered on the way; spanned sets are listed from the disk that holds the directory.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvSpannedDir.h"
#include "engine/core/krvZipDescriptor.h"
#include "engine/core/krvZipEntryName.h"
#include "engine/core/krvZipExtra.h"
#include "engine/core/krvZipRecords.h"
#include "engine/read/krvKorvaWalk.h"

#include <cstdio>

namespace {

constexpr std::int64_t DescriptorScanLimit = std::int64_t{1} << 32;

// Sizes and offset from the zip64 extra field, where the record holds the marks; a value
// beyond the signed 64-bit range stays marked.
void ApplyZip64(const std::string& Extra, std::int64_t& Unpacked, std::int64_t& Packed,
                std::int64_t* Offset) {
    TZip64Values values{static_cast<std::uint64_t>(Unpacked), static_cast<std::uint64_t>(Packed),
                        Offset ? static_cast<std::uint64_t>(*Offset) : 0, 0};
    ApplyZip64Extra(AsBytes(Extra), values);
    const auto put = [](std::uint64_t Value, std::int64_t& Out) {
        if (Value <= static_cast<std::uint64_t>(INT64_MAX)) Out = static_cast<std::int64_t>(Value);
    };
    put(values.UncompressedSize, Unpacked);
    put(values.CompressedSize, Packed);
    if (Offset) put(values.LocalHeaderOffset, *Offset);
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

    // The record read into Buf when it is of Kind, deciphered when it was enciphered; false
    // (the walk ends) when it is another record.
    bool TakeRecord(int Kind, bool& Enciphered) {
        if (K.ZipHeaderKind(GetU32LE(Buf.data()), Kind, Enciphered) != Kind) {
            WrongRecord();
            return false;
        }
        if (Enciphered) K.DecryptZipHeader(std::span<std::uint8_t>(Buf.data(), Buf.size()), Kind);
        return true;
    }

    // Count bytes of name at At, deciphered when the record was enciphered.
    std::string ReadName(std::int64_t At, std::int64_t Count, bool Enciphered) {
        std::string name = ReadText(At, Count);
        if (Enciphered) K.DecryptHeaderBuf(name.data(), std::ssize(name));
        return name;
    }

    // The entry's local name; returns the name as stored, which tells a folder by its end.
    std::string SetName(TKorvaEntry& E, const std::string& RawName, std::uint16_t Flags,
                        const std::string& Extra, std::uint8_t Host, bool HostKnown) {
        bool utf8 = false;
        std::string stored = ZipStoredName(RawName, Flags, AsBytes(Extra), utf8);
        E.StoredName = ZipStoredNameToLocal(stored, utf8, Host, HostKnown, K.TranslateOemChar);
        E.RawName = true;
        return stored;
    }

    // What both records tell alike: cipher, sizes (less the encryption header), CRC, method.
    static void SetData(TKorvaEntry& E, std::uint16_t Flags, std::uint16_t Method, std::int64_t Packed,
                        std::int64_t Unpacked, std::uint32_t Crc) {
        E.Encrypted = (Flags & zfEncrypted) != 0;
        E.RatioPacked = Packed;
        E.PackedSize = E.Encrypted && Packed >= 12 ? Packed - 12 : Packed;
        E.UnpackedSize = Unpacked;
        E.CRC = Crc;
        E.Method = Method;
        E.MethodFlags = Flags;
    }

    void CentralStep() {
        bool enciphered = false;
        if (!TakeRecord(zkCentral, enciphered)) return;
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
        const std::string rawName = ReadName(namePos, h.NameLength, enciphered);

        std::int64_t packed = h.CompressedSize;
        std::int64_t unpacked = h.UncompressedSize;
        std::int64_t offset = h.LocalHeaderOffset;
        // Name, extra field and comment are read in the order they are stored: a directory
        // spread over disks is read forward only.
        const std::string extra = ReadText(extraPos, h.ExtraLength);
        if (h.CommentLength > 0) K.FileComment = ReadComment(commentPos, h.CommentLength);
        Pos = next;
        if (packed == Zip64Marker32 || unpacked == Zip64Marker32 || offset == Zip64Marker32)
            ApplyZip64(extra, unpacked, packed, &offset);
        TKorvaEntry e;
        const std::string stored =
            SetName(e, rawName, h.Flags, extra, static_cast<std::uint8_t>(h.VersionMadeBy >> 8), true);
        e.IsDirectory = (h.ExternalAttr & 0x10) != 0 || (!stored.empty() && stored.back() == '/');
        e.MarkFolder();
        e.UseEntrySpec = true;
        e.Date = K.DosDateToDateTime(h.DosDateTime);
        e.VersionMadeBy = h.VersionMadeBy;
        e.VersionNeeded = h.VersionNeeded;
        SetData(e, h.Flags, h.Method, packed, unpacked, h.Crc);
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
            K.ReportError(K.ArchiveFile(), e.StoredName, "0", ecBadFileHeader);
        }
        // The disk that holds the rest of the record was not supplied.
        if (Cancelled()) return;
        Select(e);
    }

    void LocalStep() {
        bool enciphered = false;
        if (!TakeRecord(zkLocal, enciphered)) return;
        const TZipLocalHeader h = TZipLocalHeader::FromBytes(Buf.data());
        const std::int64_t namePos = Pos;
        const std::int64_t dataPos = namePos + h.NameLength + h.ExtraLength;
        if (dataPos > End) {
            Stop();
            return;
        }
        ++FHeaders;
        const std::string rawName = ReadName(namePos, h.NameLength, enciphered);

        std::int64_t packed = h.CompressedSize;
        std::int64_t unpacked = h.UncompressedSize;
        std::uint32_t crc = h.Crc;
        const std::string extra = ReadText(namePos + h.NameLength, h.ExtraLength);
        if (packed == Zip64Marker32 || unpacked == Zip64Marker32)
            ApplyZip64(extra, unpacked, packed, nullptr);
        // An entry with a zip64 field has 64-bit sizes in its descriptor.
        const bool zip64 = !FindZipExtraField(AsBytes(extra), ZipExtraZip64).empty();
        std::int64_t next = dataPos + packed;
        if (h.Flags & zfDescriptor) next = AfterDescriptor(dataPos, zip64, packed, unpacked, crc);

        TKorvaEntry e;
        const std::string stored = SetName(e, rawName, h.Flags, extra, 0, false);
        e.IsDirectory = !stored.empty() && stored.back() == '/';
        e.Date = K.DosDateToDateTime(h.DosDateTime);
        e.VersionMadeBy = h.VersionNeeded;
        e.VersionNeeded = h.VersionNeeded;
        SetData(e, h.Flags, h.Method, packed, unpacked, crc);
        e.Offset = HeaderPos;
        Pos = next > HeaderPos ? next : End;
        Select(e);
    }

    // The data of an entry whose sizes follow it: the descriptor is stepped over, and when
    // the local header holds no compressed size the sizes are taken from the descriptor found
    // by its signature and a compressed size equal to its distance from the data.
    std::int64_t AfterDescriptor(std::int64_t DataPos, bool Zip64, std::int64_t& Packed,
                                 std::int64_t& Unpacked, std::uint32_t& Crc) {
        TZipDescriptorSearch search;
        search.ReadAt = [this](std::int64_t At, void* Buffer, std::int64_t Count) {
            return ReadAt(At, Buffer, Count);
        };
        search.Zip64 = Zip64;
        TZipDescriptorHit hit;
        if (Packed != 0) {
            // The sizes are known: the descriptor that ends the data, with or without its
            // signature, is stepped over.
            const std::int64_t at = DataPos + Packed;
            if (ZipDescriptorAt(search, at, Packed, nullptr, hit)) return hit.Next;
            std::uint8_t sig[4];
            return ReadExact(at, sig, 4) && GetU32LE(sig) == ZipDescriptorSig ? at + 16 : at;
        }
        search.Proceed = [this](std::int64_t) { return !Cancelled(); };
        search.Limit = std::min(End, DataPos + DescriptorScanLimit);
        search.StopAtHeader = true;
        switch (FindZipDataDescriptor(search, DataPos, hit)) {
        case TZipDescriptorFound::Header:
            // No descriptor before the next record: the data run up to it.
            Packed = hit.Compressed;
            return hit.Position;
        case TZipDescriptorFound::Descriptor:
            Crc = hit.Crc;
            Packed = hit.Compressed;
            Unpacked = static_cast<std::int64_t>(hit.Uncompressed);
            return hit.Next;
        case TZipDescriptorFound::None:
            break;
        }
        return End;
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
