// The engine's own streams: every archive, input file, temporary archive and codec stream
// of the engine is one of them. Sizes and positions are 64-bit throughout.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Open modes of TFileStream32: fmCreate, or an access mode combined with a sharing mode.
// Sharing is advisory on this platform and is accepted for compatibility.
inline constexpr std::uint16_t fmCreate = 0xFFFF;
inline constexpr std::uint16_t fmOpenRead = 0x0000;
inline constexpr std::uint16_t fmOpenWrite = 0x0001;
inline constexpr std::uint16_t fmOpenReadWrite = 0x0002;
inline constexpr std::uint16_t fmShareExclusive = 0x0010;
inline constexpr std::uint16_t fmShareDenyWrite = 0x0020;
inline constexpr std::uint16_t fmShareDenyRead = 0x0030;
inline constexpr std::uint16_t fmShareDenyNone = 0x0040;

// Status of TFileStream32's constructor.
inline constexpr std::uint8_t fsOpenOk = 0;
inline constexpr std::uint8_t fsCreateFailed = 254;
inline constexpr std::uint8_t fsOpenFailed = 255;

class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    // Set when the failure went through OnError before it was raised (see E_RAISE).
    bool Reported() const noexcept { return FReported; }
    void MarkReported() noexcept { FReported = true; }

private:
    bool FReported = false;
};

// A short read through ReadBuffer.
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
};

// A short write through WriteBuffer; Code is 25160 ("Disk full") when the disk was full, else 0.
class EWriteError : public EStreamError {
public:
    explicit EWriteError(int Code);
    int Code() const noexcept { return FCode; }

private:
    int FCode;
};

class TStream32 {
public:
    using TProgressEvent = std::function<void(TStream32& Sender)>;

    TStream32() = default;
    TStream32(const TStream32&) = delete;
    TStream32& operator=(const TStream32&) = delete;
    virtual ~TStream32() = default;

    virtual std::int64_t GetSize();
    virtual void SetSize(std::int64_t NewSize);
    // Plain reads and writes return the count moved and never raise.
    virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
    virtual std::int64_t Write(const void* Buffer, std::int64_t Count) = 0;
    // Returns the new position, or -1 when the stream cannot seek there.
    virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin);

    std::int64_t Size() { return GetSize(); }
    std::int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(std::int64_t Pos) { Seek(Pos, soBeginning); }

    // Read or write exactly Count bytes or raise (EReadError / EWriteError).
    void ReadBuffer(void* Buffer, std::int64_t Count);
    void WriteBuffer(const void* Buffer, std::int64_t Count);

    // Copies Count bytes from Source's position, block by block, letting the host's event
    // loop run once per block and stopping when *CancelFlag becomes true. Returns the number
    // of bytes really copied. Progress becomes this stream's OnProgress. BlockSize is the
    // largest block moved at once.
    std::int64_t CopyFrom(TStream32& Source, const bool* CancelFlag, TProgressEvent Progress,
                          std::int64_t Count, std::int64_t BlockSize = CopyBlockSize);
    // Copies the whole of Source from its beginning.
    std::int64_t CopyAllFrom(TStream32& Source, const bool* CancelFlag = nullptr,
                             TProgressEvent Progress = {});

    // Fires OnProgress when it is set.
    virtual void DoProgress();

    // The owning component's cancel flag, polled by the codec streams.
    const bool* CancelFlagPtr = nullptr;
    TProgressEvent OnProgress;

    static constexpr std::int64_t CopyBlockSize = 61440;
};

// A stream over a POSIX file descriptor that it does not own.
class THandleStream32 : public TStream32 {
public:
    explicit THandleStream32(int AHandle) : Handle(AHandle) {}

    std::int64_t GetSize() override;
    void SetSize(std::int64_t NewSize) override;
    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;

    int Handle;
};

// A file stream that opens by name and reports failure through Status instead of raising:
// fsOpenOk, fsOpenFailed (an existing file could not be opened) or fsCreateFailed.
// It owns its descriptor.
class TFileStream32 : public THandleStream32 {
public:
    TFileStream32(const std::string& FileName, std::uint16_t Mode, std::uint8_t& Status);
    // Takes ownership of a descriptor opened elsewhere (for example with O_NOFOLLOW).
    explicit TFileStream32(int OwnedHandle) : THandleStream32(OwnedHandle) {}
    ~TFileStream32() override;
    // Closes the descriptor now; false when close() reported an error (data may be lost).
    bool Close();
};

// A stream over a block of memory that it does not own.
class TCustomMemoryStream32 : public TStream32 {
public:
    void SetPointer(void* Ptr, std::int64_t ASize);

    std::int64_t GetSize() override { return FSize; }
    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;

    std::uint8_t* Memory() const { return FMemory; }

protected:
    std::uint8_t* FMemory = nullptr;
    std::int64_t FSize = 0;
    std::int64_t FPosition = 0;
};

// A growable memory stream. Writing past the end fills the gap with zeros.
class TMemoryStream32 : public TCustomMemoryStream32 {
public:
    ~TMemoryStream32() override = default;

    void Clear();
    void SetCapacity(std::int64_t NewCapacity);
    std::int64_t Capacity() const { return FCapacity; }
    void SetSize(std::int64_t NewSize) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;

    static constexpr std::int64_t GrowBy = 8192;

protected:
    // Rounds NewCapacity up to a multiple of GrowBy and resizes the block.
    virtual void Realloc(std::int64_t& NewCapacity);

private:
    struct TFree {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, TFree> FBlock;
    std::int64_t FCapacity = 0;
};
