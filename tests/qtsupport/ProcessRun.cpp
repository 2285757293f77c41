#include "ProcessRun.h"

namespace testsupport {

ToolResult RunQuillar(const std::vector<std::string>& Arguments, const fs::path& Cwd) {
    std::vector<std::string> argv = {std::string(QUILLAR_BINARY_DIR) + "/app/quillar"};
    argv.insert(argv.end(), Arguments.begin(), Arguments.end());
    return RunTool(argv, Cwd);
}

QuillarProcessTest::QuillarProcessTest()
    : FHome("HOME", FRegistry.Dir().Str().c_str()),
      FData("XDG_DATA_HOME", (FRegistry.Dir() / "data").c_str()),
      FRuntime("XDG_RUNTIME_DIR", FRegistry.Dir().Str().c_str()), FPlatform("QT_QPA_PLATFORM", "offscreen"),
      FAuto("QUILLAR_PROMPTER", "auto") {}

} // namespace testsupport
