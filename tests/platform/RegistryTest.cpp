#include "platform/Registry.h"
#include "platform/RegistryText.h"

#include "RegistrySandbox.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

const std::string AllBytes = [] {
    std::string s;
    for (int b = 0; b < 256; ++b)
        s += static_cast<char>(b);
    return s;
}();

} // namespace

// Every kind of value, with names and texts that need escaping, survives the file and a fresh
// reader; the text form reads back to the same text.
TEST(Registry, ValuesRoundTripThroughTheFile) {
    RegistrySandbox sandbox;
    struct Case {
        std::string Name;
        TRegDataType Type;
        std::string Text;
        std::int32_t Number;
    };
    const std::vector<Case> cases = {
        {"", rdString, "the default value", 0},
        {"Plain", rdString, "C:\\Program Files\\Quillar\\", 0},
        {"quote\"and\\back", rdString, "say \"hi\"\r\nnext line\ttab", 0},
        {"[not a section]", rdString, "=\"@", 0},
        {"utf8 \xC3\xBC\xE2\x82\xAC", rdString, "\xC3\x9F", 0},
        {"nul", rdString, std::string("a\0b", 3), 0},
        {"EmptyText", rdString, "", 0},
        {"Max", rdInteger, "", 2147483647},
        {"Min", rdInteger, "", -2147483647 - 1},
        {"Minus1", rdInteger, "", -1},
        {"AllBytes", rdBinary, AllBytes, 0},
        {"NoBytes", rdBinary, "", 0},
    };
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Quillar\\Key]with[brackets", true));
        for (const Case& c : cases) {
            if (c.Type == rdString) reg.WriteString(c.Name, c.Text);
            if (c.Type == rdInteger) reg.WriteInteger(c.Name, c.Number);
            if (c.Type == rdBinary) reg.WriteBinaryData(c.Name, c.Text);
        }
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Quillar\\Key]with[brackets"));
    std::vector<std::string> names;
    for (const Case& c : cases) {
        names.push_back(c.Name);
        EXPECT_EQ(reg.GetDataType(c.Name), c.Type) << c.Name;
        if (c.Type == rdString) {
            EXPECT_EQ(reg.ReadString(c.Name), c.Text) << c.Name;
        } else if (c.Type == rdInteger) {
            EXPECT_EQ(reg.ReadInteger(c.Name), c.Number) << c.Name;
        } else {
            EXPECT_EQ(reg.ReadBinaryData(c.Name), c.Text) << c.Name;
        }
    }
    EXPECT_EQ(reg.GetValueNames(), names);

    const std::string text = ReadFile(RegistryFileName(TRegRoot::CurrentUser));
    const TRegParseResult parsed = ParseRegistryText(text, "HKEY_CURRENT_USER");
    EXPECT_EQ(parsed.BadLines, 0);
    EXPECT_EQ(FormatRegistryText(parsed.Root, "HKEY_CURRENT_USER"), text);
    // Every entry is one line: the texts with line breaks did not break the file's lines.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 4 + static_cast<long>(cases.size()));
}

// Names are found whatever their case and keep the case they were made with; values keep the
// order they were first written in; the three roots are separate files.
TEST(Registry, NamesIgnoreCaseKeepCaseAndOrder) {
    RegistrySandbox sandbox;
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Quillar", true));
    reg.WriteString("Beta", "1");
    reg.WriteString("alpha", "2");
    reg.WriteString("BETA", "3");
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Beta", "alpha"}));
    EXPECT_EQ(reg.ReadString("beta"), "3");

    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\quillar\\View", true));
    EXPECT_EQ(reg.CurrentPath(), "SOFTWARE\\quillar\\View");
    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKey("Software", false));
    EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"Quillar"});
    ASSERT_TRUE(reg.OpenKey("QUILLAR", false)); // relative to the open key
    EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"View"});

    TRegistry machine(TRegRoot::LocalMachine);
    EXPECT_FALSE(machine.KeyExists("\\Software\\Quillar"));
    ASSERT_TRUE(machine.OpenKey("\\Software\\Quillar\\FileAssociations", true));
    machine.WriteBool("Zip", true);
    EXPECT_TRUE(machine.ReadBool("zip"));
    EXPECT_FALSE(reg.KeyExists("\\Software\\Quillar\\FileAssociations"));
}

