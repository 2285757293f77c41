#include "app/dialogs/Configuration.h"

#include "app/common/AppSettings.h"
#include "app/common/ShellUtils.h"
#include "app/common/SystemUtils.h"
#include "platform/Registry.h"
#include "platform/Shell.h"

#include "DesktopSandbox.h"
#include "ScriptedPrompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

using namespace testsupport;

namespace {

class Configuration : public testing::Test {
protected:
    void SetUp() override {
        AppSettings() = TAppSettings{};
        AppSettings().UserIsAdmin = true;
        AppSettings().FileListFont = "-16777208|-11|Sans|0|96|8|nnnn";
        WriteFile(FProgram, "#!/bin/sh\n");
        FPrompter.Prompter().DefaultsAllowed = false;
    }
    void TearDown() override { AppSettings() = TAppSettings{}; }

    template <class T> static T& Get(TfmConfiguration& Dialog, const char* Name) {
        T* control = Dialog.findChild<T*>(QString::fromLatin1(Name));
        if (!control) throw std::runtime_error(std::string("no control ") + Name);
        return *control;
    }
    static bool Checked(TfmConfiguration& Dialog, const char* Name) {
        return Get<QAbstractButton>(Dialog, Name).isChecked();
    }
    static bool Enabled(TfmConfiguration& Dialog, const char* Name) {
        return Get<QWidget>(Dialog, Name).isEnabled();
    }
    // Every value the settings store writes for the record, by section and name.
    static std::map<std::string, std::string> Stored(const TAppSettings& Record) {
        AppSettings() = Record;
        SaveSettings();
        std::map<std::string, std::string> values;
        for (const char* section : {"View", "Toolbar", "Folders", "ProgramLocations", "ShellExtensions",
                                    "Miscellaneous", "TrayIcon"}) {
            TRegistry reg;
            if (!reg.OpenKeyReadOnly(std::string("\\Software\\Quillar\\") + section)) continue;
            for (const std::string& name : reg.GetValueNames()) {
                values[std::string(section) + '/' + name] = reg.GetDataType(name) == rdInteger
                                                                ? std::to_string(reg.ReadInteger(name))
                                                                : reg.ReadString(name);
            }
        }
        return values;
    }

    DesktopSandbox FDesktop;
    ScriptedPrompterGuard FPrompter;
    const fs::path FProgram = FDesktop.Home() / "viewer";
};

} // namespace

// Every control changed from the defaults changes its value of the record, and a dialog over the
// changed record gives it back unchanged.
TEST_F(Configuration, EveryFieldRoundTrips) {
    const TAppSettings defaults = AppSettings();
    {
        TfmConfiguration dialog;
        for (QCheckBox* box : dialog.findChildren<QCheckBox*>()) {
            if (box->objectName() != QLatin1String("ckColFilename")) box->setChecked(!box->isChecked());
        }
        // Each group of radio buttons moves to the button before the checked one.
        std::map<QWidget*, std::vector<QRadioButton*>> groups;
        for (QRadioButton* button : dialog.findChildren<QRadioButton*>())
            groups[button->parentWidget()].push_back(button);
        for (auto& [parent, buttons] : groups) {
            std::size_t checked = 0;
            while (!buttons[checked]->isChecked())
                ++checked;
            buttons[(checked + buttons.size() - 1) % buttons.size()]->setChecked(true);
        }
        QListWidget& toolbar = Get<QListWidget>(dialog, "clbToolbarButtons");
        ASSERT_EQ(toolbar.count(), 21);
        for (int i = 0; i < toolbar.count(); ++i)
            toolbar.item(i)->setCheckState(toolbar.item(i)->checkState() == Qt::Checked ? Qt::Unchecked
                                                                                        : Qt::Checked);
        Get<QComboBox>(dialog, "cbAVProduct").setCurrentIndex(6);
        Get<QComboBox>(dialog, "cbSxPath").setCurrentIndex(1);
        Get<QComboBox>(dialog, "cbSxArcType").setCurrentIndex(0);
        Get<QSpinBox>(dialog, "udSxMaxFilesInfo").setValue(50);
        Get<QSpinBox>(dialog, "udMRUList").setValue(3);
        int n = 0;
        for (const char* edit :
             {"rxdeOpen", "rxdeAdd", "rxdeExtract", "rxdeTemp", "rxdeCheckOut", "edAVParameters"})
            Get<QLineEdit>(dialog, edit).setText(QStringLiteral("/folder/%1").arg(++n));
        Get<QLineEdit>(dialog, "rxfeDefaultViewer").setText(QString::fromStdString(FProgram.string()));
        Get<QLineEdit>(dialog, "rxfeVirusScanner").setText(QString::fromStdString(FProgram.string()) + " ");
        WriteFile(FProgram.string() + " ", "#!/bin/sh\n");
        dialog.buOKClick();
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
    }
    const TAppSettings changed = AppSettings();
    {
        TfmConfiguration dialog;
        dialog.buOKClick();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_TRUE(AppSettings() == changed);
    }
    TRegistry(TRegRoot::LocalMachine).CreateKey("\\Software\\Quillar\\FileAssociations");
    const std::map<std::string, std::string> before = Stored(defaults), after = Stored(changed);
    ASSERT_EQ(before.size(), after.size());
    for (const auto& [name, value] : before) {
        if (name == "View/FileListFont") continue;
        EXPECT_NE(after.at(name), value) << name;
    }
    for (bool TAppSettings::*flag : {&TAppSettings::Ace, &TAppSettings::Uu, &TAppSettings::Zoo,
                                     &TAppSettings::CheckAssociations, &TAppSettings::EnableAssociations})
        EXPECT_NE(changed.*flag, defaults.*flag);
}

