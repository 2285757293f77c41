// Encoding a file as uu or xx text, in volumes of a given size.
#pragma once

#include "app/ops/OpObserver.h"
#include "app/ops/OpResult.h"

#include <QString>

struct TUUEncodeOptions {
    QString Input;
    QString Output;
    int KBytesPerVolume = 0; // 0: one file
    bool XXEncode = false;
};

// Done is the number of files written; an existing output is asked about through the observer.
TOpResult UUEncode(const TUUEncodeOptions& Options, TOpObserver& Observer);
