// The tar writer: one 512-byte header per file or folder (old GNU "ustar  " magic), the data
// padded to whole blocks, names over 100 bytes in GNU long-name records, sizes beyond the
// octal field in base 256, and at least two zero blocks at the end, the archive padded to a
// multiple of 10240 bytes. Kept entries of an existing archive are copied byte for byte with
// their long-name and pax records. With cmTarGzip the archive is a tar.gz: an existing one is
// unpacked into a private scratch folder, and the new tar is gzipped as it is written (on the
// job's threads) into a temporary file beside the output, which replaces the output only when
// it is whole; no .tar is ever left beside it and no other file is touched.
#pragma once

#include "engine/core/krvCompBase.h"
#include "engine/formats/tar/krvTarAhead.h"
#include "engine/formats/tar/krvTarRecords.h"

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class TGzipOutput;

class TTar : public TCompBase {
public:
    TTar();

    std::uint32_t UnixUID = 2;
    std::uint32_t UnixGID = 2;
    std::string UnixUName = "root";
    std::string UnixGName = "root";

    void SetArcType(TArcType Value) override;
    int Compress() override;

    // With cmTarGzip: the tar.gz written for ArchiveFile ("x.tar" and "x.tar.gz" give
    // "x.tar.gz", "x.tgz" stays), and the name the tar is stored under in it.
    std::string GzipName() const;
    std::string TarNameInGzip() const;

protected:
    void DoCompress(TCompHeaderObj& List) override;
    std::string TemporaryArchiveName() override;
    std::unique_ptr<TStream32> WrapOutput(TTempFileStream& Temp) override;
    std::int64_t MaxArchiveSize() const override { return INT64_MAX; }
    int GetHeadSize() override { return static_cast<int>(TarBlockSize); }
    int GetLocalHeadSize() override { return static_cast<int>(TarBlockSize); }
    void ReadHeaders(TStream32& Input, TCompHeaderObj& List) override;
    bool ReadFirstHeader(TStream32& Input, bool& Central) override;
    bool ReadHeader(TStream32& Input, std::string& Name, bool Central) override;
    const std::uint8_t* GetHeadPtr() override { return FOldImage.data(); }
    std::int64_t GetEntrySize(int Index) override { return Entry(Index).NewLength; }
    // Copies a kept entry, its headers given the checksum form of a kept entry.
    void CopyKeptEntry(TCompHeaderObj& List, int Index) override;
    bool AddFile(TCompHeaderObj& List, int Index) override;
    void InfoToHeader(std::uint8_t* Header, const TCompFileInfo& Info) override;
    void HeaderToInfo(const std::uint8_t* Header, TCompFileInfo& Info) override;
    void CopyEntry(TCompHeaderObj& List, int Index) override;
    bool FinishArchive(TStream32& Output, TCompHeaderObj& List) override;
    void ListEntries(TCompHeaderObj& List) override;
    // Nothing of a tar is deflated per file; small files are read ahead on several threads.
    void StartPrefetch(TCompHeaderObj& List) override;
    void StopPrefetch() override { FAhead.reset(); }

private:
    using THeader = std::array<std::uint8_t, TarBlockSize>;
    bool GzipMode() const { return CompressMethod() == cmTarGzip; }
    // Fills H for a new entry; false when a value does not fit its field.
    bool BuildHeader(THeader& H, const std::string& Name, bool IsDir, std::uint32_t Mode, std::int64_t Size,
                     std::int64_t MTime);
    // Writes H (with a long-name record first when Name needs one) at the output's position;
    // returns the bytes written.
    std::int64_t WriteHeader(THeader& H, const std::string& Name);
    // Unpacks the existing tar.gz into Tar; raises when it is damaged.
    void UnpackOld(const std::string& GzName, const std::string& Tar);

    // Where each kept entry's own header and data lie in the old archive, by the offset its
    // records begin at.
    struct TOldEntry {
        std::int64_t HeaderPos = 0;
        std::int64_t DataPos = 0;
        std::int64_t Size = 0;
    };
    std::unordered_map<std::int64_t, TOldEntry> FOld;
    std::unique_ptr<TTarWalker> FOldWalk;  // the walk over the old archive's headers
    THeader FOldImage{};                   // the old header read last, with the walk's values
    std::vector<std::uint8_t> FSmall;      // a small file with its header and padding, as written
    std::unique_ptr<TTarReadAhead> FAhead; // small files read ahead (several threads)
    std::string FGzipTarget;               // the tar.gz being written (cmTarGzip)
    TGzipOutput* FGzipOut = nullptr;       // the stream the tar goes through into it (not owned)
};
