// What the legacy zip decoders (unshrink, unreduce, explode) share: how they are fed and
// drained, what they are told about the entry, and what they answer. The decoders know
// nothing of archives: the caller pulls the packed bytes out of its container (deciphering
// them on the way when it must) and pushes the decoded bytes into its output, checksum and
// progress.
#pragma once

#include <cstdint>
#include <functional>

// Buffers of the decoders: packed bytes are pulled and decoded bytes pushed in blocks of at
// most this many bytes.
inline constexpr std::int64_t DecoderBufferSize = 32768;

// Delivers up to Count packed bytes into Buffer; returns the count delivered (0 or less: no
// more input). Count never exceeds DecoderBufferSize nor the packed bytes still expected.
using TPackedInput = std::function<std::int64_t(std::uint8_t* Buffer, std::int64_t Count)>;

// Takes Count (1..DecoderBufferSize) decoded bytes. A sink that cannot write them raises
// (E_RAISE 25136 "Error writing to file" for the zip reader); the decoder lets it pass.
using TDecodedOutput = std::function<void(const std::uint8_t* Buffer, std::int64_t Count)>;

// The decoders keep copies of Input and Output; CancelFlag must outlive the run.
struct TDecoderIO {
    TPackedInput Input;
    TDecodedOutput Output;
    std::int64_t PackedSize = 0;      // packed bytes of the entry (after any encryption header)
    std::int64_t UnpackedSize = 0;    // decoded size; the decoder produces never more than this
    const bool* CancelFlag = nullptr; // polled per block pulled or pushed; set: the run stops
};

// What a decode run answers. Errors that end the job are raised as E_RAISE instead.
struct TDecodeResult {
    std::int64_t Produced = 0; // decoded bytes handed to Output
    // 0, or the code of damaged data that stopped this entry early; the caller reports it
    // (the job goes on) and the entry then fails its CRC check.
    int ErrorCode = 0;
    bool Cancelled = false; // the cancel flag stopped the run
};

// How a decoder stops early inside its run: damaged data (Code, reported by the caller) or
// the cancel flag. Thrown by the shared reader and output, caught by the decoder's Run.
struct TDecodeStop {
    int Code = 0;
    bool Cancelled = false;
};

// Runs Body, a decoder proper, and ends with Flush: a TDecodeStop becomes the result's
// ErrorCode or Cancelled, an E_RAISE passes on after Flush. The caller sets Produced.
TDecodeResult RunDecoderBody(const std::function<void()>& Body, const std::function<void()>& Flush);
