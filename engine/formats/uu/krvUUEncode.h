// The uuencoder: turns one file (ArchiveFile) into text that mail and news carry unchanged,
// uuencoded, xxencoded or as a Base64 MIME attachment, in OutFilename and, with
// KBytesPerVolume, further volumes named by the volume naming rule; the volumes after the first
// hold the data lines alone, so that joined end to end they are the one text. The "begin"
// line carries the file's permission bits. Every volume is built in a temporary file beside
// its name and all are put in place only when the whole file was encoded; an output is never
// the input.
#pragma once

#include "engine/core/krvCompBase.h"

#include <cstdint>
#include <string>

class TUUEncode : public TCompBase {
public:
    TUUEncode();

    // Lines per volume are KBytesPerVolume x 16; 0: one output file.
    int KBytesPerVolume = 0;
    // Writes the alphabet as a "table" before the data.
    bool WriteTableToFile = false;
    // Handed to the volume naming rule: its mode (true: the digits go into the extension)
    // and whether long names are allowed.
    bool VolumeNameMode = true;
    bool VolumeLongNames = true;
    TOnFileExists OnFileExists;

    // A name without '.' gets DefaultExt; "." clears the property.
    void SetOutFilename(const std::string& Value);
    const std::string& OutFilename() const { return FOutFilename; }
    // Stores the input's name; OutFilename becomes it with DefaultExt for its extension.
    void SetArchiveFile(const std::string& Name) override;
    void SetArcType(TArcType Value) override;

    // Encodes ArchiveFile: 1 when it was encoded, else 0.
    int Compress() override;

    // One data line (without its line break) for Count bytes (at most 45, or 57 for Base64).
    static std::string EncodeLine(TCompressMethod Method, const std::uint8_t* Data, std::size_t Count);
    // The longest line: 57 bytes as Base64.
    static constexpr std::size_t MaxLineLength = 76;
    // The MIME content type of a file by its extension.
    static std::string ContentType(const std::string& FileName);
    // Input bytes per line of a method.
    static std::size_t BytesPerLine(TCompressMethod Method) { return Method == cmBase64 ? 57 : 45; }

private:
    void Encode();
    // The line into Out (MaxLineLength characters at most); returns its length.
    static std::size_t PutLine(TCompressMethod Method, const std::uint8_t* Data, std::size_t Count,
                               char* Out);

    std::string FOutFilename;
    int FFilesWritten = 0;
};
