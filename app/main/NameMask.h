// How find and group selection test an entry's name against the mask a user typed: without
// regard to case, as a wildcard mask, or as the very same text, so that a name that itself
// holds wildcard characters ("a[1].txt", "why?.txt") is found by typing it.
#pragma once

#include <QString>

bool MatchNameMask(const QString& Name, const QString& Mask);
