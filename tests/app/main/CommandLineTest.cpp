// The program's switches as processes on the offscreen platform, in a private home, every
// question and dialog taking its default answer: extraction of archives made by zip and tar
// into the folders each switch names, adding checked with unzip and lhasa, the exit status
// scripts rely on, and the removal of the program's registration as an uninstaller runs it.
#include "ProcessRun.h"

#include "app/common/AppSettings.h"
#include "app/common/SettingValues.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

using namespace testsupport;

namespace {

class CommandLine : public QuillarProcessTest {
protected:
    // The program with these arguments in Cwd.
    static ToolResult Run(const std::vector<std::string>& Arguments, const fs::path& Cwd) {
        return RunQuillar(Arguments, Cwd);
    }

    // A first run is behind: no first-run question comes in the way.
    static void Installed() { ASSERT_TRUE(WriteDefaultSettings()); }
};

// The names an archive holds, as unzip lists them, sorted.
std::vector<std::string> ZipNames(const fs::path& Zip) {
    const ToolResult list = RunTool({"unzip", "-Z1", Zip.string()});
    std::vector<std::string> names;
    std::istringstream in(list.Out);
    for (std::string line; std::getline(in, line);)
        names.push_back(line);
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(CommandLine, ExtractionSwitches) {
    Installed();
    TempDir source;
    const std::string a = "first file\n", b = RandomBytes(20000, 7);
    WriteFile(source / "a.txt", a);
    fs::create_directories(source / "sub");
    WriteFile(source / "sub/b.bin", b);
    ASSERT_EQ(RunTool({"zip", "-qr", "t.zip", "a.txt", "sub"}, source.Path()).ExitCode, 0);
    ASSERT_EQ(RunTool({"tar", "czf", "t.tar.gz", "a.txt", "sub"}, source.Path()).ExitCode, 0);
    // A copy whose second entry is damaged inside its data.
    std::string damaged = ReadFile(source / "t.zip");
    damaged[damaged.find("sub/b.bin") + 300] ^= 0x55;
    WriteFile(source / "bad.zip", damaged);
    WriteFile(source / "notes.txt", "no archive\n");

    struct Case {
        // {zip}, {tgz}, {bad}, {txt}, {noext}, {gone}: archives; {drop}: a folder.
        std::vector<std::string> Args;
        std::vector<std::string> Folders; // where the two files must be, below the work folder
        std::string New;                  // the names the run adds to the work folder
        int Exit;
        std::string Err; // a text standard error must hold
    };
    const std::vector<Case> cases = {
        {{"-S", "{zip}"}, {"t"}, "t", 0, "Extraction completed.\nFiles Extracted: 2"},
        {{"-S", "{tgz}"}, {"t.tar"}, "t.tar", 0, "Extraction completed."},
        {{"-S", "{noext}"}, {"noext_"}, "noext_", 0, "Extraction completed."},
        {{"-H", "{tgz}"}, {"."}, "a.txt|sub", 0, "Found Nested Tar File."},
        {{"-EMH", "{zip}"}, {"."}, "a.txt|sub", 0, "Archives Extracted: 1"},
        {{"-EMSH", "{zip}", "{tgz}"}, {"t_zip", "t.tar_gz"}, "t.tar_gz|t_zip", 0, "Archives Extracted: 2"},
        // "-EMT" and "-EMST" come from a selection of several archives: one does nothing.
        {{"-EMT", "{tgz}"}, {}, "", 0, ""},
        {{"-EMT", "{tgz}", "{txt}"}, {"."}, "a.txt|sub", 1, "Archives Extracted: 1"},
        {{"-EMST", "{zip}", "{tgz}"}, {"t_zip", "t.tar_gz"}, "t.tar_gz|t_zip", 0, "Archives Extracted: 2"},
        {{"-E", "{zip}"}, {"."}, "a.txt|sub", 0, "Extract\n"},
        {{"-DDET", "{drop}", "{tgz}"}, {"drop"}, "drop", 0, "Extraction completed."},
        {{"-DDEH", "{drop}/", "{zip}"}, {"drop"}, "drop", 0, "Extraction completed."},
        {{"-DDEF", "{drop}", "{tgz}"}, {"drop/t.tar"}, "drop", 0, "Extraction completed."},
        {{"-DDEMT", "{drop}/", "{zip}"}, {"drop"}, "drop", 0, "Archives Extracted: 1"},
        {{"-DDEMH", "{drop}", "{tgz}"}, {"drop"}, "drop", 0, "Archives Extracted: 1"},
        {{"-DDEMF", "{drop}/", "{zip}", "{tgz}"},
         {"drop/t_zip", "drop/t.tar_gz"},
         "drop",
         0,
         "Archives Extracted: 2"},
        // Failures: the summary counts the archives that came out whole; a damaged entry
        // leaves no file, an archive that cannot be read no folder.
        {{"-EMSH", "{bad}", "{tgz}"}, {"t.tar_gz"}, "bad_zip|t.tar_gz", 1, "Archives Extracted: 1"},
        {{"-S", "{bad}"}, {}, "bad", 1, "CRC error detected."},
        {{"-H", "{txt}"}, {}, "", 1, "Extraction is not supported for this file type."},
        {{"-EMSH", "{txt}", "{gone}"}, {}, "", 1, "Archives Extracted: 0"},
    };
    for (const Case& c : cases) {
        TempDir work;
        for (const char* name : {"t.zip", "t.tar.gz", "bad.zip", "notes.txt"})
            fs::copy_file(source / name, work / name);
        fs::copy_file(source / "t.zip", work / "noext");
        const std::vector<std::pair<std::string, std::string>> names = {
            {"{zip}", "t.zip"},   {"{tgz}", "t.tar.gz"}, {"{bad}", "bad.zip"},  {"{txt}", "notes.txt"},
            {"{noext}", "noext"}, {"{drop}", "drop"},    {"{gone}", "gone.zip"}};
        std::vector<std::string> args;
        std::string what;
        for (std::string arg : c.Args) {
            for (const auto& [key, name] : names) {
                if (arg.starts_with(key)) arg = (work / name).string() + arg.substr(key.size());
            }
            args.push_back(arg);
            what += ' ' + c.Args[args.size() - 1];
        }
        const std::vector<std::string> before = FolderNames(work.Path());
        const ToolResult run = Run(args, work.Path());
        EXPECT_EQ(run.ExitCode, c.Exit) << what << "\n" << run.Err;
        EXPECT_NE(run.Err.find(c.Err), std::string::npos) << what << "\n" << run.Err;
        for (const std::string& folder : c.Folders) {
            EXPECT_EQ(ReadFile(work / folder / "a.txt"), a) << what << " in " << folder;
            EXPECT_TRUE(ReadFile(work / folder / "sub/b.bin") == b) << what << " in " << folder;
        }
        // Nothing was put where the switch does not send it.
        std::string added;
        for (const std::string& name : FolderNames(work.Path())) {
            if (std::find(before.begin(), before.end(), name) == before.end())
                added += (added.empty() ? "" : "|") + name;
        }
        EXPECT_EQ(added, c.New) << what;
    }
}

TEST_F(CommandLine, AddingSwitches) {
    Installed();
    TempDir work;
    WriteFile(work / "src/a.txt", "alpha\n");
    WriteFile(work / "src/a2.txt", "alpha 2\n");
    WriteFile(work / "src/sub/b.txt", TextBytes(5000));
    WriteFile(work / "other/c.txt", "gamma\n");
    WriteFile(work / "report.txt", "report\n");
    ASSERT_EQ(RunTool({"zip", "-q", "old.zip", "report.txt"}, work.Path()).ExitCode, 0);
    fs::create_symlink(work / "gone.txt", work / "dangling.txt");
    const std::string root = work.Str().substr(1) + "/"; // a full path as stored: no leading '/'

    struct Case {
        int AdPath;
        std::vector<std::string> Args; // relative to the work folder
        std::string Archive;
        std::vector<std::string> Names; // what unzip lists, sorted; empty: no archive
        int Exit;
        bool AsTyped = false; // the names given as they are, relative to the work folder
    };
    const std::vector<Case> cases = {
        // A single "folder/*.*" keeps the folder's own name.
        {0, {"-G", "g1.zip", "src/*.*"}, "g1.zip", {"src/a.txt", "src/a2.txt", "src/sub/b.txt"}, 0},
        // Several files: relative paths.
        {0, {"-G", "g2.zip", "src/a.txt", "src/a2.txt"}, "g2.zip", {"a.txt", "a2.txt"}, 0},
        // Full paths with adPath.
        {1,
         {"-G", "g3.zip", "src/*.*"},
         "g3.zip",
         {root + "src/a.txt", root + "src/a2.txt", root + "src/sub/b.txt"},
         0},
        {0, {"-D", "d1", "src/a.txt"}, "d1.zip", {"a.txt"}, 0},
        {1, {"-D", "d2.zip", "other/c.txt"}, "d2.zip", {root + "other/c.txt"}, 0},
        // "-A" onto an existing archive replaces it: only the new files; "-G" adds to it.
        {0, {"-A", "old.zip", "other/c.txt"}, "old.zip", {"c.txt"}, 0},
        {0, {"-G", "old.zip", "src/a.txt"}, "old.zip", {"a.txt", "c.txt"}, 0},
        // A folder's name, with its '/', offers the folder's name.
        {0, {"-A", "other/", "other/c.txt"}, "other.zip", {"c.txt"}, 0},
        // Nothing named exists: no archive, a failure; a link to nothing is nothing.
        {0, {"-G", "none.zip", "missing.txt"}, "none.zip", {}, 1},
        {0, {"-G", "none2.zip", "dangling.txt"}, "none2.zip", {}, 1},
        // Names relative to the current folder, a folder among them standing for its tree,
        // first or later.
        {0, {"-G", "r1.zip", "src/a.txt", "src/sub"}, "r1.zip", {"a.txt", "sub/b.txt"}, 0, true},
        {0,
         {"-G", "r2.zip", "src", "other/c.txt"},
         "r2.zip",
         {"other/c.txt", "src/a.txt", "src/a2.txt", "src/sub/b.txt"},
         0,
         true},
    };
    for (const Case& c : cases) {
        WriteSettingInteger("ShellExtensions", "adPath", c.AdPath);
        std::vector<std::string> args = {c.Args[0]};
        for (std::size_t i = 1; i < c.Args.size(); ++i)
            args.push_back(c.AsTyped ? c.Args[i] : (work / c.Args[i]).string());
        const ToolResult run = Run(args, work.Path());
        const std::string what = c.Args[0] + " " + c.Args[1];
        EXPECT_EQ(run.ExitCode, c.Exit) << what << "\n" << run.Err;
        if (c.Names.empty()) {
            EXPECT_FALSE(fs::exists(work / c.Archive)) << what;
            continue;
        }
        EXPECT_EQ(ZipNames(work / c.Archive), c.Names) << what << "\n" << run.Err;
        EXPECT_EQ(RunTool({"unzip", "-tq", (work / c.Archive).string()}).ExitCode, 0) << what;
    }

    // "-A" offers the name without its extension and the type of adArcType: lha here.
    WriteSettingInteger("ShellExtensions", "adPath", 0);
    WriteSettingInteger("ShellExtensions", "adArcType", 3);
    const ToolResult lha =
        Run({"-A", (work / "report.txt").string(), (work / "other/c.txt").string()}, work.Path());
    EXPECT_EQ(lha.ExitCode, 0) << lha.Err;
    EXPECT_NE(lha.Err.find("Add Options"), std::string::npos) << lha.Err;
    TempDir out;
    ASSERT_EQ(RunTool({"lhasa", "xq", (work / "report.lha").string()}, out.Path()).ExitCode, 0);
    EXPECT_EQ(ReadFile(out / "c.txt"), "gamma\n");
}

TEST_F(CommandLine, UnknownAndQuietSwitches) {
    Installed();
    TempDir work;
    const std::string file = (work / "x.zip").string();
    // Switches are exact: lower case or unknown ones are refused.
    for (const char* sw : {"-s", "-ddeh", "-Extract", "-X1", "S"}) {
        const ToolResult run = Run({sw, file}, work.Path());
        EXPECT_EQ(run.ExitCode, 2) << sw;
        EXPECT_NE(run.Err.find("Unknown commandline parameter."), std::string::npos) << sw << run.Err;
    }
    // Nothing to do, nothing said.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-HM", file}, {"-SYS", "-CREATEREG"}, {"-SYS", "-UNKNOWN"}, {"-G", file}}) {
        const std::vector<std::string> before = FolderNames(work.Path());
        const ToolResult run = Run(args, work.Path());
        EXPECT_EQ(run.ExitCode, 0) << args[0] << " " << args[1];
        EXPECT_EQ(run.Err, "") << args[0] << " " << args[1];
    }
    EXPECT_TRUE(FolderNames(work.Path()).empty());
}

// Empty folders among what is added get entries only where the writer is asked to store them:
// never by the program's switches, by krvprobe's add with -d, and by the converter, which keeps
// an archive's empty folders (it may delete the original). Listed by unzip and tar.
TEST_F(CommandLine, EmptyFoldersAreStoredOnlyWhereAsked) {
    Installed();
    TempDir work;
    WriteFile(work / "src/a.txt", "alpha\n");
    WriteFile(work / "src/sub/b.txt", "beta\n");
    fs::create_directories(work / "src/empty/inner");
    // A tar with an empty folder, for the converter.
    ASSERT_EQ(RunTool({"tar", "-cf", "t.tar", "src"}, work.Path()).ExitCode, 0);
    const auto zipNames = [](const fs::path& Zip) {
        std::string names;
        for (const std::string& name : ZipNames(Zip))
            names += name + ' ';
        return names;
    };
    const std::string withoutFolders = "src/a.txt src/sub/b.txt ";
    struct TCase {
        const char* What;
        std::function<int()> Make;
        const char* Archive;
        std::string Names; // unzip -Z1, sorted
    } const cases[] = {
        {"-G",
         [&] {
             return Run({"-G", (work / "g.zip").string(), "src"}, work.Path()).ExitCode;
         },
         "g.zip", withoutFolders},
        {"-A",
         [&] {
             return Run({"-A", (work / "a.zip").string(), "src"}, work.Path()).ExitCode;
         },
         "a.zip", withoutFolders},
        // krvprobe stores names below the folder it is given.
        {"krvprobe add -r",
         [&] {
             return RunProbe({"add", "p.zip", "-r", "src"}, work.Path()).ExitCode;
         },
         "p.zip", "a.txt sub/b.txt "},
        {"krvprobe add -r -d",
         [&] {
             return RunProbe({"add", "d.zip", "-r", "-d", "src"}, work.Path()).ExitCode;
         },
         "d.zip", "a.txt empty/ empty/inner/ sub/b.txt "},
        {"converter",
         [&] {
             return RunProbe({"convert", "t.tar", "c.zip"}, work.Path()).ExitCode;
         },
         "c.zip", "src/a.txt src/empty/ src/empty/inner/ src/sub/b.txt "},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        ASSERT_EQ(c.Make(), 0);
        EXPECT_EQ(zipNames(work / c.Archive), c.Names);
        EXPECT_EQ(RunTool({"unzip", "-tq", (work / c.Archive).string()}).ExitCode, 0);
    }
    // The same rule for a tar written by -G: tar lists no folder of its own.
    ASSERT_EQ(Run({"-G", (work / "g.tar").string(), "src"}, work.Path()).ExitCode, 0);
    EXPECT_EQ(RunTool({"tar", "-tf", (work / "g.tar").string()}).Out, "src/a.txt\nsrc/sub/b.txt\n");
}

// An uninstaller's clean-up: the handler a type had before comes back, a handler another
// program set meanwhile and every line that was never the program's stay as they are.
TEST_F(CommandLine, RemoveRegistrationGivesBackOnlyItsOwn) {
    const fs::path list = FRegistry.Dir() / "mimeapps.list";
    WriteFile(list, "[Default Applications]\napplication/zip=ark.desktop\ntext/plain=gedit.desktop\n"
                    "\n[Added Associations]\napplication/zip=ark.desktop;\n");
    // The first run binds every archive type to the program.
    const ToolResult first = Run({"-SYS", "-CREATEREG"}, FRegistry.Dir().Path());
    ASSERT_EQ(first.ExitCode, 0) << first.Err;
    std::string bound = ReadFile(list);
    ASSERT_NE(bound.find("application/zip=quillar.desktop\n"), std::string::npos) << bound;
    const std::string tar = "application/x-tar=quillar.desktop\n";
    ASSERT_NE(bound.find(tar), std::string::npos) << bound;
    // Later another program takes tar files.
    bound.replace(bound.find(tar), tar.size(), "application/x-tar=xarchiver.desktop\n");
    WriteFile(list, bound);

    // While the list cannot be written, nothing is forgotten: the run fails and keeps the record.
    fs::remove(list);
    fs::create_directory(list);
    const ToolResult blocked = Run({"-SYS", "-REMOVEREG"}, FRegistry.Dir().Path());
    EXPECT_EQ(blocked.ExitCode, 1) << blocked.Err;
    EXPECT_TRUE(SettingsViewKeyExists());
    fs::remove(list);
    WriteFile(list, bound);

    const ToolResult remove = Run({"-SYS", "-REMOVEREG"}, FRegistry.Dir().Path());
    EXPECT_EQ(remove.ExitCode, 0) << remove.Err;
    EXPECT_EQ(ReadFile(list),
              "[Default Applications]\napplication/zip=ark.desktop\ntext/plain=gedit.desktop\n"
              "application/x-tar=xarchiver.desktop\n"
              "\n[Added Associations]\napplication/zip=ark.desktop;\n");
    EXPECT_FALSE(SettingsViewKeyExists());
}

// What the desktop answers after the program's registration goes (xdg-mime asks the user's
// lists and the desktop entries): the handler a type had before, or none at all, never the
// program whose entry still listed the type.
TEST_F(CommandLine, RemoveRegistrationLeavesTheDesktopNoHandlerOfItsOwn) {
    // The system's desktop entries: another archiver's (xdg-mime wants its program to exist),
    // which lists no type itself.
    const TempDir systemData;
    WriteFile(systemData / "applications/ark.desktop",
              "[Desktop Entry]\nType=Application\nName=Ark\nExec=cat %f\n");
    const EnvGuard dataDirs("XDG_DATA_DIRS", systemData.Str().c_str());
    const fs::path list = FRegistry.Dir() / "mimeapps.list";
    const auto handler = [](const char* Type) {
        const ToolResult query = RunTool({"xdg-mime", "query", "default", Type});
        EXPECT_EQ(query.ExitCode, 0) << query.Err;
        return query.Out;
    };
    struct TCase {
        const char* Before; // the list before the first run
        const char* Zip;    // what xdg-mime answers for zip files after the removal
    } const cases[] = {
        {"[Default Applications]\napplication/zip=ark.desktop\n", "ark.desktop\n"},
        {"", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Before);
        WriteFile(list, c.Before);
        ASSERT_EQ(Run({"-SYS", "-CREATEREG"}, FRegistry.Dir().Path()).ExitCode, 0);
        EXPECT_EQ(handler("application/zip"), "quillar.desktop\n");
        const ToolResult remove = Run({"-SYS", "-REMOVEREG"}, FRegistry.Dir().Path());
        EXPECT_EQ(remove.ExitCode, 0) << remove.Err;
        EXPECT_EQ(handler("application/zip"), c.Zip);
        EXPECT_EQ(handler("application/x-tar"), "");
    }
}

} // namespace
