#include "engine/core/krvGbls.h"

#include "engine/core/krvStreams.h"
#include "platform/CodePages.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

// ---- archive types ------------------------------------------------------------------------

const char* const ArcTypeNames[ArcTypeCount] = {
    "Not avail. ", "Unsupport.", "File Error", "Unknown   ", "ACE       ", "ACE SFX   ", "ARC       ",
    "ARC SFX   ",  "ARJ       ", "ARJ SFX   ", "BH        ", "BH  SFX   ", "CAB       ", "GZip      ",
    "HA        ",  "Java JAR  ", "JJAR SFX  ", "LHA       ", "LHA SFX   ", "LZH       ", "LZH SFX   ",
    "MsGZ     \t", "PAK       ", "PAK SFX   ", "RAR       ", "RAR SFX   ", "TAR       ", "TarGzip   ",
    "UUE       ",  "ZIP       ", "ZIP SFX   ", "Zip MVol  ", "ZOO       ",
};

const char* ArcTypeIdent(TArcType Type) {
    static const char* const idents[ArcTypeCount] = {
        "atNA",     "atUnsupported", "atFileOpenErr", "atUnknown", "atAce",    "atAceExe", "atArc",
        "atArcExe", "atArj",         "atArjExe",      "atBh",      "atBhExe",  "atCab",    "atGZip",
        "atHA",     "atJar",         "atJarExe",      "atLha",     "atLhaExe", "atLzh",    "atLzhExe",
        "atMsGZ",   "atPak",         "atPakExe",      "atRar",     "atRarExe", "atTar",    "atTarGZip",
        "atUUE",    "atZip",         "atZipExe",      "atZipMV",   "atZoo",
    };
    return Type < ArcTypeCount ? idents[Type] : "atNA";
}

const char* const ArchiveExtensions[ArchiveExtensionCount] = {
    ".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ", ".HA",  ".JAR", ".LHA", ".LZH", ".PAK",
    ".PK3", ".PK_", ".RAR", ".TAR", ".TGZ", ".UUE", ".UU", ".XXE", ".Z",   ".ZIP", ".ZOO",
};

namespace {

// Index into the deflate name tables: flag values 0, 2, 4, 6; anything else counts as 0.
unsigned DeflateNameIndex(unsigned FlagValue) {
    return (FlagValue % 2 == 0 && FlagValue <= 6) ? FlagValue / 2 : 0;
}

} // namespace

const char* DeflateTypeName(unsigned FlagValue) {
    static const char* const names[] = {"DeflateN", "DeflateX", "DeflateF", "DeflateS"};
    return names[DeflateNameIndex(FlagValue)];
}

const char* Deflate64TypeName(unsigned FlagValue) {
    static const char* const names[] = {"Def-64N", "Def-64X", "Def-64F", "Def-64S"};
    return names[DeflateNameIndex(FlagValue)];
}

// ---- paths and names ----------------------------------------------------------------------

std::string JoinPath(const std::string& Dir, const std::string& Name) {
    if (Dir.empty()) return {};
    // '/' never occurs inside a UTF-8 sequence, so the last byte decides.
    if (Dir.back() == PathDelim) return Dir + Name;
    return Dir + PathDelim + Name;
}

std::string AppendBackslash(const std::string& Path) {
    if (Path.empty() || Path.back() == PathDelim) return Path;
    return Path + PathDelim;
}

std::string RemoveBackslash(const std::string& Path) {
    if (!Path.empty() && Path.back() == PathDelim) return Path.substr(0, Path.size() - 1);
    return Path;
}

std::string FixPathSlashes(const std::string& Path) {
    std::string out = Path;
    bool trailByte = false;
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (trailByte) {
            // The second byte of a double-byte character may be 0x5C: it is no separator.
            trailByte = false;
        } else if ((b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFD)) {
            trailByte = true;
        } else if (b == '\\' || b == 0xFF) {
            c = PathDelim;
        }
    }
    return out;
}

std::string SlashToBackslash(const std::string& Text) {
    std::string out = Text;
    for (char& c : out)
        if (IsPathSeparator(c)) c = PathDelim;
    return out;
}

std::string BackslashToSlash(const std::string& Text) {
    std::string out = Text;
    for (char& c : out)
        if (IsPathSeparator(c)) c = '/';
    return out;
}

std::string ArcNameToLocalName(const std::string& StoredName, bool OemTranslate) {
    if (!OemTranslate) return SlashToBackslash(StoredName);
    return SlashToBackslash(CodePageToUtf8(StoredName, TCodePage::Oem));
}

TNameBytes NameBytesOf(std::string_view Name) {
    if (IsAsciiText(Name)) return TNameBytes::Ascii;
    return IsValidUtf8(Name) ? TNameBytes::Utf8 : TNameBytes::Raw;
}

