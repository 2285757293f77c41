#include "app/common/AppSettings.h"

#include "app/common/SettingValues.h"
#include "app/common/ShellExtensionKeys.h"
#include "app/common/SystemUtils.h"
#include "platform/Registry.h"

#include "RegistrySandbox.h"
#include "ScriptedPrompter.h"

#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using namespace testsupport;

namespace {

const std::string Key = "\\Software\\Quillar";

// A private registry, a fresh record and a program placed in a temporary folder.
class Settings : public testing::Test {
protected:
    void SetUp() override {
        AppSettings() = TAppSettings{};
        AppSettings().FileListFont = "-16777208|-11|Sans|0|96|8|nnnn";
        SetProgramFilePath((FSandbox.Dir() / "bin/quillar").string());
        fs::create_directories(FSandbox.Dir() / "bin");
    }
    void TearDown() override {
        SetProgramFilePath({});
        AppSettings() = TAppSettings{};
    }
    RegistrySandbox FSandbox;
    ScriptedPrompterGuard FPrompter; // a question nobody scripted fails the test
};

// Every value of a key, as "name=value" lines.
std::string Dump(TRegRoot Root, const std::string& Path) {
    TRegistry reg(Root);
    if (!reg.OpenKeyReadOnly(Path)) return "<missing>";
    std::string out;
    for (const std::string& name : reg.GetValueNames()) {
        out += name + '=' +
               (reg.GetDataType(name) == rdInteger ? std::to_string(reg.ReadInteger(name))
                                                   : reg.ReadString(name)) +
               '\n';
    }
    return out;
}

const std::vector<std::string> Sections = {
    "View", "Toolbar", "Folders", "ProgramLocations", "ShellExtensions", "Miscellaneous", "TrayIcon"};

} // namespace

// The first run seeds every section and the machine's association key exactly as the golden
// dump lists them; loading that gives the record its defaults and starts nothing.
TEST_F(Settings, FirstRunSeedsAndLoadsTheDefaults) {
    AppSettings().UserIsAdmin = true;
    SetProgramFilePath("/opt/quillar/bin/quillar");
    EXPECT_FALSE(SettingsViewKeyExists());
    ASSERT_TRUE(WriteDefaultSettings());
    EXPECT_TRUE(SettingsViewKeyExists());
    const std::string dump = ReadFile(RegistryFileName(TRegRoot::CurrentUser)) +
                             ReadFile(RegistryFileName(TRegRoot::LocalMachine));
    const fs::path golden =
        fs::path(QUILLAR_CORPUS_DIR).parent_path() / "app/dialogs" / "data/FirstRunDefaults.reg";
    // After a deliberate change of the defaults: run once with QUILLAR_UPDATE_GOLDEN=1 and review
    // the dump's difference.
    if (std::getenv("QUILLAR_UPDATE_GOLDEN")) WriteFile(golden, dump);
    EXPECT_EQ(dump, ReadFile(golden));
    EXPECT_FALSE(fs::exists(RegistryFileName(TRegRoot::ClassesRoot)));

    TAppSettings expected;
    expected.UserIsAdmin = true;
    expected.FileListFont = AppSettings().FileListFont;
    AppSettings().ColDate = false;
    LoadSettings();
    EXPECT_EQ(AppSettings(), expected);
    EXPECT_EQ(Dump(TRegRoot::CurrentUser, RunKey), "<missing>"); // the tray section was there

    // Seeding again puts the user's defaults back and leaves the machine's associations alone.
    WriteSettingBool("View", "ColDate", false);
    TRegistry machine(TRegRoot::LocalMachine);
    ASSERT_TRUE(machine.OpenKey(Key + "\\FileAssociations", false));
    machine.WriteBool("Zip", true);
    ASSERT_TRUE(WriteDefaultSettings());
    EXPECT_TRUE(machine.ReadBool("Zip"));
    EXPECT_TRUE(ReadSettingBool("View", "ColDate"));
}