// What fails, fails loudly and changes nothing.
TEST(Registry, KeysAndValuesThatCannotBeUsed) {
    RegistrySandbox sandbox;
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("\\Software\\Missing", false));
    EXPECT_FALSE(reg.OpenKeyReadOnly("\\Software\\Missing"));
    EXPECT_FALSE(reg.OpenKey("\\Software\\Bad\nName", true));
    EXPECT_FALSE(reg.KeyExists("\\Software"));

    ASSERT_TRUE(reg.OpenKey("\\Software\\Quillar\\Sub\\Deeper", true));
    EXPECT_EQ(reg.ReadString("missing"), "");
    EXPECT_THROW(reg.ReadInteger("missing"), ERegistryException);
    EXPECT_THROW(reg.ReadBinaryData("missing"), ERegistryException);
    reg.WriteString("text", "1");
    reg.WriteInteger("number", 1);
    EXPECT_THROW(reg.ReadInteger("text"), ERegistryException);
    EXPECT_THROW(reg.ReadString("number"), ERegistryException);

    // A key deleted behind an open key's back takes no more values and is not made again.
    TRegistry other;
    EXPECT_FALSE(other.DeleteKey("\\"));
    EXPECT_FALSE(other.DeleteKey("\\Software\\Nothing"));
    ASSERT_TRUE(other.CreateKey("\\Software\\Quillar\\Sibling"));
    ASSERT_TRUE(other.DeleteKey("\\software\\QUILLAR\\sub")); // with everything below it
    EXPECT_FALSE(other.KeyExists("\\Software\\Quillar\\Sub\\Deeper"));
    EXPECT_TRUE(other.KeyExists("\\Software\\Quillar\\Sibling"));
    EXPECT_THROW(reg.WriteString("late", "x"), ERegistryException);
    EXPECT_FALSE(other.KeyExists("\\Software\\Quillar\\Sub"));
    EXPECT_TRUE(other.KeyExists("\\Software\\Quillar"));

    // A key opened read-only takes no values.
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Quillar"));
    EXPECT_THROW(reg.WriteInteger("x", 1), ERegistryException);
    EXPECT_FALSE(reg.DeleteValue("x"));
}

// A store that cannot be written or read refuses changes and never overwrites what it could
// not read.
TEST(Registry, StoreThatCannotBeUsed) {
    TempDir dir;
    WriteFile(dir / "plainfile", "x");
    {
        EnvGuard config("XDG_CONFIG_HOME", (dir / "plainfile").c_str());
        TRegistry reg;
        EXPECT_FALSE(reg.OpenKey("\\Software\\Quillar", true));
        EXPECT_FALSE(reg.CreateKey("\\Software"));
        EXPECT_THROW(reg.WriteString("x", "y"), ERegistryException);
    }
    EnvGuard config("XDG_CONFIG_HOME", dir.Str().c_str());
    fs::create_directories(RegistryFileName(TRegRoot::CurrentUser)); // a folder where the file goes
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("\\Software", true));
    EXPECT_TRUE(fs::is_directory(RegistryFileName(TRegRoot::CurrentUser)));
}

// Damaged text: every line that makes sense is kept, the others are skipped, and the damaged
// file is kept beside the store before it is first rewritten.
TEST(Registry, DamagedTextKeepsWhatItCan) {
    struct Case {
        std::string Text;
        int BadLines;
        std::string Expected; // FormatRegistryText of what was read
    };
    const std::string head = "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n";
    const std::vector<Case> cases = {
        {"", 0, "REGEDIT4\n"},
        {"garbage\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:1\n", 1,
         "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:00000001\n"},
        {"REGEDIT4\n\"orphan\"=\"x\"\n", 1, "REGEDIT4\n"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\"\n[HKEY_CURRENT_USERX]\n[HKEY_CURRENT_USER\\\\A]\n",
         4, "REGEDIT4\n"},
        {head + "\"a\"=dword:123456789\n\"b\"=dword:\n\"c\"=dword:xyz\n\"d\"=hex:0\n\"e\"=hex:01,\n\"f\"=hex:"
                "0102\n",
         6, "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n"},
        {head + "\"a\"=\"unterminated\n\"b\"=\"bad\\q\"\n\"c\"=\"x\"tail\n\"\"=\"empty "
                "name\"\n\"d\"\n\"e\"=\"\\x4\"\n",
         6, "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n"},
        {head + "\"ok\"=\"1\"\r\n\"OK\"=\"2\"\r\n[HKEY_CURRENT_USER\\a]\r\n@=hex:ff\r\n", 0,
         "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"ok\"=\"2\"\n@=hex:ff\n"},
        {std::string("REGEDIT4\n[HKEY_CURRENT_USER\\A\x01]\n\"v\"=\"x\"\n") + AllBytes, 4, "REGEDIT4\n"},
        // A file cut short: inside a section line, inside a value.
        {head + "\"kept\"=dword:00000002\n[HKEY_CURRENT_USER\\B", 1,
         "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"kept\"=dword:00000002\n"},
        {head + "\"kept\"=hex:01,02\n\"cut\"=hex:01,0", 1,
         "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"kept\"=hex:01,02\n"},
    };
    for (const Case& c : cases) {
        const TRegParseResult parsed = ParseRegistryText(c.Text, "HKEY_CURRENT_USER");
        EXPECT_EQ(parsed.BadLines, c.BadLines) << c.Text;
        EXPECT_EQ(FormatRegistryText(parsed.Root, "HKEY_CURRENT_USER"), c.Expected) << c.Text;
    }

    RegistrySandbox sandbox;
    const std::string damaged = head + "\"kept\"=\"yes\"\nnonsense\n";
    fs::create_directories(RegistryFolder());
    WriteFile(RegistryFileName(TRegRoot::CurrentUser), damaged);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\A", false));
    EXPECT_EQ(reg.ReadString("kept"), "yes");
    reg.WriteString("new", "1");
    EXPECT_EQ(ReadFile(RegistryFileName(TRegRoot::CurrentUser) + ".damaged"), damaged);
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"kept", "new"}));
}

