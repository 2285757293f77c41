// Updating archives whose names are not plain ASCII: the writer finds an existing entry by the
// name the reader shows for it (UTF-8 with and without the UTF-8 flag from Info-ZIP on Unix,
// the DOS code page from DOS hosts, Info-ZIP's unicode path field), so that a refresh, a
// replacing add, a move and a delete each hit that entry and never leave a second one.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"

#include "TestSupport.h"
#include "ZipBuilder.h"
#include "ZipInspect.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <regex>

using namespace testsupport;

namespace {

const std::string Plain = "plain.txt";
const std::string Accent = "\xc3\xa9.txt";   // é: in the DOS code page 437 (0x82)
const std::string Cyrillic = "\xd0\x96.txt"; // Ж: not in code page 437

std::map<std::string, std::string> Tree(const fs::path& Root) {
    std::map<std::string, std::string> m;
    for (const auto& f : fs::recursive_directory_iterator(Root))
        if (f.is_regular_file()) m[fs::relative(f.path(), Root).string()] = ReadFile(f.path());
    return m;
}

// The entry count of unzip -l's closing line.
int UnzipCount(const fs::path& Zip) {
    const ToolResult r = RunUtf8({"unzip", "-l", Zip.string()});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    std::smatch m;
    const std::regex last(R"((\d+) files?\s*$)");
    if (!std::regex_search(r.Out, m, last)) return -1;
    return std::stoi(m[1]);
}

// Info-ZIP's unicode path field: the UTF-8 name of an entry stored under RawName.
std::string UnicodePathField(const std::string& RawName, const std::string& Utf8Name) {
    std::string body(5, '\0');
    body[0] = 1;
    PutU32LE(reinterpret_cast<std::uint8_t*>(body.data() + 1), Crc32Of(RawName));
    body += Utf8Name;
    std::string field(4, '\0');
    PutU16LE(reinterpret_cast<std::uint8_t*>(field.data()), 0x7075);
    PutU16LE(reinterpret_cast<std::uint8_t*>(field.data() + 2), static_cast<std::uint16_t>(body.size()));
    return field + body;
}

// Sets the UTF-8 flag (bit 11) in every local header and directory record of Zip.
void SetUtf8Flags(const fs::path& Zip) {
    const ZipContents z = InspectZip(Zip);
    std::string bytes = ReadFile(Zip);
    auto flagAt = [&bytes](std::size_t Pos) {
        auto* p = reinterpret_cast<std::uint8_t*>(bytes.data() + Pos);
        PutU16LE(p, static_cast<std::uint16_t>(GetU16LE(p) | zfUtf8));
    };
    std::size_t central = z.End.CentralOffset;
    for (const ZipEntryBytes& e : z.Entries) {
        flagAt(e.Central.LocalHeaderOffset + 6);
        flagAt(central + 8);
        central += TZipCentralHeader::Size + e.Name.size() + e.Extra.size() + e.Comment.size();
    }
    WriteFile(Zip, bytes);
}

// Info-ZIP's names on Unix (UTF-8, with and without the UTF-8 flag) and names from DOS and
// Windows (code page 437, a unicode path field), each with its directory and without.
const char* const Variants[] = {"utf8", "utf8-flag", "utf8-nodir", "cp437", "cp437-nodir"};

class WriterNames : public ::testing::Test {
protected:
    void SetUp() override {
        Original = {{Plain, "plain"}, {Accent, "accent"}, {Cyrillic, "zhe"}};
        for (const auto& [name, data] : Original)
            WriteFile(Src / name, data);
        for (const auto& [name, data] : Original)
            WriteFile(Upd / name, data + " changed");
    }

    // The archive of the three files in one of the variants; Local tells it has no directory.
    // Before is what its entries were (read before the directory was cut off).
    fs::path Make(const std::string& Variant, bool& Local, ZipContents& Before) {
        const fs::path zip = Dir / (Variant + ".zip");
        fs::remove(zip);
        Local = Variant.ends_with("-nodir");
        if (Variant.starts_with("cp437")) {
            // Written on DOS and Windows: names in code page 437, Ж only in the unicode path
            // field behind a stand-in name.
            TZipSpec spec;
            spec.Add(Plain, "plain");
            TZipItem dos{"\x82.txt", "accent"};
            dos.VersionMadeBy = 20; // FAT
            spec.Add(dos);
            TZipItem ntfs{"_.txt", "zhe"};
            ntfs.VersionMadeBy = (11 << 8) | 20;
            ntfs.Extra = UnicodePathField("_.txt", Cyrillic);
            spec.Add(ntfs);
            WriteFile(zip, MakeStoredZip(spec));
        } else {
            const ToolResult r = RunUtf8({"zip", "-q", zip.string(), Plain, Accent, Cyrillic}, Src);
            EXPECT_EQ(r.ExitCode, 0) << r.Err;
            if (Variant == "utf8-flag") SetUtf8Flags(zip);
        }
        Before = InspectZip(zip);
        // The directory cut off: the writer walks the local headers.
        if (Local) WriteFile(zip, ReadFile(zip).substr(0, Before.End.CentralOffset));
        return zip;
    }

