// The jar writer: the zip writer for jar archives.
#pragma once

#include "engine/formats/zip/krvZip.h"

class TJar : public TZip {
public:
    TJar();
    void SetArcType(TArcType Value) override;
};
