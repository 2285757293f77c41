// The program run as a process: on the offscreen platform, in a private home whose registry,
// data and runtime folders lie in a fresh temporary folder, every question and dialog taking
// its default answer (their texts go to standard error).
#pragma once

#include "RegistrySandbox.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace testsupport {

// build/app/quillar with Arguments, in Cwd.
ToolResult RunQuillar(const std::vector<std::string>& Arguments, const fs::path& Cwd);

class QuillarProcessTest : public ::testing::Test {
protected:
    QuillarProcessTest();

    // The program with Arguments in the private home.
    ToolResult Quillar(const std::vector<std::string>& Arguments) {
        return RunQuillar(Arguments, FRegistry.Dir().Path());
    }

    RegistrySandbox FRegistry;
    EnvGuard FHome, FData, FRuntime, FPlatform, FAuto;
};

} // namespace testsupport
