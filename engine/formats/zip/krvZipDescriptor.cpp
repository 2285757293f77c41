#include "engine/formats/zip/krvZipDescriptor.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/formats/zip/krvZipRecords.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// The layouts of a descriptor: with or without its signature, 32- or 64-bit sizes.
struct TDescriptorForm {
    bool Signed;
    bool Wide;
    std::int64_t Length() const { return (Signed ? 4 : 0) + 4 + (Wide ? 16 : 8); }
};

// The forms in the order they are preferred when more than one fits.
std::array<TDescriptorForm, 4> FormsInOrder(bool Zip64) {
    if (Zip64) return {{{true, true}, {true, false}, {false, true}, {false, false}}};
    return {{{true, false}, {true, true}, {false, false}, {false, true}}};
}

// The fields of a descriptor of Form at P (Avail bytes there); false when they do not fit,
// or when it is signed and the signature is missing.
bool ReadForm(const std::uint8_t* P, std::int64_t Avail, TDescriptorForm Form, std::uint32_t& Crc,
              std::uint64_t& Compressed, std::uint64_t& Uncompressed) {
    if (Avail < Form.Length()) return false;
    if (Form.Signed) {
        if (GetU32LE(P) != ZipDescriptorSig) return false;
        P += 4;
    }
    Crc = GetU32LE(P);
    Compressed = Form.Wide ? GetU64LE(P + 4) : GetU32LE(P + 4);
    Uncompressed = Form.Wide ? GetU64LE(P + 12) : GetU32LE(P + 8);
    return true;
}

// Whether a zip record, or the end of the bytes in hand when they are the archive's last,
// follows Length bytes at P.
bool RecordFollows(const std::uint8_t* P, std::int64_t Avail, std::int64_t Length, bool AtEnd) {
    if (Avail >= Length + 4) return IsZipRecordSignature(GetU32LE(P + Length));
    return AtEnd && Avail == Length;
}

} // namespace

bool IsZipRecordSignature(std::uint32_t Signature) {
    bool enciphered = false;
    return TRegisterKorva::IsZipLocalOrCentralSig(Signature) ||
           TRegisterKorva::ZipHeaderKind(Signature, zkEnd, enciphered) == zkEnd || Signature == Zip64EndSig;
}

