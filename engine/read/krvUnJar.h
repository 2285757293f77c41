// The jar reader: a zip reader (types atJar and atJarExe) whose entries are folders when
// their names end in a separator and plain files otherwise, whatever attributes they carry.
#pragma once

#include "engine/read/krvUnZip.h"

class TUnJar : public TUnZip {};
