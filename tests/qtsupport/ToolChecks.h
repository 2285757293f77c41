// Small helpers shared by the Qt tests: a tool run that must succeed, and a path as a QString.
#pragma once

#include "TestSupport.h"

#include <QString>
#include <filesystem>
#include <gtest/gtest.h>

namespace testsupport {

// Fails the test (and returns from the caller's ASSERT scope) when the tool did not exit 0.
inline void Must(const ToolResult& Result) {
    ASSERT_EQ(Result.ExitCode, 0) << Result.Err << Result.Out;
}

inline QString Q(const std::filesystem::path& Path) {
    return QString::fromStdString(Path.string());
}

} // namespace testsupport
