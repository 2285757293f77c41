// The method and attribute texts of the archive list.
#include "engine/core/krvZipCommon.h"

#include "engine/core/krvGbls.h"

#include <array>

namespace {

template <std::size_t N>
const char* Pick(const std::array<const char*, N>& Names, unsigned Index, unsigned First = 0) {
    if (Index < First || Index - First >= N) return nullptr;
    return Names[Index - First];
}

const char* MethodText(TArcType Type, unsigned Method, unsigned Flags, bool IsDirectory,
                       std::uint16_t Magic) {
    static constexpr std::array<const char*, 5> Ace{"Fastest", "Fast", "Normal", "Good", "Best"};
    static constexpr std::array<const char*, 11> Arc{"Stored",   "Stored",   "Packed",   "Squeezed",
                                                     "Crunched", "Crunched", "Squashed", "Pack10",
                                                     "Pack11",   "Pack12",   "Stored"};
    static constexpr std::array<const char*, 4> Arj{"Stored", "Most", "2nd Most", "2nd Fast"};
    static constexpr std::array<const char*, 4> Bh{"Stored", "Fused1", "Deflate", "Fused3"};
    static constexpr std::array<const char*, 4> Cab{"Stored", "MsZIP", "Quantum", "Lzx"};
    static constexpr std::array<const char*, 3> Ha{"Cpy", "Asc", "HSC"};
    static constexpr std::array<const char*, 8> Zip{"Stored",   "Shrunk",   "Reduce-1", "Reduce-2",
                                                    "Reduce-3", "Reduce-4", "Imploded", "Tokened"};
    static constexpr std::array<const char*, 8> Lha{"Stored",   "Frozen-1", "Frozen-2", "Frozen-3",
                                                    "Frozen-4", "Frozen-5", "Frozen-6", "Frozen-7"};
    static constexpr std::array<const char*, 10> Pak{"Stored",   "RLE",      "Squeezed", "FixedLen",
                                                     "FixedLen", "FixedLen", "Varible",  "Varible",
                                                     "Crushed",  "Distill"};
    static constexpr std::array<const char*, 6> Rar{"Stored", "Fastest", "Fast", "Normal", "Good", "Best"};
    static constexpr std::array<const char*, 3> Zoo{"Stored", "Fastest", "Greatest"};
    constexpr const char* Dir = "<Dir>";

    switch (Type) {
    case atAce:
    case atAceExe:
        return Pick(Ace, Method);
    case atArc:
    case atArcExe:
        if (const char* t = Pick(Arc, Method, 1)) return t;
        return Method == 30 ? Dir : nullptr;
    case atArj:
    case atArjExe:
        if (const char* t = Pick(Arj, Method)) return t;
        return IsDirectory ? Dir : nullptr;
    case atBh:
    case atBhExe:
        if (Method == 8) return DeflateTypeName(Flags & 6);
        return Pick(Bh, Method);
    case atCab:
        return Pick(Cab, Method & 0x0F);
    case atGZip:
        if (Method == 0) return "Stored";
        if (Method == 8) return "Deflate";
        if (Method == 144) return "LzwMAGIC";
        if (Magic == 0x1E1F) return "PackMAGIC";
        if (Magic == 0xA01F) return "LzhMAGIC";
        return nullptr;
    case atHA:
        if (Method == 14) return Dir;
        if (Method == 15) return "Special";
        return Pick(Ha, Method);
    case atJar:
    case atJarExe:
    case atZip:
    case atZipExe:
    case atZipMV:
        if (Method == 8) return DeflateTypeName(Flags & 6);
        if (Method == 9) return Deflate64TypeName(Flags & 6);
        if (Method == 10) return "DCL-implode";
        if (const char* t = Pick(Zip, Method)) return t;
        return IsDirectory ? Dir : nullptr;
    case atLha:
    case atLhaExe:
    case atLzh:
    case atLzhExe:
        if (Method == 'd') return Dir;
        return Pick(Lha, Method, '0');
    case atPak:
    case atPakExe:
        return Pick(Pak, Method, 2);
    case atRar:
    case atRarExe:
        if (IsDirectory) return Dir;
        return Pick(Rar, Method, '0');
    case atTar:
        if (Method == 0) return "Tarred";
        return IsDirectory ? Dir : nullptr;
    case atZoo:
        return Pick(Zoo, Method);
    default:
        return nullptr;
    }
}

} // namespace

std::string CompressMethodName(TArcType ArcType, unsigned Method, unsigned Flags, bool IsDirectory,
                               std::uint16_t Magic) {
    const char* text = MethodText(ArcType, Method, Flags, IsDirectory, Magic);
    return text ? text : "Unsupported";
}

std::string AttributeString(TArcType ArcType, std::uint8_t HostSystem, std::uint32_t Attr, char Fill) {
    if ((ArcType == atAce || ArcType == atRar || ArcType == atRarExe) && HostSystem == 3) {
        std::string s(10, Fill);
        if (Attr & 0x4000) s[0] = 'd';
        auto triple = [&](std::size_t Pos, unsigned R, unsigned W, unsigned X, unsigned Special) {
            if (Attr & R) s[Pos] = 'r';
            if (Attr & W) s[Pos + 1] = 'w';
            if (Attr & X) s[Pos + 2] = 'x';
            if (Special && (Attr & Special)) s[Pos + 2] = (Attr & X) ? 's' : 'S';
        };
        triple(1, 0x100, 0x80, 0x40, 0x800);
        triple(4, 0x20, 0x10, 0x8, 0x400);
        triple(7, 4, 2, 1, 0);
        return s;
    }
    if (UnknownArcTypes.Contains(ArcType)) return {};
    std::string s(4, Fill);
    if (Attr & 0x20) s[0] = 'a';
    if (Attr & 0x10) s[0] = 'd';
    if (Attr & 0x01) s[1] = 'r';
    if (Attr & 0x04) s[2] = 's';
    if (Attr & 0x02) s[3] = 'h';
    return s;
}
