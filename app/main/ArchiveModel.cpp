#include "app/main/ArchiveModel.h"

#include "engine/core/krvGbls.h"

#include <QApplication>
#include <QDateTime>
#include <QMimeDatabase>
#include <QStyle>
#include <algorithm>
#include <numeric>

namespace {

// Letter case is ignored for the ASCII letters; other bytes compare as they are.
int CompareNoCase(const std::string& A, const std::string& B) {
    const std::size_t n = std::min(A.size(), B.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto a = static_cast<unsigned char>(LowerCaseAscii(A[i]));
        const auto b = static_cast<unsigned char>(LowerCaseAscii(B[i]));
        if (a != b) return a < b ? -1 : 1;
    }
    return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

template <typename T> int CompareValues(const T& A, const T& B) {
    return A < B ? -1 : (B < A ? 1 : 0);
}

QDateTime DateTimeOf(TDateTime Date) {
    const TDateTimeParts p = DecodeDateTime(Date);
    return {QDate(p.Year, p.Month, p.Day), QTime(p.Hour, p.Minute, p.Second)};
}

} // namespace

TArchiveModel::TArchiveModel(QObject* Parent) : QAbstractTableModel(Parent) {
    FLockIcon = QIcon::fromTheme(QStringLiteral("changes-prevent"),
                                 QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
}

void TArchiveModel::SetColumns(std::vector<TArchiveColumn> Columns) {
    beginResetModel();
    FColumns = std::move(Columns);
    endResetModel();
}

int TArchiveModel::ColumnIndex(TArchiveColumn Column) const {
    const auto it = std::find(FColumns.begin(), FColumns.end(), Column);
    return it == FColumns.end() ? -1 : static_cast<int>(it - FColumns.begin());
}

void TArchiveModel::Clear() {
    beginResetModel();
    FRows.clear();
    FPending.clear();
    FFolders.Clear();
    FVolumes.Clear();
    FMethods.Clear();
    FAttrs.Clear();
    endResetModel();
}

std::uint32_t TArchiveModel::TTextTable::Intern(const std::string& Text) {
    // Entries come folder by folder: the last one is the likeliest.
    if (!FTexts.empty() && FTexts.back() == Text) return static_cast<std::uint32_t>(FTexts.size() - 1);
    const auto [it, added] = FIndex.try_emplace(Text, static_cast<std::uint32_t>(FTexts.size()));
    if (added) FTexts.push_back(Text);
    return it->second;
}

void TArchiveModel::TTextTable::Clear() {
    FTexts.clear();
    FIndex.clear();
}

void TArchiveModel::Add(TItemData Item, const std::string& Folder, const std::string& VolumeID,
                        const std::string& Method, const std::string& AttrLetters) {
    Item.FolderIndex = FFolders.Intern(Folder);
    Item.VolumeIndex = FVolumes.Intern(VolumeID);
    Item.MethodIndex = FMethods.Intern(Method);
    Item.AttrIndex = FAttrs.Intern(AttrLetters);
    FPending.push_back(std::move(Item));
}

void TArchiveModel::Reserve(std::uint64_t Rows) {
    // A damaged count must not take the memory: beyond a few million rows the list grows as it goes.
    FPending.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(Rows, 4'000'000)));
}

void TArchiveModel::Flush() {
    if (FPending.empty()) return;
    const int first = static_cast<int>(FRows.size());
    beginInsertRows({}, first, first + static_cast<int>(FPending.size()) - 1);
    if (FRows.empty()) {
        FRows.swap(FPending);
    } else {
        FRows.insert(FRows.end(), std::make_move_iterator(FPending.begin()),
                     std::make_move_iterator(FPending.end()));
        FPending.clear();
    }
    endInsertRows();
}

const TArchiveModel::TFileType& TArchiveModel::FileType(const std::string& Name) const {
    const std::string_view dotted = FileExtOf(Name);
    const QString key = QString::fromStdString(std::string(dotted)).toLower();
    auto it = FFileTypes.find(key);
    if (it != FFileTypes.end()) return *it;
    static const QMimeDatabase mimes;
    const QMimeType mime = mimes.mimeTypeForFile(QString::fromStdString(Name), QMimeDatabase::MatchExtension);
    TFileType type;
    if (!mime.isDefault()) {
        type.Name = mime.comment();
    } else {
        const QString ext = key.mid(1).toUpper();
        type.Name = ext.isEmpty() ? QStringLiteral("File") : ext + QStringLiteral(" File");
    }
    const QIcon fallback = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    type.Icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), fallback));
    return *FFileTypes.insert(key, type);
}

