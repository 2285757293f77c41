// The root class of every engine component: the archive file, its detected type and what
// detection learned about the file (where the archive starts, its size and date, the zip
// records that locate a zip directory and their state, the start of volume names).
#pragma once

#include "engine/core/krvGbls.h"

#include <array>
#include <cstdint>
#include <string>

class TStream32;

// Zip header state left by detection.
enum THeaderTypeState : std::uint8_t {
    htLocal = 1,   // a local header can be read at the recorded place
    htCentral = 2, // a central directory record was found
    htEnding = 4,  // the end record was found
};

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

    // Detects the type of FileName by its content and fills the fields below.
    TArcType DetectArcType(const std::string& FileName);
    // Finds the zip end record and central directory; returns the position where the
    // directory really lies (0 when not found) and fills the zip fields and HeaderState.
    std::int64_t LocateZipDirectory(TStream32& Stream);

    // Writers store zip headers enciphered with the "PL" signatures.
    bool EncryptHeaders = false;

    // What detection found.
    std::int64_t ZipCommentPos = 0;      // position of the zip comment, 0 when there is none
    std::int64_t ZipOffsetCorrection = 0; // bytes in front of the zip archive (a stub)
    std::array<std::uint8_t, 30> LocalRecord{};
    std::array<std::uint8_t, 46> CentralRecord{};
    std::array<std::uint8_t, 22> EndRecord{};
    std::uint32_t ArchiveDate = 0;       // packed DOS date-time of the file, 0 when unknown
    std::int64_t ArchiveSize = 0;
    std::int64_t ArchiveOffset = 0;      // where the archive begins in the file
    std::int32_t VolumeNumber = 0;
    char VolumeLetter = 0;
    std::array<std::uint8_t, 512> HeaderBuffer{};
    std::uint8_t HeaderState = 0;        // THeaderTypeState bits

protected:
    std::string FArchiveFile;
    TArcType FArcType = atNA;
    std::int32_t FZipCmntBufSize = 2000;
};
