#include "engine/write/krvWriters.h"

#include "engine/write/krvJar.h"
#include "engine/write/krvZip.h"

std::unique_ptr<TCompBase> CreateWriter(TOutArcType Type) {
    std::unique_ptr<TCompBase> writer;
    switch (Type) {
    case tyZip:
        writer = std::make_unique<TZip>();
        break;
    case tyJar:
        writer = std::make_unique<TJar>();
        break;
    default:
        return nullptr;
    }
    writer->SetCompressMethod(cmDeflate);
    return writer;
}
