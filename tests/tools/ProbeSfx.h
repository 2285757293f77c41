// krvprobe sfx ARCHIVE OUT [STUBDIR]: makes the self-extracting program OUT from ARCHIVE (the
// stubs of the program's data folder, or of STUBDIR). Errors print "ERROR <code> <text>";
// exit status 0 only when OUT was made.
#pragma once

#include <string>
#include <vector>

int ProbeSfx(const std::vector<std::string>& Args);
