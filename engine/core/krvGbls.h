// What every engine component shares: the archive types with their display names and the
// sets that say what the engine can do with each, and small helpers for paths, names,
// code pages, numbers and tar's octal fields. Dates and times are in krvDates.h.
//
// Local paths use '/' as their separator; the helpers named after backslashes work with the
// local separator (PathDelim), stored archive names with '/'.
#pragma once

#include "engine/core/krvErrorCodes.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

class TStream32;

enum TArcType : std::uint8_t {
    atNA,
    atUnsupported,
    atFileOpenErr,
    atUnknown,
    atAce,
    atAceExe,
    atArc,
    atArcExe,
    atArj,
    atArjExe,
    atBh,
    atBhExe,
    atCab,
    atGZip,
    atHA,
    atJar,
    atJarExe,
    atLha,
    atLhaExe,
    atLzh,
    atLzhExe,
    atMsGZ,
    atPak,
    atPakExe,
    atRar,
    atRarExe,
    atTar,
    atTarGZip,
    atUUE,
    atZip,
    atZipExe,
    atZipMV,
    atZoo,
};
inline constexpr int ArcTypeCount = atZoo + 1;

// The display name of each type, indexed by TArcType.
extern const char* const ArcTypeNames[ArcTypeCount];
// The name of a type as it is spelt in the code ("atZip"), for logs and test drivers.
const char* ArcTypeIdent(TArcType Type);

// A constant set of archive types.
class TArcTypeSet {
public:
    constexpr TArcTypeSet(std::initializer_list<TArcType> Types) {
        for (TArcType t : Types)
            FBits |= std::uint64_t{1} << t;
    }
    constexpr bool Contains(TArcType Type) const { return (FBits >> Type) & 1U; }
    constexpr TArcTypeSet operator-(TArcTypeSet Other) const { return TArcTypeSet(FBits & ~Other.FBits); }
    constexpr TArcTypeSet operator+(TArcTypeSet Other) const { return TArcTypeSet(FBits | Other.FBits); }

private:
    constexpr explicit TArcTypeSet(std::uint64_t Bits) : FBits(Bits) {}
    std::uint64_t FBits = 0;
};

inline constexpr TArcTypeSet UnknownArcTypes{atNA, atUnsupported, atFileOpenErr, atUnknown};
inline constexpr TArcTypeSet ZipFamilyArcTypes{atJar, atJarExe, atZip, atZipExe};
inline constexpr TArcTypeSet ZipArcTypes{atZip, atZipExe};
inline constexpr TArcTypeSet ExtractableArcTypes{atAce,    atAceExe, atArc,    atArcExe, atArj,    atArjExe,
                                                 atBh,     atBhExe,  atCab,    atGZip,   atJar,    atLha,
                                                 atLhaExe, atLzh,    atLzhExe, atRar,    atRarExe, atTar,
                                                 atUUE,    atZip,    atZipExe, atZipMV,  atZoo};
inline constexpr TArcTypeSet TestableArcTypes =
    ExtractableArcTypes - TArcTypeSet{atCab} + TArcTypeSet{atJarExe};
inline constexpr TArcTypeSet WritableArcTypes{atBh, atCab, atGZip, atJar, atLha, atLzh, atTar, atZip};
inline constexpr TArcTypeSet EncryptableArcTypes{atBh, atJar, atZip};
inline constexpr TArcTypeSet LibraryArcTypes{atAce, atAceExe, atCab, atRar, atRarExe};

// The archive extensions the engine knows, upper case with the dot.
inline constexpr int ArchiveExtensionCount = 23;
extern const char* const ArchiveExtensions[ArchiveExtensionCount];

// Names of the deflate levels by the zip flag value (bits 1 and 2 as 0, 2, 4, 6).
const char* DeflateTypeName(unsigned FlagValue);
const char* Deflate64TypeName(unsigned FlagValue);

// ---- paths and names ----------------------------------------------------------------------
inline constexpr char PathDelim = '/';
// '/' or '\\': stored names separate folders with either.
inline bool IsPathSeparator(char C) {
    return C == '/' || C == '\\';
}

