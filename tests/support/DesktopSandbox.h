// A private desktop for one test: HOME, XDG_CONFIG_HOME (the registry, mimeapps.list) and
// XDG_DATA_HOME (applications, the MIME database) in a fresh temporary folder, removed after.
#pragma once

#include "TestSupport.h"

namespace testsupport {

class DesktopSandbox {
public:
    DesktopSandbox() {
        fs::create_directories(Config());
        fs::create_directories(Data());
    }
    fs::path Home() const { return FDir.Path(); }
    fs::path Config() const { return FDir / ".config"; }
    fs::path Data() const { return FDir / ".local/share"; }

private:
    TempDir FDir;
    EnvGuard FHome{"HOME", FDir.Str().c_str()};
    EnvGuard FConfig{"XDG_CONFIG_HOME", (FDir / ".config").c_str()};
    EnvGuard FData{"XDG_DATA_HOME", (FDir / ".local/share").c_str()};
};

} // namespace testsupport
