#include "app/common/Associations.h"

#include "app/common/AppSettings.h"
#include "app/common/ShellExtensionKeys.h"
#include "app/common/SystemUtils.h"
#include "engine/write/krvRegArchive.h"
#include "platform/FileTypeBinding.h"
#include "platform/Registry.h"

#include "DesktopSandbox.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const std::string AssocKey = "\\Software\\Quillar\\FileAssociations";

// A user's mimeapps.list with handlers of other programs and lines of every kind.
const std::string UserMimeApps = "# the user's own\n[Added Associations]\napplication/zip=peazip.desktop;\n\n"
                                 "[Default Applications]\napplication/zip=org.gnome.FileRoller.desktop;\n"
                                 "application/x-lha = ark.desktop\ntext/plain=gedit.desktop\n\n"
                                 "[Removed Associations]\napplication/x-tar=ark.desktop;\n";

class Associations : public testing::Test {
protected:
    void SetUp() override {
        AppSettings() = TAppSettings{};
        AppSettings().UserIsAdmin = true;
        SetProgramFilePath((FDesktop.Home() / "bin/quillar").string());
        WriteFile(FDesktop.Config() / "mimeapps.list", UserMimeApps);
        for (const char* id : {"org.gnome.FileRoller.desktop", "ark.desktop"})
            WriteFile(FDesktop.Data() / "applications" / id,
                      "[Desktop Entry]\nType=Application\nName=x\nExec=true %f\nMimeType=application/zip;\n");
    }
    void TearDown() override {
        SetProgramFilePath({});
        AppSettings() = TAppSettings{};
    }
    std::string MimeApps() const { return ReadFile(FDesktop.Config() / "mimeapps.list"); }
    void Register(const std::vector<std::string>& Exts) {
        TRegArchive reg;
        reg.SetProgramPath(ProgramFilePath());
        reg.SetExtDescription("Quillar");
        reg.SetArcExtensions(Exts);
        reg.RegisterExtensions();
    }
    static std::string Saved(const std::string& Ext) {
        TRegistry reg(TRegRoot::LocalMachine);
        if (!reg.OpenKeyReadOnly(AssocKey + "\\." + Ext)) return "<missing>";
        return std::to_string(reg.ValueExists("Exist") ? reg.ReadInteger("Exist") : -1) + '|' +
               reg.ReadString("Type") + '|' + reg.ReadString("Content");
    }
    static bool Flag(const std::string& Ext) {
        TRegistry reg(TRegRoot::LocalMachine);
        return reg.OpenKeyReadOnly(AssocKey) && reg.ValueExists(Ext) && reg.ReadBool(Ext);
    }
    DesktopSandbox FDesktop;
};

} // namespace

// Associating saves the previous handler once; restoring puts it back and leaves the user's
// mimeapps.list byte for byte as it was, whatever order the extensions go back in.
TEST_F(Associations, AssociateThenRestoreGivesBackTheUsersList) {
    for (const char* ext : {"zip", "lha", "bh"})
        AssociateExtension(ext);
    Register({".zip", ".lha", ".bh"});
    AssociateExtension("lzh");
    Register({".lzh"});
    EXPECT_EQ(ExtensionFileType("zip"), ProgramFileType);
    EXPECT_EQ(Saved("zip"), "1|org.gnome.FileRoller.desktop;|application/zip");
    EXPECT_EQ(Saved("lha"), "1|ark.desktop|application/x-lha");
    EXPECT_EQ(Saved("lzh"), "<missing>"); // its type was the program's already
    EXPECT_EQ(Saved("bh"), "<missing>");  // nothing held it
    EXPECT_TRUE(Flag("zip") && Flag("bh"));
    EXPECT_EQ(
        TRegistry(TRegRoot::ClassesRoot).KeyExists("\\.zip\\shellex\\{00021500-0000-0000-C000-000000000046}"),
        true);

    // Associated again: the program's own type is not saved over the previous handler.
    AssociateExtension("zip");
    EXPECT_EQ(Saved("zip"), "1|org.gnome.FileRoller.desktop;|application/zip");
    EXPECT_TRUE(IsExtensionAssociated("zip"));
    EXPECT_FALSE(IsExtensionAssociated("bh"));

    // lha goes first while lzh, of the same type, still holds it: the handler stays and lzh
    // takes over what was saved.
    UnassociateExtension("lha");
    EXPECT_EQ(ExtensionFileType("lzh"), ProgramFileType);
    EXPECT_EQ(Saved("lzh"), "1|ark.desktop|application/x-lha");
    for (const char* ext : {"lzh", "bh", "zip"})
        UnassociateExtension(ext);
    EXPECT_EQ(MimeApps(), UserMimeApps);
    EXPECT_FALSE(Flag("zip") || Flag("lha") || Flag("lzh") || Flag("bh"));
    EXPECT_EQ(Saved("zip"), "0|org.gnome.FileRoller.desktop;|application/zip");
    EXPECT_FALSE(TRegistry(TRegRoot::ClassesRoot)
                     .KeyExists("\\.zip\\shellex\\{00021500-0000-0000-C000-000000000046}"));
    const ToolResult handler = RunTool({"xdg-mime", "query", "default", "application/zip"});
    EXPECT_EQ(handler.Out, "org.gnome.FileRoller.desktop\n");

    // Restoring what is not associated changes nothing.
    UnassociateExtension("tar");
    EXPECT_EQ(MimeApps(), UserMimeApps);
}

