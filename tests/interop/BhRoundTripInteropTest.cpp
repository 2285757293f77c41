// Bh archives the engine writes come back through its own reader byte for byte, for each
// method, with and without a password; a wrong password extracts no enciphered entry.
#include "ExtractRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

TEST(BhRoundTrip, EveryMethodWithAndWithoutPasswordComesBack) {
    TempDir dir;
    const fs::path src = dir / "src";
    WriteFile(src / "a.txt", "hello\n");
    WriteFile(src / "empty", "");
    WriteFile(src / "sub" / "random.bin", RandomBytes(50000, 1));
    WriteFile(src / "sub" / "text.txt", TextBytes(120000, 2));
    for (const std::string method : {"deflate", "fuse"}) {
        for (const std::string password : {"", "secret"}) {
            SCOPED_TRACE(method + " '" + password + "'");
            const fs::path bh = dir / (method + password + ".bh");
            std::vector<std::string> add{"add", bh.string(), "-m", method, "-r"};
            if (!password.empty()) add.insert(add.end(), {"-p", password});
            add.push_back(src.string());
            const ToolResult made = RunProbe(add);
            ASSERT_EQ(made.ExitCode, 0) << made.Err;
            const fs::path out = dir / ("out-" + method + password);
            std::vector<std::string> extract{"extract", bh.string(), out.string()};
            if (!password.empty()) extract.push_back(password);
            const ToolResult back = RunProbe(extract);
            EXPECT_EQ(back.ExitCode, 0) << back.Out;
            EXPECT_EQ(CompareTrees(ReadTree(src), "the source", ReadTree(out), "the engine"), "");
            if (password.empty()) continue;
            const fs::path wrong = dir / ("wrong-" + method);
            EXPECT_NE(RunProbe({"extract", bh.string(), wrong.string(), "not-it"}).ExitCode, 0);
            // Only what holds no enciphered data (folders, the empty file) comes out.
            for (const auto& [name, data] : ReadTree(wrong))
                EXPECT_TRUE(name.back() == '/' || name == "empty")
                    << name << " was written with a wrong password";
        }
    }
}

} // namespace
