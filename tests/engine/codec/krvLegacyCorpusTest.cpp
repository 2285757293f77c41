// Every shrunk, reduced and imploded zip entry of the sample corpus decodes to the size,
// CRC-32 and SHA-256 that the manifest records.
#include "CorpusManifest.h"
#include "LegacyDecodeHarness.h"
#include "Sha256.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

using namespace legacytest;
using namespace testsupport;

namespace {

using TManifestRow = ManifestRow;

bool Contains(const std::string& Text, const char* Word) {
    return Text.find(Word) != std::string::npos;
}

// A zip archive of the two folders whose archive name or notes name a legacy method.
bool IsLegacyZipRow(const TManifestRow& Row) {
    if (Row.Format != "zip") return false;
    if (Row.Archive.rfind("sharpcompress/", 0) != 0 && Row.Archive.rfind("commons-compress/", 0) != 0)
        return false;
    std::string name = Row.Archive;
    for (auto& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return Contains(Row.Notes, "Shrink") || Contains(Row.Notes, "Reduce") || Contains(Row.Notes, "Implode") ||
           Contains(name, "shr") || Contains(name, "reduce") || Contains(name, "implod");
}

std::string Hex8(std::uint32_t V) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", V);
    return text;
}

std::string Kind(const TCorpusEntry& E) {
    if (E.Method == 1) return "shrink";
    if (E.Method <= 5) return "reduce" + std::to_string(E.Method - 1);
    return std::string("implode ") + ((E.Flags & 2) ? "8K" : "4K") +
           ((E.Flags & 4) ? " 3 trees" : " 2 trees");
}

// One entry per decoder that decodes to more than one output block.
const std::pair<const char*, const char*> LargeEntries[] = {
    {"sharpcompress/zip/Zip.shrink.zip", "TEST.EXE"},
    {"sharpcompress/zip/Zip.reduce4.zip", "TEST.EXE"},
    {"sharpcompress/zip/Zip.implode.zip", "EXE/TEST.EXE"},
    {"commons-compress/zip/lorem-ipsum-implode.zip", "LOREM.TXT"}};

} // namespace

TEST(LegacyCorpus, EveryLegacyZipEntryDecodesToTheManifestContent) {
    std::map<std::pair<std::string, std::string>, TManifestRow> rows;
    std::set<std::string> archives;
    for (const auto& row : ReadManifest())
        if (IsLegacyZipRow(row)) {
            rows[{row.Archive, row.Entry}] = row;
            archives.insert(row.Archive);
        }
    ASSERT_FALSE(archives.empty()) << "no legacy zip archive in " << (CorpusDir() / "MANIFEST.tsv");

    std::map<std::string, int> kinds;
    for (const auto& archive : archives) {
        for (const auto& entry : LegacyEntries(archive)) {
            const std::string where = archive + ": " + entry.Name + " (" + Kind(entry) + ")";
            const auto it = rows.find({archive, entry.Name});
            if (it == rows.end()) {
                ADD_FAILURE() << where << ": no manifest row";
                continue;
            }
            const TManifestRow& row = it->second;
            const auto run = RunLegacy(entry.Method, entry.Flags, entry.Packed, entry.UnpackedSize);
            EXPECT_EQ(run.Raised, 0) << where;
            EXPECT_EQ(run.Result.ErrorCode, 0) << where;
            EXPECT_FALSE(run.PulledTooMuch || run.PushedTooMuch) << where;
            EXPECT_EQ(std::to_string(run.Output.size()), row.Size) << where;
            EXPECT_EQ(Hex8(run.Crc), row.Crc) << where;
            if (!Contains(row.Tool, "+crc-match")) {
                EXPECT_EQ(Sha256Hex(run.Output), row.Sha256) << where;
            }
            ++kinds[Kind(entry)];
        }
    }
    for (const char* kind :
         {"shrink", "reduce1", "reduce2", "reduce3", "reduce4", "implode 4K 2 trees", "implode 8K 3 trees"})
        EXPECT_GT(kinds[kind], 0) << "no corpus sample of " << kind;
}

// The decoded bytes reach the output in blocks, never the whole entry at once.
TEST(LegacyCorpus, OutputComesInBlocksOfAtMost32768Bytes) {
    for (const auto& [archive, name] : LargeEntries) {
        const auto entry = CorpusEntry(archive, name);
        const auto run = RunLegacy(entry.Method, entry.Flags, entry.Packed, entry.UnpackedSize);
        EXPECT_EQ(run.LargestBlock, DecoderBufferSize) << archive << ": " << name;
        EXPECT_FALSE(run.PushedTooMuch) << archive << ": " << name;
        EXPECT_EQ(run.Crc, entry.Crc) << archive << ": " << name;
    }
}

// The packed data of an entry is followed by the rest of the archive: the decoders must not
// pull a byte of it.
TEST(LegacyCorpus, DecodersPullNoByteBeyondThePackedSize) {
    for (const auto& entry : LegacyEntries("sharpcompress/zip/Zip.reduce1.zip")) {
        const std::string withTail = entry.Packed + std::string(100, '\x55');
        TLegacyOptions options;
        options.PackedSize = static_cast<std::int64_t>(entry.Packed.size());
        const auto run = RunLegacy(entry.Method, entry.Flags, withTail, entry.UnpackedSize, options);
        EXPECT_FALSE(run.PulledTooMuch) << entry.Name;
        EXPECT_EQ(run.Crc, entry.Crc) << entry.Name;
    }
}

// A cancel flag set while output is written stops the decoder at the end of that block.
TEST(LegacyCorpus, CancelStopsEveryDecoderAfterTheCurrentBlock) {
    for (const auto& [archive, name] : LargeEntries) {
        const auto entry = CorpusEntry(archive, name);
        bool cancel = false;
        TLegacyOptions options;
        options.CancelFlag = &cancel;
        options.CancelAfterBlocks = 1;
        options.CancelTarget = &cancel;
        const auto run = RunLegacy(entry.Method, entry.Flags, entry.Packed, entry.UnpackedSize, options);
        EXPECT_TRUE(run.Result.Cancelled) << archive << ": " << name;
        EXPECT_EQ(run.Result.ErrorCode, 0) << archive << ": " << name;
        EXPECT_EQ(run.Output.size(), static_cast<std::size_t>(DecoderBufferSize)) << archive << ": " << name;

        // Set before the start: nothing is read or written.
        bool early = true;
        TLegacyOptions before;
        before.CancelFlag = &early;
        const auto none = RunLegacy(entry.Method, entry.Flags, entry.Packed, entry.UnpackedSize, before);
        EXPECT_TRUE(none.Result.Cancelled) << archive << ": " << name;
        EXPECT_TRUE(none.Output.empty()) << archive << ": " << name;
    }
}
