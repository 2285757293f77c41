#include "ZipBuilder.h"

#include "engine/core/krvCrc.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/formats/zip/krvZipRecords.h"

#include <cstdint>
#include <zlib.h>

namespace testsupport {

namespace {

template <std::size_t N> std::string Bytes(const std::array<std::uint8_t, N>& A) {
    return std::string(reinterpret_cast<const char*>(A.data()), N);
}

void AppendLE(std::string& Out, std::uint64_t Value, int Bytes) {
    for (int i = 0; i < Bytes; ++i)
        Out += static_cast<char>((Value >> (8 * i)) & 0xFF);
}

// The data descriptor of Item, whose data were packed into Packed bytes.
std::string Descriptor(const TZipItem& Item, std::size_t Packed) {
    std::string d;
    if (Item.Descriptor == TZipDescriptorStyle::None) return d;
    if (Item.Descriptor == TZipDescriptorStyle::Signed) AppendLE(d, ZipDescriptorSig, 4);
    AppendLE(d, Crc32Of(Item.Data), 4);
    const int width = Item.Descriptor64 ? 8 : 4;
    AppendLE(d, Packed, width);
    AppendLE(d, Item.Data.size(), width);
    return d;
}

} // namespace

std::uint32_t Crc32Of(const std::string& Data) {
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(Data.data(), static_cast<std::int64_t>(Data.size()), crc);
    return crc ^ 0xFFFFFFFF;
}

std::string DeflateRaw(const std::string& Data, int Level) {
    z_stream z{};
    deflateInit2(&z, Level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(Data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
    z.avail_in = static_cast<uInt>(Data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TZipItem UnixItem(const std::string& Name, const std::string& Data, std::uint32_t Mode) {
    TZipItem item{Name, Data};
    item.VersionMadeBy = 0x031E;
    item.ExternalAttr = (Mode << 16) | ((Mode & 0170000) == 0040000 ? 0x10 : 0);
    return item;
}

std::string MakeStoredZip(const TZipSpec& Spec, TZipLayout* Layout) {
    TRegisterKorva cipher;
    const std::size_t base = Spec.AdjustOffsets ? 0 : Spec.Prefix.size();
    std::string out = Spec.Prefix;
    std::string directory;
    std::vector<TZipItem> items;
    for (const auto& [name, data] : Spec.Entries)
        items.push_back(TZipItem{name, data});
    items.insert(items.end(), Spec.Items.begin(), Spec.Items.end());
    for (const TZipItem& item : items) {
        const std::string& name = item.Name;
        const std::string& packed = item.Method == 0 && item.Packed.empty() ? item.Data : item.Packed;

        const bool descriptor = item.Descriptor != TZipDescriptorStyle::None;
        const std::uint16_t flags = descriptor ? item.Flags | zfDescriptor : item.Flags;

        TZipLocalHeader local;
        local.Signature = TRegisterKorva::ZipHeaderSignature(zkLocal, Spec.EncryptHeaders);
        local.VersionNeeded = 20;
        local.Flags = flags;
        local.Method = item.Method;
        local.DosDateTime = item.DosDateTime;
        local.Crc = Crc32Of(item.Data);
        local.CompressedSize = static_cast<std::uint32_t>(packed.size());
        local.UncompressedSize = static_cast<std::uint32_t>(item.Data.size());
        local.NameLength = static_cast<std::uint16_t>(name.size());
        local.ExtraLength = static_cast<std::uint16_t>(item.Extra.size());

        TZipCentralHeader central;
        central.Signature = TRegisterKorva::ZipHeaderSignature(zkCentral, Spec.EncryptHeaders);
        central.VersionMadeBy = item.VersionMadeBy;
        central.VersionNeeded = 20;
        central.Flags = flags;
        central.Method = item.Method;
        central.DosDateTime = local.DosDateTime;
        central.Crc = local.Crc;
        central.CompressedSize = local.CompressedSize;
        central.UncompressedSize = local.UncompressedSize;
        central.NameLength = local.NameLength;
        central.ExtraLength = local.ExtraLength;
        central.ExternalAttr = item.ExternalAttr;
        central.LocalHeaderOffset = static_cast<std::uint32_t>(out.size() - base);
        auto centralImage = central.Image();
        std::string centralName = name;

        if (descriptor) local.Crc = local.CompressedSize = local.UncompressedSize = 0;
        auto localImage = local.Image();
        std::string localName = name;

        if (Spec.EncryptHeaders) {
            cipher.EncryptZipHeader(localImage, zkLocal);
            cipher.EncryptHeaderBuf(localName.data(), std::ssize(localName));
            cipher.EncryptZipHeader(centralImage, zkCentral);
            cipher.EncryptHeaderBuf(centralName.data(), std::ssize(centralName));
        }
        out += Bytes(localImage) + localName + item.Extra + packed + Descriptor(item, packed.size());
        directory += Bytes(centralImage) + centralName + item.Extra;
    }
    const std::size_t dirPos = out.size();
    out += directory;
    const std::size_t endPos = out.size();
    TZipEndRecord end;
    end.EntriesOnDisk = end.TotalEntries = static_cast<std::uint16_t>(items.size());
    end.CentralSize = static_cast<std::uint32_t>(directory.size());
    end.CentralOffset = static_cast<std::uint32_t>(dirPos - base);
    end.CommentLength = static_cast<std::uint16_t>(Spec.Comment.size());
    out += Bytes(end.Image()) + Spec.Comment;
    if (Layout) *Layout = {Spec.Prefix.size(), dirPos, endPos};
    return out;
}

} // namespace testsupport
