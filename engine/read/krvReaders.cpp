#include "engine/read/krvReaders.h"

#include "engine/read/krvUnAce.h"
#include "engine/read/krvUnCab.h"
#include "engine/read/krvUnJar.h"
#include "engine/read/krvUnRar.h"
#include "engine/read/krvUnZip.h"

std::unique_ptr<TUnBase> CreateReader(TArcType Type) {
    switch (Type) {
    case atZip:
    case atZipExe:
    case atZipMV:
        return std::make_unique<TUnZip>();
    case atJar:
    case atJarExe:
        return std::make_unique<TUnJar>();
    case atCab:
        return std::make_unique<TUnCab>();
    case atRar:
    case atRarExe:
        return std::make_unique<TUnRar>();
    case atAce:
    case atAceExe:
        return std::make_unique<TUnACE>();
    default:
        return nullptr;
    }
}
