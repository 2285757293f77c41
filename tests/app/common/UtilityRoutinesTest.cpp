#include "app/common/FileUtils.h"
#include "app/common/FontText.h"
#include "app/common/ProcessUtils.h"
#include "app/common/ShellUtils.h"
#include "app/common/SystemUtils.h"
#include "app/common/WildcardMatch.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/Shell.h"

#include "RegistrySandbox.h"

#include <QCoreApplication>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// The matcher as it has always been described: recursive on '*', for small cases only.
bool ReferenceMatch(const std::string& N, std::size_t n, const std::string& P, std::size_t p) {
    if (p == P.size()) return n == N.size();
    if (P[p] == '*') {
        if (p + 1 == P.size()) return true;
        for (std::size_t k = n; k < N.size(); ++k) {
            if (ReferenceMatch(N, k, P, p + 1)) return true;
        }
        return false;
    }
    if (n == N.size()) return false;
    if (P[p] == '?') return ReferenceMatch(N, n + 1, P, p + 1);
    if (P[p] != '[') return P[p] == N[n] && ReferenceMatch(N, n + 1, P, p + 1);
    std::size_t i = p + 1;
    if (i >= P.size() || P[i] == '[' || P[i] == ']') return false;
    const bool negated = P[i] == '^';
    if (negated) ++i;
    bool found = false;
    for (; i < P.size() && P[i] != ']'; ++i) {
        if (i + 2 < P.size() && P[i + 1] == '-' && P[i + 2] != ']') {
            found = found || (N[n] >= P[i] && N[n] <= P[i + 2]);
            i += 2;
        } else {
            found = found || N[n] == P[i];
        }
    }
    if (i >= P.size()) return false;
    return found != negated && ReferenceMatch(N, n + 1, P, i + 1);
}

// A program of that name on PATH (first), as a shell script.
class FakeTools {
public:
    FakeTools() : FPath("PATH", (FDir.Str() + ":" + std::getenv("PATH")).c_str()) {}
    void Add(const std::string& Name, const std::string& Script) {
        WriteFile(FDir / Name, "#!/bin/sh\n" + Script + "\n");
        ::chmod((FDir / Name).c_str(), 0755);
    }
    const TempDir& Dir() const { return FDir; }

private:
    TempDir FDir;
    EnvGuard FPath;
};

} // namespace

