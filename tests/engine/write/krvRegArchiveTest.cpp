#include "engine/write/krvRegArchive.h"

#include "DesktopSandbox.h"
#include "platform/FileTypeBinding.h"
#include "platform/Registry.h"

#include <cctype>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::string ClassesDefault(const std::string& Key) {
    TRegistry reg(TRegRoot::ClassesRoot);
    return reg.OpenKeyReadOnly(Key) ? reg.ReadString("") : "<missing>";
}

} // namespace

TEST(RegArchive, NamesAndLists) {
    TRegArchive reg;
    EXPECT_EQ(reg.ArcExtensions().size(), 23u);
    reg.SetArcExtensions({".zip", ".EXE", ".lzh"});
    EXPECT_EQ(reg.ArcExtensions(), (std::vector<std::string>{".zip", ".lzh"}));

    reg.SetProgramPath("/opt/Tool.Setup.exe");
    EXPECT_EQ(reg.ExtDescription(), "[Appname]");
    EXPECT_EQ(reg.TypeName(), "Tool");
    EXPECT_EQ(reg.TypeDescription(), "Tool file");
    reg.SetExtDescription("Quillar");
    EXPECT_EQ(reg.TypeDescription(), "Quillar file");
    reg.SetParamString("");
    EXPECT_EQ(reg.ParamString(), "%1");

    for (const auto& [command, program] :
         std::vector<std::pair<std::string, std::string>>{{"\"/opt/my tools/q\" \"%1\"", "/opt/my tools/q"},
                                                          {"/opt/q %1", "/opt/q"},
                                                          {"\"/opt/q", "/opt/q"},
                                                          {"", ""}})
        EXPECT_EQ(TRegArchive::CommandProgram(command), program) << command;
}

// Registering writes the program's type and binds each extension's MIME type to the program's
// desktop entry; a handler another program sets afterwards makes the test fail and is not
// cleared by unregistering.
TEST(RegArchive, RegisterTestAndUnregister) {
    DesktopSandbox desktop;
    WriteFile(desktop.Config() / "mimeapps.list", "[Default Applications]\ntext/plain=gedit.desktop\n");
    TRegArchive reg;
    reg.SetProgramPath("/opt/My Tools/quillar");
    reg.SetExtDescription("Quillar");
    reg.SetArcExtensions({".zip", ".bh"});
    reg.MenuName = "&Open with Quillar";
    std::string fired;
    reg.OnAssociation = [&](TRegArchive&, const std::string& Name) { fired = Name; };
    reg.Loaded();
    EXPECT_EQ(fired, "QUILLAR");

    reg.RegisterExtensions();
    EXPECT_TRUE(reg.IsAssociated());
    EXPECT_EQ(ClassesDefault("\\Quillar"), "Quillar file");
    EXPECT_EQ(ClassesDefault("\\Quillar\\DefaultIcon"), "/opt/My Tools/quillar,0");
    EXPECT_EQ(ClassesDefault("\\Quillar\\Shell\\Open\\Command"), "\"/opt/My Tools/quillar\" \"%1\"");
    EXPECT_EQ(ClassesDefault("\\Quillar\\Shell\\Open"), "&Open with Quillar");
    EXPECT_EQ(ProgramDesktopExec(), "\"/opt/My Tools/quillar\" %f");
    EXPECT_EQ(DefaultHandler("application/x-bh"), "quillar.desktop");
    fired.clear();
    reg.Loaded();
    EXPECT_EQ(fired, "");

    TRegArchive moved;
    moved.SetExtDescription("Quillar");
    moved.SetArcExtensions({".zip"});
    moved.SetProgramPath("/usr/bin/quillar");
    EXPECT_FALSE(moved.IsAssociated());

    ASSERT_TRUE(SetDefaultHandler("application/zip", "ark.desktop"));
    EXPECT_FALSE(reg.IsAssociated());
    EXPECT_TRUE(reg.UnregisterExtensions());
    EXPECT_EQ(ReadFile(desktop.Config() / "mimeapps.list"),
              "[Default Applications]\ntext/plain=gedit.desktop\napplication/zip=ark.desktop\n");
    EXPECT_EQ(ClassesDefault("\\Quillar\\Shell\\Open\\Command"), "\"/opt/My Tools/quillar\" \"%1\"");
}

// The default extensions all get a MIME type bound to the program, and the test finds the type
// the registering wrote also when its name comes from the program's file name.
TEST(RegArchive, EveryDefaultExtensionWithThePlaceholderName) {
    DesktopSandbox desktop;
    TRegArchive reg;
    reg.SetProgramPath("/opt/q/quillar-1.2");
    ASSERT_EQ(reg.TypeName(), "quillar-1");
    reg.RegisterExtensions();
    EXPECT_EQ(ClassesDefault("\\quillar-1\\Shell\\Open\\Command"), "\"/opt/q/quillar-1.2\" \"%1\"");
    for (const std::string& ext : reg.ArcExtensions()) {
        std::string bare = ext.substr(1);
        for (char& c : bare)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_NE(MimeTypeOfExtension(bare), "") << ext;
        EXPECT_EQ(ExtensionFileType(bare), ProgramFileType) << ext;
    }
    EXPECT_TRUE(reg.IsAssociated());
    EXPECT_TRUE(reg.UnregisterExtensions());
    EXPECT_FALSE(reg.IsAssociated());
}

// An extension no MIME type knows gets a type of our own that the desktop's tools find, is bound
// and tested as associated at once, and keeps its type when other extensions are registered later;
// one with characters a type name cannot hold is left alone.
TEST(RegArchive, AnExtensionWithoutAMimeTypeGetsOneOfOurOwn) {
    DesktopSandbox desktop;
    EnvGuard gnome("XDG_CURRENT_DESKTOP", "GNOME"); // xdg-mime asks gio, which reads the database
    TRegArchive reg;
    reg.SetProgramPath("/opt/q/quillar");
    reg.SetArcExtensions({".zip", ".Foo"});
    EXPECT_FALSE(reg.IsAssociated());
    reg.RegisterExtensions();
    EXPECT_TRUE(reg.IsAssociated());
    EXPECT_EQ(MimeTypeOfExtension("foo"), "application/x-quillar-foo");
    EXPECT_EQ(DefaultHandler("application/x-quillar-foo"), "quillar.desktop");

    TRegArchive later;
    later.SetProgramPath("/opt/q/quillar");
    later.SetArcExtensions({".bar", ".a b"});
    later.RegisterExtensions();
    EXPECT_EQ(MimeTypeOfExtension("a b"), "");
    EXPECT_TRUE(reg.IsAssociated());
    for (const char* ext : {"foo", "bar"}) {
        const fs::path file = desktop.Home() / (std::string("sample.") + ext);
        WriteFile(file, "not much\n");
        EXPECT_EQ(RunTool({"xdg-mime", "query", "filetype", file.string()}).Out,
                  "application/x-quillar-" + std::string(ext) + "\n")
            << ext;
    }
    EXPECT_TRUE(reg.UnregisterExtensions());
    EXPECT_FALSE(reg.IsAssociated());
}