// Every value of the record survives loading and saving: each seeded value is changed in the
// registry, loaded, saved into an empty registry and found there again.
TEST_F(Settings, EveryValueSurvivesLoadAndSave) {
    WriteDefaultSettings();
    const std::map<std::string, std::int32_t> numbers = {
        {"MouseSelection", 3}, {"ViewerType", 2}, {"AVProduct", 5},  {"MaxFilesInfo", 50}, {"adPath", 1},
        {"adArcType", 0},      {"MRUList", 10},   {"ListFormat", 1}, {"DoubleClick", 2}};
    std::map<std::string, std::string> changed;
    for (const std::string& section : Sections) {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(Key + '\\' + section, false));
        for (const std::string& name : reg.GetValueNames()) {
            if (name.ends_with("LastPath")) continue; // outside the record
            if (reg.GetDataType(name) == rdString) {
                reg.WriteString(name, "\"" + name + "\" \\ \xC3\xBC\r\n");
            } else {
                reg.WriteInteger(name, numbers.count(name) ? numbers.at(name) : 1 - reg.ReadInteger(name));
            }
        }
        changed[section] = Dump(TRegRoot::CurrentUser, Key + '\\' + section);
    }
    LoadSettings();
    const TAppSettings loaded = AppSettings();
    TRegistry().DeleteKey(Key);
    ASSERT_TRUE(SaveSettings());
    for (const std::string& section : Sections) {
        std::string expected = changed[section];
        if (section == "Folders") {
            for (const char* outside : {"OpenLastPath", "AddLastPath", "ExtractLastPath"}) {
                const auto at = expected.find(std::string(outside) + "=\n");
                expected.erase(at, std::string(outside).size() + 2);
            }
        }
        std::string saved = Dump(TRegRoot::CurrentUser, Key + '\\' + section);
        if (section == "Miscellaneous") {
            // The shell-extension switch is saved here a second time.
            EXPECT_NE(saved.find("ShellExtensions=0\n"), std::string::npos);
            saved.erase(saved.find("ShellExtensions=0\n"), 18);
        }
        // The same values; the order of a few differs in the save.
        std::multiset<std::string> a, b;
        std::istringstream sa(saved), sb(expected);
        for (std::string line; std::getline(sa, line);)
            a.insert(line);
        for (std::string line; std::getline(sb, line);)
            b.insert(line);
        EXPECT_EQ(a, b) << section;
    }
    AppSettings() = TAppSettings{};
    LoadSettings();
    EXPECT_EQ(AppSettings(), loaded);
    EXPECT_NE(loaded, TAppSettings{});
}

