#include "engine/read/krvLibraryScan.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/read/krvKorva.h"

#include <algorithm>

namespace {

constexpr std::uint32_t DosDirectory = 0x10;

} // namespace

std::uint32_t TLibraryScan::CrcOf(const std::string& Name, std::size_t& Next) const {
    for (std::size_t i = Next; i < Files.size(); ++i) {
        if (Files[i].Name != Name) continue;
        Next = i + 1;
        return Files[i].Crc;
    }
    return 0;
}

TLibraryScan ScanLibraryArchive(const TZipCommon& Reader) {
    TLibraryScan scan;
    TKorva lister;
    lister.SetArchiveFile(Reader.ArchiveFile());
    lister.FileSpec = Reader.FileSpec;
    lister.RecurseDirs = Reader.RecurseDirs;
    lister.TranslateOemChar = Reader.TranslateOemChar;
    lister.ShowEmptyDirs = true;
    // Only the volumes that are there: the library asks for any other when it needs it.
    lister.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool Exists, bool& Cancel) {
        Cancel = !Exists;
    };
    lister.OnRead = [&](TZipCommon& Sender, std::int64_t, int) {
        const std::string& name = Sender.FileName;
        if ((Sender.ExternalAttr & DosDirectory) || (!name.empty() && name.back() == '/')) {
            scan.Folders.push_back(name);
            return;
        }
        scan.Files.push_back({name, Sender.CRC, Sender.UnpackedSize});
        scan.Total += static_cast<double>(Sender.UnpackedSize);
        scan.NewestDate = std::max(scan.NewestDate, DateTimeToDosDate(Sender.FileDate));
    };
    // A walk stopped by damage has not seen the end: the library must read on past it, and
    // find the damage itself.
    lister.OnError = [&scan, &Reader](TZipCommon&, const std::string& FileName, const std::string& Message,
                                      const std::string&, int ECode) {
        // A volume that is not there yet stops the walk as a cancel: the library asks for it.
        if (scan.DamageCode != 0 || ECode == ecUserCanceled) return;
        scan.DamageCode = ECode ? ECode : ecBadFileHeader;
        // Damage in a later volume names it.
        scan.Damage =
            FileName != Reader.ArchiveFile() && !FileName.empty() ? FileName + ": " + Message : Message;
    };
    scan.Complete = lister.Activate() && !lister.Cancel() && scan.DamageCode == 0;
    return scan;
}

void TUnLibraryBase::ScanHeaders() {
    FScan = ScanLibraryArchive(*this);
    JobTotal = BytesToDo = FScan.Total;
    MaxFileDate = FScan.NewestDate;
    if (!IsFileOutput() || !CreateStoredDirs) return;
    for (const std::string& folder : FScan.Folders) {
        SetCurrentFileName(folder);
        if (!FileName.empty()) ForceOutputDirs(FileName);
    }
}
