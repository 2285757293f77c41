// The lister's tar walk: one 512-byte header per entry, the data in whole blocks behind it.
// Long names of the ustar prefix, the GNU long-name record and the pax "path" record are
// put together with the header they belong to, and a pax "size" replaces the header's.
#include "engine/core/krvCrc.h"
#include "engine/core/krvGbls.h"
#include "engine/read/krvKorvaWalk.h"

#include "platform/CodePages.h"

#include <cstring>

namespace {

constexpr int TarBlock = 512;
constexpr std::int64_t MaxLongName = 65536;

std::string Field(const std::uint8_t* P, std::size_t Len) {
    const auto* c = reinterpret_cast<const char*>(P);
    return std::string(c, strnlen(c, Len));
}

// A numeric field: octal digits, or GNU's base-256 form (high bit of the first byte set).
std::int64_t Number(const std::uint8_t* P, std::size_t Len) {
    if (P[0] & 0x80) {
        std::uint64_t v = P[0] & 0x3F;
        for (std::size_t i = 1; i < Len; ++i) {
            if (v >> 55) return -1;
            v = (v << 8) | P[i];
        }
        return static_cast<std::int64_t>(v);
    }
    const std::uint64_t v = OctStrToInt(std::string_view(reinterpret_cast<const char*>(P), Len));
    return v > static_cast<std::uint64_t>(INT64_MAX) ? -1 : static_cast<std::int64_t>(v);
}

class TTarWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        Pos = K.ArchiveOffset;
        StepSize = TarBlock;
    }

    void Step() override {
        const std::uint8_t* h = Buf.data();
        const std::uint32_t stored = static_cast<std::uint32_t>(
            OctStrToInt(std::string_view(reinterpret_cast<const char*>(h + 148), 8)));
        if (h[0] == 0 || stored == 0 || !IsTarHeaderValid(h)) {
            Stop();
            return;
        }
        std::int64_t size = Number(h + 124, 12);
        if (FPaxSize >= 0) size = FPaxSize;
        if (size < 0 || size > End - Pos) {
            // The entry's data would run past the archive's end.
            size = End - Pos;
        }
        const std::int64_t data = Pos;
        Pos = data + (size + TarBlock - 1) / TarBlock * TarBlock;
        const char type = static_cast<char>(h[156]);

        switch (type) {
        case 'L': { // GNU long name of the next entry
            FLongName = ReadText(data, std::min(size, MaxLongName));
            FLongName.resize(strnlen(FLongName.c_str(), FLongName.size()));
            return;
        }
        case 'x': // pax attributes of the next entry
            ReadPax(data, size);
            return;
        case 'K':
        case 'g':
            return;
        default:
            break;
        }

        std::string name;
        bool utf8 = false;
        if (!FPaxPath.empty()) {
            name = FPaxPath;
            utf8 = true;
        } else if (!FLongName.empty()) {
            name = FLongName;
        } else {
            name = Field(h, 100);
            const std::string prefix = Field(h + 345, 155);
            if (std::memcmp(h + 257, "ustar", 5) == 0 && h[262] == 0 && !prefix.empty())
                name = prefix + "/" + name;
        }
        FLongName.clear();
        FPaxPath.clear();
        FPaxSize = -1;

        const bool isFile = type == 0 || type == '0' || type == '1' || type == '2';
        const bool isDir = type == '5';
        if (!isFile && !isDir) return;

        TKorvaEntry e;
        // Names made on Unix are UTF-8; others are read in the OEM code page.
        e.StoredName = name;
        e.NameIsUtf8 = utf8 || IsValidUtf8(name);
        e.IsDirectory = isDir;
        e.CountDirectory = isDir;
        if (isDir && !e.StoredName.empty() && e.StoredName.back() != '/') e.StoredName += '/';
        e.Date = UnixDateToDateTime(Number(h + 136, 12));
        e.PackedSize = size;
        e.UnpackedSize = size;
        e.CRC = stored;
        e.InternalAttr = isDir ? 16 : 0;
        e.ExternalAttr = isDir ? 16 : 0;
        e.Offset = HeaderPos;
        Select(e);
    }

private:
    // Records "length keyword=value\n"; path and size are the ones the listing needs.
    void ReadPax(std::int64_t At, std::int64_t Size) {
        const std::string text = ReadText(At, std::min(Size, MaxLongName));
        std::size_t p = 0;
        while (p < text.size()) {
            const std::size_t space = text.find(' ', p);
            if (space == std::string::npos) break;
            std::size_t len = 0;
            for (std::size_t i = p; i < space; ++i) {
                if (text[i] < '0' || text[i] > '9' || len > text.size()) return;
                len = len * 10 + static_cast<std::size_t>(text[i] - '0');
            }
            if (len <= space - p + 1 || p + len > text.size()) return;
            const std::string record = text.substr(space + 1, p + len - space - 2);
            const std::size_t eq = record.find('=');
            if (eq != std::string::npos) {
                const std::string key = record.substr(0, eq);
                const std::string value = record.substr(eq + 1);
                if (key == "path") FPaxPath = value;
                if (key == "size") {
                    const std::uint64_t v = std::strtoull(value.c_str(), nullptr, 10);
                    FPaxSize = v > static_cast<std::uint64_t>(INT64_MAX) ? -1 : static_cast<std::int64_t>(v);
                }
            }
            p += len;
        }
    }

    std::string FLongName;
    std::string FPaxPath;
    std::int64_t FPaxSize = -1;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeTarWalk(TKorva& Owner) {
    return std::make_unique<TTarWalk>(Owner);
}
