#include "platform/CabinetFdiMsZip.h"

#include "platform/CabinetFci.h"
#include "platform/CabinetFdi.h"
#include "platform/CabinetLayout.h"

#include <algorithm>
#include <isa-l/igzip_lib.h>
#include <mspack.h>

using namespace cabinet_layout;

namespace {

constexpr std::uint16_t CompTypeMask = 0x000F;
constexpr std::uint16_t CompMsZip = 1;
// A block's output at most, and its packed bytes at most (the library's own bounds).
constexpr std::int64_t BlockMax = 32768;
constexpr std::int64_t PackedMax = BlockMax + 6144;
constexpr int DataHeaderSize = 8;

} // namespace

TFdiMsZipFolders::TFdiMsZipFolders(TFdiFiles& Files) : FFiles(Files) {}

TFdiMsZipFolders::~TFdiMsZipFolders() {
    Close();
}

void TFdiMsZipFolders::Use(const std::string& FullName) {
    Close();
    FName = FullName;
}

void TFdiMsZipFolders::Close() {
    if (FHandle != -1) FFiles.Close(FHandle);
    FHandle = -1;
    FName.clear();
    FLoaded = false;
    FFolders.clear();
    FFolder = -1;
}

bool TFdiMsZipFolders::Load() {
    FHandle = FFiles.Open(FName, OpenReadBinary, 0);
    if (FHandle == -1) return false;
    const auto read = [&](std::int64_t At, std::uint8_t* Out, std::int64_t Count) {
        return FFiles.Seek(FHandle, At, 0) == At && FFiles.Read(FHandle, Out, Count) == Count;
    };
    std::uint8_t h[CabHeaderSize];
    if (!read(0, h, CabHeaderSize) || U32(h) != CabSignature || h[25] != 1) return false;
    const std::uint16_t flags = U16(h + 30);
    if (flags & (CabHasPrev | CabHasNext)) return false;
    std::int64_t at = CabHeaderSize;
    std::size_t folderSize = 8;
    if (flags & CabHasReserve) {
        std::uint8_t r[4];
        if (!read(at, r, 4)) return false;
        folderSize += r[2];
        FDataReserve = r[3];
        at += 4 + U16(r);
    }
    std::vector<std::uint8_t> records(U16(h + 26) * folderSize);
    if (!read(at, records.data(), std::ssize(records))) return false;
    for (std::size_t f = 0; f < records.size(); f += folderSize) {
        const std::uint8_t* r = records.data() + f;
        FFolders.push_back({U32(r), U16(r + 4), (U16(r + 6) & CompTypeMask) == CompMsZip});
    }
    return true;
}

bool TFdiMsZipFolders::Reads(std::uint16_t Folder, std::uint16_t CompType, std::uint16_t NumBlocks) {
    if (FName.empty()) return false;
    if (!FLoaded) {
        FLoaded = true;
        if (!Load()) FFolders.clear();
    }
    return Folder < FFolders.size() && FFolders[Folder].MsZip && FFolders[Folder].Blocks == NumBlocks &&
           (CompType & CompTypeMask) == CompMsZip;
}

int TFdiMsZipFolders::Extract(std::uint16_t Folder, std::int64_t Offset, std::int64_t Length,
                              const TWrite& Write) {
    const TFolder& folder = FFolders.at(Folder);
    // The library refuses a file that reaches past what the folder's blocks can hold.
    if (Offset < 0 || Length < 0 || Offset + Length > folder.Blocks * BlockMax) return MSPACK_ERR_DATAFORMAT;
    if (Length == 0) return MSPACK_ERR_OK;
    if (FFolder != Folder || Offset < FBlockStart) {
        FFolder = Folder;
        FBlockNumber = 0;
        FBlockAt = folder.DataAt;
        FBlockStart = 0;
        FBlock.clear();
        FHistory.clear();
    }
    std::int64_t pos = Offset;
    const std::int64_t end = Offset + Length;
    while (pos < end) {
        const std::int64_t blockEnd = FBlockStart + std::ssize(FBlock);
        if (pos < blockEnd) {
            const std::int64_t n = std::min(end, blockEnd) - pos;
            if (!Write(FBlock.data() + (pos - FBlockStart), n)) return MSPACK_ERR_WRITE;
            pos += n;
            continue;
        }
        if (const int error = NextBlock(); error != MSPACK_ERR_OK) {
            FFolder = -1;
            return error;
        }
    }
    return MSPACK_ERR_OK;
}