// Values of a later release are added when missing, once; the tray program is started once
// with its autostart value.
TEST_F(Settings, LoadingUpgradesAnEarlierRelease) {
    AppSettings().UserIsAdmin = true;
    WriteDefaultSettings();
    const fs::path marker = FSandbox.Dir() / "tray-started";
    WriteFile(FSandbox.Dir() / "bin/QuillarTray.exe",
              "#!/bin/sh\necho started >> '" + marker.string() + "'\n");
    ::chmod((FSandbox.Dir() / "bin/QuillarTray.exe").c_str(), 0755);
    TRegistry reg;
    ASSERT_TRUE(reg.DeleteKey(Key + "\\TrayIcon"));
    for (const auto& [section, name] :
         std::vector<std::pair<std::string, std::string>>{{"View", "FileListFont"},
                                                          {"ProgramLocations", "ViewerType"},
                                                          {"ShellExtensions", "cmExtractMultiple"},
                                                          {"ShellExtensions", "cmExtractMultipleTo"},
                                                          {"ShellExtensions", "cmExtractMultipleSep"},
                                                          {"ShellExtensions", "cmDDExtractHere"},
                                                          {"ShellExtensions", "cmDDExtractTo"},
                                                          {"Miscellaneous", "ConfirmCompress"}}) {
        ASSERT_TRUE(reg.OpenKey(Key + '\\' + section, false));
        ASSERT_TRUE(reg.DeleteValue(name));
    }
    WriteSettingBool("ShellExtensions", "cmExtractMultipleSep", false); // written again as True
    WriteSettingBool("Miscellaneous", "ConfirmDecompress", false);      // written again as True
    AppSettings().FileListFont = "new font";
    AppSettings().EnableTray = false;

    LoadSettings();
    EXPECT_EQ(ReadSettingString("View", "FileListFont"), "new font");
    EXPECT_EQ(ReadSettingInteger("ProgramLocations", "ViewerType"), 0);
    EXPECT_EQ(ReadSettingInteger("ShellExtensions", "cmExtractMultiple"), -1); // used, not written
    EXPECT_TRUE(AppSettings().cmExtractMultiple);
    EXPECT_TRUE(ReadSettingBool("ShellExtensions", "cmExtractMultipleSep"));
    EXPECT_TRUE(ReadSettingBool("ShellExtensions", "cmDDExtractTo"));
    EXPECT_TRUE(ReadSettingBool("Miscellaneous", "ConfirmDecompress"));
    EXPECT_TRUE(AppSettings().ConfirmDecompress);
    EXPECT_EQ(Dump(TRegRoot::CurrentUser, Key + "\\TrayIcon"),
              "EnableTray=1\nShowMRU=1\nListFormat=0\nDoubleClick=0\n");
    EXPECT_TRUE(AppSettings().EnableTray);
    const std::string tray = (FSandbox.Dir() / "bin/QuillarTray.exe").string();
    EXPECT_EQ(Dump(TRegRoot::CurrentUser, RunKey), "Quillar=\"" + tray + "\"\n");
    EXPECT_NE(ReadFile(FSandbox.Dir() / "autostart/Quillar.desktop").find("\nExec=" + tray + "\n"),
              std::string::npos);
    const std::string folder = (FSandbox.Dir() / "bin/").string();
    EXPECT_EQ(Dump(TRegRoot::ClassesRoot, "\\Directory\\shellex\\DragDropHandlers\\Quillar"),
              std::string("=") + DragDropMenuClass.ClassId + "\n");
    EXPECT_EQ(Dump(TRegRoot::ClassesRoot,
                   std::string("\\CLSID\\") + DragDropMenuClass.ClassId + "\\InprocServer32"),
              "=" + folder + "QuillarMenu.dll\nThreadingModel=Apartment\n");
    EXPECT_EQ(Dump(TRegRoot::CurrentUser, std::string(ApprovedKey) + '\\' + DropHandlerClass.ClassId),
              "=Quillar Drop Handler\n");
    // The tray program runs on its own; wait for its mark.
    for (int i = 0; i < 1000 && !fs::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ReadFile(marker), "started\n");

    // The next load finds everything in place and adds nothing.
    ASSERT_TRUE(RemoveFromRunKey("Quillar"));
    EXPECT_FALSE(RemoveFromRunKey("Quillar"));
    TRegistry(TRegRoot::ClassesRoot).DeleteKey("\\CLSID");
    LoadSettings();
    EXPECT_EQ(Dump(TRegRoot::CurrentUser, RunKey), "");
    EXPECT_FALSE(TRegistry(TRegRoot::ClassesRoot).KeyExists("\\CLSID"));
}