std::string LocalNameToArcName(const std::string& Name) {
    return BackslashToSlash(Name);
}

std::size_t ExtensionDotPos(std::string_view Path) {
    const std::size_t dot = Path.find_last_of('.');
    if (dot == std::string_view::npos) return dot;
    const std::size_t sep = Path.find_last_of(PathDelim);
    if (sep != std::string_view::npos && sep > dot) return std::string_view::npos;
    return dot;
}

std::string_view FileExtOf(std::string_view Path) {
    const std::size_t dot = ExtensionDotPos(Path);
    return dot == std::string_view::npos ? std::string_view() : Path.substr(dot);
}

std::string ReplaceFileExt(const std::string& FileName, const std::string& NewExt) {
    const std::size_t dot = ExtensionDotPos(FileName);
    return (dot == std::string::npos ? FileName : FileName.substr(0, dot)) + NewExt;
}

std::size_t LastDotPos(std::string_view Text) {
    const std::size_t nul = Text.find('\0');
    if (nul != std::string_view::npos) Text = Text.substr(0, nul);
    const std::size_t dot = Text.find_last_of('.');
    return dot == std::string_view::npos ? Text.size() : dot;
}

bool SameTextNoCase(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (std::size_t i = 0; i < A.size(); ++i)
        if (LowerCaseAscii(A[i]) != LowerCaseAscii(B[i])) return false;
    return true;
}

std::string LowerCaseAscii(std::string Text) {
    for (char& c : Text)
        c = LowerCaseAscii(c);
    return Text;
}

std::string FolderOf(const std::string& Path) {
    const std::size_t slash = Path.find_last_of(PathDelim);
    return slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
}

std::string MakeTildeName(const std::string& FileName) {
    const std::size_t dot = ExtensionDotPos(FileName);
    const std::string ext = dot == std::string::npos ? std::string() : FileName.substr(dot);
    if (ext.size() < 2) return FileName + ".~" + ext;
    if (ext.size() <= 3) return ReplaceFileExt(FileName, ".~" + ext.substr(1));
    return ReplaceFileExt(FileName, ".~" + ext.substr(1, ext.size() - 2));
}

std::string CutToken(std::string& Text, const std::string& Separator) {
    const std::size_t at = Separator.empty() ? std::string::npos : Text.find(Separator);
    std::string token;
    if (at == std::string::npos) {
        token.swap(Text);
        return token;
    }
    token = Text.substr(0, at);
    Text.erase(0, at + Separator.size());
    return token;
}

