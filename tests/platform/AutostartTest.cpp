#include "platform/Autostart.h"

#include "RegistrySandbox.h"

#include <gtest/gtest.h>

using namespace testsupport;

// Arguments reach the entry's Exec key quoted and escaped as the desktop-entry rules ask (the
// string escape doubles every backslash after the quoting); what the key cannot carry is refused.
TEST(Autostart, ExecLinesAndEntries) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"/opt/q/tray"}, "/opt/q/tray"},
        {{"/opt/my q/tray", "-x"}, "\"/opt/my q/tray\" -x"},
        {{"/t", ""}, "/t \"\""},
        {{"/t", "100%"}, "/t 100%%"},
        {{"/t", "$HOME", "a\"b", "back\\slash", "`cmd`"},
         "/t \"\\\\$HOME\" \"a\\\\\"b\" \"back\\\\\\\\slash\" \"\\\\`cmd\\\\`\""},
        {{"/t", "semi;colon", "*"}, "/t \"semi;colon\" \"*\""},
        {{"/t", "line\nbreak"}, ""},
        {{}, ""},
    };
    for (const auto& [argv, exec] : cases)
        EXPECT_EQ(AutostartExecLine(argv), exec) << exec;

    RegistrySandbox sandbox; // XDG_CONFIG_HOME in a fresh folder
    for (const std::string bad : {"", ".", "..", "a/b", "tab\there"})
        EXPECT_FALSE(WriteAutostartEntry(bad, {"/t"})) << bad;
    EXPECT_FALSE(WriteAutostartEntry("Quillar", {}));
    EXPECT_FALSE(WriteAutostartEntry("Quillar", {"/t", "a\nb"}));
    EXPECT_FALSE(fs::exists(AutostartFileName("Quillar")));
    ASSERT_TRUE(WriteAutostartEntry("Quillar", {"/t"}));
    ASSERT_TRUE(WriteAutostartEntry("Quillar", {"/u"})); // replaced whole
    EXPECT_EQ(ReadFile(sandbox.Dir() / "autostart/Quillar.desktop"),
              "[Desktop Entry]\nType=Application\nName=Quillar\nExec=/u\n");
    EXPECT_TRUE(RemoveAutostartEntry("Quillar"));
    EXPECT_FALSE(RemoveAutostartEntry("Quillar"));
    EXPECT_FALSE(RemoveAutostartEntry(".."));
}
