#include "engine/core/krvStreams.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvErrorCodes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

EWriteError::EWriteError(int Code)
    : EStreamError(Code == ecDiskFull ? ErrorText(ecDiskFull) : "Stream write error"), FCode(Code) {}

// ---------------------------------------------------------------------------------------------
// TStream32

std::int64_t TStream32::GetSize() {
    const std::int64_t pos = Seek(0, soCurrent);
    const std::int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream32::SetSize(std::int64_t /*NewSize*/) {}

std::int64_t TStream32::Seek(std::int64_t /*Offset*/, TSeekOrigin /*Origin*/) {
    throw EStreamError("Seek not implemented");
}

void TStream32::ReadBuffer(void* Buffer, std::int64_t Count) {
    if (Count == 0) return;
    if (Count < 0 || Read(Buffer, Count) != Count) throw EReadError();
}

void TStream32::WriteBuffer(const void* Buffer, std::int64_t Count) {
    if (Count == 0) return;
    errno = 0;
    if (Count > 0 && Write(Buffer, Count) == Count) return;
    const bool full = errno == ENOSPC || errno == EDQUOT;
    throw EWriteError(full ? ecDiskFull : 0);
}

std::int64_t TStream32::CopyFrom(TStream32& Source, const bool* CancelFlag, TProgressEvent Progress,
                                 std::int64_t Count, std::int64_t BlockSize) {
    static const bool neverCancelled = false;
    if (!CancelFlag) CancelFlag = &neverCancelled;
    OnProgress = std::move(Progress);
    if (Count <= 0) return 0;

    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::min(Count, std::max<std::int64_t>(BlockSize, 1))));
    std::int64_t copied = 0;
    while (copied < Count && !*CancelFlag) {
        const std::int64_t n =
            std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), Count - copied);
        EngineHost::PumpIfDue();
        Source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        copied += n;
    }
    return copied;
}

std::int64_t TStream32::CopyAllFrom(TStream32& Source, const bool* CancelFlag, TProgressEvent Progress) {
    Source.SetPosition(0);
    return CopyFrom(Source, CancelFlag, std::move(Progress), Source.Size());
}

void TStream32::DoProgress() {
    if (OnProgress) OnProgress(*this);
}

// ---------------------------------------------------------------------------------------------
// THandleStream32

std::int64_t THandleStream32::GetSize() {
    struct stat st {};
    if (Handle < 0 || fstat(Handle, &st) != 0) return 0;
    if (S_ISREG(st.st_mode)) return st.st_size;
    return TStream32::GetSize();
}

void THandleStream32::SetSize(std::int64_t NewSize) {
    if (NewSize < 0 || Seek(NewSize, soBeginning) != NewSize || ftruncate(Handle, NewSize) != 0)
        throw EStreamError(std::strerror(errno));
}

