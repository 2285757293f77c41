// Deleting a folder tree without ever following a link: each folder is opened through its
// parent's descriptor with O_NOFOLLOW, so a folder swapped for a link while the deletion runs
// is deleted as a link, and nothing outside the tree is touched.
#pragma once

#include <string>

// Deletes what Path names: a file or a link by itself (never what a link points at), a folder
// with everything below it, hidden entries included. An entry that cannot be deleted stays, and
// so do the folders above it. True when Path is gone.
bool RemoveTree(const std::string& Path);
