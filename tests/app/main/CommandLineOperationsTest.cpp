// The operation switches of the command line as whole-process runs of the program with every
// question taking its default answer: the exit status and the messages on standard error, and
// the files left behind checked with unzip, unzipsfx and the recording stand-ins of the mail
// program and the virus scanner.
#include "MainWindowFixture.h"
#include "ProcessRun.h"
#include "ToolChecks.h"

#include "app/common/AppSettings.h"
#include "app/common/SettingValues.h"

#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/stat.h>

using namespace testsupport;

namespace {

class TCommandLineOperations : public MainWindowTest {
protected:
    TCommandLineOperations()
        : FPlatform("QT_QPA_PLATFORM", "offscreen"), FAuto("QUILLAR_PROMPTER", "auto"),
          FTmp("TMPDIR", FTemp.Str().c_str()) {
        WriteDefaultSettings();
        WriteFile(FWork / "a.txt", "hello\n");
        WriteFile(FWork / "b.txt", TextBytes(30000));
        WriteFile(FWork / "dir/c.txt", TextBytes(5000, 7));
        Must(RunTool({"zip", "-q", "-X", "-r", "t.zip", "a.txt", "b.txt", "dir"}, FWork.Path()));
    }

    ToolResult Quillar(const std::vector<std::string>& Arguments, const std::string& Path = {}) {
        if (Path.empty()) return RunQuillar(Arguments, FWork.Path());
        const EnvGuard path("PATH", Path.c_str());
        return RunQuillar(Arguments, FWork.Path());
    }

    // A shell script at File.
    static void Script(const fs::path& File, const std::string& Body) {
        WriteFile(File, "#!/bin/sh\n" + Body);
        ::chmod(File.c_str(), 0755);
    }

    // The private folders the runs left in TMPDIR.
    std::vector<std::string> TempFolders() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(FTemp.Path()))
            if (entry.path().filename().string().starts_with("zf_")) names.push_back(entry.path().string());
        return names;
    }

    TempDir FWork, FTemp;
    EnvGuard FPlatform, FAuto, FTmp;
};

bool Says(const ToolResult& Run, const std::string& Text) {
    return Run.Err.find(Text) != std::string::npos;
}

