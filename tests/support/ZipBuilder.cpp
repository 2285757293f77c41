#include "ZipBuilder.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvRegisterKorva.h"

#include <cstdint>

namespace testsupport {

namespace {

std::string Bytes(const std::uint8_t* P, std::size_t N) {
    return std::string(reinterpret_cast<const char*>(P), N);
}

} // namespace

std::string MakeStoredZip(const TZipSpec& Spec, TZipLayout* Layout) {
    TRegisterKorva cipher;
    const std::size_t base = Spec.AdjustOffsets ? 0 : Spec.Prefix.size();
    std::string out = Spec.Prefix;
    std::string directory;
    for (const auto& [name, data] : Spec.Entries) {
        std::uint32_t crc = 0xFFFFFFFF;
        UpdateCrc32Buf(data.data(), static_cast<std::int64_t>(data.size()), crc);
        crc ^= 0xFFFFFFFF;
        const auto size = static_cast<std::uint32_t>(data.size());
        const auto nameLen = static_cast<std::uint16_t>(name.size());
        const auto localPos = static_cast<std::uint32_t>(out.size() - base);

        std::uint8_t local[ZipLocalSize] = {};
        PutU32LE(local, TRegisterKorva::ZipHeaderSignature(zkLocal, Spec.EncryptHeaders));
        PutU16LE(local + 4, 20);
        PutU16LE(local + 12, 0x21); // 1980-01-01
        PutU32LE(local + 14, crc);
        PutU32LE(local + 18, size);
        PutU32LE(local + 22, size);
        PutU16LE(local + 26, nameLen);
        std::string localName = name;
        if (Spec.EncryptHeaders) {
            cipher.EncryptZipHeader(local, zkLocal);
            cipher.EncryptHeaderBuf(localName.data(), nameLen);
        }
        out += Bytes(local, sizeof local) + localName + data;

        std::uint8_t central[ZipCentralSize] = {};
        PutU32LE(central, TRegisterKorva::ZipHeaderSignature(zkCentral, Spec.EncryptHeaders));
        PutU16LE(central + 4, 20);
        PutU16LE(central + 6, 20);
        PutU16LE(central + 14, 0x21);
        PutU32LE(central + 16, crc);
        PutU32LE(central + 20, size);
        PutU32LE(central + 24, size);
        PutU16LE(central + 28, nameLen);
        PutU32LE(central + 38, 0x20);
        PutU32LE(central + 42, localPos);
        std::string centralName = name;
        if (Spec.EncryptHeaders) {
            cipher.EncryptZipHeader(central, zkCentral);
            cipher.EncryptHeaderBuf(centralName.data(), nameLen);
        }
        directory += Bytes(central, sizeof central) + centralName;
    }
    const std::size_t dirPos = out.size();
    out += directory;
    const std::size_t endPos = out.size();
    std::uint8_t end[ZipEndSize] = {};
    PutU32LE(end, TRegisterKorva::ZipHeaderSignature(zkEnd, false));
    PutU16LE(end + 8, static_cast<std::uint16_t>(Spec.Entries.size()));
    PutU16LE(end + 10, static_cast<std::uint16_t>(Spec.Entries.size()));
    PutU32LE(end + 12, static_cast<std::uint32_t>(directory.size()));
    PutU32LE(end + 16, static_cast<std::uint32_t>(dirPos - base));
    PutU16LE(end + 20, static_cast<std::uint16_t>(Spec.Comment.size()));
    out += Bytes(end, sizeof end) + Spec.Comment;
    if (Layout) *Layout = {Spec.Prefix.size(), dirPos, endPos};
    return out;
}

} // namespace testsupport