// Each upgrade of an earlier release's settings runs when its value is missing, and only then:
// what the user sets after it stays on the next load.
TEST_F(Settings, EachUpgradeRunsOnce) {
    struct Case {
        std::string Section;
        std::vector<std::string> Missing; // deleted before the first load
        std::string Name;                 // a value the upgrade writes
        std::string Upgraded;             // its text after the first load
        std::string UserValue;            // what the user sets it to next
    };
    const std::vector<Case> cases = {
        {"View", {"FileListFont"}, "FileListFont", "-16777208|-11|Sans|0|96|8|nnnn", "user font"},
        {"ProgramLocations", {"ViewerType"}, "ViewerType", "0", "3"},
        {"ShellExtensions", {"cmExtractMultipleTo"}, "cmExtractMultipleSep", "1", "0"},
        {"ShellExtensions", {"cmDDExtractHere"}, "cmDDExtractTo", "1", "0"},
        {"TrayIcon", {"EnableTray", "ShowMRU", "ListFormat", "DoubleClick"}, "ListFormat", "0", "1"},
        {"Miscellaneous", {"ConfirmCompress"}, "ConfirmDecompress", "1", "0"},
    };
    auto text = [](const std::string& Section, const std::string& Name) {
        TRegistry reg;
        if (!reg.OpenKeyReadOnly(Key + '\\' + Section) || !reg.ValueExists(Name))
            return std::string("<missing>");
        return reg.GetDataType(Name) == rdInteger ? std::to_string(reg.ReadInteger(Name))
                                                  : reg.ReadString(Name);
    };
    auto set = [](const std::string& Section, const std::string& Name, const std::string& Value) {
        if (Name == "FileListFont") return WriteSettingString(Section, Name, Value);
        WriteSettingInteger(Section, Name, std::stoi(Value));
    };
    for (const Case& c : cases) {
        TRegistry().DeleteKey(Key);
        AppSettings().FileListFont = "-16777208|-11|Sans|0|96|8|nnnn";
        ASSERT_TRUE(WriteDefaultSettings());
        set(c.Section, c.Name, c.UserValue); // an earlier release's value, overwritten by the upgrade
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(Key + '\\' + c.Section, false));
        for (const std::string& name : c.Missing)
            ASSERT_TRUE(reg.DeleteValue(name)) << name;
        LoadSettings();
        EXPECT_EQ(text(c.Section, c.Name), c.Upgraded) << c.Name;
        for (const std::string& name : c.Missing)
            EXPECT_NE(text(c.Section, name), "<missing>") << c.Section << ' ' << name;

        set(c.Section, c.Name, c.UserValue);
        AppSettings().FileListFont = "another font";
        LoadSettings();
        EXPECT_EQ(text(c.Section, c.Name), c.UserValue) << c.Name;
        // The Run value comes with the tray section's upgrade only.
        EXPECT_EQ(Dump(TRegRoot::CurrentUser, RunKey) != "<missing>", c.Section == "TrayIcon") << c.Name;
        TRegistry().DeleteKey(RunKey);
        RemoveFromRunKey("Quillar");
    }
}

// Damaged, missing and out-of-range values take their defaults; the load never stops half way.
TEST_F(Settings, BadValuesTakeTheirDefaults) {
    WriteDefaultSettings();
    WriteSettingInteger("View", "MouseSelection", 7);
    WriteSettingInteger("Miscellaneous", "MRUList", 100000);
    WriteSettingInteger("ProgramLocations", "ViewerType", -5);
    WriteSettingInteger("ShellExtensions", "MaxFilesInfo", 0);
    WriteSettingInteger("ProgramLocations", "AVProduct", 7);
    WriteSettingInteger("ShellExtensions", "adArcType", -1);
    WriteSettingString("View", "ColDate", "yes");
    WriteSettingInteger("View", "FileListFont", 3);
    WriteSettingBool("TrayIcon", "ShowMRU", false); // read after the damaged sections
    WriteSettingBool("View", "ColMethod", true);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(Key + "\\Toolbar", false));
    ASSERT_TRUE(reg.DeleteValue("BtnWizard"));
    TRegistry(TRegRoot::LocalMachine).DeleteKey(Key); // a user who never had the machine key

    AppSettings().Zip = true;
    LoadSettings();
    const TAppSettings& s = AppSettings();
    EXPECT_EQ(s.MouseSelection, 1);
    EXPECT_EQ(s.MRUList, 8);
    EXPECT_EQ(s.ViewerType, 0);
    EXPECT_EQ(s.MaxFilesInfo, 10);
    EXPECT_EQ(s.AVProduct, 0);
    EXPECT_EQ(s.adArcType, 6);
    EXPECT_TRUE(s.ColDate);
    EXPECT_EQ(s.FileListFont, "-16777208|-11|Sans|0|96|8|nnnn"); // the list's own font
    EXPECT_TRUE(s.BtnWizard);
    EXPECT_TRUE(s.ColMethod);
    EXPECT_FALSE(s.ShowMRU);
    EXPECT_FALSE(s.Zip);
    EXPECT_TRUE(s.CheckAssociations);
}