TEST_F(TCommandLineOperations, TestRepairConvertAndSelfExtractor) {
    // A zip whose data went bad, one whose directory is gone, and one of data descriptors.
    const std::string zip = ReadFile(FWork / "t.zip");
    std::string bad = zip;
    bad[bad.find("hello") + 1] ^= 0x20; // a.txt is stored: its CRC no longer fits
    WriteFile(FWork / "crc.zip", bad);
    WriteFile(FWork / "cut.zip", zip.substr(0, zip.find("PK\x01\x02")));
    Must(RunTool({"zip", "-q", "-X", "-fd", "dd.zip", "a.txt", "b.txt"}, FWork.Path()));
    const std::string dd = ReadFile(FWork / "dd.zip");
    WriteFile(FWork / "ddcut.zip", dd.substr(0, dd.find("PK\x01\x02")));
    WriteFile(FWork / "notes.txt", "no archive here\n");
    Must(RunTool({"tar", "-cf", "t.tar", "a.txt", "b.txt", "dir"}, FWork.Path()));
    // A folder entry first, then b.txt with its local-header signature damaged.
    Must(RunTool({"zip", "-q", "-X", "hdr.zip", "dir/", "b.txt", "dir/c.txt"}, FWork.Path()));
    std::string hdr = ReadFile(FWork / "hdr.zip");
    hdr[hdr.find("PK\x03\x04", 1) + 1] = 'X';
    WriteFile(FWork / "hdr.zip", hdr);

    struct TCase {
        std::vector<std::string> Args;
        int Exit;
        const char* Said;
        std::vector<std::string> Check; // a tool run that must pass afterwards
        const char* NotSaid = nullptr;
    } const cases[] = {
        {{"-T", "t.zip"}, 0, "No errors were found in this archive file.", {}},
        {{"-T", "crc.zip"}, 1, "View Last Output", {}},
        // The damaged entry fails though the folder entry's verdict comes next; the summary
        // line of the output window reaches standard error too.
        {{"-T", "hdr.zip"}, 1, "> Entries passed: 2, failed: 1", {}, "No errors were found"},
        {{"-DDEH", "hdr", "hdr.zip"},
         1,
         "Files Failed: 1",
         {"cmp", "hdr/dir/c.txt", "dir/c.txt"},
         "completed"},
        {{"-T", "notes.txt"}, 1, "Invalid or unsupported archive type for this operation", {}},
        // Many archives, one of them damaged: the sound one comes out, the summary names the other.
        {{"-EMSH", "t.zip", "hdr.zip"},
         1,
         "Archives Extracted: 1\nArchives Failed: 1",
         {"cmp", "t_zip/b.txt", "b.txt"},
         "completed"},
        // A folder that cannot be made is named with the system's reason.
        {{"-DDEH", "a.txt/sub", "t.zip"}, 1, "/a.txt/sub\nNot a directory", {}, "Files Extracted"},
        {{"-R", "cut.zip"}, 0, "Save Repaired File As ...", {"unzip", "-t", "cut_fixed.zip"}},
        {{"-R", "ddcut.zip"}, 0, "Save Repaired File As ...", {"unzip", "-t", "ddcut_fixed.zip"}},
        {{"-R", "notes.txt"}, 1, "View Last Output", {}},
        // Counted against the directory: the entry whose header is gone, or whose data fail
        // their CRC, is not recovered, and the repair fails.
        {{"-R", "hdr.zip"}, 1, "> 2 out of 3 files were recovered.", {"unzip", "-t", "hdr_fixed.zip"}},
        {{"-R", "crc.zip"}, 1, "> 3 out of 4 files were recovered.", {}},
        // Only errors are printed, not the converter's progress.
        {{"-C", "t.tar"}, 0, "Archive conversion successfully completed.", {"unzip", "-t", "t.zip"}, "> ("},
        // The output would be the input: refused, and the input is left as it was.
        {{"-C", "t.zip"}, 1, "Please select a different output file format.", {"cmp", "t.zip", "orig.zip"}},
        {{"-X", "t.zip"}, 0, "t.exe created.", {"./t.exe", "-t"}},
        {{"-X", "notes.txt"}, 1, "Error making self-extracting executable.", {}},
    };
    for (const TCase& c : cases) {
        WriteFile(FWork / "orig.zip", ReadFile(FWork / "t.zip"));
        const ToolResult run = Quillar(c.Args);
        EXPECT_EQ(run.ExitCode, c.Exit) << c.Args[0] << ' ' << c.Args[1] << '\n' << run.Err;
        EXPECT_TRUE(Says(run, c.Said)) << c.Args[0] << ' ' << c.Args[1] << '\n' << run.Err;
        if (c.NotSaid) {
            EXPECT_FALSE(Says(run, c.NotSaid)) << c.Args[0] << ' ' << c.Args[1] << '\n' << run.Err;
        }
        if (!c.Check.empty()) {
            const ToolResult check = RunTool(c.Check, FWork.Path());
            EXPECT_EQ(check.ExitCode, 0) << c.Check[0] << ' ' << c.Check.back() << '\n'
                                         << check.Out << check.Err;
        }
    }
    // Repair with nothing sound leaves no fixed file; the repaired zips hold the same data.
    EXPECT_FALSE(fs::exists(FWork / "notes_fixed.zip"));
    for (const char* name : {"a.txt", "b.txt", "dir/c.txt"})
        EXPECT_EQ(RunTool({"unzip", "-p", "cut_fixed.zip", name}, FWork.Path()).Out, ReadFile(FWork / name))
            << name;
    EXPECT_EQ(RunTool({"unzip", "-p", "ddcut_fixed.zip", "b.txt"}, FWork.Path()).Out,
              ReadFile(FWork / "b.txt"));
    EXPECT_TRUE(TempFolders().empty());
}

