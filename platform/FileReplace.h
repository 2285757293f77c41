// Small file helpers of the platform layer's own stores: folders made with their parents, and a
// file's whole text replaced at once (a sibling temporary file renamed over it), so a reader
// sees the old text or the new one, never a part.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// Makes Path and every missing folder above it; true when Path is a folder afterwards.
bool MakeFolders(const std::string& Path, mode_t Mode);

// Writes Text to a sibling temporary file of FileName with the given mode, flushes it to disk
// and renames it onto FileName; on failure the temporary file is removed and FileName is as it
// was.
bool ReplaceFile(const std::string& FileName, const std::string& Text, mode_t Mode);

// The whole file; an empty text when it does not exist, nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& FileName);
