// The integrity test of an archive: every entry decoded and checksummed, nothing written.
#pragma once

#include "app/ops/OpObserver.h"
#include "app/ops/OpResult.h"

#include <QString>

struct TTestOptions {
    QString Archive;
};

// Started is false for a type the tester does not take. The log gets the archive's name, the
// errors and the entries that failed.
TOpResult Test(const TTestOptions& Options, TOpObserver& Observer);