std::string JoinPath(const std::string& Dir, const std::string& Name);
std::string AppendBackslash(const std::string& Path);
std::string RemoveBackslash(const std::string& Path);
// Turns the separators of a stored name ('\\', and 0xFF as some lha versions store it)
// into the local separator.
std::string FixPathSlashes(const std::string& Path);
// Stored separators to local ones: every '/' and '\\' becomes PathDelim (archives made on DOS
// and Windows separate with either).
std::string SlashToBackslash(const std::string& Text);
// Local separators to stored ones: every PathDelim and '\\' becomes '/', so a name stores the
// folders that a reader splitting on both separators finds again.
std::string BackslashToSlash(const std::string& Text);
// A stored name as a local name: from the OEM code page to UTF-8 when OemTranslate, then
// every separator becomes the local one.
std::string ArcNameToLocalName(const std::string& StoredName, bool OemTranslate);
// What the bytes of a local name are: plain ASCII, UTF-8 beyond ASCII, or bytes that are not
// UTF-8 (a Linux file name may hold any byte but '/' and NUL). A format marks a name by it.
enum class TNameBytes { Ascii, Utf8, Raw };
TNameBytes NameBytesOf(std::string_view Name);
// A local name as it is stored: every PathDelim and '\\' becomes '/'; the bytes stay as they
// are (new names are never put into a code page: on Linux other tools would show them garbled).
std::string LocalNameToArcName(const std::string& Name);
// Position of the dot that begins the extension of the last name of a path (npos when that
// name has none: a dot in a folder name is none).
std::size_t ExtensionDotPos(std::string_view Path);
// That extension, with its dot; empty when there is none.
std::string_view FileExtOf(std::string_view Path);
// The name without its extension, followed by NewExt, which brings its own dot.
std::string ReplaceFileExt(const std::string& FileName, const std::string& NewExt);
// Position of the last '.' of the text up to its first NUL, or that length when it has none.
std::size_t LastDotPos(std::string_view Text);
// Name for a backup copy: a.gz -> a.~gz, notes.txt -> notes.~tx, a -> a.~
std::string MakeTildeName(const std::string& FileName);
// Returns the text before Separator and removes it and the separator from Text; without
// Separator in Text (or with an empty one) returns all of Text and empties it.
std::string CutToken(std::string& Text, const std::string& Separator);
bool IsAllDigits(std::string_view Text);
// Case is ignored for the ASCII letters only: names are UTF-8, whose other bytes compare as
// they are.
inline char LowerCaseAscii(char C) {
    return C >= 'A' && C <= 'Z' ? static_cast<char>(C + ('a' - 'A')) : C;
}
std::string LowerCaseAscii(std::string Text);
bool SameTextNoCase(std::string_view A, std::string_view B);
// At least three bytes beginning with two separators.
bool IsUNCPath(std::string_view Path);

// The folder part of a path with its trailing separator; empty for a bare name.
std::string FolderOf(const std::string& Path);

// ---- files and folders --------------------------------------------------------------------
bool DirExists(const std::string& Path);
// A regular file (a link is followed) of that name exists.
bool FileExists(const std::string& Name);
inline bool IsDirectoryPath(const std::string& Path) {
    return DirExists(Path);
}
bool IsWritableFile(const std::string& FileName);
bool IsDirEmpty(const std::string& Dir);
bool ForceDirPath(const std::string& Dir);
// The temporary folder, with a trailing separator.
std::string GetTempPathStr();
std::uint8_t FilterKnownAttributes(std::uint8_t Attr);
// Reads a NUL-terminated text at Pos (any length up to MaxLen); Pos moves past its NUL.
void ReadStreamZStr(TStream32& Stream, std::int64_t& Pos, std::string& S, std::size_t MaxLen = 65535);
// Reads a field of Len bytes at Pos; S is its text up to the first NUL; Pos += Len.
void ReadStreamStr(TStream32& Stream, std::int64_t& Pos, std::size_t Len, std::string& S);

// ---- numbers and bytes --------------------------------------------------------------------
int PercentOf(std::uint64_t Part, std::uint64_t Total);
int PercentOfFloat(double Total, double Part);
int CompressRatio(std::int64_t Packed, std::int64_t Unpacked);
int CompressRatio64(std::int64_t Unpacked, std::int64_t Packed);
int CompressRatioFloat(double Unpacked, double Packed);
inline std::uint32_t MinCardinal(std::uint32_t A, std::uint32_t B) {
    return A < B ? A : B;
}
void MoveBytes(const void* Source, void* Dest, std::int64_t Count);
bool SameBytes(const void* P1, const void* P2, std::size_t Count);
inline std::uint32_t SwapWords(std::uint32_t Value) {
    return (Value >> 16) | (Value << 16);
}
bool IsGZipSignature(std::uint16_t FirstWord);

// Calls Action when the scope is left, however it is left.
template <typename F> struct TScopeExit {
    F Action;
    ~TScopeExit() { Action(); }
};
template <typename F> TScopeExit(F) -> TScopeExit<F>;

// ---- tar's octal fields -------------------------------------------------------------------
// Octal digits accumulate; blanks are skipped; a NUL ends the number.
std::uint64_t OctStrToInt(std::string_view Text);
// Writes Value as a Width-byte octal field ending in NUL or a blank. Returns false, and
// leaves Buffer untouched, when the value does not fit the field.
bool IntToOctField(std::uint64_t Value, std::size_t Width, bool NulTerminate, char* Buffer);