int TFdiMsZipFolders::NextBlock() {
    const TFolder& folder = FFolders[static_cast<std::size_t>(FFolder)];
    if (FBlockNumber >= folder.Blocks) return MSPACK_ERR_DATAFORMAT;
    // The block before becomes the history the next one may refer to.
    FBlockStart += std::ssize(FBlock);
    if (std::ssize(FBlock) >= BlockMax) {
        FHistory.swap(FBlock);
    } else {
        FHistory.insert(FHistory.end(), FBlock.begin(), FBlock.end());
        if (std::ssize(FHistory) > BlockMax) FHistory.erase(FHistory.begin(), FHistory.end() - BlockMax);
    }
    FBlock.clear();

    std::uint8_t h[DataHeaderSize];
    if (FFiles.Seek(FHandle, FBlockAt, 0) != FBlockAt ||
        FFiles.Read(FHandle, h, DataHeaderSize) != DataHeaderSize)
        return MSPACK_ERR_READ;
    const std::uint32_t sum = U32(h);
    const std::int64_t packed = U16(h + 4);
    const std::int64_t unpacked = U16(h + 6);
    // A block of no output continues in the next cabinet, which a set of its own has not.
    if (packed > PackedMax || unpacked > BlockMax || unpacked == 0) return MSPACK_ERR_DATAFORMAT;
    const std::int64_t dataAt = FBlockAt + DataHeaderSize + FDataReserve;
    FPacked.resize(static_cast<std::size_t>(packed));
    if (FFiles.Seek(FHandle, dataAt, 0) != dataAt || FFiles.Read(FHandle, FPacked.data(), packed) != packed)
        return MSPACK_ERR_READ;
    FBlockAt = dataAt + packed;
    ++FBlockNumber;
    if (sum != 0 && CabDataChecksum(h + 4, 4, CabDataChecksum(FPacked.data(), FPacked.size(), 0)) != sum)
        return MSPACK_ERR_CHECKSUM;

    // The deflate stream follows the block's "CK" signature.
    static constexpr std::uint8_t Signature[] = {'C', 'K'};
    const auto ck = std::search(FPacked.begin(), FPacked.end(), std::begin(Signature), std::end(Signature));
    if (ck == FPacked.end()) return MSPACK_ERR_DECRUNCH;
    if (!FInflate) FInflate = std::make_unique<inflate_state>();
    inflate_state& z = *FInflate;
    isal_inflate_init(&z);
    z.crc_flag = ISAL_DEFLATE;
    if (!FHistory.empty() &&
        isal_inflate_set_dict(&z, FHistory.data(), static_cast<std::uint32_t>(FHistory.size())) != COMP_OK)
        return MSPACK_ERR_DECRUNCH;
    FBlock.resize(BlockMax);
    z.next_in = &*ck + 2;
    z.avail_in = static_cast<std::uint32_t>(FPacked.end() - ck - 2);
    z.next_out = FBlock.data();
    z.avail_out = static_cast<std::uint32_t>(BlockMax);
    // A stream that does not end within its block, or gives more than a block, is damaged.
    if (isal_inflate(&z) != ISAL_DECOMP_OK || z.block_state != ISAL_BLOCK_FINISH) {
        FBlock.clear();
        return MSPACK_ERR_DECRUNCH;
    }
    FBlock.resize(BlockMax - z.avail_out);
    return MSPACK_ERR_OK;
}
