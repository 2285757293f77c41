// The zoo reader: walks the chain of directory entries (krvZooRecords) and extracts stored,
// LZW (method 1) and LZH (method 2) entries under their long names and folders, checked with
// their CRC-16. Deleted entries are passed over.
#pragma once

#include "engine/core/krvUnBase.h"
#include "engine/formats/zoo/krvZooRecords.h"

class TUnZoo : public TUnBase {
public:
    TUnZoo();
    ~TUnZoo() override;

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;

private:
    void ExtractEntry(TStream32& Stream, const TZooEntry& Entry);
};
