#include "platform/FileTypeBinding.h"

#include "DesktopSandbox.h"

#include <gtest/gtest.h>

using namespace testsupport;

// Setting a handler changes one line of the user's mimeapps.list (or adds it, with its group
// when missing); setting back what was read before gives the text back byte for byte.
TEST(FileTypeBinding, MimeAppsEditsKeepEveryOtherLine) {
    struct TCase {
        std::string Text, Expected;
    };
    const std::vector<TCase> cases = {
        // in place, keeping the blanks around '=' and the CR LF line end
        {"[Added Associations]\napplication/zip=a.desktop;\n\n[Default Applications]\n"
         "application/zip = org.gnome.FileRoller.desktop;\r\ntext/plain=gedit.desktop\n",
         "[Added Associations]\napplication/zip=a.desktop;\n\n[Default Applications]\n"
         "application/zip = quillar.desktop\r\ntext/plain=gedit.desktop\n"},
        // after the group's last key, before its blank line; other groups' keys stay
        {"[Default Applications]\ntext/plain=gedit.desktop\napplication/zipx=z.desktop\n\n"
         "[Removed Associations]\napplication/zip=x.desktop\n",
         "[Default Applications]\ntext/plain=gedit.desktop\napplication/zipx=z.desktop\n"
         "application/zip=quillar.desktop\n\n[Removed Associations]\napplication/zip=x.desktop\n"},
        // the group made at the end
        {"# mine\n[Added Associations]\ntext/plain=a;\n",
         "# mine\n[Added Associations]\ntext/plain=a;\n[Default "
         "Applications]\napplication/zip=quillar.desktop\n"},
        {"", "[Default Applications]\napplication/zip=quillar.desktop\n"},
    };
    for (const TCase& c : cases) {
        const std::string before = DefaultHandlerIn(c.Text, "application/zip");
        const std::string set = WithDefaultHandler(c.Text, "application/zip", "quillar.desktop");
        EXPECT_EQ(set, c.Expected);
        EXPECT_EQ(DefaultHandlerIn(set, "application/zip"), "quillar.desktop");
        EXPECT_EQ(WithDefaultHandler(set, "application/zip", before), c.Text) << c.Text;
    }
    EXPECT_EQ(DefaultHandlerIn(cases[0].Text, "application/zip"), "org.gnome.FileRoller.desktop;");
    EXPECT_EQ(DefaultHandlerIn(cases[1].Text, "application/zip"), "");

    // On the file: a list that had nothing is removed again.
    DesktopSandbox desktop;
    ASSERT_TRUE(SetExtensionFileType("lzh", ProgramFileType));
    EXPECT_EQ(ExtensionFileType("lha"), ProgramFileType); // one MIME type for both
    EXPECT_EQ(ReadFile(desktop.Config() / "mimeapps.list"),
              "[Default Applications]\napplication/x-lha=quillar.desktop\n");
    ASSERT_TRUE(SetExtensionFileType("lzh", ""));
    EXPECT_FALSE(fs::exists(desktop.Config() / "mimeapps.list"));
    EXPECT_FALSE(SetExtensionFileType("exe", ProgramFileType));
}

// Extensions that shared-mime-info lacks get types of our own in the user's MIME database,
// which the desktop's own tools then find.
TEST(FileTypeBinding, OwnMimeTypesFoundByXdgMime) {
    DesktopSandbox desktop;
    EnvGuard gnome("XDG_CURRENT_DESKTOP", "GNOME"); // xdg-mime asks gio, which reads the database
    ASSERT_TRUE(InstallOwnMimeTypes());
    EXPECT_TRUE(fs::exists(desktop.Data() / "mime/packages/quillar.xml"));
    for (const char* ext :
         {"bh", "xxe", "ha", "arc", "uu", "uue", "zip", "lzh", "z", "enc", "pak", "pk3", "pk_"}) {
        const fs::path file = desktop.Home() / (std::string("sample.") + ext);
        WriteFile(file, "not much\n");
        const ToolResult type = RunTool({"xdg-mime", "query", "filetype", file.string()});
        EXPECT_EQ(type.Out, MimeTypeOfExtension(ext) + "\n") << ext;
    }
}
