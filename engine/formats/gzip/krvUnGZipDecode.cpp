// Decoding a gzip or compress file: every gzip member in turn through the codec streams, each
// checked against its own trailer, the next member found by the data that follow; or the
// compress LZW decoder over the whole file.
#include "engine/codec/krvLzwDecompress.h"
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvDecodeAhead.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvFileIo.h"
#include "engine/formats/gzip/krvUnGZip.h"

#include <algorithm>
#include <limits>
#include <vector>
#include <zlib.h>

namespace {

// Decoded data move in chunks of at most this many bytes.
constexpr std::int64_t OutputChunk = 262144;

// Ends a peek at the decoded data once it has enough.
struct TPeekDone {};

} // namespace

bool TUnGZip::OnlyZerosFrom(TStream32& Input, std::int64_t At) {
    std::vector<std::uint8_t> chunk(65536);
    for (std::int64_t got; (got = ReadAt(Input, At, chunk.data(), std::ssize(chunk))) > 0; At += got)
        if (std::any_of(chunk.begin(), chunk.begin() + got, [](std::uint8_t B) { return B != 0; }))
            return false;
    return true;
}

void TUnGZip::PackedProgress(std::int64_t PackedDone) {
    BytesToDo = static_cast<double>(std::max<std::int64_t>(FPackedTotal - PackedDone, 0));
    DoProgress(std::min(PackedDone, FPackedTotal), FPackedTotal, JobTotal);
}

int TUnGZip::DecodeFile(TStream32& Input, const TSink& Sink) {
    const TGzipReadAt readAt = StreamReader(Input);
    FPackedTotal = Input.Size();
    switch (ReadGzipHeader(readAt, 0, FPackedTotal, FMember)) {
    case TGzipHeaderResult::Ok:
        break;
    case TGzipHeaderResult::Truncated:
        return ecUnexpectedEndOfFile;
    case TGzipHeaderResult::BadHeaderCrc:
        return ecHeaderCRCError;
    default:
        return ecInvalidArchiveType;
    }
    if (!FMember.IsGzip()) return ecInvalidArchiveType;
    return DecodeGzipMembers(Input, Sink);
}

int TUnGZip::DecodeAll(TStream32& Input, const TSink& Sink) {
    FDamage.clear();
    return FMember.IsGzip() ? DecodeGzipMembers(Input, Sink) : DecodeCompress(Input, Sink);
}

