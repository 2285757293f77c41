// The uu/xx decoder: finds the "begin" line of uuencoded or xxencoded text (with a "table" or
// "charmap" alphabet when the text gives one), settles the alphabet by the first data line and
// decodes the file, following it over volume files when the text ends without its "end" line.
// A text may carry several files one after the other: each is decoded. The data of one file
// may be broken by part separators (blank lines, mail or part headers between two full
// lines). Text that ends without "end", or damaged lines, fail the file: what was decoded is
// not put in place. The mode of the "begin" line gives the file its permission bits.
#pragma once

#include "engine/codec/krvUUCodec.h"
#include "engine/core/krvUnBase.h"
#include "engine/formats/uu/krvUURecords.h"

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

    int MaxHeaderLines = 100; // lines searched for the first "begin" line
    TNextVolumeName NextVolumeName = nvChangeExt;
    bool VolumeLongFilenames = false;
    // The number of the first volume after the first file, less one; at most 10.
    void SetVolumeStartNum(int Value) { FVolumeStartNum = std::clamp(Value, 0, 10); }
    int VolumeStartNum() const { return FVolumeStartNum; }

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;

private:
    // The next "begin" line within MaxLines lines (0: to the end of the input), noting a
    // "table" or "charmap" alphabet on the way.
    bool FindBegin(TUULineReader& Lines, int MaxLines, TUUBegin& Begin);
    // Decodes the file of Begin from the line after it. True when its "end" line was reached.
    bool ExtractFile(std::unique_ptr<TFileStream32>& Stream, std::unique_ptr<TUULineReader>& Lines,
                     const TUUBegin& Begin);
    // Decodes the data lines, from Line on, into the open output across volumes. True when
    // the "end" line was reached.
    bool DecodeLines(std::unique_ptr<TFileStream32>& Stream, std::unique_ptr<TUULineReader>& Lines,
                     const std::string& First);
    // Opens the volume after the Opened volumes read so far; false when there is none.
    bool OpenNextVolume(std::unique_ptr<TFileStream32>& Stream, int Opened);
    void FlushOutput();
    // Passes over the rest of a file's lines, to its "end" line (true) or to the "begin" line
    // of the next file (true, kept for it); false at the end of the text.
    bool SkipToEnd(TUULineReader& Lines);

    std::string FDamagedBegin; // where the search passed over a "begin" line it could not read
    int FVolumeStartNum = 0;
    int FVolumesOpened = 1;
    std::string FFirstVolume;
    std::string FPending;
    std::optional<TUUAlphabet> FTable; // the text's own alphabet
    std::optional<TUUAlphabet> FAlphabet;
    std::optional<TUUBegin> FNextBegin; // a "begin" line met inside the file before it
};
