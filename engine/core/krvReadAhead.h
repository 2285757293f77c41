// A read-only stream over another that reads it in large blocks, so that a walk over many
// small records (a zip directory) costs one system call per block instead of several per
// record. Seeking within the block in hand reads nothing.
#pragma once

#include "engine/core/krvStreams.h"

#include <cstdint>
#include <vector>

class TReadAheadStream : public TStream32 {
public:
    explicit TReadAheadStream(TStream32& Source, std::int64_t BlockSize = 65536);

    std::int64_t GetSize() override { return FSource.GetSize(); }
    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;

private:
    TStream32& FSource;
    std::vector<std::uint8_t> FBlock;
    std::int64_t FBlockPos = 0; // position of the block's first byte in the source
    std::int64_t FBlockLen = 0; // bytes of the block in hand
    std::int64_t FPosition = 0; // the reader's position
};