TEST(UtilityRoutines, MatchWildcard) {
    struct Case {
        std::string Name, Pattern;
        bool Match;
    };
    const std::vector<Case> cases = {
        {"abc", "a*", true},       {"abc", "*c", true},
        {"abc", "a*d", false},     {"a", "[^a]", false},
        {"b", "[a-c]", true},      {"b", "[]", false},
        {"b", "[a", false},        {"b", "[", false},
        {"[", "[[]", false},       {"Abc", "a*", false},
        {"", "*", true},           {"", "**", false},
        {"a", "a**", false},       {"ab", "a**", true},
        {"ab", "a**b", true},      {"", "", true},
        {"a", "", false},          {"!", "[!a]", true},
        {"-", "[a-]", true},       {"x]", "[^a]]", true},
        {"\xC3\xBC", "?", true},   {"\xC3\xBC", "[\xC3\xA0-\xC3\xBF]", true},
        {"\xC3\xBC", "??", false}, {"a.b.c", "*.*.*", true},
        {"abc", "*b?", true},      {"abc", "[^b]*", true},
        {"abc", "a?c?", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchWildcard(c.Name, c.Pattern), c.Match) << c.Name << " ~ " << c.Pattern;

    // Random small cases agree with the recursive description.
    std::mt19937 random(7);
    const std::string alphabet = "ab*?[]^-";
    for (int round = 0; round < 20000; ++round) {
        std::string name, pattern;
        for (int i = random() % 6; i > 0; --i)
            name += "abc-]"[random() % 5];
        for (int i = random() % 7; i > 0; --i)
            pattern += alphabet[random() % alphabet.size()];
        ASSERT_EQ(MatchWildcard(name, pattern), ReferenceMatch(name, 0, pattern, 0))
            << name << " ~ " << pattern;
    }
    // Many stars against a long name that almost matches end at once.
    std::string stars;
    for (int i = 0; i < 200; ++i)
        stars += "*a";
    EXPECT_FALSE(MatchWildcard(std::string(5000, 'a'), stars + "*b"));
    EXPECT_TRUE(MatchWildcard(std::string(5000, 'a') + "b", stars + "*b"));
}

TEST(UtilityRoutines, FontText) {
    const TFontData sans{-2147483640, -11, "MS Sans Serif", 0, 96, 8, false, false, false, false};
    EXPECT_EQ(FontToString(sans), "-2147483640|-11|MS Sans Serif|0|96|8|nnnn");
    const TFontData styled{0x00FF8040, -16, "DejaVu Sans Mono", 2, 120, 12, true, false, true, true};
    for (const TFontData& font : {sans, styled}) {
        TFontData back;
        ASSERT_TRUE(StringToFont(FontToString(font), back));
        EXPECT_EQ(back, font);
    }
    TFontData read;
    ASSERT_TRUE(StringToFont("||1|-2|Name|0|96|9|ynyn and more", read)); // leading separators are skipped
    EXPECT_EQ(read, (TFontData{1, -2, "Name", 0, 96, 9, true, false, true, false}));
    // Text that cannot be read changes nothing.
    for (const std::string bad :
         {"x|-11|Sans|0|96|8|nnnn", "1|-11|Sans|0|96|8|nnn", "1|-11|Sans|0|96|99999999999|nnnn",
          "1|-11|Sans|0|96|8", "1|2", "1|-11|Sans|0|9 6|8|nnnn"}) {
        TFontData font = styled;
        EXPECT_FALSE(StringToFont(bad, font)) << bad;
        EXPECT_EQ(font, styled) << bad;
    }
    TFontData untouched = styled;
    EXPECT_TRUE(StringToFont("", untouched));
    EXPECT_EQ(untouched, styled);

    // Through a Qt font and back.
    const TFontData viaQt = FontDataOf(FontOf(styled), FontColorOf(styled));
    EXPECT_EQ(viaQt.Name, styled.Name);
    EXPECT_EQ(viaQt.Size, styled.Size);
    EXPECT_EQ(viaQt.Color, styled.Color);
    EXPECT_EQ(std::tie(viaQt.Bold, viaQt.Italic, viaQt.Underline, viaQt.StrikeOut, viaQt.Pitch),
              std::tie(styled.Bold, styled.Italic, styled.Underline, styled.StrikeOut, styled.Pitch));
}

TEST(UtilityRoutines, NamesAndPaths) {
    const std::vector<std::pair<std::string, std::string>> backslash = {
        {"", ""}, {"/a", "/a/"}, {"/a/", "/a/"}};
    for (const auto& [in, out] : backslash)
        EXPECT_EQ(AddBackslash(in), out) << in;
    const std::vector<std::pair<std::string, std::string>> strip = {
        {"\\", ""}, {"\\a\\b", "a\\b"}, {"/a", "a"}, {"a", "a"}, {"", ""}, {"\\\\x", "\\x"}};
    for (const auto& [in, out] : strip)
        EXPECT_EQ(StripLeadingBackslash(in), out) << in;
    const std::vector<std::pair<std::string, std::string>> folders = {
        {"x.tar", "x_tar"},       {"x", "x_"},     {"/a/data.zip", "/a/data_zip"}, {"/a.b/c", "/a.b/c_"},
        {"a.tar.gz", "a.tar_gz"}, {"dot.", "dot_"}};
    for (const auto& [in, out] : folders)
        EXPECT_EQ(MakeNameExtFolder(in), out) << in;
    struct NameCase {
        std::string Name;
        bool Long, Short;
    };
    const std::vector<NameCase> names = {
        {"my:set", true, true},   {"a+b", true, false},      {"", false, false},
        {"a/b", false, false},    {"..", false, false},      {"a\\b", false, false},
        {".", false, false},      {"...", true, true},       {"x|y", false, false},
        {"[x]", true, false},     {"quote\"", false, false}, {std::string("a\0b", 3), false, false},
        {"back up 1", true, true}};
    for (const NameCase& c : names) {
        EXPECT_EQ(IsValidFileName(c.Name, true), c.Long) << c.Name;
        EXPECT_EQ(IsValidFileName(c.Name, false), c.Short) << c.Name;
    }
}

// Listing and deleting folder trees: hidden files count, links are never followed, what lies
// outside the tree stays.
TEST(UtilityRoutines, FolderTrees) {
    TempDir dir;
    const fs::path tree = dir / "tree", outside = dir / "outside";
    fs::create_directories(tree / "sub/deeper");
    fs::create_directories(tree / "dir.txt");
    fs::create_directories(outside);
    WriteFile(outside / "precious.txt", "keep");
    fs::create_directories(tree / ".cache");
    for (const char* file : {".cache/x", "a.txt", ".hidden", "b.log", "sub/c.txt", "sub/deeper/d.txt",
                             "dir.txt/e.txt", "with \"quote\" and space.txt"}) {
        WriteFile(tree / file, file);
    }
    fs::create_directory_symlink(outside, tree / "link-to-folder");
    fs::create_symlink(outside / "precious.txt", tree / "link-to-file.txt");
    ASSERT_EQ(::mkfifo((tree / "pipe.txt").c_str(), 0600), 0);

    std::vector<std::string> all;
    EXPECT_EQ(ListFolderFiles(tree.string(), all), 9);
    const std::string t = tree.string() + '/';
    EXPECT_EQ(all, (std::vector<std::string>{t + ".cache/x", t + ".hidden", t + "a.txt", t + "b.log",
                                             t + "dir.txt/e.txt", t + "link-to-file.txt", t + "sub/c.txt",
                                             t + "sub/deeper/d.txt", t + "with \"quote\" and space.txt"}));
    std::vector<std::string> texts;
    EXPECT_EQ(FindFilesRecursive(tree.string(), "*.txt", texts), 4); // "sub" does not match: not entered
    EXPECT_EQ(texts, (std::vector<std::string>{t + "a.txt", t + "dir.txt/e.txt", t + "link-to-file.txt",
                                               t + "with \"quote\" and space.txt"}));
    // The quoted list gives every path back as one argument.
    EXPECT_EQ(SplitCommandLine(GetQuotedFileList(tree.string())), all);
    fs::create_directory(dir / "empty");
    EXPECT_EQ(GetQuotedFileList((dir / "empty").string()), "");

    // Deleting by wildcard, a single link, and a missing path.
    EXPECT_TRUE(ShellDeleteFiles((tree / "*.log").string()));
    EXPECT_FALSE(fs::exists(tree / "b.log"));
    EXPECT_FALSE(ShellDeleteFiles((tree / "*.none").string()));
    EXPECT_FALSE(ShellDeleteFiles((tree / "missing").string()));
    EXPECT_FALSE(ShellDeleteFiles(""));
    EXPECT_TRUE(ShellDeleteFiles((tree / "link-to-folder").string()));
    EXPECT_TRUE(fs::exists(outside / "precious.txt"));
    fs::create_directory_symlink(outside, tree / "link-to-folder");

    // Paths whose deletion would take everything, or that say nothing certain, are refused.
    EnvGuard home("HOME", outside.c_str());
    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());
    for (const std::string& refused :
         {std::string(), std::string("/"), std::string("//"), std::string("tree"), std::string("./tree"),
          outside.string(), outside.string() + "/", tree.string() + "/../outside", std::string("/tmp/..")}) {
        EXPECT_FALSE(DeleteFolderTree(refused)) << refused;
        EXPECT_FALSE(ShellDeleteFiles(refused)) << refused;
    }
    EXPECT_FALSE(ShellDeleteFiles(outside.string() + "/*.txt"));
    EXPECT_FALSE(ShellDeleteFiles("*.txt"));
    EXPECT_TRUE(fs::exists(tree / "a.txt"));

    // The whole tree, from inside it; a folder given as a link loses only the link.
    fs::create_directory_symlink(outside, dir / "folder-link");
    EXPECT_TRUE(DeleteFolderTree((dir / "folder-link").string()));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "folder-link")));
    fs::current_path(tree / "sub");
    EXPECT_TRUE(DeleteFolderTree(tree.string() + "/sub/"));
    EXPECT_EQ(fs::current_path(), tree);
    EXPECT_TRUE(DeleteFolderTree(tree.string()));
    EXPECT_EQ(fs::current_path(), dir.Path());
    fs::current_path(before);
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_EQ(ReadFile(outside / "precious.txt"), "keep");

    // Temporary folders are made at once, private and apart.
    EnvGuard tmp("TMPDIR", dir.Str().c_str());
    const std::string one = GetTempDirName(), two = GetTempDirName();
    EXPECT_NE(one, two);
    EXPECT_EQ(fs::path(one).parent_path(), dir.Path());
    EXPECT_TRUE(fs::path(one).filename().string().starts_with("zf_"));
    struct stat st {};
    ASSERT_EQ(::stat(one.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// Programs run with every argument (however long the list), in their own folder, while the
// window's events go on; mail goes to xdg-email.
TEST(UtilityRoutines, ProgramsAndMail) {
    FakeTools tools;
    const fs::path log = tools.Dir() / "log";
    tools.Add("scanner", "pwd > '" + log.string() + "'; for a in \"$@\"; do echo \"[$a]\" >> '" +
                             log.string() + "'; done");
    std::string params = "/auto";
    std::string expected = tools.Dir().Str() + "\n[/auto]\n";
    for (int i = 0; i < 40; ++i) {
        const std::string file = "/tmp/some folder/file number " + std::to_string(i) + ".txt";
        params += ' ' + QuoteArgument(file);
        expected += "[" + file + "]\n";
    }
    ASSERT_GT(params.size(), 255u);
    bool pumped = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { pumped = true; }, Qt::QueuedConnection);
    EXPECT_EQ(RunAndWait((tools.Dir() / "scanner").string(), params, 1), 0);
    EXPECT_TRUE(pumped);
    EXPECT_EQ(ReadFile(log), expected);
    // The program's own status comes back; one that cannot start or dies on a signal gives -1.
    tools.Add("finder", "exit 3");
    EXPECT_EQ(RunAndWait((tools.Dir() / "finder").string(), "", 1), 3);
    tools.Add("crasher", "kill -KILL $$");
    EXPECT_EQ(RunAndWait((tools.Dir() / "crasher").string(), "", 1), -1);
    EXPECT_EQ(RunAndWait((tools.Dir() / "missing").string(), "", 1), -1);

    tools.Add("xdg-email",
              "for a in \"$@\"; do echo \"[$a]\" >> '" + log.string() + "'; done; exit ${MAILEXIT:-0}");
    fs::remove(log);
    EXPECT_EQ(SendMail("Archive", "See attached", "/tmp/a.zip", "-x@example.org", "Name", "me@x", "Me"), 0);
    EXPECT_EQ(ReadFile(log), "[--subject]\n[Archive]\n[--body]\n[See attached]\n[--attach]\n[/tmp/a.zip]\n"
                             "[mailto:-x@example.org]\n");
    fs::remove(log);
    EnvGuard exitCode("MAILEXIT", "4");
    EXPECT_EQ(SendMail("", "", "/tmp/a.zip", "", "", "", ""), 4);
    EXPECT_EQ(ReadFile(log), "[--attach]\n[/tmp/a.zip]\n");
    EnvGuard noPath("PATH", tools.Dir().Str().c_str());
    fs::remove(tools.Dir() / "xdg-email");
    EXPECT_EQ(SendMail("s", "", "", "", "", "", ""), -1);
}

// Shell lookups: the registry's classes root first, then the desktop's own answers.
TEST(UtilityRoutines, ShellLookups) {
    RegistrySandbox sandbox;
    FakeTools tools;
    EnvGuard onlyFakes("PATH", (tools.Dir().Str() + ":/usr/bin:/bin").c_str());
    TRegistry classes(TRegRoot::ClassesRoot);
    ASSERT_TRUE(classes.OpenKey("\\.qz", true));
    classes.WriteString("", "Quillar");
    ASSERT_TRUE(classes.CreateKey("\\Quillar\\Shell\\Open"));
    ASSERT_TRUE(classes.OpenKey("\\.noopen", true));
    classes.WriteString("", "NoOpen");
    ASSERT_TRUE(classes.CreateKey("\\NoOpen\\Shell"));
    ASSERT_TRUE(classes.OpenKey("\\.int", true));
    classes.WriteInteger("", 5);
    tools.Add("xdg-mime", "[ \"$3\" = /x/doc.pdf ] && echo application/pdf && exit 0\n"
                          "[ \"$3\" = application/pdf ] && echo viewer.desktop && exit 0\nexit 1");
    const std::vector<std::pair<std::string, bool>> cases = {
        {"/x/a.qz", true},     {"/x/a.QZ", true},    {"/x/a.noopen", false},  {"/x/a.int", false},
        {"/x.qz/none", false}, {"/x/doc.pdf", true}, {"/x/other.pdf", false}, {"/x/a.b\\c", false}};
    for (const auto& [file, expected] : cases)
        EXPECT_EQ(GetOpenCommand(file), expected) << file;
    // A folder that no program opens is named by its whole path.
    tools.Add("xdg-open", "exit 0");
    const QString folder = QString::fromStdString((tools.Dir() / "m").string());
    fs::create_directories(folder.toStdString());
    EXPECT_TRUE(MissingLauncher("xdg-open", {folder})
                    .startsWith("No program is installed to open " + folder + " (inode/directory)."))
        << MissingLauncher("xdg-open", {folder}).toStdString();

    EnvGuard home("HOME", "/home/someone");
    EnvGuard data("XDG_DATA_HOME", nullptr);
    tools.Add("xdg-user-dir", "exit 1");
    EXPECT_EQ(GetSpecialFolderPath(sfDesktop), "/home/someone/Desktop"); // when xdg-user-dir fails
    EXPECT_EQ(GetSpecialFolderPath(sfPrograms), "/home/someone/.local/share/applications");
    EXPECT_EQ(GetSpecialFolderPath(99), "");
    tools.Add("xdg-user-dir", "[ \"$1\" = DESKTOP ] && echo /home/someone/Schreibtisch/ && exit 0\nexit 1");
    EXPECT_EQ(GetSpecialFolderPath(sfDesktopDirectory), "/home/someone/Schreibtisch");
    EXPECT_EQ(GetSpecialFolderPath(sfPersonal), "/home/someone/Documents");
    EnvGuard data2("XDG_DATA_HOME", "/data");
    EXPECT_EQ(GetSpecialFolderPath(sfStartMenu), "/data/applications");
}

// The administrator test follows the machine store; the autostart value comes and goes with
// its desktop autostart entry, which names only a program that exists: the desktop would try
// a missing one at every login.
TEST(UtilityRoutines, AdministratorAndAutostart) {
    {
        RegistrySandbox sandbox;
        EXPECT_TRUE(IsAdmin());
        const fs::path entry = sandbox.Dir() / "autostart/Quillar.desktop";
        const std::string missing = (sandbox.Dir() / "gone/QuillarTray.exe").string();
        AddToRunKey("Quillar", QuoteArgument(missing));
        EXPECT_FALSE(fs::exists(entry));
        const std::string tray = (sandbox.Dir() / "my quillar/QuillarTray.exe").string();
        fs::create_directories(fs::path(tray).parent_path());
        WriteFile(tray, "#!/bin/sh\n");
        fs::permissions(tray, fs::perms::owner_all);
        AddToRunKey("Quillar", QuoteArgument(tray) + " /min");
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKeyReadOnly(RunKey));
        EXPECT_EQ(reg.ReadString("quillar"), "\"" + tray + "\" /min");
        EXPECT_EQ(ReadFile(entry), "[Desktop Entry]\nType=Application\nName=Quillar\n"
                                   "Exec=\"" +
                                       tray + "\" /min\n");
        // The program gone, the entry goes at the next registration.
        fs::remove(tray);
        AddToRunKey("Quillar", QuoteArgument(tray) + " /min");
        EXPECT_FALSE(fs::exists(entry));
        AddToRunKey("Quillar", "/bin/true");
        EXPECT_TRUE(fs::exists(entry));
        EXPECT_TRUE(RemoveFromRunKey("Quillar"));
        EXPECT_FALSE(fs::exists(entry));
        EXPECT_FALSE(RemoveFromRunKey("Quillar"));
        EXPECT_FALSE(RemoveFromRunKey("Other"));
    }
    TempDir dir;
    WriteFile(dir / "file", "");
    EnvGuard config("XDG_CONFIG_HOME", (dir / "file/below").c_str());
    EXPECT_FALSE(IsAdmin());     // no folder can be made below a file, not even by root
    AddToRunKey("Quillar", "x"); // cannot be written: nothing happens
    EXPECT_FALSE(RemoveFromRunKey("Quillar"));
}