// Values outside a control's choices show as its first choice and come back as that choice.
TEST_F(Configuration, ValuesShownThroughAnotherIndex) {
    TAppSettings& record = AppSettings();
    record.DoubleClickSel = false;
    record.MouseSelection = 7;
    record.ExtractLast = record.ExtractSame = true;
    record.DoubleClick = 5;
    record.ListFormat = -1;
    TfmConfiguration dialog;
    EXPECT_TRUE(Checked(dialog, "rbUnderlineMouse"));
    EXPECT_TRUE(Checked(dialog, "rbExtractLast"));
    EXPECT_TRUE(Checked(dialog, "rbTiClickQuillar"));
    EXPECT_TRUE(Checked(dialog, "rbTiMRUFilename"));
    EXPECT_TRUE(Checked(dialog, "ckColFilename") && !Enabled(dialog, "ckColFilename"));
    dialog.buOKClick();
    EXPECT_EQ(record.MouseSelection, 1);
    EXPECT_TRUE(record.ExtractLast && !record.ExtractSame);
    EXPECT_EQ(record.DoubleClick, 0);
    EXPECT_EQ(record.ListFormat, 0);
}

// The two path checks keep the dialog open on the Program Locations page; a preset's scanner
// that is installed passes.
TEST_F(Configuration, OkChecksThePaths) {
    const std::string missing = (FDesktop.Home() / "missing").string();
    const std::string program = FProgram.string();
    struct TCase {
        int AVProduct;
        std::string Scanner;
        const char* Viewer;
        std::string ViewerPath;
        const char* Message; // nullptr: OK passes
    };
    const std::vector<TCase> cases = {
        {1, "", "rbViewerAssociated", missing, nullptr},
        {0, missing, "rbViewerAssociated", "", nullptr},
        {1, missing, "rbViewerAssociated", "", "The location of your antivirus software is invalid."},
        {1, FDesktop.Home().string(), "rbViewerAssociated", "", "The location of your antivirus software"},
        {0, "", "rbViewerAsk", program, nullptr},
        {0, "", "rbViewerExternal", "", "The location of your external viewer is invalid."},
        {0, "", "rbViewerExAssociated", missing, "The location of your external viewer is invalid."},
    };
    for (const TCase& c : cases) {
        AppSettings() = TAppSettings{};
        AppSettings().UserIsAdmin = true;
        const TAppSettings before = AppSettings();
        FPrompter.Prompter().Prompts.clear();
        if (c.Message) FPrompter.Prompter().Answers = {mrOk};
        TfmConfiguration dialog;
        Get<QComboBox>(dialog, "cbAVProduct").setCurrentIndex(c.AVProduct);
        Get<QLineEdit>(dialog, "rxfeVirusScanner").setText(QString::fromStdString(c.Scanner));
        Get<QRadioButton>(dialog, c.Viewer).setChecked(true);
        Get<QLineEdit>(dialog, "rxfeDefaultViewer").setText(QString::fromStdString(c.ViewerPath));
        dialog.buOKClick();
        EXPECT_EQ(dialog.result(), c.Message ? QDialog::Rejected : QDialog::Accepted)
            << c.Scanner << c.Viewer;
        if (!c.Message) continue;
        ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
        EXPECT_TRUE(FPrompter.Prompter().Prompts[0].Text.startsWith(QString::fromLatin1(c.Message)));
        EXPECT_EQ(Get<QTabWidget>(dialog, "pcConfig").currentIndex(), 3);
        EXPECT_TRUE(AppSettings() == before);
    }

    // A preset fills both edits; an installed scanner is given by its full path and passes.
    TempDir bin;
    WriteFile(bin / "clamscan", "#!/bin/sh\n");
    ::chmod((bin / "clamscan").c_str(), 0755);
    EnvGuard path("PATH", (bin.Str() + ":" + std::getenv("PATH")).c_str());
    TfmConfiguration dialog;
    Get<QComboBox>(dialog, "cbAVProduct").setCurrentIndex(3); // not installed: its bare name
    EXPECT_EQ(Get<QLineEdit>(dialog, "rxfeVirusScanner").text(), QLatin1String("clamdscan"));
    Get<QComboBox>(dialog, "cbAVProduct").setCurrentIndex(2);
    EXPECT_EQ(Get<QLineEdit>(dialog, "rxfeVirusScanner").text().toStdString(), (bin / "clamscan").string());
    EXPECT_EQ(Get<QLineEdit>(dialog, "edAVParameters").text(), QLatin1String("--recursive --infected ."));
    dialog.buOKClick();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(AppSettings().VirusScanner, (bin / "clamscan").string());
    EXPECT_EQ(AppSettings().AVProduct, 2);
}

