// Copying and moving one file so that nothing is lost on the way: the copy is written to a
// sibling temporary file, flushed, read back and compared, and only then renamed onto its
// name; a move across file systems deletes its source only after such a copy.
#pragma once

#include <string>

// Copies the regular file From to To (replacing To only once the copy is whole and equal to
// From). False, with To as it was and no temporary file left, on any failure.
bool CopyFileVerified(const std::string& From, const std::string& To);

// Moves the regular file From to To: a rename, or on another file system a verified copy
// followed by the deletion of From. False on any failure; From is deleted only once To holds
// a whole copy of it.
bool MoveFileVerified(const std::string& From, const std::string& To);
