// The zip reader: finds the entries of a zip archive (types atZip, atZipExe and atZipMV)
// through its central directory, or by walking its local headers when the directory is
// unusable, and extracts stored, shrunk, reduced, imploded and deflated entries, with the
// traditional zip cipher, the enciphered-header ("PL") form, data descriptors, archives behind
// a self-extractor stub, and sets spanned over several disks.
#pragma once

#include "engine/core/krvDiskManager.h"
#include "engine/core/krvUnBase.h"
#include "engine/core/krvZipDescriptor.h"
#include "engine/core/krvZipRecords.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TUnZip : public TUnBase {
public:
    TUnZip();
    ~TUnZip() override;

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;
    // Whether Password fits the current entry: the check byte of its deciphered encryption
    // header against the local header's CRC (or, with a data descriptor, its DOS time).
    bool CheckEncryptionHeader(std::span<std::uint8_t, 2 * CryptHeaderSize> WorkBuffer) override;

private:
    // One selected entry.
    struct TEntryRef {
        std::string Name; // its stored name as a local name
        std::uint32_t ExternalAttr = 0;
        int Disk = 0;                 // disk where its local header lies, counted from 0
        std::int64_t LocalOffset = 0; // corrected by what stands in front of the archive
        bool HasCentral = false;
        TZipCentralHeader Central; // its central record (central path)
        std::int64_t CompressedSize = 0;
        std::int64_t UncompressedSize = 0;
        // Local walk: the data descriptor found after the data (CRC and sizes).
        bool HasDescriptor = false;
        std::uint32_t DescriptorCrc = 0;
        // Local walk: the entry's data descriptor was not found, so where its data end is
        // not known; the entry fails.
        bool DataEndUnknown = false;
    };

    // A local header as read at an entry's offset.
    struct TLocalRecord {
        TZipLocalHeader Header;
        std::string RawName;
        std::vector<std::uint8_t> Extra;
        std::int64_t Position = 0;
        std::int64_t DataStart = 0;
    };

    // ---- finding the entries (krvUnZipScan.cpp) -------------------------------------------------
    // Reads the directory from Start on; fewer than Expected records is reported as damage.
    int ScanCentralDirectory(TStream32& Stream, std::int64_t Start, int Expected, bool& DirectoryFound);
    int ScanLocalHeaders(TStream32& Stream);
    // Reads the local header at Pos (deciphering the enciphered form) with its name and, when
    // WantExtra, its extra field. False when no local header stands there.
    bool ReadLocalRecord(TStream32& Stream, std::int64_t Pos, TLocalRecord& Record, bool WantExtra);
    // The data descriptor that ends the data of Record (flag bit 3) in the local walk, with or
    // without its signature. False when it cannot be found; Next is then the next zip record
    // after the data's start, or -1 when there is none.
    bool FindEntryDescriptor(TStream32& Stream, TZipDescriptorSearch& Search, const TLocalRecord& Record,
                             std::int64_t LocalCompressed, TZipDescriptorHit& Hit, std::int64_t& Next);
    void AddToTotals(std::uint32_t DosDateTime, std::int64_t Compressed, std::int64_t Uncompressed,
                     std::uint16_t Flags);

    // ---- extracting (krvUnZip.cpp) --------------------------------------------------------------
    void ExtractEntries(bool CentralPath);
    bool ZipProcessEntry(const TEntryRef& Entry);
    // Makes the disk holding the entry's local header current (spanned sets).
    bool OpenEntryDisk(const TEntryRef& Entry);
    bool RequestNextDisk();

    // ---- decoding (krvUnZipDecode.cpp) ----------------------------------------------------------
    // True for the methods ZipExtractEntry decodes.
    static bool ZipMethodSupported(std::uint16_t Method);
    void ZipExtractEntry();
    void ZipStoreEntry(std::int64_t Packed);
    void ZipInflateEntry(std::int64_t Packed);
    void ZipLegacyEntry(std::int64_t Packed);
    void PutDecoded(const std::uint8_t* Buffer, std::int64_t Count);

    TDiskSpannObj FDiskSpann;
    bool FSpanned = false;                              // reading a set spanned over disks
    int FCurrentDisk = 0;                               // disk of the open stream (spanned sets)
    std::unique_ptr<TFileStream32>* FArchive = nullptr; // the driver's archive stream
    std::unique_ptr<TStream32> FInput;                  // reads whatever disk is current
    std::vector<TEntryRef> FEntries;
    double FPackedTotal = 0;
    double FUnpackedTotal = 0;

    // The current entry.
    std::uint16_t FFlags = 0;
    std::uint16_t FMethod = 0;
    std::int64_t FCompressedSize = 0;
    std::int64_t FUncompressedSize = 0;
    std::uint32_t FDosDateTime = 0;
    std::uint32_t FStoredCrc = 0;
    std::uint16_t FLocalFlags = 0;
    std::uint32_t FLocalCrc = 0;
    std::uint32_t FLocalDosDateTime = 0;
    std::int64_t FDataStart = 0;
    std::string FEntryName; // its stored name as a local name
};
