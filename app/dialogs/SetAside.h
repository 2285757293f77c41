// A file that is to be replaced steps aside under a free sibling name until its replacement
// has been written; then it is deleted, or on failure renamed back.
#pragma once

#include <QString>

// Renames File to a free sibling name (File + ".quillar-old", then numbered) and returns that
// name; empty when it could not.
QString SetFileAside(const QString& File);
