// A writer whose temporary files (the archive being written, a spool) fill the disk after
// Limit bytes each, for the full-disk cases of writer tests.
#pragma once

#include "engine/core/krvTempFileStream.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

namespace testsupport {

class TFullDiskStream : public TTempFileStream {
public:
    TFullDiskStream(TZipCommon* Owner, const std::string& Name, std::int64_t Limit)
        : TTempFileStream(Owner, fmCreate, Name), FLimit(Limit) {}
    std::int64_t Write(const void* Buffer, std::int64_t Count) override {
        const std::int64_t room = std::max<std::int64_t>(FLimit - Position(), 0);
        const std::int64_t n = TTempFileStream::Write(Buffer, std::min(Count, room));
        if (n < Count) errno = ENOSPC;
        return n;
    }

private:
    std::int64_t FLimit;
};

// TWriter with a disk that is full after Limit bytes of each temporary file (none: -1).
template <typename TWriter> class TFullDisk : public TWriter {
public:
    std::int64_t Limit = -1;

protected:
    std::unique_ptr<TTempFileStream> CreateTempStream(const std::string& FinalName) override {
        if (Limit < 0) return TWriter::CreateTempStream(FinalName);
        return std::make_unique<TFullDiskStream>(this, FinalName, Limit);
    }
};

} // namespace testsupport
