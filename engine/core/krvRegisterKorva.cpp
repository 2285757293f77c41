#include "engine/core/krvRegisterKorva.h"

#include <algorithm>
#include <cctype>
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
    if (!UnknownArcTypes.Contains(FArcType)) SetupVolumeNaming();
}

void TRegisterKorva::SetArcType(TArcType /*Value*/) {
    FArcType = DetectArcType(FArchiveFile);
}

void TRegisterKorva::SetZipCmntBufSize(std::int32_t Value) {
    FZipCmntBufSize = std::clamp(Value, 2000, 32767);
}

// The first letter and number of the next volume's extension: x.rar continues as x.r00,
// x.r05 as x.r06, x.arj as x.a01, x.ace as x.c00. Only digits at the end of the extension
// count as its number.
void TRegisterKorva::SetupVolumeNaming() {
    const char* defaultExt = nullptr;
    switch (FArcType) {
    case atAce:
        // One before 'c': the first advance of the letter gives x.c00, the name ace sets use.
        VolumeLetter = 'b';
        defaultExt = "Ace";
        break;
    case atArj:
        VolumeLetter = 'a';
        defaultExt = "Arj";
        break;
    case atRar:
    case atRarExe:
        VolumeLetter = 'q';
        defaultExt = "Rar";
        break;
    default:
        return;
    }
    std::string ext;
    if (!FArchiveFile.empty()) {
        const std::size_t slash = FArchiveFile.rfind(PathDelim);
        const std::string name = slash == std::string::npos ? FArchiveFile : FArchiveFile.substr(slash + 1);
        const std::size_t dot = LastDotPos(name);
        ext = dot < name.size() ? name.substr(dot + 1) : defaultExt;
    }
    VolumeNumber = -1;
    std::size_t digits = 0;
    while (digits < ext.size() && digits < 9 && ext[ext.size() - 1 - digits] >= '0' &&
           ext[ext.size() - 1 - digits] <= '9')
        ++digits;
    if (digits > 0) {
        VolumeLetter = ext[0];
        VolumeNumber = std::stoi(ext.substr(ext.size() - digits));
    } else if (ext != defaultExt && !ext.empty() && std::isupper(static_cast<unsigned char>(ext[0]))) {
        // Names are case-sensitive here: X.ACE continues as X.C00, x.ace as x.c00.
        VolumeLetter = static_cast<char>(std::toupper(static_cast<unsigned char>(VolumeLetter)));
    }
    if (VolumeNumber >= 0)
        ++VolumeNumber;
    else
        VolumeNumber = FArcType == atArj ? 1 : 0;
}

bool TRegisterKorva::OpenArchiveRead(std::unique_ptr<TFileStream32>& Handle, const std::string& FileName) {
    std::uint8_t status = fsOpenOk;
    Handle = std::make_unique<TFileStream32>(FileName, fmOpenRead | fmShareDenyNone, status);
    if (status != fsOpenOk) {
        Handle.reset();
        ArchiveSize = 0;
        return false;
    }
    ArchiveSize = Handle->Size();
    return true;
}
