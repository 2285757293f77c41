// The archive list's model: one row per entry the lister reported, each holding its data
// object (TItemData), shown in the enabled columns. Rows are added in batches while the lister
// runs, so the view is not told of every entry on its own; sorting orders the rows by the raw
// values of the sorted column.
#pragma once

#include "app/main/ArchiveColumns.h"
#include "app/main/ItemData.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <string>
#include <unordered_map>
#include <vector>

class TArchiveModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The raw value of a cell (qlonglong sizes, a QDateTime date, the name or text otherwise).
    static constexpr int RawValueRole = Qt::UserRole + 1;

    explicit TArchiveModel(QObject* Parent = nullptr);

    // Replaces the columns; the rows stay.
    void SetColumns(std::vector<TArchiveColumn> Columns);
    const std::vector<TArchiveColumn>& Columns() const { return FColumns; }
    // The position of a column in the list, -1 when it is not shown.
    int ColumnIndex(TArchiveColumn Column) const;

    void Clear();
    // Keeps the entry until Flush shows the rows kept so far. Folder has its trailing '/'.
    void Add(TItemData Item, const std::string& Folder, const std::string& VolumeID,
             const std::string& Method = {}, const std::string& AttrLetters = {});
    // Room for this many rows, as far as the archive's own count can be believed.
    void Reserve(std::uint64_t Rows);
    void Flush();
    int PendingCount() const { return static_cast<int>(FPending.size()); }

    const TItemData& Item(int Row) const { return FRows[static_cast<std::size_t>(Row)]; }
    const std::string& Folder(const TItemData& Item) const { return FFolders[Item.FolderIndex]; }
    const std::string& VolumeID(const TItemData& Item) const { return FVolumes[Item.VolumeIndex]; }
    const std::string& Method(const TItemData& Item) const { return FMethods[Item.MethodIndex]; }
    const std::string& AttrLetters(const TItemData& Item) const { return FAttrs[Item.AttrIndex]; }
    QString CellText(int Row, TArchiveColumn Column) const;

    int rowCount(const QModelIndex& Parent = {}) const override;
    int columnCount(const QModelIndex& Parent = {}) const override;
    QVariant data(const QModelIndex& Index, int Role) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;
    // Sorts by the raw values of the column at Column (stable: equal rows keep their order).
    void sort(int Column, Qt::SortOrder Order) override;

private:
    struct TFileType {
        QString Name;
        QIcon Icon;
    };
    // The desktop's type name and icon for a name, looked up once per extension.
    const TFileType& FileType(const std::string& Name) const;
    // Texts kept once each, by number.
    class TTextTable {
    public:
        std::uint32_t Intern(const std::string& Text);
        const std::string& operator[](std::uint32_t Index) const { return FTexts[Index]; }
        void Clear();

    private:
        std::vector<std::string> FTexts;
        std::unordered_map<std::string, std::uint32_t> FIndex;
    };

    std::vector<TArchiveColumn> FColumns;
    std::vector<TItemData> FRows;
    std::vector<TItemData> FPending;
    TTextTable FFolders, FVolumes, FMethods, FAttrs;
    mutable QHash<QString, TFileType> FFileTypes;
    QIcon FLockIcon;
};
