// The codec streams through which entry data are stored, deflated, inflated or only
// checksummed. Each wraps another engine stream, keeps a running checksum of the plain data,
// enciphers or deciphers with the traditional zip cipher on the way when given one, takes the
// bytes it moves off the owner's bytes-still-to-do counter, fires its progress hook and stops
// when the owner's cancel flag is set. Deflate is zlib's; streaming inflate is ISA-L's, several
// times zlib's speed; both raw (no wrapper).
#pragma once

#include "engine/core/krvStreams.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>
#include <zlib.h>

class TZipCipher;

// Deflate levels: stored blocks, fastest, zlib's default, best.
enum TDeflateType : std::uint8_t { dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX };

// The zlib level of each TDeflateType: 0, 1, -1 (zlib's default, 6), 9.
int DeflateLevel(TDeflateType Level);

// Raw deflate: no zlib header or trailer, 32 KB window.
inline constexpr int RawDeflateWindowBits = -15;

// What a codec stream copies from the job of its owner.
struct TJobRecord {
    std::uint32_t Crc = 0;       // the job's running CRC-16 or CRC-32
    bool Continue = false;       // the entry continues one begun on a previous volume: start from Crc
    double* BytesToDo = nullptr; // the owner's bytes-still-to-do counter, lowered as data pass
    std::uint16_t Flags = 0;
};

// A zlib stream state that is ended exactly once, at the latest when it is destroyed.
class TZlibState {
public:
    enum TKind : std::uint8_t { zkDeflate, zkInflate };

    explicit TZlibState(TKind Kind) : FKind(Kind) {}
    TZlibState(const TZlibState&) = delete;
    TZlibState& operator=(const TZlibState&) = delete;
    ~TZlibState() { End(); }

    // Records a successful deflateInit2/inflateInit2 on Z.
    void SetLive() { FLive = true; }
    bool Live() const { return FLive; }
    // deflateEnd or inflateEnd; Z_STREAM_ERROR when the state is not live (never or already ended).
    int End();

    z_stream Z{};

private:
    TKind FKind;
    bool FLive = false;
};

class TCustomStream : public TStream32 {
public:
    static constexpr std::int64_t BufferSize = 65536;
    static constexpr std::int64_t CopyChunkSize = 100000;

    // Stores the wrapped stream and its current position.
    explicit TCustomStream(TStream32& Wrapped);

    // As TStream32::CopyFrom, in chunks of at most 100000 bytes. Returns the bytes copied; a
    // short read from Source ends the copy with the result 0.
    std::int64_t CopyFrom(TStream32& Source, const bool* CancelFlag, TProgressEvent Progress,
                          std::int64_t Count);

    // The running checksum of the plain data (CRC-32 without the final XOR, or CRC-16).
    std::uint32_t Crc() const { return FCrc; }
    int CrcWidth() const { return FWidth; }

    // When set, the data are enciphered (store and compression streams) or deciphered
    // (decompression stream) with this key state as they pass.
    TZipCipher* Cipher = nullptr;

protected:
    bool Cancelled() const { return CancelFlagPtr && *CancelFlagPtr; }
    // Starts the checksum of Width (16 or 32; other widths keep none).
    void StartChecksum(int Width, bool FromRecord);
    void UpdateChecksum(const void* Buffer, std::int64_t Count);
    void TakeOffBytesToDo(std::int64_t Count);
    // Puts the wrapped stream back where this stream left it, when someone else moved it.
    void RestoreWrappedPosition();
    void AdvanceWrappedPosition(std::int64_t Count);
    std::uint8_t* Buffer() { return FBuffer.data(); }
    void AllocateBuffer() { FBuffer.resize(BufferSize); }

    TStream32& FWrapped;
    std::int64_t FWrappedPos; // -1 when the wrapped stream cannot tell its position
    int FWidth = 0;
    std::uint32_t FCrc = 0;
    TJobRecord FRecord;

private:
    std::vector<std::uint8_t> FBuffer;
};

