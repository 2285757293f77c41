#include "engine/core/krvRegisterKorva.h"

#include <algorithm>
#include <sys/stat.h>

void TRegisterKorva::SetArchiveFile(const std::string& Name) {
    struct stat st {};
    if (Name.empty() || ::stat(Name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        FArcType = atNA;
        FArchiveFile.clear();
        return;
    }
    FArchiveFile = Name;
    FArcType = DetectArcType(FArchiveFile);
}

void TRegisterKorva::SetArcType(TArcType /*Value*/) { FArcType = DetectArcType(FArchiveFile); }

void TRegisterKorva::SetZipCmntBufSize(std::int32_t Value) { FZipCmntBufSize = std::clamp(Value, 2000, 32767); }
