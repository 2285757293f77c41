#include "app/ops/WriterChoice.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

std::string LowerExtension(const std::string& FileName) {
    std::string ext = std::filesystem::path(FileName).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return ext;
}

} // namespace

std::optional<TOutArcType> WriterTypeForAddDialog(TArcType Type, const std::string& FileName) {
    if (Type == atGZip && !NamesTarGzip(FileName)) {
        // A compress file is detected as gzip too: only a gzip file by its first bytes.
        std::ifstream file(FileName, std::ios::binary);
        char magic[2] = {};
        if (file.read(magic, 2) && static_cast<unsigned char>(magic[0]) == 0x1F &&
            static_cast<unsigned char>(magic[1]) == 0x8B)
            return tyGZip;
        return std::nullopt;
    }
    return WriterTypeForArchive(Type, FileName);
}

bool NamesPlainGzip(const std::string& FileName) {
    return LowerExtension(FileName) == ".gz" && !NamesTarGzip(FileName);
}

TOutArcType WriterTypeForNewArchive(const std::string& FileName) {
    const std::string ext = LowerExtension(FileName);
    if (ext == ".bh") return tyBh;
    if (ext == ".cab") return tyCab;
    if (ext == ".lha" || ext == ".lzh") return tyLzh;
    if (ext == ".gz" || ext == ".tgz") return tyTarGzip;
    if (ext == ".tar") return tyTar;
    if (ext == ".jar") return tyJar;
    return tyZip;
}

TOutArcType WriterTypeForFilterIndex(int FilterIndex) {
    switch (FilterIndex) {
    case 1:
        return tyBh;
    case 2:
        return tyCab;
    case 3:
        return tyJar;
    case 4:
    case 5:
        return tyLzh;
    case 6:
        return tyTar;
    case 8:
        return tyTarGzip;
    default:
        return tyZip;
    }
}

std::string NewArchiveName(const std::string& FileName) {
    const std::string ext = LowerExtension(FileName);
    if (ext.empty()) return FileName + ".zip";
    if (ext == ".gz" && !NamesTarGzip(FileName)) return FileName.substr(0, FileName.size() - 3) + ".tar.gz";
    return FileName;
}
