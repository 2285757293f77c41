#include "engine/formats/cab/krvCabGbls.h"

#include "platform/CabinetLayout.h"

#include "engine/core/krvGbls.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

int LastError() {
    return errno ? errno : EIO;
}

} // namespace

std::intptr_t TStreamCabinetFileHandler::Open(const std::string& FileName, int OpenFlags, int /*Mode*/,
                                              int& Err) {
    std::uint16_t mode = fmCreate;
    if (!(OpenFlags & cabOpenCreate)) {
        const std::uint16_t access = (OpenFlags & cabOpenReadWrite) ? fmOpenReadWrite
                                     : (OpenFlags & cabOpenWrite)   ? fmOpenWrite
                                                                    : fmOpenRead;
        mode = access | ((OpenFlags & cabOpenExclusive) ? fmShareExclusive : fmShareDenyNone);
    }
    std::uint8_t status = fsOpenOk;
    auto stream = std::make_unique<TFileStream32>(FileName, mode, status);
    if (status != fsOpenOk) {
        Err = -1;
        return -1;
    }
    Err = 0;
    const std::intptr_t handle = stream->Handle;
    FStreams.push_back(std::move(stream));
    return handle;
}

TFileStream32* TStreamCabinetFileHandler::Find(std::intptr_t Handle) const {
    for (const auto& stream : FStreams)
        if (stream->Handle == Handle) return stream.get();
    return nullptr;
}

// A transfer of Count bytes through the stream of Handle; a short one reports the platform
// error, an unknown handle gives 0 with Err -1.
template <typename F>
std::int64_t TStreamCabinetFileHandler::Transfer(std::intptr_t Handle, std::int64_t Count, int& Err, F Move) {
    TFileStream32* stream = Find(Handle);
    if (!stream) {
        Err = -1;
        return 0;
    }
    errno = 0;
    const std::int64_t done = Move(*stream);
    Err = done < Count ? LastError() : 0;
    return std::max<std::int64_t>(done, 0);
}

std::int64_t TStreamCabinetFileHandler::Read(std::intptr_t Handle, void* Buffer, std::int64_t Count,
                                             int& Err) {
    return Transfer(Handle, Count, Err, [&](TFileStream32& Stream) { return Stream.Read(Buffer, Count); });
}

std::int64_t TStreamCabinetFileHandler::Write(std::intptr_t Handle, const void* Buffer, std::int64_t Count,
                                              int& Err) {
    return Transfer(Handle, Count, Err, [&](TFileStream32& Stream) { return Stream.Write(Buffer, Count); });
}

int TStreamCabinetFileHandler::Close(std::intptr_t Handle, int& Err) {
    Err = 0;
    const auto it = std::find_if(FStreams.begin(), FStreams.end(),
                                 [&](const auto& Stream) { return Stream->Handle == Handle; });
    if (it != FStreams.end()) FStreams.erase(it);
    return 0;
}

std::int64_t TStreamCabinetFileHandler::Seek(std::intptr_t Handle, std::int64_t Distance, int SeekType,
                                             int& Err) {
    TFileStream32* stream = Find(Handle);
    if (!stream) {
        Err = -1;
        return 0;
    }
    errno = 0;
    const int origin = SeekType & 0xFFFF;
    const std::int64_t at = stream->Seek(Distance, static_cast<TSeekOrigin>(std::clamp(origin, 0, 2)));
    Err = origin == soBeginning && (at < 0 || at != Distance) ? LastError() : 0;
    return at;
}

int TStreamCabinetFileHandler::Delete(const std::string& FileName, int& Err) {
    Err = ::unlink(FileName.c_str()) == 0 ? 0 : LastError();
    return 0;
}

namespace {

std::string CabinetErrorText(int ErrorCode, int ErrorType) {
    char text[64];
    std::snprintf(text, sizeof text, "Cabinet error %d (type %d)", ErrorCode, ErrorType);
    return text;
}

} // namespace

ECabinetError::ECabinetError(int AErrorCode, int AErrorType)
    : std::runtime_error(CabinetErrorText(AErrorCode, AErrorType)), ErrorCode(AErrorCode),
      ErrorType(AErrorType) {}

std::uint16_t MakeQuantumCompression(int Type, int Level, int Memory) {
    return static_cast<std::uint16_t>(Memory << 8 | Level << 4 | Type);
}

std::uint16_t MakeLzxCompression(int Window) {
    return static_cast<std::uint16_t>(Window << 8 | 3);
}

void RaiseCabinetError(int ErrorCode, int ErrorType) {
    throw ECabinetError(ErrorCode, ErrorType);
}

std::string FindCabinetFile(const std::string& Folder, const std::string& StoredName) {
    // Only a bare name is taken: a cabinet does not lead the search out of its folder.
    const std::string Name = cabinet_layout::BareName(StoredName);
    const std::string exact = Folder + Name;
    if (Name.empty()) return exact;
    if (FileExists(exact)) return exact;
    TDirWalk dir;
    if (!dir.Open(Folder.empty() ? "." : Folder)) return exact;
    TDirEntry entry;
    while (dir.Next(entry))
        if (SameTextNoCase(entry.Name, Name)) return Folder + entry.Name;
    return exact;
}

std::string CabinetNameOf(const std::string& Path) {
    const std::size_t slash = Path.find_last_of('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}
