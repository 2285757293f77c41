// File operations the writers and readers share: deleting a file for good or to the trash,
// and the simple test of a name against include and exclude masks.
#pragma once

#include "engine/core/krvZipCommon.h"

#include <string>
#include <vector>

// Deletes FileName: doFinal for good, doAllowUndo to the trash through the engine host.
// False when the file is missing or could not be deleted.
bool EraseFile(const std::string& FileName, TDeleteOptions DeleteOptions);

// True when FileName matches one of IncludeMasks and none of ExcludeMasks. A mask holding a
// '.' is tested against a name without one with a '.' appended.
bool MatchFileSpec(const std::string& FileName, const std::vector<std::string>& IncludeMasks,
                   const std::vector<std::string>& ExcludeMasks);
