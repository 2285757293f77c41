// Zip salvage: rebuilds a damaged zip archive from the local headers that survive. The raw
// bytes are searched for local headers, every entry that passes the plausibility tests is
// copied unchanged (with its data descriptor), and a fresh directory and end record follow.
// Stored and deflated data are checked against their CRC: an entry whose data fail is kept
// but reported as not sound. Where the archive's directory survives, every entry it lists is
// reported once, also those whose local header is not found.
#pragma once

#include "engine/core/krvZipCommon.h"
#include "engine/formats/zip/krvZipRecords.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TZipFix;
class TStream32;
struct TZipWalkEntry;

// An entry found or listed: its name (empty when the name itself is implausible and no
// directory names it) and whether it is recovered whole.
using TOnFileFoundEvent =
    std::function<void(TZipFix& Sender, const std::string& FileName, bool FileInfoIsOK)>;

class TZipFix : public TZipCommon {
public:
    TOnFileFoundEvent OnFileFound;

    // Rebuilds InFile into OutFile (never InFile itself); the entries kept. OutFile is put in
    // place only when it was written whole; with no entry kept it is an empty file. Errors
    // reach OnError.
    int FixFile(const std::string& InFile, const std::string& OutFile);
    // Rebuilds Input into Output; the entries kept.
    int FixStream(TStream32& Input, TStream32& Output);

private:
    struct TKept {
        TZipCentralHeader Central;
        std::string RawName;
        std::vector<std::uint8_t> Extra; // of the directory record
        std::int64_t Start = 0;          // the local header in the input
        std::int64_t Length = 0;         // header, name, extra field, data and descriptor
    };

    // An entry the archive's directory lists.
    struct TListed {
        std::string Name;
        std::int64_t Offset = 0; // of its local header
        bool Reported = false;
    };

    // The entries of the archive's directory, when there is one, by the offsets of their headers.
    std::vector<TListed> ReadDirectory(TStream32& Input);
    // Whether Item's data decode to its size and CRC (where they can be checked).
    bool DataSound(TStream32& Input, const TZipWalkEntry& Item);
    // What the local header at At, cut off by the end of Input, has left of its name.
    std::string CutName(TStream32& Input, std::int64_t At);
    // The next local header signature at or after From; -1 when there is none.
    std::int64_t FindLocalHeader(TStream32& Input, std::int64_t From);
    // Whether Item, whose bytes end at End, looks like an intact entry of the archive.
    static bool Plausible(const TZipWalkEntry& Item, std::int64_t End, std::int64_t Size);
    void Write(TStream32& Input, TStream32& Output, std::vector<TKept>& Kept);
};
