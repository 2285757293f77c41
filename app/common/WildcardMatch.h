// Wildcard matching with sets, for masks a user types: '*' any run of characters, '?' one
// character, "[abc]", "[a-z]" and "[^...]" one character of (or not of) a set; everything else
// matches itself, with regard to case. Characters are UTF-8 characters.
//
// As the matcher has always worked: a '*' that is not the last pattern character needs at
// least one character of the name ("a**" does not match "a"); a "[" at the end of the pattern
// or followed by "[" or "]", and a set without its "]", never match.
#pragma once

#include <string>

bool MatchWildcard(const std::string& Name, const std::string& Pattern);
