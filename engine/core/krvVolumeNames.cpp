// Names of the volumes of multi-volume archives, and finding and opening the next one.
#include "engine/core/krvZipCommon.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"

#include <cctype>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Position of the extension's dot in the last part of FileName, or npos.
bool EndsWithPartNumber(const std::string& Base, std::size_t& PartPos, std::size_t& Digits) {
    std::size_t end = Base.size();
    Digits = 0;
    while (Digits < end && std::isdigit(static_cast<unsigned char>(Base[end - 1 - Digits])))
        ++Digits;
    if (Digits < 1 || Digits > 4 || end - Digits < 5) return false;
    PartPos = end - Digits - 5;
    return SameTextNoCase(std::string_view(Base).substr(PartPos, 5), ".part");
}

} // namespace

std::string TZipCommon::GetNextVolumeName(const std::string& FileName, int VolumeNo) {
    if (FileName.empty() || VolumeNo < 0) return {};
    const std::size_t dot = ExtensionDotPos(FileName);
    const std::string base = dot == std::string::npos ? FileName : FileName.substr(0, dot);

    std::size_t partPos = 0, digits = 0;
    if ((FArcType == atRar || FArcType == atRarExe) && EndsWithPartNumber(base, partPos, digits)) {
        std::string number = std::to_string(VolumeNo + 2);
        if (number.size() < digits) number.insert(0, digits - number.size(), '0');
        return base.substr(0, partPos + 5) + number + ".rar";
    }

    const int n = VolumeNo % 100;
    if (n == 0) ++VolumeLetter;
    if (VolumeLetter == 0) return {};
    char ext[8];
    std::snprintf(ext, sizeof ext, ".%c%02d", VolumeLetter, n);
    return base + ext;
}

bool GetVolumeFileName(const std::string& FileName, int VolumeNo, int Mode, std::string& Result,
                       bool ShortNames) {
    Result = FileName;
    if (VolumeNo < 0 || VolumeNo > 999) return false;
    const std::string digits = std::to_string(VolumeNo);
    const std::size_t slash = FileName.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = ExtensionDotPos(FileName);
    const std::size_t baseEnd = dot == std::string::npos ? FileName.size() : dot;
    const std::string folder = FileName.substr(0, nameStart);
    std::string base = FileName.substr(nameStart, baseEnd - nameStart);
    std::string ext = dot == std::string::npos ? std::string() : FileName.substr(dot); // with its dot

    auto overwriteEnd = [&](std::string& Text, std::size_t Keep) {
        Text.resize(std::min(Text.size(), Keep));
        Text += digits;
    };
    // A part that already ends in a number (rand.001, o.b64, disk1.uue) counts on from it with
    // as many digits: written over, the number would give the first name again (o.b64's fourth
    // volume) or name every volume alike (rand.001).
    auto countOn = [&](std::string& Text) {
        std::size_t start = Text.size();
        while (start > 0 && std::isdigit(static_cast<unsigned char>(Text[start - 1])))
            --start;
        if (start == Text.size() || Text.size() - start > 9) return false;
        std::string number = std::to_string(std::stoll(Text.substr(start)) + VolumeNo);
        if (number.size() < Text.size() - start) number.insert(0, Text.size() - start - number.size(), '0');
        Text = Text.substr(0, start) + number;
        return true;
    };
    switch (Mode) {
    case 0:
        if (countOn(base)) break;
        // A short (8.3) name keeps 8 characters: the base is cut to make room for the digits.
        if (ShortNames && base.size() + digits.size() > 8)
            overwriteEnd(base, 8 - digits.size());
        else
            overwriteEnd(base, base.size() >= digits.size() ? base.size() - digits.size() : 0);
        break;
    case 1: {
        std::string letters = ext.empty() ? std::string() : ext.substr(1);
        if (letters.size() > 3) letters.resize(3);
        if (!countOn(letters))
            overwriteEnd(letters, letters.size() >= digits.size() ? letters.size() - digits.size() : 0);
        ext = "." + letters;
        break;
    }
    default:
        return true;
    }
    Result = folder + base + ext;
    return true;
}

bool TZipCommon::GetNextVolume(std::string& VolumeName, const std::string& VolumeID) {
    if (!VolumeID.empty() && IsAllDigits(VolumeID)) {
        const std::size_t first = VolumeID.find_first_not_of('0');
        const std::string digits = first == std::string::npos ? "0" : VolumeID.substr(first);
        if (digits.size() > 3) {
            ReportError(VolumeName, "", VolumeID, ecMaximumVolumes999);
            return false;
        }
    }
    if (VolumeName.empty()) {
        ReportError(VolumeName, "", VolumeID, ecInvalidFileName);
        return false;
    }
    if (!OnNextVolume) {
        ReportError(VolumeName, "OnNextVolume", VolumeID, ecRequiredEventNotAssigned);
        return false;
    }
    if (VolumeName.find('/') == std::string::npos) {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd)) VolumeName = JoinPath(cwd, VolumeName);
    }
    for (;;) {
        bool cancel = true;
        OnNextVolume(*this, VolumeName, VolumeID, FileExists(VolumeName), cancel);
        if (cancel) {
            SetCancel(true);
            return false;
        }
        if (FileExists(VolumeName)) break;
    }
    ++VolumeNumber;
    return true;
}

bool TZipCommon::OpenNextVolume(std::unique_ptr<TFileStream32>& Stream) {
    if (!OnNextVolume) return false;
    std::string name = GetNextVolumeName(ArchiveFile(), VolumeNumber);
    if (!GetNextVolume(name, std::to_string(VolumeNumber + 1))) return false;
    Stream.reset();
    std::uint8_t status = fsOpenOk;
    auto next = std::make_unique<TFileStream32>(name, fmOpenRead | fmShareDenyNone, status);
    if (status != fsOpenOk) {
        ReportError(name, "", "0", ecErrorOpeningFile);
        ArchiveSize = 0;
        return false;
    }
    ArchiveSize = next->Size();
    // The next volume's name is built from this one's.
    FArchiveFile = name;
    Stream = std::move(next);
    return true;
}
