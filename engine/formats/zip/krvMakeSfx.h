// The self-extractor maker: writes the stub program of the archive's type followed by the
// archive, and moves every offset of a zip or jar archive's directory by the stub's size so
// the archive reads at its new place. The stubs are data files "krv_<Type>.SFX" in
// SfxStubDir (the program's data folder by default).
#pragma once

#include "engine/core/krvZipCommon.h"

#include <cstdint>
#include <string>

class TStream32;
class TFileStream32;

class TMakeSFX : public TZipCommon {
public:
    TMakeSFX();

    // Detects the type, then sets the default target when none was set.
    void SetArchiveFile(const std::string& Name) override;
    // The file made; while unset (and ArchiveFile exists), ArchiveFile with the extension ".exe".
    std::string TargetFile();
    void SetTargetFile(const std::string& Value) { FTargetFile = Value; }
    // The folder of the stubs, kept with a trailing separator. A folder that does not exist is
    // kept as it is: Activate then reports its stub missing.
    const std::string& SfxStubDir() const { return FSfxStubDir; }
    void SetSfxStubDir(const std::string& Value);
    // The stub file for the archive's type; empty for a type that has none.
    std::string StubFile() const;

    // Makes TargetFile. Errors reach OnError; the old target stays as it was on any failure.
    void Activate();

private:
    void Make();
    // Copies the zip archive Input behind a stub of StubSize bytes: the directory records and
    // the end record get their offsets moved to where the entries now lie.
    void CopyZipShifted(TFileStream32& Input, TStream32& Output, std::int64_t StubSize);

    std::string FTargetFile;
    std::string FSfxStubDir;
};
