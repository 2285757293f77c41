// The columns of the archive list: their captions, widths, alignments and the View settings
// that switch them on. The File Name column is always there; the others follow in this order.
#pragma once

#include <QString>
#include <vector>

struct TAppSettings;

enum TArchiveColumn {
    colFileName,
    colDate,
    colPacked,
    colUnpacked,
    colRatio,
    colMethod,
    colAttr,
    colFolder,
    colFileType,
    colCRC,
    colFileOffset,
    colEncrypted,
    colVolumeID,
    colFileComment,
};
inline constexpr int ArchiveColumnCount = colFileComment + 1;

struct TArchiveColumnInfo {
    const char* Caption;
    int Width;
    bool RightAligned;
};

const TArchiveColumnInfo& ArchiveColumnInfo(TArchiveColumn Column);
QString ArchiveColumnCaption(TArchiveColumn Column);

// The columns that Settings switch on, in the list's order.
std::vector<TArchiveColumn> EnabledColumns(const TAppSettings& Settings);
