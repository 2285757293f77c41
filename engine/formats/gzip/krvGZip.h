// The gzip writer: compresses each gathered file into a gzip file of its own (one RFC 1952
// member), written in the output folder under a name made by the Extension rule. An output is
// built in a temporary file beside its final name and put in place only when it is whole; the
// source of a move is deleted only after that. The tar writer writes its tar.gz through the
// gzip filter (krvGzipFilter), which makes the same bytes of the same data.
#pragma once

#include "engine/core/krvCompBase.h"

#include <cstdint>
#include <string>

// The extra flags of a member's header for a deflate type: 2 for the best, 4 for the fastest.
std::uint8_t GzipExtraFlags(TDeflateType Level);
// Writes a member's trailer: CRC-32 (after the final XOR) and the size modulo 2^32.
void WriteGzipTrailer(TStream32& Output, std::uint32_t Crc, std::int64_t Size);

// How the name of a gzip file is made from its source's name.
enum TGZipExt : std::uint8_t { exNone, exAppendGZ, exUnderScore };

class TGZip : public TCompBase {
public:
    TGZip();

    TGZipExt Extension = exAppendGZ;
    // When set and one file is gathered, its gzip file is written under this name instead of
    // one made by the Extension rule (a new archive the user named).
    std::string OutputName;
    TOnFileExists OnFileExists;

    void SetArchiveFile(const std::string& Name) override;
    void SetArcType(TArcType Value) override;

    // Runs the job: the number of gzip files written.
    int Compress() override;

    // Deflates Input from its position to its end as one member named StoredName into Output,
    // with CRC-32 and size in its trailer: in one call when it fits in memory, else in blocks on
    // the job's threads (the same bytes for any thread count). Progress and cancel are this
    // component's; Expected (the size the input had when it was found) chooses the way and sizes
    // the progress. False when cancelled.
    bool WriteMember(TStream32& Input, std::int64_t Expected, TStream32& Output,
                     const std::string& StoredName, std::uint32_t MTime);
    // The CRC-32 and size of the last member written.
    std::uint32_t MemberCrc() const { return FMemberCrc; }
    std::int64_t MemberSize() const { return FMemberSize; }

    // The output name of the source file Source in the folder Folder (with its separator).
    std::string OutputNameOf(const std::string& Folder, const std::string& Source) const;

private:
    struct TSource {
        std::string Path;
        std::int64_t Size = 0;
        std::uint32_t DosDate = 0;
        std::int64_t ModTime = 0;
    };
    void Gather(std::vector<TSource>& Sources);
    std::string OutputFolder() const;
    // Writes the gzip file of one source; false when it was skipped. Raises on failure.
    bool CompressOne(const TSource& Source, const std::string& OutName, int Count);

    std::uint32_t FMemberCrc = 0;
    std::int64_t FMemberSize = 0;
};