int TUnGZip::DecodeGzipMembers(TStream32& Input, const TSink& Sink) {
    const std::int64_t size = Input.Size();
    const TGzipReadAt readAt = StreamReader(Input);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(OutputChunk));
    TGzipMember member = FMember;
    std::int64_t memberStart = 0;
    // The damage, and where it lies.
    const auto damage = [&](int Code, const std::string& What) {
        FDamage = "member at offset " + std::to_string(memberStart) + ": " + What;
        return Code;
    };
    for (;;) {
        if (member.Method != GzipDeflated) return damage(ecUnsupportedCompressionMethod, "method");
        if (member.Flags & GzFlagEncrypted) return damage(ecPasswordProtected, "encrypted");
        if (member.Flags & GzFlagReserved) return damage(ecWarningUnknownFlags, "reserved flags");
        const std::int64_t dataStart = member.DataStart;
        if (Input.Seek(dataStart, soBeginning) != dataStart) return ecSeekError;
        std::uint32_t crc = 0xFFFFFFFF;
        std::uint32_t length = 0; // modulo 2^32, as the trailer keeps it
        std::int64_t dataEnd = 0;
        // Pieces of the member's data from Source (a TDecompressStream, or a TDecodeAhead
        // running it on another thread) through the checksum to Sink; 0, or the damage.
        const auto decode = [&](auto& Source, const auto& Next) -> int {
            for (;;) {
                const auto [data, got] = Next();
                if (got > 0) {
                    UpdateCrc32Buf(data, got, crc);
                    length += static_cast<std::uint32_t>(got);
                    Sink(data, got);
                    PackedProgress(dataStart + Source.TotalIn() - FMember.DataStart);
                }
                if (Source.EndOfStream()) break;
                if (GetCancel()) return -1;
                // A stream that ends before its last block was cut off; anything else is damage.
                if (got < OutputChunk)
                    return Source.Status() == Z_BUF_ERROR
                               ? damage(ecBadBlock, "data cut off")
                               : damage(ecDecompressionError,
                                        "data damaged near offset " +
                                            std::to_string(dataStart + Source.TotalIn()));
            }
            dataEnd = dataStart + Source.TotalIn();
            return 0;
        };
        TUniqueFd file = FInflateAhead ? OpenForReading(ArchiveFile()) : TUniqueFd();
        int code = 0;
        if (file) {
            TDecodeAhead ahead(std::move(file), dataStart, std::numeric_limits<std::int64_t>::max(),
                               OutputChunk);
            code = decode(ahead, [&] {
                const std::span<const std::uint8_t> piece = ahead.Next();
                return std::pair(piece.data(), static_cast<std::int64_t>(piece.size()));
            });
        } else {
            TDecompressStream inflater(Input);
            inflater.CancelFlagPtr = CancelPtr;
            code = decode(inflater, [&] {
                const std::int64_t got = inflater.Read(buffer.data(), OutputChunk);
                return std::pair<const std::uint8_t*, std::int64_t>(buffer.data(), got);
            });
        }
        if (code != 0) return code < 0 ? 0 : code;
        std::uint8_t trailer[GzipTrailer];
        if (ReadAt(Input, dataEnd, trailer, GzipTrailer) != GzipTrailer)
            return damage(ecUnexpectedEndOfFile, "trailer cut off");
        if (GetU32LE(trailer) != (crc ^ 0xFFFFFFFF)) return damage(ecFileFailsCRCCheck, "CRC");
        if (GetU32LE(trailer + 4) != length) return damage(ecFileSizeDifferent, "size in the trailer");

        // What follows decides: another member, or the end. The zeros a tape pads with end the
        // file; anything else must be a whole member (gzip too calls other bytes damage).
        const std::int64_t next = dataEnd + GzipTrailer;
        if (OnlyZerosFrom(Input, next)) return 0;
        memberStart = next;
        switch (ReadGzipHeader(readAt, next, size, member)) {
        case TGzipHeaderResult::Ok:
            if (!member.IsGzip()) return damage(ecBadFileHeader, "no gzip header");
            break;
        case TGzipHeaderResult::NotGzip:
            return damage(ecBadFileHeader, "no gzip header");
        case TGzipHeaderResult::Truncated:
            return damage(ecUnexpectedEndOfFile, "header cut off");
        case TGzipHeaderResult::BadHeaderCrc:
            return damage(ecHeaderCRCError, "header CRC");
        }
    }
}

int TUnGZip::DecodeCompress(TStream32& Input, const TSink& Sink) {
    if (Input.Seek(0, soBeginning) != 0) return ecSeekError;
    std::int64_t pulled = 0;
    TDecoderIO io;
    io.PackedSize = Input.Size();
    io.UnpackedSize = std::numeric_limits<std::int64_t>::max();
    io.CancelFlag = CancelPtr;
    io.Input = [&](std::uint8_t* Buffer, std::int64_t Count) {
        const std::int64_t got = Input.Read(Buffer, Count);
        if (got > 0) {
            pulled += got;
            PackedProgress(pulled);
        }
        return got;
    };
    io.Output = Sink;
    const TDecodeResult result = LzwDecompress(io);
    return result.Cancelled ? 0 : result.ErrorCode;
}

std::string TUnGZip::PeekDecoded(TStream32& Input, std::int64_t Count) {
    std::string head;
    if (FMember.IsGzip()) {
        if (Input.Seek(FMember.DataStart, soBeginning) != FMember.DataStart) return head;
        TDecompressStream inflater(Input);
        head.resize(static_cast<std::size_t>(Count));
        std::int64_t have = 0;
        while (have < Count) {
            const std::int64_t got = inflater.Read(head.data() + have, Count - have);
            if (got <= 0) break;
            have += got;
        }
        head.resize(static_cast<std::size_t>(have));
        return head;
    }
    if (Input.Seek(0, soBeginning) != 0) return head;
    TDecoderIO io;
    io.PackedSize = Input.Size();
    io.UnpackedSize = std::numeric_limits<std::int64_t>::max();
    io.Input = [&Input](std::uint8_t* Buffer, std::int64_t N) { return Input.Read(Buffer, N); };
    io.Output = [&](const std::uint8_t* Buffer, std::int64_t N) {
        head.append(reinterpret_cast<const char*>(Buffer),
                    static_cast<std::size_t>(std::min<std::int64_t>(N, Count - std::ssize(head))));
        if (std::ssize(head) >= Count) throw TPeekDone{};
    };
    try {
        LzwDecompress(io);
    } catch (const TPeekDone&) {
        // Enough of the start.
    }
    return head;
}
