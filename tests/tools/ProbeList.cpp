// krvprobe list ARCHIVE: lists an archive with the lister and prints what it reported.
#include "ProbeList.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvDates.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/read/krvKorva.h"
#include "tests/support/DiskRequests.h"
#include "tests/support/NextVolumeGuess.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace {

bool Exists(const std::string& Name) {
    struct stat st {};
    return ::stat(Name.c_str(), &st) == 0;
}

// Types whose entries carry no checksum of their data.
bool StoresNoCrc(TArcType Type, const std::string& FileName) {
    if (Type == atTar || Type == atCab || Type == atUUE || Type == atMsGZ) return true;
    if (Type != atGZip) return false;
    std::uint8_t status = fsOpenOk;
    TFileStream32 stream(FileName, fmOpenRead | fmShareDenyNone, status);
    std::uint8_t magic[2] = {};
    if (status != fsOpenOk || ReadAt(stream, 0, magic, 2) != 2) return false;
    return !(magic[0] == 0x1F && (magic[1] == 0x8B || magic[1] == 0x9E));
}

} // namespace

int ProbeList(const std::vector<std::string>& Args) {
    if (Args.size() != 1) return 2;
    TKorva lister;
    lister.ShowEmptyDirs = true;
    lister.SetArchiveFile(Args[0]);
    if (UnknownArcTypes.Contains(lister.ArcType())) {
        std::fprintf(stderr, "krvprobe: %s: error %d: %s\n", Args[0].c_str(), ecInvalidArchiveType,
                     ErrorText(ecInvalidArchiveType));
        return 1;
    }
    const bool noCrc = StoresNoCrc(lister.ArcType(), Args[0]);

    int errors = 0;
    lister.OnError = [&](TZipCommon&, const std::string& FileName, const std::string& ExtendedMsg,
                         const std::string&, int ECode) {
        ++errors;
        std::fprintf(stderr, "krvprobe: %s: error %d: %s (%s)\n", FileName.c_str(), ECode, ErrorText(ECode),
                     ExtendedMsg.c_str());
    };
    // A damaged directory is listed through the local headers; further volumes are taken
    // when they lie beside the first.
    lister.OnCorruptZipHeader = [](TZipCommon&, THeaderTypeState, bool& Cancel) { Cancel = false; };
    // A person would pick the next file of the set where the proposed name is not it.
    lister.OnNextVolume = [](TZipCommon& Sender, std::string& VolumeName, const std::string&, bool,
                             bool& Cancel) {
        if (!Exists(VolumeName)) {
            const std::string other = testsupport::NextVolumeLike(Sender.ArchiveFile());
            if (!other.empty() && Exists(other)) VolumeName = other;
        }
        Cancel = !Exists(VolumeName);
    };
    // The pieces of a split set are found by name.
    testsupport::AnswerDiskRequestsOk(lister);
    lister.OnRead = [&](TZipCommon& Sender, std::int64_t, int) {
        const TDateTimeParts d = DecodeDateTime(Sender.FileDate);
        char crc[16];
        if (noCrc)
            std::snprintf(crc, sizeof crc, "-");
        else
            std::snprintf(crc, sizeof crc, "%08x", Sender.CRC);
        std::printf("%s\t%lld\t%lld\t%s\t%s\t%04d-%02d-%02d %02d:%02d:%02d\t%d\n", Sender.FileName.c_str(),
                    static_cast<long long>(Sender.UnpackedSize), static_cast<long long>(Sender.PackedSize),
                    crc, Sender.MethodName.c_str(), d.Year, d.Month, d.Day, d.Hour, d.Minute, d.Second,
                    Sender.Encrypted ? 1 : 0);
    };
    double unpacked = 0;
    double packed = 0;
    int count = 0;
    lister.OnTotals = [&](TZipCommon&, double UnpackSize, double PackSize, int, int NumFiles) {
        unpacked = UnpackSize;
        packed = PackSize;
        count = NumFiles;
    };
    const bool ok = lister.Activate();
    std::printf("TOTAL\t%.0f\t%.0f\t%d\n", unpacked, packed, count);
    return ok && errors == 0 ? 0 : 1;
}
