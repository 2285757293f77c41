// The bh reader: walks the entry headers (krvBhRecords) from where detection found the
// archive (self-extractors included) and extracts stored, LZH (methods 1 and 3) and deflated
// (methods 2 and 8) entries, enciphered ones with the traditional zip cipher once a password
// fits, checked with their CRC-32.
#pragma once

#include "engine/formats/bh/krvBhRecords.h"
#include "engine/core/krvUnBase.h"

class TUnBh : public TUnBase {
public:
    TUnBh();
    ~TUnBh() override;

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;
    // Whether Password fits the current entry: the check byte of its deciphered cipher header
    // against the CRC-32, or the DOS time when the entry's flags say so.
    bool CheckEncryptionHeader(std::span<std::uint8_t, 2 * CryptHeaderSize> WorkBuffer) override;

private:
    void ExtractEntry(TStream32& Stream, const TBhHeader& Header);
    // Decodes the entry's data, which stand at Stream's position, into the open output.
    void DecodeData(TStream32& Stream, const TBhHeader& Header);

    const TBhHeader* FCurrent = nullptr;
};
