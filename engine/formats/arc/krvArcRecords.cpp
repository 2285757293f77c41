#include "engine/formats/arc/krvArcRecords.h"

#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvGbls.h"

#include <cstring>

namespace {

constexpr int HeaderSize = 29;
constexpr int OldHeaderSize = 25;
constexpr std::uint8_t Marker = 0x1A;
constexpr int MaxDepth = 64;

// Whether the Got bytes of H (a header's place, Room bytes before the end of the file) hold
// an entry's header: the marker, a name of printable characters ended by a NUL, and a packed
// size that fits the file.
bool HoldsAnEntry(const std::uint8_t* H, std::int64_t Got, std::int64_t Room) {
    if (Got < HeaderSize || H[0] != Marker || H[2] < 0x21) return false;
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(H + 2, 0, 13));
    if (!nul) return false;
    for (const std::uint8_t* c = H + 2; c < nul; ++c)
        if (*c < 0x20 || *c == 0x7F) return false;
    return GetU32LE(H + 15) <= Room - HeaderSize;
}

} // namespace

TArcWalk::TArcWalk(TReadAtFunc Read, std::int64_t Start, std::int64_t Size, bool Pak)
    : FRead(std::move(Read)), FPos(Start), FSize(Size), FPak(Pak) {}

TArcRead TArcWalk::Next(TArcHeader& H) {
    for (;;) {
        H = TArcHeader{};
        H.HeaderPos = FPos;
        std::uint8_t h[HeaderSize] = {};
        // The archive ends at its end mark (method 0), which arc and pak always write; a file
        // that ends without it is cut, and a header that is not there (the data before it
        // were longer than the file, or the sizes before it are wrong) is damage.
        if (FPos == FSize) return Damaged("the archive ends without its end mark");
        const std::int64_t got = FPos < FSize ? FRead(FPos, h, HeaderSize) : 0;
        if (got < 2 || h[0] != Marker) return Damaged("no header where one must begin");
        if (h[1] == 0) {
            // Bytes may follow the end mark (padding), but not an entry: an end mark that is
            // an entry's header with its method lost, or one followed by a whole header.
            std::uint8_t after[HeaderSize];
            const std::int64_t left = FPos + 2 < FSize ? FRead(FPos + 2, after, HeaderSize) : 0;
            if (HoldsAnEntry(h, got, FSize - FPos) || (left == HeaderSize && after[1] >= 1 && after[1] <= 9 &&
                                                       HoldsAnEntry(after, left, FSize - FPos - 2)))
                return Damaged("an end mark where an entry lies");
            return TArcRead::End;
        }
        H.Method = h[1];
        if (H.Method == ArcFolderEnd) {
            // Back out of the folder; the entries after it still belong to the archive.
            if (!FLeadingPath.empty()) {
                FLeadingPath.pop_back();
                const std::size_t slash = FLeadingPath.rfind('/');
                FLeadingPath.resize(slash == std::string::npos ? 0 : slash + 1);
                --FDepth;
            }
            FPos += 2;
            continue;
        }
        const int size = H.Method == 1 ? OldHeaderSize : HeaderSize;
        if (got < size) return Damaged("the archive ends inside the header");
        const char* field = reinterpret_cast<const char*>(h + 2);
        const std::string name(field, strnlen(field, 13));
        H.PackedSize = GetU32LE(h + 15);
        H.DosTime = SwapWords(GetU32LE(h + 19));
        H.Crc = GetU16LE(h + 23);
        // The old stored form keeps no unpacked size.
        H.UnpackedSize = H.Method == 1 ? H.PackedSize : GetU32LE(h + 25);
        H.DataPos = FPos + size;
        H.IsFolder = H.Method == ArcFolder;
        if (H.IsFolder && !FPak) {
            // The folder's entries follow its header.
            if (++FDepth > MaxDepth) return Damaged("folders nested too deep");
            FLeadingPath += FixPathSlashes(name) + "/";
            H.Path = FLeadingPath;
            H.PackedSize = 0;
            H.UnpackedSize = 0;
            FPos = H.DataPos;
            return TArcRead::Ok;
        }
        H.Path = FPak ? FixPathSlashes(name) + (H.IsFolder ? "/" : "") : FLeadingPath + FixPathSlashes(name);
        if (!CheckedAdd(H.DataPos, H.PackedSize, FPos)) return Damaged("its size is impossible");
        return TArcRead::Ok;
    }
}

TArcRead TArcWalk::Damaged(const std::string& What) {
    FDamage = "header at offset " + std::to_string(FPos) + ": " + What;
    return TArcRead::Bad;
}