// "-T" logs a verdict for each entry the archive holds, as unzip and tar list them; the entry
// whose data went bad is the one that failed, and only failures reach standard error.
TEST_F(TCommandLineOperations, TestLogHasAVerdictForEveryEntry) {
    std::string bad = ReadFile(FWork / "t.zip");
    bad[bad.find("hello") + 1] ^= 0x20;
    WriteFile(FWork / "crc.zip", bad);
    Must(RunTool({"tar", "-cf", "t.tar", "a.txt", "b.txt", "dir/c.txt"}, FWork.Path()));
    // b.txt's local header is gone: it fails by name, though its data are never reached.
    Must(RunTool({"zip", "-q", "-X", "hdr.zip", "dir/", "b.txt", "dir/c.txt"}, FWork.Path()));
    std::string hdr = ReadFile(FWork / "hdr.zip");
    hdr[hdr.find("PK\x03\x04", 1) + 1] = 'X';
    WriteFile(FWork / "hdr.zip", hdr);
    struct TCase {
        std::string Archive;
        std::vector<std::string> Lister;
        std::string Failed; // the entry that fails, or ""
    } const cases[] = {
        {"t.zip", {"unzip", "-Z1", "t.zip"}, ""},
        {"crc.zip", {"unzip", "-Z1", "crc.zip"}, "a.txt"},
        {"hdr.zip", {"unzip", "-Z1", "hdr.zip"}, "b.txt"},
        {"t.tar", {"tar", "-tf", "t.tar"}, ""},
    };
    for (const TCase& c : cases) {
        std::map<std::string, std::string> expected;
        const ToolResult list = RunTool(c.Lister, FWork.Path());
        Must(list);
        std::istringstream listed(list.Out);
        for (std::string name; std::getline(listed, name);)
            if (name == c.Failed) expected[name] = "Failed";
        const ToolResult run = Quillar({"-T", c.Archive});
        EXPECT_EQ(run.ExitCode, c.Failed.empty() ? 0 : 1) << c.Archive << '\n' << run.Err;
        std::map<std::string, std::string> verdicts;
        std::istringstream err(run.Err);
        const std::string prefix = "> Testing: ";
        for (std::string line; std::getline(err, line);) {
            const std::size_t dots = line.rfind(" ... ");
            if (line.starts_with(prefix) && dots != std::string::npos)
                verdicts[line.substr(prefix.size(), dots - prefix.size())] = line.substr(dots + 5);
        }
        EXPECT_EQ(verdicts, expected) << c.Archive << '\n' << run.Err;
    }
}

// "-AX" zips the files into a private folder and makes the program from that zip; an old program
// of the name is replaced only by a complete new one.
TEST_F(TCommandLineOperations, SelfExtractorFromFiles) {
    WriteFile(FWork / "pack.exe", "old program");
    const ToolResult none = Quillar({"-AX", (FWork / "pack").string(), (FWork / "missing.txt").string()});
    EXPECT_EQ(none.ExitCode, 1) << none.Err;
    EXPECT_EQ(ReadFile(FWork / "pack.exe"), "old program");

    const ToolResult made =
        Quillar({"-AX", (FWork / "pack").string(), (FWork / "a.txt").string(), (FWork / "b.txt").string()});
    EXPECT_EQ(made.ExitCode, 0) << made.Err;
    EXPECT_TRUE(Says(made, "The file pack.exe already exist. Do you want to overwrite this file ?"))
        << made.Err;
    EXPECT_TRUE(Says(made, "pack.exe created.")) << made.Err;
    TempDir out;
    Must(RunTool({(FWork / "pack.exe").string(), "-d", out.Str()}, FWork.Path()));
    EXPECT_EQ(ReadFile(out / "a.txt"), ReadFile(FWork / "a.txt"));
    EXPECT_EQ(ReadFile(out / "b.txt"), ReadFile(FWork / "b.txt"));
    EXPECT_TRUE(TempFolders().empty());
}

