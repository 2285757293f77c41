// The main window's association upkeep: applying the flags, the start-up check and its
// question, the first run's question, and the removal of the registration from the command line.
#include "DialogDriver.h"
#include "MainWindowFixture.h"

#include "app/cli/CommandLine.h"
#include "app/common/AppSettings.h"
#include "app/dialogs/AssociateDlg.h"
#include "app/common/Associations.h"
#include "app/dialogs/Configuration.h"
#include "app/common/SettingValues.h"
#include "app/main/AssociationUpkeep.h"
#include "engine/write/krvRegArchive.h"
#include "platform/FileTypeBinding.h"
#include "platform/Registry.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const std::string AssocKey = "\\Software\\Quillar\\FileAssociations";
const std::string UserMimeApps =
    "[Default Applications]\napplication/zip=ark.desktop\ntext/plain=gedit.desktop\n"
    "\n[Added Associations]\napplication/x-tar=ark.desktop;\n";

class AssociationUpkeep : public MainWindowTest {
protected:
    AssociationUpkeep() { WriteFile(MimeAppsFile(), UserMimeApps); }
    fs::path MimeAppsFile() const { return FRegistry.Dir() / "mimeapps.list"; }
    std::string MimeApps() const { return fs::exists(MimeAppsFile()) ? ReadFile(MimeAppsFile()) : "<none>"; }
    static bool StoredFlag(const std::string& Ext) {
        TRegistry reg(TRegRoot::LocalMachine);
        return reg.OpenKeyReadOnly(AssocKey) && reg.GetDataType(Ext) == rdInteger && reg.ReadBool(Ext);
    }
    static void SetSwitches(bool Check, bool Enable, const std::vector<std::string>& Flagged) {
        TRegistry machine(TRegRoot::LocalMachine);
        ASSERT_TRUE(machine.OpenKey(AssocKey, true));
        machine.WriteValues(
            {{"CheckAssociations", rdInteger, {}, Check}, {"EnableAssociations", rdInteger, {}, Enable}});
        for (const std::string& ext : Flagged)
            machine.WriteBool(ext, true);
    }
};

} // namespace

// Only what changed is associated or restored; the registrar registers only new extensions;
// switching associations off gives every extension back.
TEST_F(AssociationUpkeep, ApplyFollowsTheFlags) {
    Open();
    TAssociationUpkeep upkeep;
    TAppSettings& settings = AppSettings();
    settings.EnableAssociations = true;
    settings.Zip = settings.Bh = true;
    upkeep.Apply();
    EXPECT_TRUE(StoredFlag("zip") && StoredFlag("bh"));
    EXPECT_EQ(ExtensionFileType("zip"), ProgramFileType);
    EXPECT_EQ(ExtensionFileType("bh"), ProgramFileType);

    // Nothing changed: no registration (the desktop entry is not written again).
    fs::remove(ProgramDesktopFile());
    upkeep.Apply();
    EXPECT_FALSE(fs::exists(ProgramDesktopFile()));

    // One flag cleared: only that extension goes back.
    settings.Zip = false;
    upkeep.Apply();
    EXPECT_FALSE(StoredFlag("zip"));
    EXPECT_EQ(ExtensionFileType("zip"), "ark.desktop");
    EXPECT_EQ(ExtensionFileType("bh"), ProgramFileType);

    // A user who may not change the machine's settings changes nothing.
    settings.UserIsAdmin = false;
    settings.Tar = true;
    upkeep.Apply();
    upkeep.Restore();
    EXPECT_FALSE(StoredFlag("tar"));
    EXPECT_EQ(ExtensionFileType("tar"), "");

    settings.UserIsAdmin = true;
    settings.EnableAssociations = false;
    upkeep.Apply();
    EXPECT_EQ(MimeApps(), UserMimeApps);
    EXPECT_FALSE(StoredFlag("bh"));
}

// The association question is its own dialog; Answer clicks Button after setting "Never ask me
// again" to Never, and counts the dialogs it answered.
QPointer<QTimer> AnswerAssociation(const char* Button, bool Never, int& Asked) {
    return AnswerNextModal<TfmAssociateDlg>([Button, Never, &Asked](TfmAssociateDlg& Dialog) {
        ++Asked;
        EXPECT_TRUE(Find<QLabel>(Dialog, "laText")
                        ->text()
                        .startsWith(QString::fromStdString(
                            "Quillar is not currently associated with some archive file types.")));
        Find<QCheckBox>(Dialog, "ckAskAgain")->setChecked(Never);
        Find<QPushButton>(Dialog, Button)->click();
    });
}