std::int64_t THandleStream32::Read(void* Buffer, std::int64_t Count) {
    if (Handle < 0 || Count <= 0) return 0;
    auto* p = static_cast<char*>(Buffer);
    std::int64_t done = 0;
    while (done < Count) {
        const ssize_t n = ::read(Handle, p + done, static_cast<std::size_t>(Count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

std::int64_t THandleStream32::Write(const void* Buffer, std::int64_t Count) {
    if (Handle < 0 || Count <= 0) return 0;
    const auto* p = static_cast<const char*>(Buffer);
    std::int64_t done = 0;
    while (done < Count) {
        const ssize_t n = ::write(Handle, p + done, static_cast<std::size_t>(Count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

std::int64_t THandleStream32::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    if (Handle < 0) return -1;
    const int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
    return ::lseek(Handle, static_cast<off_t>(Offset), whence);
}

// ---------------------------------------------------------------------------------------------
// TFileStream32

TFileStream32::TFileStream32(const std::string& FileName, std::uint16_t Mode, std::uint8_t& Status)
    : THandleStream32(-1) {
    Status = fsOpenOk;
    if (Mode == fmCreate) {
        Handle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (Handle < 0) Status = fsCreateFailed;
        return;
    }
    int flags = O_CLOEXEC;
    switch (Mode & 3) {
    case 0:
        flags |= O_RDONLY;
        break;
    case 1:
        flags |= O_WRONLY;
        break;
    case 2:
        flags |= O_RDWR;
        break;
    default:
        Status = fsOpenFailed;
        return;
    }
    Handle = ::open(FileName.c_str(), flags);
    // A folder is not a file: refuse it as an open failure, as reading it would fail anyway.
    struct stat st {};
    if (Handle >= 0 && (fstat(Handle, &st) != 0 || S_ISDIR(st.st_mode))) {
        ::close(Handle);
        Handle = -1;
    }
    if (Handle < 0) Status = fsOpenFailed;
}

TFileStream32::~TFileStream32() {
    Close();
}

bool TFileStream32::Close() {
    if (Handle < 0) return true;
    const int rc = ::close(Handle);
    Handle = -1;
    return rc == 0;
}

// ---------------------------------------------------------------------------------------------
// TCustomMemoryStream32

void TCustomMemoryStream32::SetPointer(void* Ptr, std::int64_t ASize) {
    FMemory = static_cast<std::uint8_t*>(Ptr);
    FSize = ASize;
}

std::int64_t TCustomMemoryStream32::Read(void* Buffer, std::int64_t Count) {
    if (FPosition < 0 || Count < 0) return 0;
    std::int64_t n = FSize - FPosition;
    if (n <= 0) return 0;
    n = std::min(n, Count);
    std::memcpy(Buffer, FMemory + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

std::int64_t TCustomMemoryStream32::Write(const void* Buffer, std::int64_t Count) {
    if (FPosition < 0 || Count < 0) return 0;
    const std::int64_t n = std::min(Count, std::max<std::int64_t>(0, FSize - FPosition));
    if (n > 0) std::memcpy(FMemory + FPosition, Buffer, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

std::int64_t TCustomMemoryStream32::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    // A target beyond the 64-bit range fails like a bad seek of a file: -1, position kept.
    const std::int64_t origin = Origin == soCurrent ? FPosition : Origin == soEnd ? FSize : 0;
    if (!CheckedAdd(origin, Offset, FPosition)) return -1;
    return FPosition;
}

// ---------------------------------------------------------------------------------------------
// TMemoryStream32

void TMemoryStream32::Clear() {
    SetCapacity(0);
    FSize = 0;
    FPosition = 0;
}

void TMemoryStream32::Realloc(std::int64_t& NewCapacity) {
    if (NewCapacity > 0 && NewCapacity != FSize) {
        std::int64_t rounded = 0;
        if (!CheckedAdd(NewCapacity, GrowBy - 1, rounded))
            throw EStreamError(ErrorText(ecOutOfMemoryExpandingStream));
        NewCapacity = rounded / GrowBy * GrowBy;
    }
    if (NewCapacity == FCapacity) return;
    if (NewCapacity <= 0) {
        FBlock.reset();
        NewCapacity = 0;
        return;
    }
    auto* grown =
        static_cast<std::uint8_t*>(std::realloc(FBlock.get(), static_cast<std::size_t>(NewCapacity)));
    if (!grown) throw EStreamError(ErrorText(ecOutOfMemoryExpandingStream));
    (void)FBlock.release();
    FBlock.reset(grown);
}

void TMemoryStream32::SetCapacity(std::int64_t NewCapacity) {
    Realloc(NewCapacity);
    FCapacity = NewCapacity;
    FMemory = FBlock.get();
}

void TMemoryStream32::SetSize(std::int64_t NewSize) {
    if (NewSize < 0) NewSize = 0;
    const std::int64_t oldSize = FSize;
    SetCapacity(NewSize);
    if (NewSize > oldSize) std::memset(FMemory + oldSize, 0, static_cast<std::size_t>(NewSize - oldSize));
    FSize = NewSize;
    if (FPosition > NewSize) FPosition = NewSize;
}

std::int64_t TMemoryStream32::Write(const void* Buffer, std::int64_t Count) {
    if (FPosition < 0 || Count <= 0) return 0;
    std::int64_t end = 0;
    if (!CheckedAdd(FPosition, Count, end)) return 0;
    if (end > FSize) {
        if (end > FCapacity) SetCapacity(end);
        // The gap between the old end and the write position reads as zeros.
        if (FPosition > FSize) std::memset(FMemory + FSize, 0, static_cast<std::size_t>(FPosition - FSize));
        FSize = end;
    }
    std::memcpy(FMemory + FPosition, Buffer, static_cast<std::size_t>(Count));
    FPosition = end;
    return Count;
}
