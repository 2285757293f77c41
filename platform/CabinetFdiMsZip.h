// The MSZIP folders of one cabinet file, decoded by the decompression context itself: each data
// block is a deflate stream that starts from the last 32 KiB of the folder's output, which ISA-L
// inflates several times as fast as the library. The output comes in the same pieces as the
// library's (each block's bytes, cut at the file's bounds), and every check the library makes on
// a block (its sizes, its checksum, a file reaching past the folder's blocks) fails the same way.
// Only a cabinet that is a set of its own is read here; the others stay with the library.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TFdiFiles;
struct inflate_state;

class TFdiMsZipFolders {
public:
    explicit TFdiMsZipFolders(TFdiFiles& Files);
    ~TFdiMsZipFolders();
    TFdiMsZipFolders(const TFdiMsZipFolders&) = delete;
    TFdiMsZipFolders& operator=(const TFdiMsZipFolders&) = delete;

    // Takes the cabinet FullName (a set of its own) for the next extractions: its folder records
    // are read at the first one. An empty name takes none.
    void Use(const std::string& FullName);
    // Whether Folder (its index in the cabinet) is an MSZIP folder of NumBlocks blocks read here.
    bool Reads(std::uint16_t Folder, std::uint16_t CompType, std::uint16_t NumBlocks);
    // Writes Length bytes from Offset of Folder's output through Write, block by block; a write
    // that answers false stops it. Returns the library's error code (0 when all was written).
    using TWrite = std::function<bool(const std::uint8_t* Data, std::int64_t Count)>;
    int Extract(std::uint16_t Folder, std::int64_t Offset, std::int64_t Length, const TWrite& Write);

private:
    struct TFolder {
        std::int64_t DataAt = 0;
        std::uint16_t Blocks = 0;
        bool MsZip = false;
    };
    bool Load();
    void Close();
    // Decodes the folder's next block into FBlock; the library's error code.
    int NextBlock();

    TFdiFiles& FFiles;
    std::string FName;
    bool FLoaded = false;
    std::intptr_t FHandle = -1;
    std::vector<TFolder> FFolders;
    std::uint8_t FDataReserve = 0; // reserved bytes of every data block
    std::unique_ptr<inflate_state> FInflate;
    // The folder being decoded: its next block, where that lies, the output decoded so far.
    int FFolder = -1;
    std::uint16_t FBlockNumber = 0;
    std::int64_t FBlockAt = 0;
    std::int64_t FBlockStart = 0; // offset in the folder's output of FBlock's first byte
    std::vector<std::uint8_t> FBlock, FHistory, FPacked;
};
