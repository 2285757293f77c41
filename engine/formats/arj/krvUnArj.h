// The arj reader: walks the headers of an arj archive (krvArjRecords) volume by volume,
// following a set from the real name of each volume to the next, and extracts stored,
// LZH (methods 1 to 3) and "fastest" (method 4) entries, garbled ones with a password asked
// through OnGetPassword and retried. An entry continued over volumes is written into one
// output that is put in place only when its last part has passed its CRC check.
#pragma once

#include "engine/formats/arj/krvArjRecords.h"
#include "engine/core/krvUnBase.h"

#include <string>

class TUnArj : public TUnBase {
public:
    TUnArj();
    ~TUnArj() override;

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;

private:
    // Walks one volume from its main header at HeaderPos and extracts what it selects.
    // Returns whether its last entry continues on the next volume.
    bool ExtractVolume(TStream32& Stream, std::int64_t HeaderPos);
    void ExtractEntry(TStream32& Stream, const TArjHeader& Header);
    // Decodes the entry's data once into the open output; true when the CRC matches.
    bool DecodeOnce(TStream32& Stream, const TArjHeader& Header);
    // The decoder of a packing method from 1 (LZH, methods 1 to 3) or 4 (the fastest).
    using TDecoder = std::function<TDecodeResult(const TDecoderIO&)>;
    static TDecoder DecoderFor(std::uint8_t Method);
    // Makes the garble key for Header from the kept password, asking for one when none is
    // kept. False when none is given.
    bool GarbleKey(const TArjHeader& Header);

    std::string FKeptPassword;
    bool FContinuing = false; // an entry's output stays open for its part on the next volume
    int FNextVolumes = 0;     // volumes opened after the first
};