// "-M" mails the zip through xdg-email; the attachment outlives the run, since the mail program
// reads it later. Nothing zipped: no mail. No mail program: the message says so.
TEST_F(TCommandLineOperations, MailThroughXdgEmail) {
    TempDir bin;
    const fs::path log = FWork / "mail.log";
    Script(bin / "xdg-email", "for a in \"$@\"; do echo \"$a\"; done > '" + log.string() + "'\n");
    const std::string path = bin.Str() + ":/usr/bin:/bin";
    TempDir cache;
    const EnvGuard cacheHome("XDG_CACHE_HOME", cache.Str().c_str());

    const ToolResult none = Quillar({"-M", "/x/pack", (FWork / "missing.txt").string()}, path);
    EXPECT_EQ(none.ExitCode, 1) << none.Err;
    EXPECT_FALSE(fs::exists(log));

    const ToolResult sent =
        Quillar({"-M", "/x/pack", (FWork / "a.txt").string(), (FWork / "b.txt").string()}, path);
    ASSERT_EQ(sent.ExitCode, 0) << sent.Err;
    std::vector<std::string> args;
    std::istringstream in(ReadFile(log));
    for (std::string line; std::getline(in, line);)
        args.push_back(line);
    ASSERT_EQ(args.size(), 4u) << ReadFile(log);
    EXPECT_EQ(args[0], "--subject");
    EXPECT_EQ(args[1], "Attached: pack.zip");
    EXPECT_EQ(args[2], "--attach");
    EXPECT_EQ(fs::path(args[3]).filename(), "pack.zip");
    Must(RunTool({"unzip", "-t", args[3]}));
    // The attachment waits in the program's cache; nothing of it is left in TMPDIR.
    EXPECT_EQ(fs::path(args[3]).parent_path().parent_path(), cache / "quillar" / "mail");
    EXPECT_TRUE(TempFolders().empty());

    TempDir empty;
    const ToolResult noMailer = Quillar({"-M", "/x/pack", (FWork / "a.txt").string()}, empty.Str());
    EXPECT_EQ(noMailer.ExitCode, 1) << noMailer.Err;
    EXPECT_TRUE(Says(noMailer, "compliant email software")) << noMailer.Err;
}

// "-V" extracts into a private folder, runs the scanner there with an argument list and judges
// by its exit status; the folder is gone afterwards.
TEST_F(TCommandLineOperations, VirusScanThroughAStubScanner) {
    TempDir bin;
    const fs::path log = FWork / "scan.log";
    const fs::path scanner = bin / "scanner";
    Script(scanner, "{ pwd; for a in \"$@\"; do echo \"arg:$a\"; done; find . -type f | sort; } > '" +
                        log.string() + "'\nexit $(cat '" + (FWork / "status").string() + "')\n");
    struct TCase {
        const char* Parameters;
        const char* Status;
        int Exit;
        const char* Said;
    } const cases[] = {
        {"--recursive *.*", "0", 0, "Virus scan completed."},
        {"", "0", 0, "Virus scan completed."},
        {"--infected .", "1", 1, "The virus scanner found a virus"},
        {"--infected .", "2", 1, "The virus scanner ended with an error (exit status 2)"},
    };
    WriteSettingInteger("ProgramLocations", "AVProduct", 1);
    WriteSettingString("ProgramLocations", "VirusScanner", scanner.string());
    for (const TCase& c : cases) {
        WriteSettingString("ProgramLocations", "Parameters", c.Parameters);
        WriteFile(FWork / "status", c.Status);
        const ToolResult run = Quillar({"-V", (FWork / "t.zip").string()});
        EXPECT_EQ(run.ExitCode, c.Exit) << c.Parameters << '\n' << run.Err;
        EXPECT_TRUE(Says(run, c.Said)) << c.Parameters << '\n' << run.Err;
        std::istringstream in(ReadFile(log));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        ASSERT_FALSE(lines.empty());
        const std::string folder = lines[0];
        EXPECT_TRUE(folder.starts_with(FTemp.Str() + "/zf_")) << folder;
        EXPECT_FALSE(fs::exists(folder)) << folder;
        std::vector<std::string> expected;
        if (std::string(c.Parameters) == "--recursive *.*")
            expected = {"arg:--recursive", "arg:" + folder};
        else if (std::string(c.Parameters).empty())
            expected = {"arg:" + folder + "/a.txt", "arg:" + folder + "/b.txt",
                        "arg:" + folder + "/dir/c.txt"};
        else
            expected = {"arg:--infected", "arg:."};
        for (const char* file : {"./a.txt", "./b.txt", "./dir/c.txt"})
            expected.push_back(file);
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), expected) << c.Parameters;
    }
    WriteSettingString("ProgramLocations", "VirusScanner", (bin / "gone").string());
    const ToolResult missing = Quillar({"-V", (FWork / "t.zip").string()});
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_TRUE(Says(missing, "The virus scanner could not be started")) << missing.Err;
    WriteSettingInteger("ProgramLocations", "AVProduct", 0);
    const ToolResult unset = Quillar({"-V", (FWork / "t.zip").string()});
    EXPECT_EQ(unset.ExitCode, 1);
    EXPECT_TRUE(Says(unset, "You need to configure a virus scanner")) << unset.Err;
    EXPECT_TRUE(TempFolders().empty());
}

} // namespace
