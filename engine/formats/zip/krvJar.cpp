#include "engine/formats/zip/krvJar.h"

TJar::TJar() {
    FBuiltInExt = ".jar";
    FDefaultExt = FBuiltInExt;
    TJar::SetArcType(atJar);
}

void TJar::SetArcType(TArcType /*Value*/) {
    FArcType = atJar;
    ApplyDefaultExt();
}
