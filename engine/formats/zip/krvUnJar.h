// The jar reader: a zip reader (types atJar and atJarExe) whose entries are folders when
// their names end in a separator and plain files otherwise, whatever attributes they carry;
// only the permission bits of an entry made on Unix are applied.
#pragma once

#include "engine/formats/zip/krvUnZip.h"

class TUnJar : public TUnZip {};
