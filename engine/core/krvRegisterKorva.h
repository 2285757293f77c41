// The root class of every engine component: the archive file, its detected type and what
// detection learned about the file (where the archive starts, its size and date, the zip
// records that locate a zip directory and their state, the start of volume names), and the
// zip header signatures with the header cipher of the enciphered-header zip form.
#pragma once

#include "engine/core/krvCrypt.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvStreams.h"
#include "engine/formats/zip/krvZipRecords.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

class TStream32;

// Zip header state left by detection.
enum THeaderTypeState : std::uint8_t {
    htLocal = 1,   // a local header can be read at the recorded place
    htCentral = 2, // a central directory record was found
    htEnding = 4,  // the end record was found
};

// Kinds of zip records, as the header signature methods name them.
inline constexpr int zkLocal = 0;
inline constexpr int zkCentral = 1;
inline constexpr int zkEnd = 2;
inline constexpr int zkNone = 3;

class TRegisterKorva {
public:
    TRegisterKorva() = default;
    TRegisterKorva(const TRegisterKorva&) = delete;
    TRegisterKorva& operator=(const TRegisterKorva&) = delete;
    virtual ~TRegisterKorva() = default;

    // Stores the name and detects the archive's type from its content; a missing file gives
    // atNA and an empty name. Writers override it to store the name only.
    virtual void SetArchiveFile(const std::string& Name);
    const std::string& ArchiveFile() const { return FArchiveFile; }
    // On this class the value is ignored and the type is detected again; writers store it.
    virtual void SetArcType(TArcType Value);
    TArcType ArcType() const { return FArcType; }

    void SetZipCmntBufSize(std::int32_t Value);
    std::int32_t ZipCmntBufSize() const { return FZipCmntBufSize; }

    // Called once the owner has set the component's properties; nothing happens here.
    virtual void Loaded() {}
    // Detects the type of FileName by its content and fills the fields below.
    TArcType DetectArcType(const std::string& FileName);
    // Opens FileName read-only into Handle and stores its size in ArchiveSize (0 and false when
    // it cannot be opened): for the parts that read an archive through a handle of their own.
    bool OpenArchiveRead(std::unique_ptr<TFileStream32>& Handle, const std::string& FileName);
    // Finds the zip end record (behind a comment of up to 65535 bytes) and the central
    // directory (also through a zip64 end record); returns the position where the directory
    // really lies, 0 when no end record or no directory was found, or, when the end record
    // points at no directory, the first local header in the first 128 KiB (HeaderState then
    // exactly htLocal) or -1. Fills the zip fields and HeaderState.
    std::int64_t LocateZipDirectory(TStream32& Stream);
    // Where the directory found at DirPos ends by the end records' size, -1 when unknown.
    std::int64_t ZipDirectoryEnd(std::int64_t DirPos) const;

    // ---- zip header signatures ----
    // The signature to write for a record kind: kinds 0 and 1 in the "PL" form when
    // EncryptHeaders is set; kind 2 always "PK" 5 6; any other kind "PK" 7 8.
    static std::uint32_t ZipHeaderSignature(int Kind, bool EncryptHeaders);
    // ExpectedKind when Signature is that kind's plain or enciphered form (Encrypted tells
    // which), else zkNone.
    static int ZipHeaderKind(std::uint32_t Signature, int ExpectedKind, bool& Encrypted);
    static bool IsZipLocalOrCentralSig(std::uint32_t Signature);
    static bool IsEncryptedHeaderSig(std::uint32_t Signature);
    // Record holds a whole record, signature first. The fixed part after the signature is
    // deciphered (enciphered) in place with the header key loaded afresh; the *HeaderBuf
    // calls continue the same key stream over the bytes that follow the record.
    void DecryptZipHeader(std::span<std::uint8_t> Record, int Kind);
    void DecryptHeaderBuf(void* Buffer, std::int64_t Count);
    void EncryptZipHeader(std::span<std::uint8_t> Record, int Kind);
    void EncryptHeaderBuf(void* Buffer, std::int64_t Count);

    // Writers store zip headers enciphered with the "PL" signatures.
    bool EncryptHeaders = false;

    // What detection found.
    std::int64_t ZipCommentPos = 0;       // position of the zip comment, 0 when there is none
    std::int64_t ZipEndRecordPos = -1;    // position of the end record, -1 when none was found
    std::int64_t ZipOffsetCorrection = 0; // bytes in front of the zip archive (a stub)
    bool ZipDirectoryOffsetWrong = false; // the end record's directory offset points elsewhere
    std::int64_t ZipDirectorySize = -1;   // the directory's size as the end records give it, -1 unknown
    std::uint64_t ZipEntryCount = 0;      // the entries the end records count (also through Zip64)
    std::array<std::uint8_t, TZipLocalHeader::Size> LocalRecord{};
    std::array<std::uint8_t, TZipCentralHeader::Size> CentralRecord{};
    std::array<std::uint8_t, TZipEndRecord::Size> EndRecord{};
    std::uint32_t ArchiveDate = 0; // packed DOS date-time of the file, 0 when unknown
    std::int64_t ArchiveSize = 0;
    std::int64_t ArchiveOffset = 0; // where the archive begins in the file
    std::int32_t VolumeNumber = 0;
    char VolumeLetter = 0;
    std::array<std::uint8_t, 512> HeaderBuffer{};
    std::uint8_t HeaderState = 0; // THeaderTypeState bits

protected:
    std::string FArchiveFile;
    TArcType FArcType = atNA;
    std::int32_t FZipCmntBufSize = 2000;

private:
    // Detection steps (krvDetect.cpp, krvDetectProbes.cpp, krvSignatureClassifier.cpp).
    TArcType DetectPlain(TStream32& Stream, std::span<const std::uint8_t> Head);
    TArcType DetectExecutable(TStream32& Stream, std::span<const std::uint8_t> Head,
                              const std::string& FileName);
    TArcType ClassifySignature(TStream32& Stream, std::int64_t Pos, bool InExe);
    bool PlausibleEncipheredLocal(TStream32& Stream, std::int64_t Pos);
    // Offset of a zip found inside an executable: the directory when it can be located,
    // else the local header at Found, walked header by header.
    void SetZipExeOffset(TStream32& Stream, std::int64_t Found);
    TArcType ProbeStubOffsets(TStream32& Stream);
    TArcType ProbeResourceOffsets(TStream32& Stream, const std::string& FileName);
    TArcType ProbeDosImageEnd(TStream32& Stream, std::span<const std::uint8_t> Head);
    TArcType MarkerScan(TStream32& Stream, std::int64_t Start);
    bool ProbeUuencode(TStream32& Stream);
    bool ProbeTar(TStream32& Stream);
    void SetupVolumeNaming();

    // The header cipher of the enciphered-header zip form: its own key state, apart from
    // the cipher that entries' passwords key.
    TZipCipher FHeaderCipher;
};
