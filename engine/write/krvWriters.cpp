#include "engine/write/krvWriters.h"

#include "engine/formats/bh/krvBlakHole.h"
#include "engine/formats/cab/krvMakeCab.h"
#include "engine/formats/gzip/krvGZip.h"
#include "engine/formats/lha/krvLha.h"
#include "engine/formats/tar/krvTar.h"
#include "engine/formats/zip/krvJar.h"
#include "engine/formats/zip/krvZip.h"

#include <string_view>

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

bool NamesTarGzip(const std::string& FileName) {
    const std::string lower = LowerCaseAscii(FileName);
    const auto endsWith = [&lower](std::string_view Tail) {
        return lower.size() >= Tail.size() &&
               lower.compare(lower.size() - Tail.size(), Tail.size(), Tail) == 0;
    };
    return endsWith(".tar.gz") || endsWith(".tgz");
}

std::optional<TOutArcType> WriterTypeForArchive(TArcType Type, const std::string& FileName) {
    switch (Type) {
    case atBh:
        return tyBh;
    case atCab:
        return tyCab;
    case atJar:
        return tyJar;
    case atLha:
    case atLzh:
        return tyLzh;
    case atTar:
        return tyTar;
    case atZip:
        return tyZip;
    case atTarGZip:
        return tyTarGzip;
    case atGZip:
        if (NamesTarGzip(FileName)) return tyTarGzip;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}
