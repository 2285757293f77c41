#include "LegacyDecodeHarness.h"

#include "engine/codec/krvExplode.h"
#include "engine/codec/krvUnreduce.h"
#include "engine/codec/krvUnshrink.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvErrorCodes.h"

#include <algorithm>
#include <cstring>

namespace legacytest {

TLegacyRun RunDecoder(const std::function<TDecodeResult(const TDecoderIO&)>& Decoder, std::string_view Packed,
                      std::int64_t UnpackedSize, const TLegacyOptions& Options) {
    TLegacyRun run;
    const std::int64_t packedSize =
        Options.PackedSize >= 0 ? Options.PackedSize : static_cast<std::int64_t>(Packed.size());
    std::int64_t pulled = 0;
    std::int64_t blocks = 0;
    TDecoderIO io;
    io.PackedSize = packedSize;
    io.UnpackedSize = UnpackedSize;
    io.CancelFlag = Options.CancelFlag;
    io.Input = [&](std::uint8_t* Buffer, std::int64_t Count) -> std::int64_t {
        if (Count > DecoderBufferSize || pulled + Count > packedSize) run.PulledTooMuch = true;
        const std::int64_t left = static_cast<std::int64_t>(Packed.size()) - pulled;
        const std::int64_t n = std::max<std::int64_t>(0, std::min(Count, left));
        if (n > 0) std::memcpy(Buffer, Packed.data() + pulled, static_cast<std::size_t>(n));
        pulled += n;
        return n;
    };
    io.Output = [&](const std::uint8_t* Buffer, std::int64_t Count) {
        run.LargestBlock = std::max(run.LargestBlock, Count);
        if (Count < 1 || Count > DecoderBufferSize ||
            static_cast<std::int64_t>(run.Output.size()) + Count > UnpackedSize)
            run.PushedTooMuch = true;
        run.Output.append(reinterpret_cast<const char*>(Buffer), static_cast<std::size_t>(Count));
        if (Options.CancelAfterBlocks > 0 && ++blocks == Options.CancelAfterBlocks)
            *Options.CancelTarget = true;
    };
    try {
        run.Result = Decoder(io);
    } catch (const E_RAISE& e) {
        run.Raised = e.Code();
    }
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(run.Output.data(), static_cast<std::int64_t>(run.Output.size()), crc);
    run.Crc = crc ^ 0xFFFFFFFF;
    UpdateCrc16Buf(run.Output.data(), static_cast<std::int64_t>(run.Output.size()), run.Crc16);
    return run;
}

TLegacyRun RunLegacy(int Method, std::uint16_t Flags, std::string_view Packed, std::int64_t UnpackedSize,
                     const TLegacyOptions& Options) {
    return RunDecoder(
        [&](const TDecoderIO& IO) {
            if (Method == 1) return ZipUnshrink(IO);
            if (Method >= 2 && Method <= 5) return ZipUnreduce(IO, Method - 1);
            return ZipExplode(IO, (Flags & 2) != 0, (Flags & 4) != 0);
        },
        Packed, UnpackedSize, Options);
}

void TBitWriter::Put(std::uint32_t Value, int Count) {
    for (int i = 0; i < Count; ++i) {
        FAcc |= ((Value >> i) & 1u) << FBits;
        if (++FBits == 8) {
            FBytes += static_cast<char>(FAcc);
            FAcc = 0;
            FBits = 0;
        }
    }
}

void TBitWriter::PutMsbFirst(std::uint32_t Code, int Count) {
    for (int i = Count - 1; i >= 0; --i)
        Put((Code >> i) & 1u, 1);
}

std::function<std::int64_t(std::int64_t, void*, std::int64_t)> ReaderOf(const std::string& Data) {
    return [&Data](std::int64_t At, void* Buffer, std::int64_t Count) -> std::int64_t {
        const std::int64_t n =
            std::clamp<std::int64_t>(static_cast<std::int64_t>(Data.size()) - At, 0, Count);
        if (n > 0) std::memcpy(Buffer, Data.data() + At, static_cast<std::size_t>(n));
        return n;
    };
}

void TMsbBitWriter::Put(std::uint32_t Value, int Count) {
    for (int i = Count - 1; i >= 0; --i) {
        FAcc = static_cast<std::uint8_t>((FAcc << 1) | ((Value >> i) & 1u));
        if (++FBits == 8) {
            FBytes += static_cast<char>(FAcc);
            FAcc = 0;
            FBits = 0;
        }
    }
}

std::string TMsbBitWriter::Bytes() const {
    std::string bytes = FBytes;
    if (FBits > 0) bytes += static_cast<char>(FAcc << (8 - FBits));
    return bytes;
}

std::string TBitWriter::Bytes() const {
    std::string bytes = FBytes;
    if (FBits > 0) bytes += static_cast<char>(FAcc);
    return bytes;
}

} // namespace legacytest

#include "TestSupport.h"
#include "engine/formats/zip/krvZipRecords.h"
#include "platform/CodePages.h"

#include <gtest/gtest.h>

namespace legacytest {

std::vector<TCorpusEntry> LegacyEntries(const std::string& Archive) {
    const std::string zip = testsupport::ReadFile(testsupport::CorpusDir() / Archive);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(zip.data());
    std::vector<TCorpusEntry> entries;
    std::size_t pos = zip.compare(0, 4, "PK\x07\x08") == 0 ? 4 : 0;
    while (pos + TZipLocalHeader::Size <= zip.size()) {
        const auto header = TZipLocalHeader::FromBytes(bytes + pos);
        if (header.Signature != ZipLocalSig) break;
        const std::size_t data = pos + TZipLocalHeader::Size + header.NameLength + header.ExtraLength;
        if (data + header.CompressedSize > zip.size()) break;
        if (header.Method >= zmShrunk && header.Method <= zmImploded) {
            const std::string stored = zip.substr(pos + TZipLocalHeader::Size, header.NameLength);
            TCorpusEntry entry;
            entry.Archive = Archive;
            entry.Name = (header.Flags & zfUtf8) ? stored : CodePageToUtf8(stored, TCodePage::Oem);
            entry.Method = header.Method;
            entry.Flags = header.Flags;
            entry.Crc = header.Crc;
            entry.UnpackedSize = header.UncompressedSize;
            entry.Packed = zip.substr(data, header.CompressedSize);
            entries.push_back(std::move(entry));
        }
        pos = data + header.CompressedSize;
    }
    return entries;
}

TCorpusEntry CorpusEntry(const std::string& Archive, const std::string& Name) {
    for (auto& entry : LegacyEntries(Archive))
        if (entry.Name == Name) return entry;
    ADD_FAILURE() << Archive << ": no legacy entry " << Name;
    return {};
}

} // namespace legacytest
