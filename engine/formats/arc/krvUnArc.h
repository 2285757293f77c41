// The arc (and pak) reader: walks the headers of krvArcRecords, folders included, and
// extracts the entries of arc's methods 1 to 9 with their folder paths, checked with their
// CRC-16. Other methods (pak's own) are refused.
#pragma once

#include "engine/formats/arc/krvArcRecords.h"
#include "engine/core/krvUnBase.h"

class TUnArc : public TUnBase {
public:
    TUnArc();
    ~TUnArc() override;

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;

private:
    void ExtractEntry(TStream32& Stream, const TArcHeader& Header);
};
