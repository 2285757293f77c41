// The lha/lzh writer: creates lzh archives and adds, refreshes, moves and deletes entries.
// New files are compressed with -lh5- or -lh6- (the LZH encoder) or stored with -lh0- when
// that does not make them smaller; empty folders become -lhd- entries (stored by default, so
// a tree comes back whole). Every new entry gets a level-2 header marked as made on Unix: the
// name in UTF-8, the modification time to the second, the file's mode in the Unix permission
// header and the header's own CRC. Entries of an existing archive (levels 0 to 2, read through
// the shared lha records) are copied byte for byte; a renamed one gets a new header over its
// unchanged data. The archive ends with its 0 byte. No password, no comments.
#pragma once

#include "engine/core/krvCompBase.h"
#include "engine/formats/lha/krvLhaRecords.h"

class TLha : public TCompBase {
public:
    TLha();

    void SetArcType(TArcType Value) override;

protected:
    int GetHeadSize() override { return RecordSize; }
    int GetLocalHeadSize() override { return 24; }
    void ReadHeaders(TStream32& Input, TCompHeaderObj& List) override;
    bool ReadFirstHeader(TStream32& Input, bool& Central) override;
    bool ReadHeader(TStream32& Input, std::string& Name, bool Central) override;
    const std::uint8_t* GetHeadPtr() override { return FOldImage; }
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
    bool FinishArchive(TStream32& Output, TCompHeaderObj& List) override;
    void ListEntries(TCompHeaderObj& List) override;
    void CheckLimits(TCompHeaderObj& List) override;

private:
    // The list record of an entry: the sizes, DOS date-time, attribute, CRC-16, method and
    // header level (37 bytes).
    static constexpr int RecordSize = 37;
    struct TRecord {
        std::int64_t Packed = 0;
        std::int64_t Unpacked = 0;
        std::uint32_t DosTime = 0;
        std::uint8_t Attr = 0;
        std::uint16_t Crc = 0;
        char Method = 0;
        std::uint8_t Level = 0;
        static TRecord FromBytes(const std::uint8_t* P);
        void ToBytes(std::uint8_t* P) const;
    };

    // The header of the old entry of record Index, read again through the lha records.
    TLhaHeader ReadOld(int Index);
    // Encodes the input after the header; false when storing does better.
    bool EncodeFile(TStream32& Input, std::int64_t Size);
    bool StoreData(TStream32& Input, std::int64_t Size, const std::string& SourcePath);

    TLhaHeader FHeader;                      // the header of the entry being written
    std::int64_t FReadPos = 0;               // where ReadHeader reads the old archive's next header
    std::uint8_t FOldImage[RecordSize] = {}; // the list record of the old header read last
    std::uint32_t FDosTime = 0;
    std::uint16_t FCrc16 = 0; // the CRC-16 of the data written
};