// A reader always sees the file as it is now: text changed in place behind its back (same size,
// same inode, within the same clock tick: what another program or an editor may do) and a file
// put back after a value was written again unchanged are read afresh, never from what an
// earlier read of the same root parsed.
TEST(Registry, ReadsSeeTheFileAsItIsNow) {
    RegistrySandbox sandbox;
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Quillar\\Now", true));
    reg.WriteString("word", "aaaa");
    EXPECT_EQ(reg.ReadString("word"), "aaaa");
    const std::string file = RegistryFileName(TRegRoot::CurrentUser);
    std::string text = ReadFile(file);
    text.replace(text.find("aaaa"), 4, "bbbb");
    {
        std::ofstream inPlace(file, std::ios::binary | std::ios::in | std::ios::out);
        inPlace.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    EXPECT_EQ(reg.ReadString("word"), "bbbb");
    // Written again unchanged, then the file is taken away: the value is gone.
    reg.WriteString("word", "bbbb");
    EXPECT_EQ(ReadFile(file), text);
    ASSERT_EQ(::unlink(file.c_str()), 0);
    EXPECT_FALSE(reg.ValueExists("word"));
    EXPECT_FALSE(TRegistry().KeyExists("\\Software\\Quillar\\Now"));
}

// A file that has not changed for a while is read from memory while it stays the same file;
// a change in place, or a new file put in place with the old one's size and times, is read at
// once.
TEST(Registry, ASettledFileChangedIsReadAgain) {
    RegistrySandbox sandbox;
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Quillar\\Settled", true));
    reg.WriteString("word", "aaaa");
    const std::string file = RegistryFileName(TRegRoot::CurrentUser);
    // Older than any tick of a file system's clock.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(reg.ReadString("word"), "aaaa");
    EXPECT_EQ(reg.ReadString("word"), "aaaa");
    std::string text = ReadFile(file);
    text.replace(text.find("aaaa"), 4, "bbbb");
    {
        std::ofstream inPlace(file, std::ios::binary | std::ios::in | std::ios::out);
        inPlace.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    EXPECT_EQ(reg.ReadString("word"), "bbbb");

    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(reg.ReadString("word"), "bbbb");
    struct stat old {};
    ASSERT_EQ(::stat(file.c_str(), &old), 0);
    text.replace(text.find("bbbb"), 4, "cccc");
    const std::string other = file + ".other";
    {
        std::ofstream fresh(other, std::ios::binary);
        fresh.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    const timespec times[2] = {old.st_atim, old.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, other.c_str(), times, 0), 0);
    ASSERT_EQ(::rename(other.c_str(), file.c_str()), 0);
    EXPECT_EQ(reg.ReadString("word"), "cccc");
}

// Writers in several threads and several processes at once: no value is lost.
TEST(Registry, ConcurrentWritersLoseNothing) {
    RegistrySandbox sandbox;
    constexpr int Writers = 4, Values = 25;
    auto writeMany = [](const std::string& Prefix) {
        try {
            TRegistry reg;
            if (!reg.OpenKey("\\Software\\Quillar\\Shared", true)) return false;
            for (int i = 0; i < Values; ++i)
                reg.WriteInteger(Prefix + std::to_string(i), i);
            return true;
        } catch (const ERegistryException&) {
            return false;
        }
    };
    std::vector<pid_t> children;
    for (int p = 0; p < Writers; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) ::_exit(writeMany("p" + std::to_string(p) + "_") ? 0 : 1);
        children.push_back(pid);
    }
    std::vector<std::thread> threads;
    std::atomic<int> failed{0};
    for (int t = 0; t < Writers; ++t) {
        threads.emplace_back([&, t] {
            if (!writeMany("t" + std::to_string(t) + "_")) ++failed;
        });
    }
    for (std::thread& t : threads)
        t.join();
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(failed, 0);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Quillar\\Shared"));
    EXPECT_EQ(reg.GetValueNames().size(), static_cast<std::size_t>(2 * Writers * Values));
    for (const char* kind : {"p", "t"}) {
        for (int w = 0; w < Writers; ++w) {
            EXPECT_EQ(reg.ReadInteger(kind + std::to_string(w) + "_" + std::to_string(Values - 1)),
                      Values - 1);
        }
    }
}