// The tray program is started when it is there and not running already.
TEST(UtilityRoutines, SiblingProgramStartsOnce) {
    TempDir dir;
    const fs::path tray = dir / "QuillarTray.exe", marker = dir / "started", keep = dir / "keep";
    EXPECT_EQ(StartSiblingProgram(tray.string()), psMissing);
    WriteFile(tray, "#!/bin/sh\npwd -P >> '" + marker.string() + "'\nwhile [ -e '" + keep.string() +
                        "' ]; do sleep 0.02; done\n");
    EXPECT_EQ(StartSiblingProgram(tray.string()), psMissing); // not executable
    ::chmod(tray.c_str(), 0755);
    EXPECT_EQ(StartSiblingProgram(dir.Str()), psMissing); // a folder
    WriteFile(keep, "");
    EXPECT_FALSE(IsProgramRunning(tray.string()));
    ASSERT_EQ(StartSiblingProgram((dir / "." / "QuillarTray.exe").string()), psStarted);
    for (int i = 0; i < 1000 && !fs::exists(marker); ++i)
        ::usleep(10000);
    EXPECT_TRUE(IsProgramRunning(tray.string()));
    EXPECT_EQ(StartSiblingProgram(tray.string()), psAlreadyRunning);
    fs::remove(keep);
    for (int i = 0; i < 1000 && IsProgramRunning(tray.string()); ++i)
        ::usleep(10000);
    EXPECT_EQ(ReadFile(marker), dir.Str() + "\n"); // started once, in its own folder
}
