// The bh writer: creates bh archives and adds, refreshes, moves and deletes entries. New
// files are deflated (through the writer base) or LZH-encoded as method 3, and stored when
// that does not make them smaller; with a Password their data are enciphered with the
// traditional zip cipher. Names are stored as UTF-8 (a bh header has no host to mark them).
// Entries of an existing archive are copied byte for byte, extra fields included; a renamed
// one gets its header and name anew over its extra field and data.
#pragma once

#include "engine/core/krvCompBase.h"
#include "engine/formats/bh/krvBhRecords.h"

#include <array>

class TBlakHole : public TCompBase {
public:
    TBlakHole();

    void SetArcType(TArcType Value) override;

protected:
    int GetHeadSize() override { return TBhImage::Size; }
    int GetLocalHeadSize() override { return TBhImage::Size; }
    bool ReadFirstHeader(TStream32& Input, bool& Central) override;
    bool ReadHeader(TStream32& Input, std::string& Name, bool Central) override;
    const std::uint8_t* GetHeadPtr() override { return FOldImage.data(); }
    std::int64_t GetEntrySize(int Index) override;
    void InitHeader(TCompHeaderObj& List, int Index) override;
    bool CompressFile(TStream32& Input, TCompHeaderObj& List, int Index) override;
    void WriteLocalHeader(TStream32& Output) override;
    void SetHeaderFields(std::int64_t UnpackedSize, std::int64_t PackedSize) override;
    void StoreHeader(TCompHeaderObj& List, int Index) override;
    void InfoToHeader(std::uint8_t* Header, const TCompFileInfo& Info) override;
    void HeaderToInfo(const std::uint8_t* Header, TCompFileInfo& Info) override;
    void CopyEntry(TCompHeaderObj& List, int Index) override;
    void DoFileEnd() override;
    void ListEntries(TCompHeaderObj& List) override;
    void CheckLimits(TCompHeaderObj& List) override;

private:
    // The entry of record Index in the old archive, read again.
    TBhHeader ReadOld(int Index);
    // Encodes the input with LZH after the (enciphered) data start; false when storing does
    // better or the file changed while it was read.
    bool EncodeFile(TStream32& Input, std::int64_t Size);

    TBhImage FHeader;
    std::string FName;                                    // the stored name of the entry being written
    std::int64_t FReadPos = 0;                            // where ReadHeader reads the next old header
    std::array<std::uint8_t, TBhImage::Size> FOldImage{}; // the old header read last
};
