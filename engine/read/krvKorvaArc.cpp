// The lister's arc and pak walk: a 29-byte header before each entry's data (25 bytes for
// the old stored method 1). Arc folders are entered: a folder entry (method 30) puts its
// name in front of the entries that follow, and a folder-end record (method 31, two bytes)
// takes it off again.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvGbls.h"
#include "engine/read/krvKorvaWalk.h"

#include <cstring>

namespace {

constexpr int ArcHeader = 29;
constexpr int ArcOldHeader = 25;
constexpr std::uint8_t ArcMark = 0x1A;
constexpr std::uint8_t ArcFolder = 30;
constexpr std::uint8_t ArcFolderEnd = 31;

class TArcWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        Pos = K.ArchiveOffset;
        StepSize = ArcHeader;
        FPak = ArcType() == atPak || ArcType() == atPakExe;
        FLeadingPath.clear();
    }

    void Step() override {
        const std::uint8_t* h = Buf.data();
        const std::uint8_t method = h[1];
        if (h[0] != ArcMark || method == 0) {
            Stop();
            return;
        }
        if (method == ArcFolderEnd) {
            // Back out of the folder; the entries after it still belong to the archive.
            if (!FLeadingPath.empty()) {
                FLeadingPath.pop_back();
                const std::size_t slash = FLeadingPath.rfind('/');
                FLeadingPath.resize(slash == std::string::npos ? 0 : slash + 1);
            }
            Pos = HeaderPos + 2;
            return;
        }
        const char* field = reinterpret_cast<const char*>(h + 2);
        const std::string name(field, strnlen(field, 13));
        std::int64_t packed = GetU32LE(h + 15);
        std::int64_t unpacked = GetU32LE(h + 25);
        const bool folder = method == ArcFolder;

        TKorvaEntry e;
        if (method == 1) {
            // The old stored form has no unpacked size: its data begin 4 bytes earlier.
            unpacked = packed;
            if (!MoveTo(CheckedSum(HeaderPos, ArcOldHeader, packed))) return;
        } else if (folder && !FPak) {
            // The folder's entries follow its header.
            FLeadingPath += name + "/";
            packed = 0;
            unpacked = 0;
            Pos = HeaderPos + ArcHeader;
        } else {
            if (!MoveTo(CheckedSum(HeaderPos, ArcHeader, packed))) return;
        }
        e.StoredName = folder ? (FPak ? name + "/" : FLeadingPath) : (FPak ? name : FLeadingPath + name);
        e.IsDirectory = folder;
        e.Date = K.DosDateToDateTime(SwapWords(GetU32LE(h + 19)));
        e.PackedSize = packed;
        e.UnpackedSize = unpacked;
        e.CRC = GetU16LE(h + 23);
        e.Method = method;
        e.InternalAttr = folder && !FPak ? 16 : 32;
        e.ExternalAttr = e.InternalAttr;
        e.Offset = HeaderPos;
        Select(e);
    }

private:
    bool FPak = false;
    std::string FLeadingPath;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeArcWalk(TKorva& Owner) {
    return std::make_unique<TArcWalk>(Owner);
}