TZipDescriptorFound FindZipDataDescriptor(const TZipDescriptorSearch& Search, std::int64_t DataStart,
                                          TZipDescriptorHit& Hit) {
    constexpr std::int64_t Lead = 24; // a whole descriptor and what follows it fit in the overlap
    std::vector<std::uint8_t> buffer;
    const std::array<TDescriptorForm, 4> forms = FormsInOrder(Search.Zip64);
    // The CRC-32 of the stored bytes before the position examined.
    const bool checkCrc = Search.Unsigned && Search.Stored && !Search.Enciphered;
    std::uint32_t crc = 0xFFFFFFFF;
    std::int64_t block = TZipDescriptorSearch::FirstBlockSize;
    for (std::int64_t base = DataStart; base < Search.Limit;
         base += block, block = std::min(2 * block, TZipDescriptorSearch::BlockSize)) {
        const std::int64_t want = std::min(block + Lead, Search.Limit - base);
        if (Search.Proceed && !Search.Proceed(want)) return TZipDescriptorFound::None;
        buffer.resize(static_cast<std::size_t>(block + Lead));
        const std::int64_t got = Search.ReadAt(base, buffer.data(), want);
        if (got < 12) return TZipDescriptorFound::None;
        // The last block is searched to its end; any other up to where the next one begins.
        const bool lastBlock = got < block + Lead;
        const std::int64_t last = lastBlock ? got - 11 : block;
        std::int64_t crcDone = 0;
        for (std::int64_t i = 0; i < last; ++i) {
            const std::uint8_t* p = &buffer[static_cast<std::size_t>(i)];
            const std::int64_t avail = got - i;
            const std::int64_t distance = base + i - DataStart;
            if (p[0] == 'P' && avail >= 16) {
                const std::uint32_t sig = GetU32LE(p);
                if (Search.StopAtHeader && (sig == ZipLocalSig || sig == ZipCentralSig)) {
                    Hit = {base + i, base + i, 0, distance, 0};
                    return TZipDescriptorFound::Header;
                }
                if (sig == ZipDescriptorSig) {
                    const bool wide = avail >= 24 && GetU64LE(p + 8) == static_cast<std::uint64_t>(distance);
                    const bool narrow = GetU32LE(p + 8) == static_cast<std::uint32_t>(distance);
                    if (wide || narrow) {
                        const bool useWide = Search.Zip64 ? wide : !narrow;
                        Hit.Position = base + i;
                        Hit.Next = base + i + (useWide ? 24 : 16);
                        Hit.Crc = GetU32LE(p + 4);
                        Hit.Compressed = distance;
                        Hit.Uncompressed = useWide ? GetU64LE(p + 16) : GetU32LE(p + 12);
                        return TZipDescriptorFound::Descriptor;
                    }
                }
            }
            if (!Search.Unsigned) continue;
            for (const TDescriptorForm form : forms) {
                std::uint32_t fieldCrc = 0;
                std::uint64_t compressed = 0, uncompressed = 0;
                if (form.Signed || !ReadForm(p, avail, form, fieldCrc, compressed, uncompressed)) continue;
                if (compressed != static_cast<std::uint64_t>(distance) ||
                    (!form.Wide && distance > 0xFFFFFFFF))
                    continue;
                if (!RecordFollows(p, avail, form.Length(), lastBlock)) continue;
                if (Search.Stored) {
                    const std::int64_t plain = distance - (Search.Enciphered ? 12 : 0);
                    if (plain < 0 || uncompressed != static_cast<std::uint64_t>(plain)) continue;
                }
                if (checkCrc) {
                    UpdateCrc32Buf(buffer.data() + crcDone, i - crcDone, crc);
                    crcDone = i;
                    if ((crc ^ 0xFFFFFFFF) != fieldCrc) continue;
                }
                Hit = {base + i, base + i + form.Length(), fieldCrc, distance, uncompressed};
                return TZipDescriptorFound::Descriptor;
            }
        }
        if (lastBlock) return TZipDescriptorFound::None;
        if (checkCrc) UpdateCrc32Buf(buffer.data() + crcDone, block - crcDone, crc);
    }
    return TZipDescriptorFound::None;
}

bool ZipDescriptorAt(const TZipDescriptorSearch& Search, std::int64_t Pos, std::int64_t Compressed,
                     const std::uint32_t* Crc, TZipDescriptorHit& Hit) {
    constexpr std::int64_t Window = 28; // the longest form and the signature after it
    std::uint8_t d[Window] = {};
    const std::int64_t got = Search.ReadAt(Pos, d, Window);
    bool found = false;
    bool foundFollowed = false;
    for (const TDescriptorForm form : FormsInOrder(Search.Zip64)) {
        std::uint32_t fieldCrc = 0;
        std::uint64_t compressed = 0, uncompressed = 0;
        if (!ReadForm(d, got, form, fieldCrc, compressed, uncompressed)) continue;
        if (Compressed < 0 || compressed != static_cast<std::uint64_t>(Compressed) ||
            (!form.Wide && Compressed > 0xFFFFFFFF))
            continue;
        const bool followed = RecordFollows(d, got, form.Length(), got < Window);
        if (!form.Signed && !followed && !(Crc && *Crc == fieldCrc)) continue;
        if (found && (foundFollowed || !followed)) continue;
        Hit = {Pos, Pos + form.Length(), fieldCrc, Compressed, uncompressed};
        found = true;
        foundFollowed = followed;
    }
    return found;
}
