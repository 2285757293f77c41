#include "engine/read/krvReaders.h"

#include "engine/read/krvUUDecode.h"
#include "engine/read/krvUnAce.h"
#include "engine/read/krvUnArc.h"
#include "engine/read/krvUnArj.h"
#include "engine/read/krvUnBh.h"
#include "engine/read/krvUnCab.h"
#include "engine/read/krvUnGZip.h"
#include "engine/read/krvUnJar.h"
#include "engine/read/krvUnLha.h"
#include "engine/read/krvUnRar.h"
#include "engine/read/krvUnTar.h"
#include "engine/read/krvUnZip.h"
#include "engine/read/krvUnZoo.h"

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
