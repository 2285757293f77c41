// The tar reader (type atTar): the entries found by the shared tar walk are extracted as
// stored copies, sparse files with their holes as zeros. Folders are made; a hard link becomes
// a plain copy of the file it names (when that file is in the archive); symbolic links are
// reported skipped, devices and the other kinds are not written and fail, so nothing is ever
// created that leads outside the destination. An entry without a name is skipped with a
// message; the entries after it are read. A block that is no header is reported with its
// offset and the walk goes on at the next valid header; an archive cut off, also at a header
// without the end-of-archive block, is reported.
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

    // The headers are walked twice, so that nothing is kept per entry: the first walk counts
    // the selected entries and their bytes, reports the damage it finds and notes the names
    // that hard links point at; the second takes the same entries one by one as they are
    // extracted. Returns the number of selected entries.
    int ScanTarHeaders(TStream32& Stream);
    // The walk over Stream's headers (read at their offsets, the position left alone).
    static TTarWalker WalkerOf(TStream32& Stream);
    // The next entry of Walker that the job takes; past a block that is no header (reported
    // when Report), the walk goes on at the next valid header.
    bool NextSelected(TStream32& Stream, TTarWalker& Walker, TTarEntry& Entry, bool Report);
    // The next entry up to the walk's end.
    bool NextListed(TTarWalker& Walker, TTarEntry& Entry, bool Report);
    // The offset of the first block at From or after it that is a valid header; -1 for none.
    std::int64_t NextValidHeader(TStream32& Stream, std::int64_t From);
    // FFiles for the names hard links point at: the last file entry of each name.
    void FindLinkTargets(TStream32& Stream);
    void ExtractTarEntries(TStream32& Stream, int Count);
    void ExtractEntry(TStream32& Stream, const TTarEntry& Entry);
    void ExtractFile(TStream32& Stream, const TTarEntry& Entry, const TDataRef& Data);
    // Writes a sparse file: its chunks with zeros in the holes. Returns the bytes not written.
    std::int64_t CopySparse(TStream32& Stream, const TTarSparse& Sparse);

    // The file entries that hard links name, by their stored names (found only when the
    // archive holds hard links).
    std::unordered_map<std::string, TDataRef> FFiles;
    double FUnpackedTotal = 0;
};
