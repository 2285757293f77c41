#include "ZipBuilder.h"

#include "engine/core/krvCrc.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/core/krvZipRecords.h"

#include <cstdint>

namespace testsupport {

namespace {

template <std::size_t N> std::string Bytes(const std::array<std::uint8_t, N>& A) {
    return std::string(reinterpret_cast<const char*>(A.data()), N);
}

constexpr std::uint32_t Date1980 = 0x00210000; // 1980-01-01 00:00:00

} // namespace

std::string MakeStoredZip(const TZipSpec& Spec, TZipLayout* Layout) {
    TRegisterKorva cipher;
    const std::size_t base = Spec.AdjustOffsets ? 0 : Spec.Prefix.size();
    std::string out = Spec.Prefix;
    std::string directory;
    for (const auto& [name, data] : Spec.Entries) {
        std::uint32_t crc = 0xFFFFFFFF;
        UpdateCrc32Buf(data.data(), static_cast<std::int64_t>(data.size()), crc);

        TZipLocalHeader local;
        local.Signature = TRegisterKorva::ZipHeaderSignature(zkLocal, Spec.EncryptHeaders);
        local.VersionNeeded = 20;
        local.DosDateTime = Date1980;
        local.Crc = crc ^ 0xFFFFFFFF;
        local.CompressedSize = local.UncompressedSize = static_cast<std::uint32_t>(data.size());
        local.NameLength = static_cast<std::uint16_t>(name.size());
        auto localImage = local.Image();
        std::string localName = name;

        TZipCentralHeader central;
        central.Signature = TRegisterKorva::ZipHeaderSignature(zkCentral, Spec.EncryptHeaders);
        central.VersionMadeBy = central.VersionNeeded = 20;
        central.DosDateTime = local.DosDateTime;
        central.Crc = local.Crc;
        central.CompressedSize = central.UncompressedSize = local.CompressedSize;
        central.NameLength = local.NameLength;
        central.ExternalAttr = 0x20;
        central.LocalHeaderOffset = static_cast<std::uint32_t>(out.size() - base);
        auto centralImage = central.Image();
        std::string centralName = name;

        if (Spec.EncryptHeaders) {
            cipher.EncryptZipHeader(localImage, zkLocal);
            cipher.EncryptHeaderBuf(localName.data(), std::ssize(localName));
            cipher.EncryptZipHeader(centralImage, zkCentral);
            cipher.EncryptHeaderBuf(centralName.data(), std::ssize(centralName));
        }
        out += Bytes(localImage) + localName + data;
        directory += Bytes(centralImage) + centralName;
    }
    const std::size_t dirPos = out.size();
    out += directory;
    const std::size_t endPos = out.size();
    TZipEndRecord end;
    end.EntriesOnDisk = end.TotalEntries = static_cast<std::uint16_t>(Spec.Entries.size());
    end.CentralSize = static_cast<std::uint32_t>(directory.size());
    end.CentralOffset = static_cast<std::uint32_t>(dirPos - base);
    end.CommentLength = static_cast<std::uint16_t>(Spec.Comment.size());
    out += Bytes(end.Image()) + Spec.Comment;
    if (Layout) *Layout = {Spec.Prefix.size(), dirPos, endPos};
    return out;
}

} // namespace testsupport