// A handler that another program set after the association is that program's: restoring
// neither clears nor overwrites it.
TEST_F(Associations, RestoreLeavesAnotherProgramsNewHandler) {
    AssociateExtension("zip");
    AssociateExtension("bh");
    Register({".zip", ".bh"});
    ASSERT_TRUE(SetDefaultHandler("application/zip", "peazip.desktop"));
    ASSERT_TRUE(SetDefaultHandler("application/x-bh", "other.desktop"));
    UnassociateExtension("zip");
    UnassociateExtension("bh");
    EXPECT_EQ(DefaultHandler("application/zip"), "peazip.desktop");
    EXPECT_EQ(DefaultHandler("application/x-bh"), "other.desktop");
}

TEST_F(Associations, ResetSnapshotAndKeyTest) {
    EXPECT_FALSE(AssociationsKeyExists());
    // An older release's bookkeeping under the per-user key.
    TRegistry user;
    ASSERT_TRUE(user.OpenKey(AssocKey, true));
    user.WriteBool("Zip", true);
    user.WriteBool("CheckAssociations", false);
    ASSERT_TRUE(user.OpenKey(AssocKey + "\\.zip", true));
    user.WriteValues({{"Exist", rdInteger, {}, 1},
                      {"Content", rdString, "application/zip", 0},
                      {"Type", rdString, "ark.desktop", 0},
                      {"ShellNew", rdString, "", 0}});
    ASSERT_TRUE(user.OpenKey(AssocKey + "\\.arj", true));
    user.WriteValues({{"Exist", rdInteger, {}, 1}, {"Type", rdString, "no content, not copied", 0}});
    SnapshotAssociations();
    EXPECT_TRUE(AssociationsKeyExists());
    EXPECT_TRUE(Flag("zip"));
    EXPECT_EQ(Saved("zip"), "1|ark.desktop|application/zip");
    EXPECT_EQ(Saved("arj"), "1||");
    EXPECT_EQ(Saved("ace"), "<missing>");

    ResetAssociationFlags();
    EXPECT_FALSE(Flag("zip"));
    EXPECT_EQ(Saved("zip"), "0|ark.desktop|application/zip");
    EXPECT_EQ(Saved("ace"), "0||");
    TRegistry machine(TRegRoot::LocalMachine);
    ASSERT_TRUE(machine.OpenKeyReadOnly(AssocKey));
    EXPECT_FALSE(machine.ReadBool("CheckAssociations") || machine.ReadBool("EnableAssociations"));

    // Without a subkey the answer is the flag's alone, and the subkey is made neutral.
    ASSERT_TRUE(machine.OpenKey(AssocKey, true));
    machine.WriteBool("gz", true);
    EXPECT_FALSE(IsExtensionAssociated("gz"));
    EXPECT_EQ(Saved("gz"), "0||");
    EXPECT_TRUE(IsExtensionAssociated("cab"));
}

