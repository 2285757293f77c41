#include "ListerSupport.h"

#include "NextVolumeGuess.h"

#include <sstream>
#include <sys/stat.h>

namespace testsupport {

const TListedEntry* TListing::Find(const std::string& Name) const {
    for (const TListedEntry& e : Entries)
        if (e.Name == Name) return &e;
    return nullptr;
}

bool TListing::HasError(int Code) const {
    for (const TListedError& e : Errors)
        if (e.Code == Code) return true;
    return false;
}

std::string TListing::Describe() const {
    std::ostringstream out;
    out << "result " << Result << ", " << Entries.size() << " entries:";
    for (const TListedEntry& e : Entries)
        out << "\n  " << e.Name << " " << e.Unpacked << " " << e.Packed << " " << std::hex << e.Crc
            << std::dec;
    for (const TListedError& e : Errors)
        out << "\n  error " << e.Code << " " << e.FileName << " " << e.ExtendedMsg;
    return out.str();
}

TListing ListArchive(const std::string& Archive, const std::function<void(TKorva&)>& Setup) {
    TListing listing;
    TKorva lister;
    lister.ShowEmptyDirs = true;
    lister.SetArchiveFile(Archive);
    listing.Type = lister.ArcType();
    lister.OnCorruptZipHeader = [](TZipCommon&, THeaderTypeState, bool& Cancel) { Cancel = false; };
    lister.OnNextVolume = [](TZipCommon& Sender, std::string& VolumeName, const std::string&, bool,
                             bool& Cancel) {
        struct stat st {};
        if (::stat(VolumeName.c_str(), &st) != 0) {
            const std::string other = NextVolumeLike(Sender.ArchiveFile());
            if (!other.empty()) VolumeName = other;
        }
        Cancel = ::stat(VolumeName.c_str(), &st) != 0;
    };
    lister.OnGetZipLastDisk = [](TZipCommon&, bool& Cancel) { Cancel = true; };
    lister.OnError = [&](TZipCommon&, const std::string& FileName, const std::string& ExtendedMsg,
                         const std::string&, int Code) {
        listing.Errors.push_back({FileName, ExtendedMsg, Code});
    };
    lister.OnReadFile = [&](TZipCommon&, const std::string& FileName) {
        listing.ReadFiles.push_back(FileName);
    };
    lister.OnRead = [&](TZipCommon& Sender, std::int64_t Offset, int Filenum) {
        TListedEntry e;
        e.Name = Sender.FileName;
        e.Unpacked = Sender.UnpackedSize;
        e.Packed = Sender.PackedSize;
        e.Crc = Sender.CRC;
        e.Method = Sender.MethodName;
        e.Encrypted = Sender.Encrypted;
        e.Ratio = Sender.Ratio;
        e.Offset = Offset;
        e.Filenum = Filenum;
        e.VolumeID = Sender.VolumeID;
        e.Comment = Sender.FileComment;
        e.Date = Sender.FileDate;
        e.ExternalAttr = Sender.ExternalAttr;
        listing.Entries.push_back(e);
    };
    lister.OnTotals = [&](TZipCommon&, double UnpackSize, double PackSize, int Ratio, int NumFiles) {
        listing.TotalsFired = true;
        listing.TotalUnpacked = UnpackSize;
        listing.TotalPacked = PackSize;
        listing.TotalRatio = Ratio;
        listing.NumFiles = NumFiles;
    };
    if (Setup) Setup(lister);
    listing.Result = lister.Activate();
    return listing;
}

} // namespace testsupport