TEST_F(Configuration, EnableRules) {
    AppSettings().ShowMRU = false;
    TfmConfiguration dialog;
    dialog.show();
    // Underlining only for a single click; folder edits only for their custom folder.
    EXPECT_FALSE(Enabled(dialog, "rbUnderlineNever"));
    Get<QRadioButton>(dialog, "rbSingleClick").setChecked(true);
    EXPECT_TRUE(Enabled(dialog, "rbUnderlineNever"));
    EXPECT_FALSE(Enabled(dialog, "rxdeOpen"));
    Get<QRadioButton>(dialog, "rbOpenCustom").setChecked(true);
    EXPECT_TRUE(Enabled(dialog, "rxdeOpen"));
    EXPECT_FALSE(Enabled(dialog, "rxdeExtract"));
    // Shell extensions off: the page's other controls too.
    Get<QCheckBox>(dialog, "ckSxShowListingInfo").setChecked(false);
    EXPECT_FALSE(Enabled(dialog, "udSxMaxFilesInfo") || Enabled(dialog, "edSxMaxFilesInfo"));
    Get<QCheckBox>(dialog, "ckSxShowListingInfo").setChecked(true);
    EXPECT_TRUE(Enabled(dialog, "edSxMaxFilesInfo"));
    Get<QCheckBox>(dialog, "ckShellExtensions").setChecked(false);
    EXPECT_FALSE(Enabled(dialog, "ckSxCascade") || Enabled(dialog, "cbSxArcType") ||
                 Enabled(dialog, "ckSxTest"));
    EXPECT_TRUE(Enabled(dialog, "ckShellExtensions"));
    // Back on with the listing box off, the file count stays off; the page's note is never greyed.
    Get<QCheckBox>(dialog, "ckSxShowListingInfo").setChecked(false);
    Get<QCheckBox>(dialog, "ckShellExtensions").setChecked(true);
    EXPECT_TRUE(Enabled(dialog, "ckSxCascade") && Enabled(dialog, "ckSxShowListingInfo"));
    EXPECT_FALSE(Enabled(dialog, "udSxMaxFilesInfo") || Enabled(dialog, "edSxMaxFilesInfo") ||
                 Enabled(dialog, "laSxMaxFilesInfo"));
    EXPECT_TRUE(Enabled(dialog, "laShellNote"));
    // Associations off: the check and the types, not the select buttons.
    Get<QCheckBox>(dialog, "ckEnableAssociations").setChecked(false);
    EXPECT_FALSE(Enabled(dialog, "ckCheckAssociations") || Enabled(dialog, "ckZip"));
    EXPECT_TRUE(Enabled(dialog, "buAssocSelectAll"));
    Get<QPushButton>(dialog, "buAssocSelectAll").click();
    EXPECT_TRUE(Checked(dialog, "ckZoo") && Checked(dialog, "ckAce"));
    // The recent-list format needs the tray and its list.
    EXPECT_FALSE(Enabled(dialog, "rbTiMRUFullpath"));
    Get<QCheckBox>(dialog, "ckTiShowMRU").setChecked(true);
    EXPECT_TRUE(Enabled(dialog, "rbTiMRUFullpath"));
    Get<QCheckBox>(dialog, "ckTiEnableTray").setChecked(false);
    EXPECT_FALSE(Enabled(dialog, "rbTiMRUFullpath") || Enabled(dialog, "rbTiClickWizard"));
    // One start-up action at most.
    Get<QCheckBox>(dialog, "ckStartupWizard").click();
    Get<QCheckBox>(dialog, "ckStartupOpen").click();
    EXPECT_TRUE(Checked(dialog, "ckStartupOpen") && !Checked(dialog, "ckStartupWizard"));
    // The association page, once shown, is reported; Cancel leaves the record.
    const TAppSettings before = AppSettings();
    EXPECT_FALSE(dialog.AssociationsPageShown);
    Get<QTabWidget>(dialog, "pcConfig").setCurrentIndex(5);
    EXPECT_TRUE(dialog.AssociationsPageShown);
    EXPECT_EQ(dialog.HelpTopic(), QLatin1String("Hlp_CFG_File"));
    Get<QPushButton>(dialog, "buCancel").click();
    EXPECT_TRUE(AppSettings() == before);

    // A user who is no administrator sees the page disabled with the notice; OK keeps the flags.
    AppSettings().UserIsAdmin = false;
    AppSettings().Zip = true;
    TfmConfiguration plain;
    EXPECT_FALSE(Enabled(plain, "ckEnableAssociations") || Enabled(plain, "ckZip") ||
                 Enabled(plain, "buAssocDeselectAll"));
    EXPECT_FALSE(Get<QLabel>(plain, "laNoPermission").isHidden() ||
                 Get<QWidget>(plain, "bvNoPermission").isHidden());
    EXPECT_TRUE(Get<QWidget>(dialog, "bvNoPermission").isHidden());
    plain.buOKClick();
    EXPECT_TRUE(AppSettings().Zip && !AppSettings().Arc);
}