// Only computes the checksum of what is written to it; keeps no data.
class TCalcStreamCRC : public TCustomStream {
public:
    // Copies Count bytes of Source (0: all of it from position 0) into itself.
    TCalcStreamCRC(TStream32& Source, TProgressEvent Progress, const bool* CancelFlag, std::int64_t Count,
                   const TJobRecord& Record, int Width);

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;

    // What the constructor's copy returned.
    std::int64_t Copied() const { return FCopied; }

private:
    std::int64_t FCopied = 0;
};

// Writes the data unchanged (but enciphered when a cipher is set) to Output.
class TStoreStream : public TCustomStream {
public:
    // The checksum starts from Record.Crc when Record.Continue is set, else from 0 (width 16)
    // or 0xFFFFFFFF (width 32).
    TStoreStream(TStream32& Output, TProgressEvent Progress, const bool* CancelFlag, const TJobRecord& Record,
                 int Width);

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    // Only Seek(0, soCurrent) is answered: the bytes taken in. Other seeks give -1.
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;

    // Stores the whole of Input from position 0 in steps of 102400 bytes, stopping when the
    // cancel flag is set. Input's progress hook becomes this stream's. Returns the bytes stored.
    std::int64_t CopyFromStream(TStream32& Input);

    static constexpr std::int64_t StepSize = 102400;

private:
    std::int64_t FTakenIn = 0;
};

// Deflates what is written to it into Output. The checksum is a CRC-32 of the plain data.
class TCompressStream : public TCustomStream {
public:
    TCompressStream(TStream32& Output, TProgressEvent Progress, const bool* CancelFlag,
                    const TJobRecord& Record, TDeflateType Level, int WindowBits = RawDeflateWindowBits);

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    // Deflates Count bytes; stops early, dropping the rest, when the cancel flag is set.
    // Returns Count.
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    // Only Seek(0, soCurrent) is answered: the bytes taken in. Other seeks give -1.
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;

    // Ends the deflate stream and writes what is left. Returns Z_OK when the whole stream was
    // written, else the zlib error. The deflate state is ended here.
    int Finish();

    std::int64_t TotalIn() const { return static_cast<std::int64_t>(FState.Z.total_in); }
    std::int64_t TotalOut() const { return static_cast<std::int64_t>(FState.Z.total_out); }
    // The last deflate result (Z_OK while all is well).
    int Status() const { return FStatus; }

private:
    void DeflateInit(TDeflateType Level, int WindowBits);
    void WriteOutput(std::int64_t Count);

    TZlibState FState{TZlibState::zkDeflate};
    int FStatus = Z_OK;
};

struct inflate_state;

// Inflates the data read from Input (raw deflate, 32 KB window).
class TDecompressStream : public TCustomStream {
public:
    explicit TDecompressStream(TStream32& Input);
    // Puts Input right after the compressed data (back by the bytes read ahead but not used).
    ~TDecompressStream() override;

    // Inflates up to Count bytes into Buffer and returns the bytes produced: fewer at the end
    // of the deflate stream (EndOfStream), on damaged or truncated input (ErrorCode) or when
    // the cancel flag is set.
    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    // Only Seek(0, soCurrent) is answered: the bytes produced. Other seeks give -1.
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;

    bool EndOfStream() const { return FEndOfStream; }
    // The last result in zlib's terms: Z_OK, Z_STREAM_END, Z_BUF_ERROR when the input ran out
    // before the end of the deflate stream, or Z_DATA_ERROR for damaged data.
    int Status() const { return FStatus; }
    // 0, or 25153 ("Decompression error") when the last Read met damaged or truncated data.
    int ErrorCode() const;
    // The compressed bytes used so far (after the end: exactly the deflate stream's length).
    std::int64_t TotalIn() const;
    std::int64_t TotalOut() const { return FTotalOut; }
    // Output space the last Read left unfilled.
    std::int64_t AvailOut() const { return FAvailOut; }
    // Drops the input read ahead and reads on from Input's current position (the next disk
    // of a spanned archive).
    void ClearInput();

private:
    // The bytes read into the buffer (0 at the end of Input), or -1 when cancelled.
    std::int64_t FillInput();
    // The bytes read from Input that the inflater has not used.
    std::int64_t Unused() const;

