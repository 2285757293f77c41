// The uu/xx decoder against sharutils' uuencode (uu lines and Base64, which is no uu text) and
// uuenview (parts, xx), checked against uudeview's and uudecode's own output; xx text made
// here (also with "table" and "charmap" alphabets), sizes around one line, several files in
// one text, volume sets and damaged text. A file is only put in place when it was decoded
// whole.
#include "CorpusManifest.h"
#include "ExtractRun.h"
#include "Sha256.h"
#include "TestSupport.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/formats/uu/krvUUDecode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

using namespace testsupport;

namespace {

const std::string XXChars = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Data lines of 45 bytes in the given alphabet, then the empty line and "end".
std::string EncodeLines(const std::string& Data, const std::string& Alphabet) {
    std::string out;
    for (std::size_t p = 0; p <= Data.size(); p += 45) {
        const std::string part = Data.substr(p, 45);
        out += Alphabet[part.size()];
        for (std::size_t i = 0; i < part.size(); i += 3) {
            const auto b = [&](std::size_t k) {
                return i + k < part.size() ? static_cast<std::uint8_t>(part[i + k]) : 0;
            };
            out += Alphabet[b(0) >> 2];
            out += Alphabet[((b(0) & 3) << 4) | (b(1) >> 4)];
            out += Alphabet[((b(1) & 15) << 2) | (b(2) >> 6)];
            out += Alphabet[b(2) & 63];
        }
        out += '\n';
        if (part.empty()) break;
    }
    return out + "end\n";
}

std::string Uuencode(const fs::path& File, const std::string& Name, bool Base64 = false) {
    std::vector<std::string> argv = {"uuencode"};
    if (Base64) argv.push_back("-m");
    argv.push_back(File.string());
    argv.push_back(Name);
    const ToolResult t = RunTool(argv);
    EXPECT_EQ(t.ExitCode, 0) << t.Err;
    return t.Out;
}

// Extracts Text (written as Archive) and returns the result; Out is the destination.
ExtractResult Decode(const fs::path& Archive, const std::string& Text, const fs::path& Out,
                     const std::function<void(TUnBase&)>& Setup = {}) {
    WriteFile(Archive, Text);
    return ExtractAll(Archive, Out, Setup);
}

} // namespace

TEST(UUDecodeInterop, UuencodeOfEverySizeAroundALineDecodes) {
    TempDir dir;
    for (const std::size_t size : {0u, 1u, 2u, 44u, 45u, 46u, 90u, 100000u}) {
        const std::string data = RandomBytes(size, static_cast<std::uint32_t>(size) + 1);
        const std::string name = "data-" + std::to_string(size) + ".bin";
        WriteFile(dir / name, data);
        const std::string text = Uuencode(dir / name, name);
        const fs::path out = dir / ("out-" + std::to_string(size));
        const auto result = Decode(dir / (name + ".uue"), text, out);
        ASSERT_TRUE(result.ReaderFound) << size;
        EXPECT_TRUE(result.AllPassed()) << size << ": " << result.Describe();
        EXPECT_EQ(ReadFile(out / name), data) << size;

        // The same text with blanks for the zeros of older encoders, a mode of four digits and
        // the CR LF line ends of mail.
        std::string old;
        for (const char c : text.substr(text.find('\n')))
            old += c == '\n' ? std::string("\r\n") : std::string(1, c == '`' ? ' ' : c);
        old = "begin 0644 " + name + old;
        const auto again = Decode(dir / (name + ".old.uue"), old, out / "old");
        EXPECT_TRUE(again.AllPassed()) << size << ": " << again.Describe();
        EXPECT_EQ(ReadFile(out / "old" / name), data) << size;
    }
}

