// The tar reader (type atTar): the entries found by the shared tar walk are extracted as
// stored copies, sparse files with their holes as zeros. Folders are made; a hard link becomes
// a plain copy of the file it names (when that file is in the archive); symbolic links are
// reported skipped, devices and the other kinds are not written and fail, so nothing is ever
// created that leads outside the destination. An entry without a name is skipped with a
// message; the entries after it are read.
#pragma once

#include "engine/core/krvUnBase.h"
#include "engine/formats/tar/krvTarRecords.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class TUnTar : public TUnBase {
public:
    TUnTar();
    ~TUnTar() override;

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;

private:
    // Where the data of a file entry lie; a sparse file's with its map.
    struct TDataRef {
        std::int64_t Pos = 0;
        std::int64_t Size = 0;
        bool Truncated = false;
        std::shared_ptr<const TTarSparse> Sparse;
    };
    static TDataRef DataOf(const TTarEntry& Entry);
    // The data a file entry or a hard link to a file in the archive holds; none otherwise.
    std::optional<TDataRef> FileData(const TTarEntry& Entry) const;

    void ScanTarHeaders(TStream32& Stream);
    void ExtractTarEntries(TStream32& Stream);
    void ExtractFile(TStream32& Stream, const TTarEntry& Entry, const TDataRef& Data);
    // Writes a sparse file: its chunks with zeros in the holes. Returns the bytes not written.
    std::int64_t CopySparse(TStream32& Stream, const TTarSparse& Sparse);

    std::vector<TTarEntry> FEntries; // the selected entries
    // Every file entry by its stored name, for the hard links that name them.
    std::unordered_map<std::string, TDataRef> FFiles;
    double FUnpackedTotal = 0;
};