// At start-up a flagged type that another program took back is offered again: No leaves it,
// Yes associates it; once the program holds it nothing is asked. "Never ask me again" (with
// either answer) stops the question at later starts.
TEST_F(AssociationUpkeep, StartupCheckAsks) {
    SetSwitches(true, true, {"zip"});
    int asked = 0;
    AnswerAssociation("buNo", false, asked);
    Open();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(MimeApps(), UserMimeApps);

    AnswerAssociation("buYes", false, asked);
    Open();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ExtensionFileType("zip"), ProgramFileType);
    Open(); // now the program holds it: no question
    EXPECT_EQ(asked, 2);

    // Taken back by another program; No with "Never ask me again".
    FWindow.reset();
    WriteFile(MimeAppsFile(), UserMimeApps);
    AnswerAssociation("buNo", true, asked);
    Open();
    EXPECT_EQ(asked, 3);
    EXPECT_FALSE(AppSettings().CheckAssociations);
    EXPECT_EQ(MimeApps(), UserMimeApps);
    QPointer<QTimer> waiter = AnswerAssociation("buYes", false, asked);
    Open();
    EXPECT_EQ(asked, 3);
    EXPECT_FALSE(AppSettings().CheckAssociations);
    EXPECT_TRUE(FPrompter.Prompter().Prompts.empty());
    delete waiter.data();
}

// The first run of an administrator without bookkeeping asks once: Yes associates all 18
// types; the removal task then gives the user's list back and removes the program's keys.
TEST_F(AssociationUpkeep, FirstRunThenRemoveRegistration) {
    ASSERT_TRUE(TRegistry(TRegRoot::LocalMachine).DeleteKey("\\Software\\Quillar"));
    int asked = 0;
    AnswerAssociation("buYes", false, asked);
    Open();
    EXPECT_EQ(asked, 1);
    for (const char* ext : AssociationExts)
        EXPECT_TRUE(StoredFlag(ext) && ExtensionFileType(ext) == ProgramFileType) << ext;
    EXPECT_TRUE(
        TRegistry(TRegRoot::ClassesRoot).KeyExists("\\CLSID\\{CBB82E54-D721-4F35-AA9F-3761D3E05FC6}"));
    FWindow.reset();

    for (const char* task : {"-CREATEREG", "-UNKNOWN"}) {
        TCommandLine nothing({"-SYS", task});
        EXPECT_EQ(nothing.Run(), 0);
    }
    TCommandLine remove({"-SYS", "-REMOVEREG"});
    EXPECT_EQ(remove.Run(), 0);
    EXPECT_EQ(MimeApps(), UserMimeApps);
    EXPECT_FALSE(TRegistry().KeyExists("\\Software\\Quillar"));
    EXPECT_FALSE(TRegistry(TRegRoot::LocalMachine).KeyExists("\\Software\\Quillar"));
    EXPECT_FALSE(
        TRegistry(TRegRoot::ClassesRoot).KeyExists("\\CLSID\\{CBB82E54-D721-4F35-AA9F-3761D3E05FC6}"));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(FPrompter.Prompter().Prompts.empty());
}

// No at the first run: the bookkeeping is reset and the start-up check is off.
TEST_F(AssociationUpkeep, FirstRunDeclined) {
    ASSERT_TRUE(TRegistry(TRegRoot::LocalMachine).DeleteKey("\\Software\\Quillar"));
    int asked = 0;
    AnswerAssociation("buNo", false, asked);
    Open();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(AppSettings().CheckAssociations || AppSettings().EnableAssociations);
    EXPECT_EQ(MimeApps(), UserMimeApps);
    TRegistry machine(TRegRoot::LocalMachine);
    ASSERT_TRUE(machine.OpenKeyReadOnly(AssocKey + "\\.zoo"));
    EXPECT_FALSE(machine.ReadBool("Exist"));
}

// -SYS -CONFIG with a page: the dialog opens there; on OK the settings are saved and, as the
// association page was shown, the associations applied. A page that is no number is the first.
TEST_F(AssociationUpkeep, ConfigurationFromTheCommandLine) {
    SetSwitches(false, true, {});
    Open();
    FWindow.reset();
    int page = -1;
    auto answer = [&page](bool Zip) {
        QTimer::singleShot(0, [&page, Zip] {
            auto* dialog = qobject_cast<TfmConfiguration*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            page = dialog->findChild<QTabWidget*>(QStringLiteral("pcConfig"))->currentIndex();
            dialog->findChild<QCheckBox*>(QStringLiteral("ckZip"))->setChecked(Zip);
            dialog->findChild<QCheckBox*>(QStringLiteral("ckStayOnTop"))->setChecked(true);
            dialog->buOKClick();
        });
    };
    answer(true);
    TCommandLine config({"-SYS", "-CONFIG", "5"});
    EXPECT_EQ(config.Run(), 0);
    EXPECT_EQ(page, 5);
    EXPECT_TRUE(ReadSettingBool("Miscellaneous", "StayOnTop"));
    EXPECT_TRUE(StoredFlag("zip"));
    EXPECT_EQ(ExtensionFileType("zip"), ProgramFileType);

    answer(false);
    TCommandLine first({"-SYS", "-CONFIG", "page"});
    EXPECT_EQ(first.Run(), 0);
    EXPECT_EQ(page, 0);
    EXPECT_TRUE(StoredFlag("zip")); // the association page was not shown
}
