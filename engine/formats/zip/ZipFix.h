// Zip salvage: rebuilds a damaged zip archive from the local headers that survive. The
// archive's own directory is ignored; the raw bytes are searched for local headers, every
// entry that passes the plausibility tests is copied unchanged (with its data descriptor),
// and a fresh directory and end record follow. Data are not decoded.
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

// An entry found: its name (empty when the name itself is implausible) and whether it is kept.
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

    // The next local header signature at or after From; -1 when there is none.
    std::int64_t FindLocalHeader(TStream32& Input, std::int64_t From);
    // Whether Item, whose bytes end at End, looks like an intact entry of the archive.
    static bool Plausible(const TZipWalkEntry& Item, std::int64_t End, std::int64_t Size);
    void Write(TStream32& Input, TStream32& Output, std::vector<TKept>& Kept);
};
