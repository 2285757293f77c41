// Favourite folders (the Favourites menu, adding and organising them) and finding entries in
// the list by name mask, date range and size.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/SettingValues.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/Favourites.h"
#include "app/dialogs/Find.h"
#include "app/main/ArchiveModel.h"
#include "app/main/NameMask.h"
#include "engine/core/krvDates.h"
#include "ui/RegComboBox.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QMenu>
#include <algorithm>
#include <cmath>

namespace {

// The fixed items before the favourites: add, organise and a separator.
constexpr int FixedFavouriteItems = 3;

} // namespace

void TfmMain::ConnectFavouriteActions() {
    connect(ui->acAddFavourites, &QAction::triggered, this, &TfmMain::AddFavouriteCommand);
    connect(ui->acOrganizeFavorites, &QAction::triggered, this, &TfmMain::OrganizeFavouritesCommand);
    connect(ui->acFind, &QAction::triggered, this, &TfmMain::FindCommand);
    connect(ui->acFindNext, &QAction::triggered, this, &TfmMain::FindNextCommand);
    // The list's own keys and its drag and drop belong to the same navigation features.
    ConnectListKeys();
    ConnectDragDrop();
    RefreshFavourites();
}

void TfmMain::ClearFavourites() {
    const QList<QAction*> items = ui->miFavourites->actions();
    for (qsizetype i = FixedFavouriteItems; i < items.size(); ++i) {
        ui->miFavourites->removeAction(items[i]);
        delete items[i];
    }
}

void TfmMain::RefreshFavourites() {
    const std::vector<std::string> paths = ReadFavourites();
    ClearFavourites();
    // Items are numbered from 1 in the stored order; a store with gaps or other names is
    // rewritten as Fav1..FavN so that the numbers of menu and store agree.
    if (!FavouritesStoredAs(paths)) WriteFavourites(paths);
    for (const std::string& path : paths)
        InsertFavourite(QString::fromStdString(path));
}

void TfmMain::InsertFavourite(const QString& Path) {
    if (Path.isEmpty()) return;
    const int n = static_cast<int>(ui->miFavourites->actions().size()) - FixedFavouriteItems + 1;
    QString shown = QFontMetrics(ui->miFavourites->font()).elidedText(Path, Qt::ElideMiddle, 250);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QString caption;
    if (n < 10)
        caption = QLatin1Char('&') + QString::number(n) + QLatin1Char(' ') + shown;
    else if (n == 10)
        caption = QStringLiteral("1&0 ") + shown;
    else
        caption = QString::number(n) + QLatin1Char(' ') + shown;
    auto* item = new QAction(caption, ui->miFavourites);
    item->setData(n);
    item->setToolTip(Path);
    item->setProperty("FavouritePath", Path);
    connect(item, &QAction::triggered, this, [this, item] { FavouriteSelect(item); });
    ui->miFavourites->addAction(item);
    // The store holds the item under its number; an item that is already stored so is left.
    const std::string name = "Fav" + std::to_string(n);
    if (ReadSettingString("Favourites", name) != Path.toStdString())
        WriteSettingString("Favourites", name, Path.toStdString());
}

bool TfmMain::CheckDupFavourite(const QString& Path) const {
    // Folder names are told apart by case here, so a favourite is the same folder only when
    // its whole path is the same.
    const QString wanted = QDir::cleanPath(Path);
    const QList<QAction*> items = ui->miFavourites->actions();
    return std::any_of(items.begin() + std::min<qsizetype>(FixedFavouriteItems, items.size()), items.end(),
                       [&](const QAction* Item) {
                           return QDir::cleanPath(Item->property("FavouritePath").toString()) == wanted;
                       });
}

void TfmMain::FavouriteSelect(QAction* Item) {
    const QString path = Item->property("FavouritePath").toString();
    if (path.isEmpty() || !QFileInfo(path).isDir()) {
        MessageDlg(QStringLiteral("The favourite folder you selected no longer exist."), mtError, mbOK);
        return;
    }
    if (!ui->explorerPane->isVisibleTo(this)) SetExplorerVisible(true);
    const QModelIndex folder = FExplorerFolders->index(path);
    ui->dfstvExplorer->setCurrentIndex(folder);
    ui->dfstvExplorer->scrollTo(folder);
}

void TfmMain::AddFavouriteCommand() {
    // The folder the explorer tree shows; before the tree was ever shown, the one it would.
    QString folder = CurrentFolder();
    if (FExplorerFolders && ui->dfstvExplorer->currentIndex().isValid())
        folder = FExplorerFolders->filePath(ui->dfstvExplorer->currentIndex());
    if (folder.isEmpty() || CheckDupFavourite(folder)) return;
    InsertFavourite(QDir::cleanPath(folder));
}

void TfmMain::OrganizeFavouritesCommand() {
    TfmFavourites dialog(this);
    if (ShowModal(dialog) == mrOk) RefreshFavourites();
}

void TfmMain::FindCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists()) return;
    TfmFind dialog(this);
    if (ShowModal(dialog) != mrOk) return;
    const TFindChoice choice = dialog.Choice();
    FindMask = choice.Mask;
    FindAnyDate = choice.AnyDate;
    FindAnySize = choice.AnySize;
    if (!FindAnyDate) {
        FindDateFrom = EncodeDate(choice.StartYear, choice.StartMonth, choice.StartDay);
        FindDateTo = EncodeDate(choice.EndYear, choice.EndMonth, choice.EndDay);
    }
    if (!FindAnySize) {
        FindSizeOp = choice.SizeOp;
        FindSizeBytes = choice.SizeBytes;
    }
    if (!FindFile(true))
        MessageDlg(QStringLiteral("No file matching your criteria was found."), mtInformation, mbOK);
    FindDone = true;
    ui->acFindNext->setEnabled(true);
    DisplayTotals(true);
}

void TfmMain::FindNextCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists()) return;
    if (!FindFile(false))
        MessageDlg(QStringLiteral("No more files matching your criteria were found."), mtInformation, mbOK);
    DisplayTotals(true);
}

bool TfmMain::FindFile(bool First) {
    QTreeView* list = ui->dfelvArchiveView;
    int start = 0;
    if (!First) {
        const QModelIndexList selected = list->selectionModel()->selectedRows();
        if (!selected.isEmpty())
            start =
                std::min_element(selected.begin(), selected.end(),
                                 [](const QModelIndex& A, const QModelIndex& B) { return A.row() < B.row(); })
                    ->row() +
                1;
    }
    // The dates compare by day: an entry of any time on the last day is in the range.
    const double fromDay = std::min(FindDateFrom, FindDateTo), toDay = std::max(FindDateFrom, FindDateTo);
    int match = -1;
    for (int row = start; row < FModel->rowCount() && match < 0; ++row) {
        const TItemData& item = FModel->Item(row);
        if (!MatchNameMask(QString::fromStdString(item.Name), FindMask)) continue;
        if (!FindAnyDate && (std::floor(item.Date) < fromDay || std::floor(item.Date) > toDay)) continue;
        if (!FindAnySize) {
            const bool sizeOk = FindSizeOp == 0   ? item.Unpacked >= FindSizeBytes
                                : FindSizeOp == 1 ? item.Unpacked <= FindSizeBytes
                                                  : item.Unpacked == FindSizeBytes;
            if (!sizeOk) continue;
        }
        match = row;
    }
    // Every row but the match ends deselected.
    list->selectionModel()->clearSelection();
    if (match < 0) return false;
    const QModelIndex index = FModel->index(match, 0);
    list->selectionModel()->setCurrentIndex(index,
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list->scrollTo(index);
    list->setFocus();
    return true;
}
