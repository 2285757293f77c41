// Runs the legacy zip decoders over packed bytes held in memory, the way the zip reader
// feeds them, and watches the contract on the way: no pull beyond the packed size, no push
// beyond the unpacked size, blocks of at most 32768 bytes.
#pragma once

#include "engine/codec/krvDecoderIO.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace legacytest {

struct TLegacyRun {
    std::string Output;
    TDecodeResult Result;
    int Raised = 0;             // the code of an E_RAISE that ended the run, else 0
    bool PulledTooMuch = false; // the decoder asked for bytes beyond the packed size
    bool PushedTooMuch = false; // more output than the unpacked size, or an oversized block
    std::int64_t LargestBlock = 0;
    std::uint32_t Crc = 0;   // CRC-32 of Output (final value)
    std::uint16_t Crc16 = 0; // CRC-16 of Output

    bool Failed() const { return Raised != 0 || Result.ErrorCode != 0; }
};

struct TLegacyOptions {
    std::int64_t PackedSize = -1; // -1: the size of the packed bytes given
    const bool* CancelFlag = nullptr;
    std::int64_t CancelAfterBlocks = 0; // > 0: the sink sets *CancelTarget after that many blocks
    bool* CancelTarget = nullptr;
};

// Runs Decoder over Packed to at most UnpackedSize bytes.
TLegacyRun RunDecoder(const std::function<TDecodeResult(const TDecoderIO&)>& Decoder, std::string_view Packed,
                      std::int64_t UnpackedSize, const TLegacyOptions& Options = {});

// Decodes Packed as zip method Method (1 shrunk, 2..5 reduced, 6 imploded with Flags bits 1
// and 2) to at most UnpackedSize bytes.
TLegacyRun RunLegacy(int Method, std::uint16_t Flags, std::string_view Packed, std::int64_t UnpackedSize,
                     const TLegacyOptions& Options = {});

// Writes bit fields least significant bit first, as the decoders read them.
class TBitWriter {
public:
    void Put(std::uint32_t Value, int Count);
    // Count bits of Code, most significant first (Shannon-Fano codes).
    void PutMsbFirst(std::uint32_t Code, int Count);
    std::string Bytes() const;

private:
    std::string FBytes;
    std::uint32_t FAcc = 0;
    int FBits = 0;
};

// One entry's packed stream cut out of a sample archive, with what its header says.
struct TRawStream {
    std::string Where; // archive and entry, for messages
    int Method = 0;
    std::string Packed;
    std::int64_t UnpackedSize = 0;
    std::uint32_t Crc = 0; // CRC-32 or CRC-16, as the format keeps it
};

// Positioned reads from Data, for the record parsers (bytes past its end are not there).
std::function<std::int64_t(std::int64_t At, void* Buffer, std::int64_t Count)>
ReaderOf(const std::string& Data);

// Writes bit fields most significant bit first, as the LHA family of decoders reads them.
class TMsbBitWriter {
public:
    void Put(std::uint32_t Value, int Count);
    std::string Bytes() const;

private:
    std::string FBytes;
    std::uint8_t FAcc = 0;
    int FBits = 0;
};

} // namespace legacytest

namespace legacytest {

// A shrunk, reduced or imploded entry of a corpus zip, as its local header describes it.
struct TCorpusEntry {
    std::string Archive; // relative to the corpus folder
    std::string Name;    // UTF-8 (CP437 names converted)
    std::uint16_t Method = 0;
    std::uint16_t Flags = 0;
    std::uint32_t Crc = 0;
    std::int64_t UnpackedSize = 0;
    std::string Packed;
};

// The legacy-method entries (methods 1 to 6) of the zip Archive, walked by local headers.
std::vector<TCorpusEntry> LegacyEntries(const std::string& Archive);

// A legacy entry of the corpus by archive and stored name; fails the test when missing.
TCorpusEntry CorpusEntry(const std::string& Archive, const std::string& Name);

} // namespace legacytest
