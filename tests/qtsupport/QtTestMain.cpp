// The main of the Qt tests: Qt runs on the offscreen platform, whatever the environment says,
// and one application object lives for the whole run. The run has a private home: whatever Qt
// or the program writes there (QtProject.conf of the file dialogs, the recent-files store, the
// caches) goes into a temporary folder removed at the end, never into the user's own.
#include "TestSupport.h"

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The tests answer questions through their own prompters; an automatic prompter asked for
    // by the caller's environment would answer the dialogs they drive. Child processes that
    // need it set it themselves.
    ::unsetenv("QUILLAR_PROMPTER");
    const testsupport::TempDir home;
    const std::pair<const char*, std::filesystem::path> places[] = {{"HOME", home.Path()},
                                                                    {"XDG_CONFIG_HOME", home / ".config"},
                                                                    {"XDG_DATA_HOME", home / ".local/share"},
                                                                    {"XDG_CACHE_HOME", home / ".cache"},
                                                                    {"XDG_STATE_HOME", home / ".local/state"},
                                                                    {"XDG_RUNTIME_DIR", home / "runtime"}};
    for (const auto& [name, path] : places) {
        std::filesystem::create_directories(path);
        ::setenv(name, path.c_str(), 1);
    }
    // Qt takes a runtime folder only when it is the user's alone.
    std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
    testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName("Quillar");
        result = RUN_ALL_TESTS();
    }
    return result;
}
