#include "engine/formats/zoo/krvZooRecords.h"

#include "engine/core/krvGbls.h" // SwapWords

#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t ZooTag = 0xFDC4A7DC;
constexpr int ArchiveHeaderSize = 43;
constexpr int EntrySize = 58;
constexpr int MinEntrySize = 51; // a type 1 entry ends after its short name
constexpr int FixedFields = 38;  // the fields before the short name
constexpr int VarPartPos = 56;
constexpr std::uint16_t SystemUnix = 0;

// A NUL-ended text of at most Max bytes at P.
std::string Text(const std::uint8_t* P, std::size_t Max) {
    const char* s = reinterpret_cast<const char*>(P);
    return {s, strnlen(s, Max)};
}

} // namespace

TZooWalk::TZooWalk(TReadAtFunc Read, std::int64_t Size) : FRead(std::move(Read)), FSize(Size) {}

bool TZooWalk::Start() {
    std::uint8_t h[ArchiveHeaderSize];
    if (FRead(0, h, ArchiveHeaderSize) != ArchiveHeaderSize) return false;
    const std::uint32_t first = GetU32LE(h + 24);
    if (static_cast<std::uint32_t>(first + GetU32LE(h + 28)) != 0) return false;
    FPos = first;
    FCommentPos = GetU32LE(h + 35);
    FCommentLen = GetU16LE(h + 39);
    return true;
}

TZooRead TZooWalk::Next(TZooEntry& Entry) {
    for (;;) {
        bool deleted = false;
        const TZooRead r = ReadEntry(Entry, deleted);
        if (r != TZooRead::Ok || !deleted) return r;
    }
}

TZooRead TZooWalk::ReadEntry(TZooEntry& E, bool& Deleted) {
    E = TZooEntry{};
    E.HeaderPos = FPos;
    if (FLinkLost) return Damaged("the chain ends without its closing entry", FLastHeader);
    // Zoo appends entries and links them from the one before: a chain that leads back would
    // go round for ever.
    if (FPos <= FLastHeader) return Damaged("the chain leads back", FLastHeader);
    FLastHeader = FPos;
    std::uint8_t h[EntrySize] = {};
    const std::int64_t got = FPos < FSize ? FRead(FPos, h, EntrySize) : 0;
    // Only the closing entry ends the chain: a link out of the file, or an entry cut off, is
    // damage. A closing entry whose fixed fields are whole still closes the chain when its
    // name is cut off (as unar takes it): no entry is lost with it.
    if (got < MinEntrySize) {
        const bool closing = got >= FixedFields && GetU32LE(h) == ZooTag && GetU32LE(h + 6) == 0;
        return closing ? TZooRead::End
                       : Damaged(got > 0 ? "the file ends inside it" : "it lies past the end", FPos);
    }
    if (GetU32LE(h) != ZooTag) return Damaged("no directory entry there", FPos);
    const std::int64_t next = GetU32LE(h + 6);
    // The closing entry holds no file, and has no name: one with a name has lost its link to
    // the entries after it. It is taken, and the chain fails after it.
    if (next == 0 && h[38] == 0) return TZooRead::End;
    E.Type = h[4];
    E.Method = h[5];
    E.DataPos = GetU32LE(h + 10);
    E.DosTime = SwapWords(GetU32LE(h + 14));
    E.Crc = GetU16LE(h + 18);
    E.UnpackedSize = GetU32LE(h + 20);
    E.PackedSize = GetU32LE(h + 24);
    E.VersionMadeBy = h[28];
    E.VersionNeeded = h[29];
    Deleted = h[30] == 1;
    E.CommentPos = GetU32LE(h + 32);
    E.CommentLen = GetU16LE(h + 36);
    E.Name = Text(h + 38, 13);
    // Data cut off leave the chain whole: the entries after this one can still be read.
    E.DataBeyondEnd = E.DataPos > FSize || E.PackedSize > FSize - E.DataPos;

    // Type 2: a long name and a folder, when the variable part has them.
    const std::uint16_t varLen = got >= EntrySize ? GetU16LE(h + 51) : 0;
    if (E.Type == 2 && varLen >= 2) {
        std::vector<std::uint8_t> var(varLen);
        if (FRead(FPos + VarPartPos, var.data(), varLen) != varLen)
            return Damaged("the file ends inside it", FPos);
        const std::size_t nameLen = var[0];
        const std::size_t dirLen = var[1];
        if (2 + nameLen + dirLen > varLen) return Damaged("its names run past it", FPos);
        const std::string longName = Text(var.data() + 2, nameLen);
        const std::string folder = Text(var.data() + 2 + nameLen, dirLen);
        if (!longName.empty()) E.Name = longName;
        if (!folder.empty()) E.Name = folder + "/" + E.Name;
        const std::size_t idPos = 2 + nameLen + dirLen;
        E.NameIsUtf8 = idPos + 2 <= varLen && GetU16LE(var.data() + idPos) == SystemUnix;
    }
    FLinkLost = next == 0;
    FPos = FLinkLost ? FSize : next;
    return TZooRead::Ok;
}

TZooRead TZooWalk::Damaged(const std::string& What, std::int64_t At) {
    FDamage = "directory entry at offset " + std::to_string(At) + ": " + What;
    return TZooRead::Bad;
}
