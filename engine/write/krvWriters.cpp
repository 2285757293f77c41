#include "engine/write/krvWriters.h"

#include "engine/write/krvJar.h"
#include "engine/write/krvMakeCab.h"
#include "engine/write/krvTar.h"
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
    case tyCab:
        writer = std::make_unique<TMakeCab>();
        writer->SetCompressMethod(cmMsZip);
        return writer;
    case tyTar:
    case tyTarGzip:
        writer = std::make_unique<TTar>();
        writer->SetCompressMethod(Type == tyTar ? cmTarred : cmTarGzip);
        return writer;
    default:
        return nullptr;
    }
    writer->SetCompressMethod(cmDeflate);
    return writer;
}
