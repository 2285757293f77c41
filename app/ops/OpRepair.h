// The repair of a damaged zip: every entry whose local header can be found is copied into a new
// zip with a directory written afresh. The log names each entry found and whether it seems
// sound; a repaired file without one sound entry is removed again.
#pragma once

#include "app/ops/OpObserver.h"
#include "app/ops/OpResult.h"

#include <QString>

struct TRepairOptions {
    QString Source;
    QString Target; // the repaired zip (never the source)
};

enum class TRepairRefusal { None, SameFile };

struct TRepairResult : TOpResult {
    TRepairRefusal Refusal = TRepairRefusal::None;
    int Found = 0;        // entries found; Done of them seem sound
    bool Written = false; // the repaired zip is there, with at least one sound entry
    // Written, every entry found recovered and no error of the engine's.
    bool Repaired() const { return Written && Failures.empty() && !Cancelled; }
};

TRepairResult Repair(const TRepairOptions& Options, TOpObserver& Observer);
// The offered name of the repaired zip: "<name>_fixed.zip" beside the source.
QString RepairTarget(const QString& Source);
QString RepairRefusalText(TRepairRefusal Refusal);
