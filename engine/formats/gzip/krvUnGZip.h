// The gzip reader: the one file of a gzip file (every member of a multi-member file, decoded
// into the same output, each checked against its own trailer) or of a compress (.Z) file.
// When the decoded data begin with a tar header, OnNestedTarFile asks whether to unpack the
// tar too: then the data go to a temporary tar in TempDir, a TUnTar extracts its entries
// with their folders, and the temporary tar is removed; the reader's type becomes atTar and,
// when the tar gave entries, OnChangeArchive names the tar (the member's name). Bytes after a
// member that are neither zeros nor a whole member fail the file; a member named as a tar whose
// data begin with no tar header fails (its data still come out).
#pragma once

#include "engine/core/krvUnBase.h"
#include "engine/formats/gzip/krvGzipRecords.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TUnGZip : public TUnBase {
public:
    TUnGZip();
    ~TUnGZip() override;

    // Kept with the component; nothing of the reader consults it.
    TDeleteOptions GzTarDeleteOptions = doFinal;

    // The name a member extracts under: the stored name with ".tgz" made ".tar", an extension
    // equal to the archive's own cut off, and ".txt" added for a member marked as text.
    static std::string OutputName(const TGzipMember& Member, const std::string& ArchiveFile);

    using TSink = std::function<void(const std::uint8_t* Buffer, std::int64_t Count)>;
    // Decodes a whole gzip file (every member, each checked against its trailer) into Sink, as
    // the tar.gz writer reads the archive it updates; 0, or the code of the damage.
    int DecodeFile(TStream32& Input, const TSink& Sink);

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;

private:
    // ---- decoding (krvUnGZipDecode.cpp) ---------------------------------------------------------
    // Decodes the whole file into Sink; 0, or the code of the damage that stopped it.
    int DecodeAll(TStream32& Input, const TSink& Sink);
    int DecodeGzipMembers(TStream32& Input, const TSink& Sink);
    int DecodeCompress(TStream32& Input, const TSink& Sink);
    // Up to Count bytes of the decoded data's start (damage ignored).
    std::string PeekDecoded(TStream32& Input, std::int64_t Count);
    // Whether nothing but zero bytes lie from At to the end of Input.
    static bool OnlyZerosFrom(TStream32& Input, std::int64_t At);
    void PackedProgress(std::int64_t PackedDone);

    // ---- the job (krvUnGZip.cpp) ----------------------------------------------------------------
    void ExtractMember(TStream32& Input, const std::string& StoredName);
    bool AskNestedTar(TStream32& Input);
    void ExtractNestedTar(TStream32& Input);
    // Damaged: the tar was cut short by damage to the gzip data, which the caller reports.
    void RunTarReader(const std::string& TarFile, bool Damaged);

    TGzipMember FMember;       // the first member's header
    std::string FDamage;       // where the damage that stopped decoding lies
    bool FNoTarHeader = false; // the member is named as a tar, but its data begin with no tar header
    std::int64_t FPackedTotal = 0;
    std::int64_t FUnpackedGuess = 0; // the last trailer's size: for progress only
    TEntryTime FTime = 0u;
    // Members of the archive file itself are inflated on a thread of their own while this one
    // checksums and hands on what they give (the same pieces, progress and errors).
    bool FInflateAhead = false;
};
