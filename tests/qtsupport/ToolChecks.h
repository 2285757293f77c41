// Small helpers shared by the Qt tests: a tool run that must succeed, and a path as a QString.
#pragma once

#include "TestSupport.h"

#include <QString>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace testsupport {

// Fails the test (and returns from the caller's ASSERT scope) when the tool did not exit 0.
inline void Must(const ToolResult& Result) {
    ASSERT_EQ(Result.ExitCode, 0) << Result.Err << Result.Out;
}

inline QString Q(const std::filesystem::path& Path) {
    return QString::fromStdString(Path.string());
}

// The entries zipinfo (unzip -Z) lists in Zip, and in Enciphered how many of them it marks
// enciphered (its text/binary mark upper case); -1 when unzip -Z fails.
inline int ZipinfoEntries(const std::filesystem::path& Zip, int& Enciphered) {
    Enciphered = 0;
    const ToolResult info = RunTool({"unzip", "-Z", Zip.string()});
    if (info.ExitCode != 0) return -1;
    int entries = 0;
    std::istringstream in(info.Out);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || (line[0] != '-' && line[0] != 'd')) continue;
        ++entries;
        std::istringstream fields(line);
        std::string perms, version, host, size, mark;
        fields >> perms >> version >> host >> size >> mark;
        if (!mark.empty() && (mark[0] == 'T' || mark[0] == 'B')) ++Enciphered;
    }
    return entries;
}

} // namespace testsupport
