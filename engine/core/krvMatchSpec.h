// Entry selection by name masks: the readers' and the lister's test of an entry name against
// the file specification and the exclusion masks. Names use '/' between folders; masks may
// use '/' or '\\'.
// One rule for every mask, included or excluded: a mask with wildcards ('*', '?') compares
// letters without regard to case; a mask without any is a name and takes only that very name,
// case included.
#pragma once

#include <string>
#include <vector>

// A mask that selects exactly one entry by its whole name (folders with '/'), byte for byte:
// '*', '?' and '[' in the name are plain characters, no case folding and no '.' rule. The
// application selects the rows a user picked with these, so that a name holding wildcard
// characters never takes other entries along.
inline constexpr char ExactNameMark = '\x01';
std::string ExactNameMask(const std::string& Name);

// Entry selection of the readers and of the lister's zip directory walk. A mask equal to the
// whole name selects at once. With RecurseDirs a mask without a folder is
// tried on the entry's file name alone and one with a folder on the whole name; without it
// the mask's folder must equal the entry's. A failed test is tried again with '.' appended
// to a name part and a mask part that have none. A match is undone by any exclusion mask.
bool MatchEntrySpec(const std::string& EntryName, const std::vector<std::string>& FileSpec,
                    const std::vector<std::string>& ExcludeSpec, bool RecurseDirs);

// The simpler test of the writers and the lister: the name matches one include mask (a mask
// holding '.' is tried on the name with '.' appended when the name has none) and no exclude
// mask.
bool MatchFileSpec(const std::string& FileName, const std::vector<std::string>& IncludeMasks,
                   const std::vector<std::string>& ExcludeMasks);
