// The uu/xx decoder: finds the "begin" line of uuencoded or xxencoded text (with a "table" or
// "charmap" alphabet when the text gives one), settles the alphabet by the first data line and
// decodes the one file the text carries, following it over volume files when the text ends
// without its "end" line. Text that ends without "end", or damaged lines, fail the file: what
// was decoded is not put in place.
#pragma once

#include "engine/codec/krvUUCodec.h"
#include "engine/core/krvUnBase.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TUULineReader;

// How the name of the next volume is made from the first one's.
enum TNextVolumeName : std::uint8_t { nvChangeFilename, nvChangeExt };

class TUUDecode : public TUnBase {
public:
    TUUDecode();
    ~TUUDecode() override;

    int MaxHeaderLines = 100; // lines searched for the "begin" line
    TNextVolumeName NextVolumeName = nvChangeExt;
    bool VolumeLongFilenames = false;
    // The number of the first volume after the first file, less one; at most 10.
    void SetVolumeStartNum(int Value) { FVolumeStartNum = std::clamp(Value, 0, 10); }
    int VolumeStartNum() const { return FVolumeStartNum; }

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;

private:
    // Decodes the data lines, from Line on, into the open output across volumes. True when
    // the "end" line was reached.
    bool DecodeLines(std::unique_ptr<TFileStream32>& Stream, std::unique_ptr<TUULineReader>& Lines,
                     std::string Line);
    // Opens the volume after the Opened volumes read so far; false when there is none.
    bool OpenNextVolume(std::unique_ptr<TFileStream32>& Stream, int Opened);
    void PutBytes(const std::string& Bytes);
    void FlushOutput();

    int FVolumeStartNum = 0;
    std::string FFirstVolume;
    std::string FPending;
    std::optional<TUUAlphabet> FAlphabet;
};
