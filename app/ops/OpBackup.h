// The run of a backup set: its archive named by the set's method (one file overwritten, a name
// asked for, or generations rotated), the files packed by the add operation. The backups that
// were there before stay as they were until the new one is written: the one to be replaced
// steps aside under a private name, and a failed run puts everything back.
#pragma once

#include "app/ops/OpAdd.h"
#include "app/ops/OpObserver.h"

#include <QString>

struct TBackupOptions {
    QString Script; // the set's script file
};

struct TBackupResult : TAddResult {
    // Why the set was not backed up, for the caller's message; empty when it was, when the
    // script cannot be used, when the add's own result says why, or the user cancelled the name.
    QString Problem;
    QString Target;
    bool Packed = false;   // the add ran (its result is this one's TAddResult)
    bool BackedUp = false; // the archive was written whole, with every file of the set in it
};

TBackupResult RunBackup(const TBackupOptions& Options, TOpObserver& Observer);