bool IsAllDigits(std::string_view Text) {
    return std::all_of(Text.begin(), Text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsUNCPath(std::string_view Path) {
    return Path.size() >= 3 && IsPathSeparator(Path[0]) && IsPathSeparator(Path[1]);
}

// ---- files and folders --------------------------------------------------------------------

bool DirExists(const std::string& Path) {
    struct stat st {};
    return !Path.empty() && stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& Name) {
    struct stat st {};
    return !Name.empty() && ::stat(Name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsWritableFile(const std::string& FileName) {
    if (FileName.empty()) return false;
    const std::uint32_t attr = FileAttributesOf(FileName);
    return attr != faInvalid && (attr & (faDirectory | faReadOnly | faSysFile | faHidden)) == 0;
}

bool IsDirEmpty(const std::string& Dir) {
    TDirWalk dir;
    if (!dir.Open(Dir)) return true;
    TDirEntry entry;
    // Subfolders are not counted; every other entry is, hidden ones included.
    while (dir.Next(entry))
        if (!S_ISDIR(entry.Stat.st_mode)) return false;
    return true;
}

bool ForceDirPath(const std::string& Dir) {
    if (DirExists(Dir)) return true;
    std::string path = Dir;
    if (path.empty() || path.front() != PathDelim) {
        std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
        if (!cwd) return false;
        path = JoinPath(cwd.get(), path);
    }
    path = AppendBackslash(path);
    for (std::size_t at = path.find(PathDelim, 1); at != std::string::npos; at = path.find(PathDelim, at + 1))
        mkdir(path.substr(0, at).c_str(), 0777); // failures show in the final test
    return DirExists(Dir);
}

std::string GetTempPathStr() {
    const char* tmp = std::getenv("TMPDIR");
    return AppendBackslash(tmp && *tmp ? tmp : "/tmp");
}

std::uint8_t FilterKnownAttributes(std::uint8_t Attr) {
    return Attr & (0x80 | 0x20 | 0x01 | 0x02 | 0x08 | 0x04 | 0x10);
}

void ReadStreamZStr(TStream32& Stream, std::int64_t& Pos, std::string& S, std::size_t MaxLen) {
    S.clear();
    if (Stream.Seek(Pos, soBeginning) == Pos) {
        char block[256];
        bool ended = false;
        while (!ended && S.size() < MaxLen) {
            const std::size_t want = std::min<std::size_t>(sizeof block, MaxLen - S.size());
            const std::int64_t got = Stream.Read(block, static_cast<std::int64_t>(want));
            if (got <= 0) break;
            const auto n = static_cast<std::size_t>(got);
            const void* nul = std::memchr(block, 0, n);
            const std::size_t take =
                nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - block) : n;
            S.append(block, take);
            ended = nul != nullptr;
        }
    }
    Pos += static_cast<std::int64_t>(S.size()) + 1;
}

void ReadStreamStr(TStream32& Stream, std::int64_t& Pos, std::size_t Len, std::string& S) {
    S.clear();
    if (Stream.Seek(Pos, soBeginning) == Pos) {
        char block[256];
        std::size_t left = Len;
        while (left > 0) {
            const std::size_t want = std::min(sizeof block, left);
            const std::int64_t got = Stream.Read(block, static_cast<std::int64_t>(want));
            if (got <= 0) break;
            const auto n = static_cast<std::size_t>(got);
            const void* nul = std::memchr(block, 0, n);
            if (nul) {
                S.append(block, static_cast<const char*>(nul) - block);
                break;
            }
            S.append(block, n);
            left -= n;
        }
    }
    Pos += static_cast<std::int64_t>(Len);
}

// ---- numbers and bytes --------------------------------------------------------------------

namespace {

// Rounds as the engine always has: to the nearest integer, halves to even.
int RoundPercent(long double Value) {
    return static_cast<int>(std::nearbyint(Value));
}

} // namespace

int PercentOf(std::uint64_t Part, std::uint64_t Total) {
    if (Total == 0) return 0;
    const int p = RoundPercent(static_cast<long double>(Part) * 100 / static_cast<long double>(Total));
    return std::min(p, 100);
}

int PercentOfFloat(double Total, double Part) {
    if (!(Total > 0)) return 0;
    const long double p = static_cast<long double>(Part) * 100 / Total;
    if (!(p >= 0)) return 0;
    return p >= 100 ? 100 : RoundPercent(p);
}

int CompressRatio(std::int64_t Packed, std::int64_t Unpacked) {
    return CompressRatio64(Unpacked, Packed);
}

int CompressRatio64(std::int64_t Unpacked, std::int64_t Packed) {
    if (Unpacked <= 0 || Packed < 0 || Packed >= Unpacked) return 0;
    return RoundPercent(static_cast<long double>(Unpacked - Packed) * 100 / Unpacked);
}

int CompressRatioFloat(double Unpacked, double Packed) {
    if (!(Unpacked > 0) || !(Unpacked > Packed) || Packed < 0) return 0;
    return RoundPercent(static_cast<long double>(Unpacked - Packed) * 100 / Unpacked);
}

void MoveBytes(const void* Source, void* Dest, std::int64_t Count) {
    // Byte by byte and forward: an overlapping copy repeats the pattern, as the LZ decoders
    // rely on.
    const auto* s = static_cast<const unsigned char*>(Source);
    auto* d = static_cast<unsigned char*>(Dest);
    for (std::int64_t i = 0; i < Count; ++i)
        d[i] = s[i];
}

bool SameBytes(const void* P1, const void* P2, std::size_t Count) {
    return Count == 0 || std::memcmp(P1, P2, Count) == 0;
}

bool IsGZipSignature(std::uint16_t FirstWord) {
    switch (FirstWord) {
    case 0x8B1F:
    case 0x9E1F:
    case 0x9D1F:
    case 0xA01F:
    case 0x1E1F:
        return true;
    default:
        return false;
    }
}

// ---- tar's octal fields -------------------------------------------------------------------

std::uint64_t OctStrToInt(std::string_view Text) {
    constexpr std::uint64_t maxValue = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (char c : Text) {
        if (c == '\0') break;
        if (c < '0' || c > '7') continue;
        if (value > (maxValue >> 3)) return maxValue; // more digits than 64 bits hold
        value = value * 8 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

bool IntToOctField(std::uint64_t Value, std::size_t Width, bool NulTerminate, char* Buffer) {
    if (Width == 0) return false;
    const std::size_t digits = Width - 1;
    // The value fits when it needs no more than `digits` octal digits.
    if (digits < 22 && (Value >> (3 * digits)) != 0) return false;
    for (std::size_t i = 0; i < digits; ++i) {
        Buffer[digits - 1 - i] = static_cast<char>('0' + (Value & 7));
        Value >>= 3;
    }
    Buffer[digits] = NulTerminate ? '\0' : ' ';
    return true;
}