TEST_F(Configuration, InfoTipSampleText) {
    const std::string full =
        " Type: ZIP \n\r Modified Date: 29/03/2002 11:39AM \n\r Packed Size: 72,538 bytes \n\r"
        " Unpacked Size: 254,811 bytes \n\r Files in Archive: 3 \n\r Compression Ratio: 68% \n\r"
        " Files Listing:\n\r - TestFile.txt\n\r - SomePic.jpg\n\r - YetAnotherFile.doc| ";
    TfmConfiguration dialog;
    QLabel& sample = Get<QLabel>(dialog, "imSxTestArea");
    EXPECT_EQ(sample.toolTip().toStdString(), full);
    const char* boxes[] = {"ckSxArcTypeInfo",  "ckSxDateInfo",  "ckSxPackedSizeInfo", "ckSxUnpackedSizeInfo",
                           "ckSxNumFilesInfo", "ckSxRatioInfo", "ckSxShowListingInfo"};
    for (const char* box : boxes)
        Get<QCheckBox>(dialog, box).setChecked(false);
    EXPECT_EQ(sample.toolTip(), QString());
    Get<QCheckBox>(dialog, "ckSxShowListingInfo").setChecked(true);
    EXPECT_TRUE(sample.toolTip().startsWith(QLatin1String(" Files Listing:\n\r - TestFile.txt")));
    Get<QCheckBox>(dialog, "ckSxRatioInfo").setChecked(true);
    EXPECT_EQ(sample.toolTip().toStdString(), full.substr(full.find(" Compression")));
}

TEST_F(Configuration, ShortcutsNow) {
    SetProgramFilePath(FProgram.string());
    TfmConfiguration dialog;
    Get<QCheckBox>(dialog, "ckShortcutStartMenu").setChecked(false);
    Get<QCheckBox>(dialog, "ckShortcutDesktop").setChecked(false);
    FPrompter.Prompter().Answers = {mrOk, mrOk};
    dialog.buCreateShortcutsClick();
    Get<QCheckBox>(dialog, "ckShortcutStartMenu").setChecked(true);
    dialog.buCreateShortcutsClick();
    SetProgramFilePath({});
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 2u);
    EXPECT_TRUE(
        FPrompter.Prompter().Prompts[0].Text.startsWith(QLatin1String("You must select at least one type")));
    EXPECT_EQ(FPrompter.Prompter().Prompts[1].Text, QLatin1String("Shortcuts successfully created."));
    const std::string entry = ReadFile(FDesktop.Data() / "applications/Quillar.desktop");
    EXPECT_NE(entry.find("Exec=\"" + FProgram.string() + '"'), std::string::npos) << entry;
}

// Create Now with no desktop folder: the menu entry is made and said to be; the desktop
// shortcut is named as the one missing, with its folder.
TEST_F(Configuration, ShortcutsNowWithoutADesktopFolder) {
    SetProgramFilePath(FProgram.string());
    const QString desktop = QString::fromStdString(GetSpecialFolderPath(sfDesktopDirectory));
    fs::remove_all(desktop.toStdString());
    TfmConfiguration dialog;
    Get<QCheckBox>(dialog, "ckShortcutStartMenu").setChecked(true);
    Get<QCheckBox>(dialog, "ckShortcutDesktop").setChecked(true);
    FPrompter.Prompter().Answers = {mrOk};
    dialog.buCreateShortcutsClick();
    SetProgramFilePath({});
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
    EXPECT_EQ(FPrompter.Prompter().Prompts[0].Text,
              "The menu entry was created.\r\nThe desktop shortcut could not be created: there is no desktop "
              "folder " +
                  desktop + ".");
    EXPECT_TRUE(fs::exists(FDesktop.Data() / "applications/Quillar.desktop"));
}
