// A private registry for one test: XDG_CONFIG_HOME points into a fresh temporary folder for
// the life of the sandbox, so the registry's root files are made there and removed after.
#pragma once

#include "TestSupport.h"

#include <string>

namespace testsupport {

class RegistrySandbox {
public:
    RegistrySandbox() : FConfig("XDG_CONFIG_HOME", FDir.Str().c_str()) {}
    const TempDir& Dir() const { return FDir; }

private:
    TempDir FDir;
    EnvGuard FConfig;
};

} // namespace testsupport
