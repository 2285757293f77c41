#include "engine/formats/arc/krvArcRecords.h"

#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvGbls.h"

#include <cstring>

namespace {

constexpr int HeaderSize = 29;
constexpr int OldHeaderSize = 25;
constexpr std::uint8_t Marker = 0x1A;
constexpr int MaxDepth = 64;

} // namespace

TArcWalk::TArcWalk(TReadAtFunc Read, std::int64_t Start, std::int64_t Size, bool Pak)
    : FRead(std::move(Read)), FPos(Start), FSize(Size), FPak(Pak) {}

TArcRead TArcWalk::Next(TArcHeader& H) {
    for (;;) {
        H = TArcHeader{};
        H.HeaderPos = FPos;
        std::uint8_t h[HeaderSize] = {};
        // The archive ends at its end mark (method 0), or without one at the end of the file;
        // a header that is not there (the data before it were longer than the file, or the
        // sizes before it are wrong) is damage.
        if (FPos == FSize) return TArcRead::End;
        const std::int64_t got = FPos < FSize ? FRead(FPos, h, HeaderSize) : 0;
        if (got < 2 || h[0] != Marker) return TArcRead::Bad;
        if (h[1] == 0) return TArcRead::End;
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
        if (got < size) return TArcRead::Bad;
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
            if (++FDepth > MaxDepth) return TArcRead::Bad;
            FLeadingPath += FixPathSlashes(name) + "/";
            H.Path = FLeadingPath;
            H.PackedSize = 0;
            H.UnpackedSize = 0;
            FPos = H.DataPos;
            return TArcRead::Ok;
        }
        H.Path = FPak ? FixPathSlashes(name) + (H.IsFolder ? "/" : "") : FLeadingPath + FixPathSlashes(name);
        if (!CheckedAdd(H.DataPos, H.PackedSize, FPos)) return TArcRead::Bad;
        return TArcRead::Ok;
    }
}