TEST(UUDecodeInterop, WhatUuencodeAndUuenviewWriteDecodesAsUudeviewDecodesIt) {
    // Names with blanks and modes from uuencode, several files in one text with mail text
    // around them, uuenview's parts joined into one text, and its xx form: every file uudeview
    // finds comes out here with the same bytes, and with uudecode's mode.
    TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    WriteFile(src / "name with spaces.txt", TextBytes(5000, 1));
    WriteFile(src / "second.bin", RandomBytes(100000, 2));
    WriteFile(src / "multi.bin", RandomBytes(300000, 3));
    ::chmod((src / "name with spaces.txt").c_str(), 0751);
    const std::string spaces = Uuencode(src / "name with spaces.txt", "name with spaces.txt");
    const std::string second = Uuencode(src / "second.bin", "second.bin");
    const auto uuenview = [&](const std::string& Option, const std::string& File) {
        const fs::path parts = dir / ("parts" + Option + File);
        fs::create_directories(parts);
        EXPECT_EQ(RunTool({"uuenview", Option, "-o", "-od", parts.string(), (src / File).string()}).ExitCode,
                  0);
        std::string joined;
        for (const std::string& part : FolderNames(parts))
            joined += ReadFile(parts / part);
        return joined;
    };
    const struct {
        std::string Label;
        std::string Text;
        bool UudecodeModes; // one uuencoded file: uudecode gives the mode to compare with
    } cases[] = {
        {"spaces", spaces, true},
        {"several", "Mail text.\n\n" + spaces + "\n-- \nsignature\n\n" + second + "trailing text\n", false},
        {"uuenview-parts", uuenview("-1000", "multi.bin"), false},
        {"uuenview-xx", uuenview("-x", "second.bin"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        const fs::path text = dir / (c.Label + ".uue");
        WriteFile(text, c.Text);
        const fs::path theirs = dir / ("uudeview-" + c.Label);
        fs::create_directories(theirs);
        EXPECT_EQ(RunTool({"uudeview", "-i", "-q", "-p", theirs.string(), text.string()}).ExitCode, 0);
        const fs::path ours = dir / ("ours-" + c.Label);
        const ExtractResult r = ExtractAll(text, ours);
        EXPECT_TRUE(r.AllPassed()) << r.Describe();
        const auto tree = ReadTree(theirs);
        EXPECT_FALSE(tree.empty());
        EXPECT_EQ(CompareTrees(tree, "uudeview", ReadTree(ours), "Quillar"), "");
        if (!c.UudecodeModes) continue;
        const fs::path ud = dir / ("uudecode-" + c.Label);
        fs::create_directories(ud);
        EXPECT_EQ(RunTool({"uudecode", text.string()}, ud).ExitCode, 0);
        const auto modes = ReadStamps(ud);
        const auto mine = ReadStamps(ours);
        ASSERT_EQ(modes.size(), mine.size());
        for (auto a = modes.begin(), b = mine.begin(); a != modes.end(); ++a, ++b)
            EXPECT_EQ(a->second.substr(0, a->second.find(' ')), b->second.substr(0, b->second.find(' ')))
                << a->first;
    }
}

TEST(UUDecodeInterop, CorpusTextsGiveTheManifestContent) {
    int rows = 0;
    for (const ManifestRow& row : ReadManifest()) {
        if (row.Format != "uue") continue;
        ++rows;
        TempDir dest;
        const auto result = ExtractAll(CorpusDir() / row.Archive, dest.Path());
        EXPECT_TRUE(result.AllPassed()) << row.Archive << ": " << result.Describe();
        const std::string data = ReadFile(dest / row.Entry);
        EXPECT_EQ(std::to_string(data.size()), row.Size) << row.Archive;
        EXPECT_EQ(Sha256Hex(data), row.Sha256) << row.Archive << " (manifest from " << row.Tool << ")";
    }
    EXPECT_GE(rows, 3);
}

TEST(UUDecodeInterop, XxTextWithAndWithoutItsOwnAlphabetDecodes) {
    TempDir dir;
    std::string reversed = XXChars;
    std::reverse(reversed.begin(), reversed.end());
    for (const std::size_t size : {0u, 1u, 44u, 45u, 46u, 5000u}) {
        SCOPED_TRACE(size);
        const std::string data = RandomBytes(size, static_cast<std::uint32_t>(size) + 7);
        const std::string name = "x" + std::to_string(size) + ".bin";
        struct TForm {
            const char* Label;
            std::string Text;
        };
        const TForm forms[] = {
            {"xx", "Some mail text first.\nbegin 644 " + name + "\n" + EncodeLines(data, XXChars)},
            {"table", "table\n" + reversed.substr(0, 32) + "\n" + reversed.substr(32) + "\nbegin 644 " +
                          name + "\n" + EncodeLines(data, reversed)},
            {"charmap", "charmap " + reversed + "\nbegin 600 " + name + "\n" + EncodeLines(data, reversed)},
        };
        for (const TForm& form : forms) {
            const fs::path out = dir / (name + form.Label);
            const auto result = Decode(dir / (name + form.Label + ".xxe"), form.Text, out);
            ASSERT_TRUE(result.ReaderFound) << form.Label;
            EXPECT_TRUE(result.AllPassed()) << form.Label << ": " << result.Describe();
            EXPECT_EQ(ReadFile(out / name), data) << form.Label;
        }
    }
}

TEST(UUDecodeInterop, VolumeSetsDecodeIntoOneFile) {
    TempDir dir;
    const std::string data = TextBytes(20000, 3);
    WriteFile(dir / "big.txt", data);
    const std::string text = Uuencode(dir / "big.txt", "big.txt");
    // Three volumes: the second goes on with bare data lines after some mail text, the third
    // repeats the "begin" line as the encoder's continuation volumes do.
    std::vector<std::string> lines;
    for (std::size_t p = 0; p < text.size();) {
        const std::size_t lf = text.find('\n', p);
        lines.push_back(text.substr(p, lf - p + 1));
        p = lf + 1;
    }
    const std::size_t third = lines.size() / 3;
    std::string parts[3];
    for (std::size_t i = 0; i < lines.size(); ++i)
        parts[i < third ? 0 : i < 2 * third ? 1 : 2] += lines[i];
    WriteFile(dir / "set.uue", parts[0]);
    WriteFile(dir / "set.uu1", "From: someone\n\n" + parts[1] + "-- \nsignature\n");
    WriteFile(dir / "set.uu2", "part 2\nbegin 644 big.txt\n" + parts[2]);
    std::vector<std::string> asked;
    const auto result = ExtractAll(dir / "set.uue", dir / "out", [&asked](TUnBase& Reader) {
        Reader.OnNextVolume = [&asked](TZipCommon&, std::string& Name, const std::string&, bool Exists,
                                       bool& Cancel) {
            asked.push_back(fs::path(Name).filename().string());
            Cancel = !Exists;
        };
    });
    EXPECT_TRUE(result.AllPassed()) << result.Describe();
    EXPECT_EQ(asked, (std::vector<std::string>{"set.uu1", "set.uu2"}));
    EXPECT_EQ(ReadFile(dir / "out/big.txt"), data);

    // Without its last volume the file is not complete: it fails and is not put in place.
    fs::remove(dir / "set.uu2");
    const auto missing = ExtractAll(dir / "set.uue", dir / "missing");
    EXPECT_TRUE(missing.HasError(ecEOLNotFound)) << missing.Describe();
    EXPECT_FALSE(fs::exists(dir / "missing/big.txt"));
}

// Truncated and damaged text, unknown alphabets and Base64: nothing is put in place, and a
// file already there stays as it was.
TEST(UUDecodeInterop, DamagedTruncatedAndForeignTextLeaveExistingFilesAlone) {
    TempDir dir;
    const std::string data = RandomBytes(3000, 9);
    WriteFile(dir / "d.bin", data);
    const std::string text = Uuencode(dir / "d.bin", "d.bin");
    std::string shortLine = text;
    shortLine.erase(text.find('\n', 100) - 20, 20); // a data line loses its last characters
    struct TCase {
        const char* Label;
        std::string Text;
        int Code;
        int Failed = 1; // a refused name is not extracted at all
    };
    const TCase cases[] = {
        {"truncated", text.substr(0, text.size() / 2), ecEOLNotFound},
        {"no end", text.substr(0, text.rfind("end")), ecEOLNotFound},
        {"short line", shortLine, ecUnexpectedEndOfLine},
        {"damaged begin", "begin 6x4" + text.substr(text.find(' ', 6)), ecBadFileHeader},
        {"unknown alphabet", "begin 644 d.bin\n~~~~\nend\n", ecUnsupportedCompressionMethod},
        {"outside", "begin 644 ../d.bin\n#86)C\n`\nend\n", ecInvalidFileName, 0},
    };
    for (const TCase& c : cases) {
        const fs::path out = dir / (std::string(c.Label) + ".out");
        fs::create_directories(out);
        WriteFile(out / "d.bin", "keep me");
        const auto result = Decode(dir / (std::string(c.Label) + ".uue"), c.Text, out);
        EXPECT_TRUE(result.HasError(c.Code)) << c.Label << ": " << result.Describe();
        EXPECT_EQ(result.FilesFailed, c.Failed) << c.Label << ": " << result.Describe();
        EXPECT_EQ(ReadFile(out / "d.bin"), "keep me") << c.Label;
    }

    // Base64 is not uu text: it is not taken for one, and the decoder finds no "begin" line.
    WriteFile(dir / "b64.txt", Uuencode(dir / "d.bin", "d.bin", true));
    const auto result = ExtractAll(dir / "b64.txt", dir / "b64");
    EXPECT_FALSE(result.ReaderFound);
    TUUDecode decoder;
    decoder.SetArchiveFile((dir / "b64.txt").string());
    decoder.SetExtractDir((dir / "b64").string());
    decoder.FileSpec = {"*"};
    EXPECT_EQ(decoder.Extract(), 0);
    EXPECT_FALSE(fs::exists(dir / "b64/d.bin"));
}