    // Zip passes unzip -t, unzip -l counts no other entries, and the reader extracts Expected.
    void ExpectArchive(const fs::path& Zip, const std::map<std::string, std::string>& Expected) {
        const ToolResult t = RunUtf8({"unzip", "-t", Zip.string()});
        EXPECT_EQ(t.ExitCode, 0) << t.Out << t.Err;
        EXPECT_EQ(UnzipCount(Zip), std::ssize(Expected));
        TempDir out;
        const ToolResult x = RunProbe({"extract", Zip.string(), out.Str()});
        EXPECT_EQ(x.ExitCode, 0) << x.Out << x.Err;
        EXPECT_EQ(Tree(out.Path()), Expected);
    }

    // The entries of Before other than Changed kept their bytes (their directory records too,
    // unless the writer found no directory to keep them from).
    static void ExpectKept(const ZipContents& Before, const fs::path& Zip,
                           const std::vector<std::string>& Changed, bool Local) {
        const ZipContents after = InspectZip(Zip);
        std::size_t kept = 0;
        for (const ZipEntryBytes& e : Before.Entries) {
            if (std::find(Changed.begin(), Changed.end(), e.Name) != Changed.end()) continue;
            ++kept;
            const ZipEntryBytes* a = FindEntry(after, e.Name);
            ASSERT_NE(a, nullptr) << e.Name;
            EXPECT_EQ(a->Span, e.Span) << e.Name;
            if (!Local) {
                EXPECT_EQ(a->CentralRecord, e.CentralRecord) << e.Name;
            }
        }
        EXPECT_EQ(kept, Before.Entries.size() - Changed.size());
    }

    // Runs krvprobe with Args ("ZIP" standing for the archive) on the archive of every variant:
    // afterwards it holds Expected (as the reader extracts it), unzip -t and -l agree, and the
    // entries other than those of Changed (reader names) kept their bytes. After runs after
    // each variant.
    void ForEachVariant(const std::vector<std::string>& Args,
                        const std::map<std::string, std::string>& Expected,
                        const std::vector<std::string>& Changed, const std::function<void()>& After = {}) {
        for (const std::string variant : Variants) {
            SCOPED_TRACE(variant);
            bool local = false;
            ZipContents before;
            const fs::path zip = Make(variant, local, before);
            std::vector<std::string> args = Args;
            std::replace(args.begin(), args.end(), std::string("ZIP"), zip.string());
            const ToolResult r = RunProbe(args);
            ASSERT_EQ(r.ExitCode, 0) << r.Err;
            if (Args[0] == "delete") {
                EXPECT_EQ(r.Out, std::to_string(Changed.size()) + "\n");
            }
            ExpectArchive(zip, Expected);
            std::vector<std::string> stored;
            for (const std::string& name : Changed)
                stored.push_back(Stored(variant, name));
            ExpectKept(before, zip, stored, local);
            if (After) After();
        }
    }

    // The stored name of the entry whose reader name is Name, in Variant's archive.
    static std::string Stored(const std::string& Variant, const std::string& Name) {
        if (!Variant.starts_with("cp437")) return Name;
        if (Name == Accent) return "\x82.txt";
        if (Name == Cyrillic) return "_.txt";
        return Name;
    }

    TempDir Dir;
    fs::path Src = Dir / "src";
    fs::path Upd = Dir / "upd";
    std::map<std::string, std::string> Original;
};

TEST_F(WriterNames, AddingAChangedFileReplacesItsEntry) {
    auto expected = Original;
    expected[Accent] = "accent changed";
    expected[Cyrillic] = "zhe changed";
    ForEachVariant({"add", "ZIP", (Upd / Accent).string(), (Upd / Cyrillic).string()}, expected,
                   {Accent, Cyrillic});
}

TEST_F(WriterNames, RefreshReplacesTheChangedEntriesOnly) {
    WriteFile(Upd / "not-in-archive.txt", "new");
    auto expected = Original;
    expected[Accent] = "accent changed";
    expected[Cyrillic] = "zhe changed";
    ForEachVariant({"add", "ZIP", "-s", "refresh", (Upd / Accent).string(), (Upd / Cyrillic).string(),
                    (Upd / "not-in-archive.txt").string()},
                   expected, {Accent, Cyrillic});
}

TEST_F(WriterNames, MovingAFileInReplacesItsEntry) {
    WriteFile(Upd / Accent, "accent moved");
    auto expected = Original;
    expected[Accent] = "accent moved";
    ForEachVariant({"add", "ZIP", "-s", "move", (Upd / Accent).string()}, expected, {Accent}, [this] {
        EXPECT_FALSE(fs::exists(Upd / Accent));
        WriteFile(Upd / Accent, "accent moved"); // for the next variant
    });
}

TEST_F(WriterNames, DeletingByTheShownNameRemovesTheEntry) {
    ForEachVariant({"delete", "ZIP", Accent, Cyrillic}, {{Plain, "plain"}}, {Accent, Cyrillic});
}

} // namespace