// Registration writes the classes and approved entries of the sibling libraries and takes the
// compressed-folder handlers off only when both are there; removal takes exactly what was
// written and gives those handlers back as they were; restoring .zip gives the compressed-folder
// class its category back.
TEST_F(Associations, ShellExtensionRegistration) {
    const std::string zipClass = "\\CLSID\\{E88DCCE0-B7B3-11d1-A9F0-00AA0060FA31}";
    const std::string category =
        zipClass + "\\Implemented Categories\\{00021490-0000-0000-C000-000000000046}";
    const std::string dropHandler =
        "\\Folder\\shellex\\DragDropHandlers\\{BD472F60-27FA-11cf-B8B4-444553540000}";
    TRegistry classes(TRegRoot::ClassesRoot);
    ASSERT_TRUE(classes.CreateKey(category) && classes.OpenKey(dropHandler, true));
    classes.WriteString("", "{ed9d80b9-d157-457b-9192-0e7280313bf0}");
    ASSERT_TRUE(classes.OpenKey(dropHandler + "\\Sub", true));
    classes.WriteInteger("Kept", 7);
    ASSERT_TRUE(classes.OpenKey("\\.zip", true));
    classes.WriteString("Other", "kept");

    AppSettings().UserIsAdmin = false;
    RegisterShellExtensions();
    EXPECT_FALSE(classes.KeyExists("\\Quillar"));
    AppSettings().UserIsAdmin = true;
    RegisterShellExtensions();
    EXPECT_FALSE(classes.KeyExists(category) || classes.KeyExists(dropHandler));
    ASSERT_TRUE(
        classes.OpenKeyReadOnly(std::string("\\CLSID\\") + InfoTipClass.ClassId + "\\InprocServer32"));
    EXPECT_EQ(classes.ReadString(""), ProgramFileFolder() + "QuillarInfoTip.dll");
    EXPECT_EQ(classes.ReadString("ThreadingModel"), "Apartment");
    ASSERT_TRUE(classes.OpenKeyReadOnly("\\.pk_\\shellex\\{00021500-0000-0000-C000-000000000046}"));
    EXPECT_EQ(classes.ReadString(""), InfoTipClass.ClassId);
    ASSERT_TRUE(classes.OpenKeyReadOnly("\\Drive\\shellex\\DragDropHandlers\\Quillar"));
    EXPECT_EQ(classes.ReadString(""), DragDropMenuClass.ClassId);
    TRegistry user;
    ASSERT_TRUE(user.OpenKeyReadOnly(std::string(ApprovedKey) + '\\' + DropHandlerClass.ClassId));
    EXPECT_EQ(user.ReadString(""), "Quillar Drop Handler");

    UnregisterShellExtensions();
    for (const char* key :
         {"\\CLSID\\{CBB82E54-D721-4F35-AA9F-3761D3E05FC6}", "\\*\\shellex\\ContextMenuHandlers\\Quillar",
          "\\Quillar\\shellex\\DropHandler", "\\Drive\\shellex\\DragDropHandlers\\Quillar",
          "\\.pk_\\shellex\\{00021500-0000-0000-C000-000000000046}"})
        EXPECT_FALSE(classes.KeyExists(key)) << key;
    EXPECT_FALSE(user.KeyExists(std::string(ApprovedKey) + '\\' + DropHandlerClass.ClassId));
    ASSERT_TRUE(classes.OpenKeyReadOnly("\\.zip"));
    EXPECT_EQ(classes.ReadString("Other"), "kept");
    ASSERT_TRUE(classes.OpenKeyReadOnly(dropHandler));
    EXPECT_EQ(classes.ReadString(""), "{ed9d80b9-d157-457b-9192-0e7280313bf0}");
    ASSERT_TRUE(classes.OpenKeyReadOnly(dropHandler + "\\Sub"));
    EXPECT_EQ(classes.ReadInteger("Kept"), 7);
    EXPECT_TRUE(classes.KeyExists(category));
    EXPECT_FALSE(TRegistry(TRegRoot::LocalMachine).KeyExists("\\Software\\Quillar\\TakenShellKeys"));

    ASSERT_TRUE(classes.DeleteKey(zipClass));
    UnassociateExtension("zip");
    EXPECT_FALSE(classes.KeyExists(zipClass));
    ASSERT_TRUE(classes.CreateKey(zipClass));
    UnassociateExtension("zip");
    EXPECT_TRUE(classes.KeyExists(category));
}