// Single values: neutral results where nothing can be read, and nothing written where nothing
// can be opened.
TEST_F(Settings, SingleValues) {
    EXPECT_EQ(ReadSettingString("Others", "MaskPassword"), "");
    EXPECT_TRUE(TRegistry().KeyExists(Key + "\\Others")); // made by the read
    WriteSettingBool("Others", "MaskPassword", true);
    WriteSettingString("Folders", "OpenLastPath", "/home/u/archives");
    WriteSettingInteger("Find", "Count", -7);
    EXPECT_TRUE(ReadSettingBool("Others", "MaskPassword"));
    EXPECT_EQ(ReadSettingString("Folders", "OpenLastPath"), "/home/u/archives");
    EXPECT_EQ(ReadSettingInteger("Find", "Count"), -7);
    // Missing or of another type.
    EXPECT_EQ(ReadSettingInteger("Find", "Missing"), -1);
    EXPECT_FALSE(ReadSettingBool("Find", "Missing"));
    EXPECT_EQ(ReadSettingInteger("Folders", "OpenLastPath"), -1);
    EXPECT_EQ(ReadSettingString("Find", "Count"), "");

    // A store that cannot be opened: told once, and nothing is written.
    {
        FPrompter.Prompter().Answers = {mrOk};
        EnvGuard config("XDG_CONFIG_HOME", (FSandbox.Dir() / "bin/quillar/cannot").c_str());
        WriteFile(FSandbox.Dir() / "bin/quillar", "a file, not a folder");
        WriteSettingInteger("Find", "Count", 5);
        EXPECT_EQ(ReadSettingInteger("Find", "Count"), -1);
        EXPECT_EQ(ReadSettingString("Folders", "OpenLastPath"), "");
        EXPECT_FALSE(ReadSettingBool("Others", "MaskPassword"));
        EXPECT_FALSE(SaveSettings());
        EXPECT_FALSE(WriteDefaultSettings());
        LoadSettings();
        TAppSettings defaults;
        defaults.FileListFont = "-16777208|-11|Sans|0|96|8|nnnn";
        EXPECT_EQ(AppSettings(), defaults); // the defaults in memory
        ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
        EXPECT_EQ(FPrompter.Prompter().Prompts[0].Type, mtWarning);
        EXPECT_TRUE(FPrompter.Prompter().Prompts[0].Text.contains(
            QString::fromStdString((FSandbox.Dir() / "bin/quillar/cannot/quillar").string())));
    }
    EXPECT_EQ(ReadSettingInteger("Find", "Count"), -7);
}

// The machine key is written only by an administrator, and only its two switches. Without the
// rights to the machine store (here its lock file is a folder: not even root can write that) a
// save leaves the machine store as it was.
TEST_F(Settings, MachineKeyOnlyForAdministrators) {
    AppSettings().UserIsAdmin = true;
    ASSERT_TRUE(WriteDefaultSettings());
    const std::string machineFile = RegistryFileName(TRegRoot::LocalMachine);
    const std::string before = ReadFile(machineFile);
    fs::remove(machineFile + ".lock");
    fs::create_directory(machineFile + ".lock");
    EXPECT_FALSE(IsAdmin());
    AppSettings().UserIsAdmin = IsAdmin();
    LoadSettings();
    AppSettings().CheckAssociations = false;
    AppSettings().Zip = true;
    AppSettings().ColMethod = true;
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(ReadFile(machineFile), before);
    EXPECT_TRUE(ReadSettingBool("View", "ColMethod"));
    // Told it may, a save that cannot reach the machine store still leaves it whole.
    FPrompter.Prompter().Answers = {mrOk};
    AppSettings().UserIsAdmin = true;
    EXPECT_FALSE(SaveSettings());
    EXPECT_EQ(ReadFile(machineFile), before);
    EXPECT_EQ(FPrompter.Prompter().Prompts.size(), 1u);

    fs::remove(machineFile + ".lock"); // an empty folder
    EXPECT_TRUE(IsAdmin());
    ASSERT_TRUE(SaveSettings());
    TRegistry machine(TRegRoot::LocalMachine);
    ASSERT_TRUE(machine.OpenKeyReadOnly(Key + "\\FileAssociations"));
    EXPECT_FALSE(machine.ReadBool("CheckAssociations"));
    EXPECT_FALSE(machine.ReadBool("Zip"));

    DeleteProgramKeys(false);
    EXPECT_FALSE(TRegistry().KeyExists(Key));
    EXPECT_TRUE(machine.KeyExists(Key));
    DeleteProgramKeys(true);
    EXPECT_FALSE(machine.KeyExists(Key));
}
