#include "engine/formats/gzip/krvGzipRecords.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvGbls.h"

#include <algorithm>
#include <array>

namespace {

// Names and comments are kept up to this length; the rest is stepped over.
constexpr std::size_t MaxKeptText = 4096;
constexpr std::int64_t ScanChunk = 512;
// The longest file name of the file systems the output goes to.
constexpr std::size_t MaxStoredName = 255;

class THeaderReader {
public:
    THeaderReader(const TGzipReadAt& ReadAt, std::int64_t At, std::int64_t End)
        : FReadAt(ReadAt), FPos(At), FEnd(End) {}

    bool Read(void* Buffer, std::int64_t Count) {
        if (Count > FEnd - FPos || FReadAt(FPos, Buffer, Count) != Count) return false;
        UpdateCrc32Buf(Buffer, Count, FCrc);
        FPos += Count;
        return true;
    }
    // A NUL-terminated text; its first MaxKeptText bytes go to Text.
    bool ReadText(std::string& Text) {
        std::array<char, ScanChunk> chunk{};
        for (;;) {
            const std::int64_t want = std::min(ScanChunk, FEnd - FPos);
            if (want <= 0) return false;
            const std::int64_t got = FReadAt(FPos, chunk.data(), want);
            if (got <= 0) return false;
            const auto* nul = std::find(chunk.data(), chunk.data() + got, '\0');
            const std::int64_t used = nul - chunk.data() + (nul < chunk.data() + got ? 1 : 0);
            const std::size_t keep = std::min<std::size_t>(static_cast<std::size_t>(nul - chunk.data()),
                                                           MaxKeptText - std::min(MaxKeptText, Text.size()));
            Text.append(chunk.data(), keep);
            UpdateCrc32Buf(chunk.data(), used, FCrc);
            FPos += used;
            if (nul < chunk.data() + got) return true;
        }
    }
    bool Skip(std::int64_t Count) {
        std::array<std::uint8_t, ScanChunk> chunk{};
        while (Count > 0) {
            const std::int64_t n = std::min(Count, ScanChunk);
            if (!Read(chunk.data(), n)) return false;
            Count -= n;
        }
        return true;
    }
    std::int64_t Pos() const { return FPos; }
    std::uint32_t Crc() const { return FCrc ^ 0xFFFFFFFF; }

private:
    const TGzipReadAt& FReadAt;
    std::int64_t FPos;
    std::int64_t FEnd;
    std::uint32_t FCrc = 0xFFFFFFFF;
};

std::string BaseName(const std::string& Path) {
    const std::size_t sep = Path.find_last_of("/\\");
    return sep == std::string::npos ? Path : Path.substr(sep + 1);
}

} // namespace

TGzipHeaderResult ReadGzipHeader(const TGzipReadAt& ReadAt, std::int64_t At, std::int64_t End,
                                 TGzipMember& Member) {
    Member = TGzipMember{};
    THeaderReader in(ReadAt, At, End);
    std::array<std::uint8_t, GzipFixedHeader> h{};
    if (!in.Read(h.data(), 2)) return TGzipHeaderResult::Truncated;
    Member.Magic = GetU16LE(h.data());
    if (!IsGZipSignature(Member.Magic)) return TGzipHeaderResult::NotGzip;
    Member.DataStart = At;
    if (!Member.IsGzip()) return TGzipHeaderResult::Ok;
    if (!in.Read(h.data() + 2, GzipFixedHeader - 2)) return TGzipHeaderResult::Truncated;
    Member.Method = h[2];
    Member.Flags = h[3];
    Member.MTime = GetU32LE(h.data() + 4);
    Member.ExtraFlags = h[8];
    Member.System = h[9];
    if (Member.Flags & GzFlagExtra) {
        std::array<std::uint8_t, 2> length{};
        if (!in.Read(length.data(), 2)) return TGzipHeaderResult::Truncated;
        Member.ExtraLength = GetU16LE(length.data());
        if (!in.Skip(Member.ExtraLength)) return TGzipHeaderResult::Truncated;
    }
    if ((Member.Flags & GzFlagName) && !in.ReadText(Member.Name)) return TGzipHeaderResult::Truncated;
    if ((Member.Flags & GzFlagComment) && !in.ReadText(Member.Comment)) return TGzipHeaderResult::Truncated;
    if (Member.Flags & GzFlagHeaderCrc) {
        const std::uint16_t expected = static_cast<std::uint16_t>(in.Crc());
        std::array<std::uint8_t, 2> crc{};
        if (!in.Read(crc.data(), 2)) return TGzipHeaderResult::Truncated;
        if (GetU16LE(crc.data()) != expected) return TGzipHeaderResult::BadHeaderCrc;
    }
    Member.DataStart = in.Pos();
    return TGzipHeaderResult::Ok;
}

std::string GzipStoredName(const TGzipMember& Member, const std::string& ArchiveFile) {
    // A stored name is a file name: ".", "..", a path or one longer than a file name may be
    // are not, and the output takes the archive's own name as for no stored name.
    const std::string& stored = Member.Name;
    if (!stored.empty() && stored != "." && stored != ".." &&
        stored.find_first_of("/\\") == std::string::npos && stored.size() <= MaxStoredName)
        return stored;
    std::string name = BaseName(ArchiveFile);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

std::string GzipHeaderBytes(const std::string& Name, std::uint32_t MTime, std::uint8_t ExtraFlags) {
    std::string h(static_cast<std::size_t>(GzipFixedHeader), '\0');
    h[0] = static_cast<char>(GzipMagic & 0xFF);
    h[1] = static_cast<char>(GzipMagic >> 8);
    h[2] = static_cast<char>(GzipDeflated);
    h[3] = static_cast<char>(Name.empty() ? 0 : GzFlagName);
    for (int i = 0; i < 4; ++i)
        h[static_cast<std::size_t>(4 + i)] = static_cast<char>((MTime >> (8 * i)) & 0xFF);
    h[8] = static_cast<char>(ExtraFlags);
    h[9] = 3;
    if (!Name.empty()) {
        h += Name.substr(0, Name.find('\0'));
        h += '\0';
    }
    return h;
}
