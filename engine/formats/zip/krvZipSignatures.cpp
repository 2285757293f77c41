// Zip header signatures of the standard and the enciphered-header form, and the header
// cipher that covers the fixed part of each record and the name behind it.
#include "engine/core/krvRegisterKorva.h"

#include <stdexcept>

namespace {

constexpr std::uint32_t PlainSignatures[3] = {ZipLocalSig, ZipCentralSig, ZipEndSig};
// "PL" instead of "PK"
constexpr std::uint32_t EncipheredSignatures[3] = {0x04034C50, 0x02014C50, 0x06054C50};

// Bytes after the signature that the header cipher covers, by record kind.
std::size_t FixedPartSize(int Kind) {
    switch (Kind) {
    case zkLocal:
        return TZipLocalHeader::Size - 4;
    case zkCentral:
        return TZipCentralHeader::Size - 4;
    case zkEnd:
        return TZipEndRecord::Size - 4;
    default:
        return 0;
    }
}

// The header key: one fixed key state for every archive and record, built once.
const std::array<std::uint32_t, 3>& HeaderKey() {
    static const std::array<std::uint32_t, 3> key = [] {
        TZipCipher c;
        c.InitCryptKeys("Quillar zip header key 4.8");
        return c.Keys;
    }();
    return key;
}

std::span<std::uint8_t> FixedPart(std::span<std::uint8_t> Record, int Kind) {
    const std::size_t n = FixedPartSize(Kind);
    if (n == 0) return {};
    if (Record.size() < 4 + n) throw std::length_error("zip record shorter than its fixed part");
    return Record.subspan(4, n);
}

} // namespace

std::uint32_t TRegisterKorva::ZipHeaderSignature(int Kind, bool EncryptHeaders) {
    switch (Kind) {
    case zkLocal:
    case zkCentral:
        return EncryptHeaders ? EncipheredSignatures[Kind] : PlainSignatures[Kind];
    case zkEnd:
        return PlainSignatures[zkEnd];
    default:
        return ZipDescriptorSig;
    }
}

int TRegisterKorva::ZipHeaderKind(std::uint32_t Signature, int ExpectedKind, bool& Encrypted) {
    Encrypted = false;
    if (ExpectedKind < zkLocal || ExpectedKind > zkEnd) return zkNone;
    if (Signature == PlainSignatures[ExpectedKind]) return ExpectedKind;
    if (Signature == EncipheredSignatures[ExpectedKind]) {
        Encrypted = true;
        return ExpectedKind;
    }
    return zkNone;
}

bool TRegisterKorva::IsZipLocalOrCentralSig(std::uint32_t Signature) {
    for (int k : {zkLocal, zkCentral})
        if (Signature == PlainSignatures[k] || Signature == EncipheredSignatures[k]) return true;
    return false;
}

bool TRegisterKorva::IsEncryptedHeaderSig(std::uint32_t Signature) {
    for (std::uint32_t s : EncipheredSignatures)
        if (Signature == s) return true;
    return false;
}

void TRegisterKorva::DecryptZipHeader(std::span<std::uint8_t> Record, int Kind) {
    const std::span<std::uint8_t> part = FixedPart(Record, Kind);
    FHeaderCipher.Keys = HeaderKey();
    FHeaderCipher.DecryptBuf(part.data(), static_cast<std::int64_t>(part.size()));
}

void TRegisterKorva::DecryptHeaderBuf(void* Buffer, std::int64_t Count) {
    FHeaderCipher.DecryptBuf(Buffer, Count);
}

void TRegisterKorva::EncryptZipHeader(std::span<std::uint8_t> Record, int Kind) {
    const std::span<std::uint8_t> part = FixedPart(Record, Kind);
    FHeaderCipher.Keys = HeaderKey();
    FHeaderCipher.EncryptBuf(part.data(), static_cast<std::int64_t>(part.size()));
}

void TRegisterKorva::EncryptHeaderBuf(void* Buffer, std::int64_t Count) {
    FHeaderCipher.EncryptBuf(Buffer, Count);
}
