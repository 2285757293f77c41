// The lha/lzh reader: walks the headers of levels 0, 1 and 2 (krvLhaRecords) from where
// detection found the archive (self-extractors included) and extracts -lh0- (stored), -lh1-
// (adaptive Huffman), -lh4- to -lh7- (static Huffman) entries and -lhd- folders; other
// methods are refused. Data are checked with their CRC-16.
#pragma once

#include "engine/formats/lha/krvLhaRecords.h"
#include "engine/core/krvUnBase.h"

class TUnLha : public TUnBase {
public:
    TUnLha();
    ~TUnLha() override;

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;

private:
    void ExtractEntry(TStream32& Stream, const TLhaHeader& Header);
};
