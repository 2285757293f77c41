#include "engine/write/krvWriters.h"

#include "engine/formats/bh/krvBlakHole.h"
#include "engine/formats/cab/krvMakeCab.h"
#include "engine/formats/gzip/krvGZip.h"
#include "engine/formats/lha/krvLha.h"
#include "engine/formats/tar/krvTar.h"
#include "engine/formats/zip/krvJar.h"
#include "engine/formats/zip/krvZip.h"

std::unique_ptr<TCompBase> CreateWriter(TOutArcType Type) {
    std::unique_ptr<TCompBase> writer;
    TCompressMethod method = cmDeflate;
    switch (Type) {
    case tyZip:
        writer = std::make_unique<TZip>();
        break;
    case tyJar:
        writer = std::make_unique<TJar>();
        break;
    case tyBh:
        writer = std::make_unique<TBlakHole>();
        break;
    case tyLzh:
        writer = std::make_unique<TLha>();
        method = cmFrozen6;
        break;
    case tyCab:
        writer = std::make_unique<TMakeCab>();
        method = cmMsZip;
        break;
    case tyTar:
    case tyTarGzip:
        writer = std::make_unique<TTar>();
        method = Type == tyTar ? cmTarred : cmTarGzip;
        break;
    case tyGZip:
        writer = std::make_unique<TGZip>();
        break;
    default:
        return nullptr;
    }
    writer->SetCompressMethod(method);
    return writer;
}
