// The data object of one row of the archive list: what the lister reported of the entry, kept
// as raw values. Sorting, totals and the operations on selected rows read these, never the
// texts shown; a cell's text is made when the cell is painted.
#pragma once

#include "engine/core/krvDates.h"

#include <QString>
#include <cstdint>
#include <string>

struct TItemData {
    std::string Name; // the entry's name without its folders
    // Texts that many entries share, kept once in the list's tables: the folder with its
    // trailing '/', the volume, the method text and the engine's attribute letters ('_' for an
    // absent attribute).
    std::uint32_t FolderIndex = 0;
    std::uint32_t VolumeIndex = 0;
    std::uint32_t MethodIndex = 0;
    std::uint32_t AttrIndex = 0;
    TDateTime Date = 0;
    std::int64_t Packed = 0; // 0 for a cabinet's entries
    std::int64_t Unpacked = 0;
    std::int64_t Offset = 0;
    std::uint32_t CRC = 0;
    std::uint32_t ExternalAttr = 0;
    int Ratio = 0;
    bool Encrypted = false;
    std::string Comment;
};

// Cell texts of the list.
QString DateText(TDateTime Date);
QString AttrText(const std::string& Letters, std::uint32_t Attr);
QString CrcText(std::uint32_t Crc);
QString SizeText(std::int64_t Size);