QString TArchiveModel::CellText(int Row, TArchiveColumn Column) const {
    const TItemData& item = Item(Row);
    switch (Column) {
    case colFileName:
        return QString::fromStdString(item.Name);
    case colDate:
        return DateText(item.Date);
    case colPacked:
        return SizeText(item.Packed);
    case colUnpacked:
        return SizeText(item.Unpacked);
    case colRatio:
        return QString::number(item.Ratio) + QLatin1Char('%');
    case colMethod:
        return QString::fromStdString(Method(item));
    case colAttr:
        return AttrText(AttrLetters(item), item.ExternalAttr);
    case colFolder:
        return QString::fromStdString(Folder(item));
    case colFileType:
        return FileType(item.Name).Name;
    case colCRC:
        return CrcText(item.CRC);
    case colFileOffset:
        return SizeText(item.Offset);
    case colEncrypted:
        return item.Encrypted ? QStringLiteral("Yes") : QStringLiteral("No");
    case colVolumeID:
        return QString::fromStdString(VolumeID(item));
    case colFileComment:
        return QString::fromStdString(item.Comment);
    }
    return {};
}

int TArchiveModel::rowCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TArchiveModel::columnCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : static_cast<int>(FColumns.size());
}

QVariant TArchiveModel::data(const QModelIndex& Index, int Role) const {
    if (!Index.isValid() || Index.row() >= rowCount() || Index.column() >= columnCount()) return {};
    const TArchiveColumn column = FColumns[static_cast<std::size_t>(Index.column())];
    switch (Role) {
    case Qt::DisplayRole:
        return CellText(Index.row(), column);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (ArchiveColumnInfo(column).RightAligned ? Qt::AlignRight : Qt::AlignLeft));
    case Qt::DecorationRole:
        if (column != colFileName) return {};
        return Item(Index.row()).Encrypted ? FLockIcon : FileType(Item(Index.row()).Name).Icon;
    case RawValueRole: {
        const TItemData& item = Item(Index.row());
        switch (column) {
        case colDate:
            return DateTimeOf(item.Date);
        case colPacked:
            return static_cast<qlonglong>(item.Packed);
        case colUnpacked:
            return static_cast<qlonglong>(item.Unpacked);
        case colFileOffset:
            return static_cast<qlonglong>(item.Offset);
        case colRatio:
            return item.Ratio;
        case colCRC:
            return item.CRC;
        case colEncrypted:
            return item.Encrypted;
        default:
            return CellText(Index.row(), column);
        }
    }
    default:
        return {};
    }
}

QVariant TArchiveModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    if (Orientation != Qt::Horizontal || Section < 0 || Section >= columnCount()) return {};
    const TArchiveColumn column = FColumns[static_cast<std::size_t>(Section)];
    if (Role == Qt::DisplayRole) return ArchiveColumnCaption(column);
    if (Role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (ArchiveColumnInfo(column).RightAligned ? Qt::AlignRight : Qt::AlignLeft));
    return {};
}

void TArchiveModel::sort(int Column, Qt::SortOrder Order) {
    if (Column < 0 || Column >= columnCount() || FRows.empty()) return;
    const TArchiveColumn column = FColumns[static_cast<std::size_t>(Column)];
    auto compare = [this, column](const TItemData& a, const TItemData& b) -> int {
        switch (column) {
        case colFileName:
            return CompareNoCase(a.Name, b.Name);
        case colDate:
            return CompareValues(a.Date, b.Date);
        case colPacked:
            return CompareValues(a.Packed, b.Packed);
        case colUnpacked:
            return CompareValues(a.Unpacked, b.Unpacked);
        case colFileOffset:
            return CompareValues(a.Offset, b.Offset);
        case colRatio:
            return CompareValues(a.Ratio, b.Ratio);
        case colCRC:
            return CompareValues(a.CRC, b.CRC);
        case colEncrypted:
            return CompareValues(a.Encrypted, b.Encrypted);
        case colFolder:
            return CompareNoCase(Folder(a), Folder(b));
        case colMethod:
            return CompareNoCase(Method(a), Method(b));
        case colAttr:
            return a.AttrIndex != b.AttrIndex ? CompareNoCase(AttrLetters(a), AttrLetters(b))
                                              : CompareValues(a.ExternalAttr, b.ExternalAttr);
        case colFileType:
            return FileType(a.Name).Name.compare(FileType(b.Name).Name, Qt::CaseInsensitive);
        case colVolumeID:
            return CompareNoCase(VolumeID(a), VolumeID(b));
        case colFileComment:
            return CompareNoCase(a.Comment, b.Comment);
        }
        return 0;
    };

    // A listing mostly comes in the order asked for: then there is nothing to move.
    if (std::is_sorted(FRows.begin(), FRows.end(), [&](const TItemData& a, const TItemData& b) {
            const int c = compare(a, b);
            return Order == Qt::AscendingOrder ? c < 0 : c > 0;
        }))
        return;
    std::vector<int> order(FRows.size());
    std::iota(order.begin(), order.end(), 0);
    const bool ascending = Order == Qt::AscendingOrder;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int c = compare(FRows[static_cast<std::size_t>(a)], FRows[static_cast<std::size_t>(b)]);
        return ascending ? c < 0 : c > 0;
    });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        newRowOf[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.push_back(createIndex(newRowOf[static_cast<std::size_t>(index.row())], index.column()));
    changePersistentIndexList(before, after);
    std::vector<TItemData> sorted;
    sorted.reserve(FRows.size());
    for (int row : order)
        sorted.push_back(std::move(FRows[static_cast<std::size_t>(row)]));
    FRows.swap(sorted);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
