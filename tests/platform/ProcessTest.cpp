#include "platform/Process.h"

#include "TestSupport.h"

#include <csignal>
#include <gtest/gtest.h>

using namespace testsupport;

// Any argument survives quoting and splitting, alone or among others; hand-written command
// lines split as a user means them.
TEST(Process, CommandLinesSplitAsQuoted) {
    const std::vector<std::string> hostile = {
        "plain",  "two words", "",          "\"",       "\\",           "\\\"",
        "ends\\", "a\\b\\\\c", "tab\there", "'single'", "$HOME;rm -rf", "\xC3\xBC\xE2\x82\xAC",
        " lead",  "trail "};
    std::string line;
    for (const std::string& arg : hostile) {
        EXPECT_EQ(SplitCommandLine(QuoteArgument(arg)), std::vector<std::string>{arg}) << arg;
        line += ' ' + QuoteArgument(arg);
    }
    EXPECT_EQ(SplitCommandLine(line), hostile);

    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"", {}},
        {"   ", {}},
        {"-a  -b\t/c", {"-a", "-b", "/c"}},
        {"/scan \"C:\\My Files\\x.zip\" /auto", {"/scan", "C:\\My Files\\x.zip", "/auto"}},
        {"pre\"fix mid\"post", {"prefix midpost"}},
        {"\"unclosed quote", {"unclosed quote"}},
        {"\"\"", {""}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(SplitCommandLine(text), expected) << text;
}

// Programs start with their arguments as given (no shell), in their folder, and report how they
// ended; one that does not exist does not start.
TEST(Process, SpawnAndWait) {
    TempDir dir;
    int pumps = 0;
    pid_t pid = 0;
    ASSERT_TRUE(
        SpawnProcess({"sh", "-c", "pwd > out; printf '%s|' \"$@\" >> out; exit 3", "sh", "a b", "$HOME", "*"},
                     dir.Str(), pid));
    EXPECT_EQ(WaitForProcess(pid, 5, [&] { ++pumps; }), 3);
    EXPECT_GE(pumps, 1);
    EXPECT_EQ(ReadFile(dir / "out"), dir.Str() + "\na b|$HOME|*|");
    EXPECT_FALSE(SpawnProcess({(dir / "missing").string()}, {}, pid));
    EXPECT_EQ(FirstOutputLine({"sh", "-c", "echo first; echo second; echo err >&2"}), "first");
    EXPECT_EQ(FirstOutputLine({"sh", "-c", "echo out; exit 1"}), "");
    EXPECT_EQ(FirstOutputLine({(dir / "missing").string()}), "");

    // A running program is found by its executable.
    const std::string sleep = fs::canonical("/bin/sleep").string();
    EXPECT_FALSE(IsProgramRunning((dir / "missing").string()));
    ASSERT_TRUE(SpawnProcess({sleep, "30"}, {}, pid));
    EXPECT_TRUE(IsProgramRunning(sleep));
    ::kill(pid, SIGTERM);
    WaitForProcess(pid, 5, nullptr);
}