    std::unique_ptr<inflate_state> FState;
    std::int64_t FTotalFed = 0; // compressed bytes handed to the inflater
    std::int64_t FTotalOut = 0;
    int FStatus = Z_OK;
    bool FEndOfStream = false;
    std::int64_t FAvailOut = 0;
};

// MSZIP, the deflate of cabinets: each block of a folder is "CK" and a whole raw deflate
// stream that may refer back into the plain data of the folder's previous blocks (at most
// 32 KB back), so one deflater serves the blocks of one folder in order.
class TMsZipBlockDeflater {
public:
    explicit TMsZipBlockDeflater(TDeflateType Level);
    // Appends the block for Count bytes of Data to Out; false on a zlib failure.
    bool Deflate(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out);
    // The same with the history given (the plain data before the block, at most 32 KB of it
    // used) instead of the deflater's own, which stays as it was.
    bool DeflateAfter(const std::uint8_t* History, std::size_t HistoryCount, const std::uint8_t* Data,
                      std::size_t Count, std::vector<std::uint8_t>& Out);

private:
    TZlibState FState{TZlibState::zkDeflate};
    std::vector<std::uint8_t> FHistory;
};

// ---- whole buffers --------------------------------------------------------------------------
// Data whose sizes are known and at most WholeBufferLimit bytes are inflated and deflated in
// one call of libdeflate, several times zlib's speed; everything else streams through zlib.
inline constexpr std::int64_t WholeBufferLimit = std::int64_t{16} << 20;

struct libdeflate_decompressor;
struct libdeflate_compressor;

class TWholeInflater {
public:
    TWholeInflater();
    ~TWholeInflater();
    TWholeInflater(const TWholeInflater&) = delete;
    TWholeInflater& operator=(const TWholeInflater&) = delete;

    // Inflates the raw deflate data In into exactly Out.size() bytes. False when the data are
    // damaged, or do not give exactly that many bytes. A large buffer lets the host's event
    // loop run meanwhile (EngineHost::RunWhilePumping).
    bool Inflate(std::span<const std::uint8_t> In, std::span<std::uint8_t> Out);

private:
    libdeflate_decompressor* FDecompressor = nullptr;
};

class TWholeDeflater {
public:
    // Pieces: the deflater makes the pieces of one long input (DeflatePiece), where the best
    // level searches less deeply (see WholeDeflateLevel).
    explicit TWholeDeflater(TDeflateType Level, bool Pieces = false);
    ~TWholeDeflater();
    TWholeDeflater(const TWholeDeflater&) = delete;
    TWholeDeflater& operator=(const TWholeDeflater&) = delete;

    // The most bytes Deflate can need for InSize bytes.
    std::int64_t Bound(std::int64_t InSize) const;
    // Deflates In (raw deflate) into Out; returns the bytes written, 0 when they do not fit. A
    // large buffer lets the host's event loop run meanwhile (EngineHost::RunWhilePumping).
    std::int64_t Deflate(std::span<const std::uint8_t> In, std::span<std::uint8_t> Out);
    // Deflates In as one piece of a longer raw deflate stream into Out (resized to fit): a piece
    // that is not Final ends with an empty stored block on a byte boundary and no final block, so
    // pieces made one by one (on any thread) join into one standard stream. A piece that deflate
    // could not make smaller (LooksIncompressible) is written as stored blocks at once. False on
    // failure.
    bool DeflatePiece(std::span<const std::uint8_t> In, bool Final, std::vector<std::uint8_t>& Out);

private:
    libdeflate_compressor* FCompressor = nullptr;
};
