#include "app/main/ArchiveColumns.h"

#include "app/common/AppSettings.h"

namespace {

constexpr TArchiveColumnInfo Columns[ArchiveColumnCount] = {
    {"File Name", 120, false}, {"Date", 100, false},         {"Packed", 75, true},
    {"Unpacked", 75, true},    {"Ratio", 70, true},          {"Method", 90, false},
    {"Attr", 60, false},       {"Folder", 150, false},       {"File Type", 120, false},
    {"CRC", 90, false},        {"File Offset", 90, true},    {"Encrypted", 60, false},
    {"Volume ID", 120, false}, {"File Comment", 120, false},
};

} // namespace

const TArchiveColumnInfo& ArchiveColumnInfo(TArchiveColumn Column) {
    return Columns[Column];
}

QString ArchiveColumnCaption(TArchiveColumn Column) {
    return QString::fromLatin1(Columns[Column].Caption);
}

std::vector<TArchiveColumn> EnabledColumns(const TAppSettings& Settings) {
    const bool shown[ArchiveColumnCount] = {
        true,
        Settings.ColDate,
        Settings.ColPacked,
        Settings.ColUnpacked,
        Settings.ColRatio,
        Settings.ColMethod,
        Settings.ColAttributes,
        Settings.ColPath,
        Settings.ColFileType,
        Settings.ColCRC,
        Settings.ColFileOffset,
        Settings.ColEncrypted,
        Settings.ColVolumeID,
        Settings.ColFileComment,
    };
    std::vector<TArchiveColumn> columns;
    for (int c = 0; c < ArchiveColumnCount; ++c)
        if (shown[c]) columns.push_back(static_cast<TArchiveColumn>(c));
    return columns;
}
