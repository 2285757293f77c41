#include "engine/read/krvReaders.h"

#include "engine/formats/uu/krvUUDecode.h"
#include "engine/formats/ace/krvUnAce.h"
#include "engine/formats/arc/krvUnArc.h"
#include "engine/formats/arj/krvUnArj.h"
#include "engine/formats/bh/krvUnBh.h"
#include "engine/formats/cab/krvUnCab.h"
#include "engine/formats/gzip/krvUnGZip.h"
#include "engine/formats/zip/krvUnJar.h"
#include "engine/formats/lha/krvUnLha.h"
#include "engine/formats/rar/krvUnRar.h"
#include "engine/formats/tar/krvUnTar.h"
#include "engine/formats/zip/krvUnZip.h"
#include "engine/formats/zoo/krvUnZoo.h"

std::unique_ptr<TUnBase> CreateReader(TArcType Type) {
    switch (Type) {
    case atZip:
    case atZipExe:
    case atZipMV:
        return std::make_unique<TUnZip>();
    case atJar:
    case atJarExe:
        return std::make_unique<TUnJar>();
    case atArc:
    case atArcExe:
    case atPak:
    case atPakExe:
        return std::make_unique<TUnArc>();
    case atArj:
    case atArjExe:
        return std::make_unique<TUnArj>();
    case atLha:
    case atLhaExe:
    case atLzh:
    case atLzhExe:
        return std::make_unique<TUnLha>();
    case atTar:
        return std::make_unique<TUnTar>();
    case atGZip:
    case atTarGZip:
        return std::make_unique<TUnGZip>();
    case atCab:
        return std::make_unique<TUnCab>();
    case atRar:
    case atRarExe:
        return std::make_unique<TUnRar>();
    case atAce:
    case atAceExe:
        return std::make_unique<TUnACE>();
    case atBh:
    case atBhExe:
        return std::make_unique<TUnBh>();
    case atUUE:
        return std::make_unique<TUUDecode>();
    case atZoo:
        return std::make_unique<TUnZoo>();
    default:
        return nullptr;
    }
}
