#include "app/dialogs/Favourites.h"

#include "app/dialogs/DialogSupport.h"
#include "platform/Registry.h"
#include "ui_Favourites.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLayout>
#include <algorithm>
#include <cctype>
#include <optional>

namespace {

constexpr int PathRole = Qt::UserRole;

// The number of a "Fav" + digits value name.
std::optional<unsigned long> FavouriteNumber(const std::string& Name) {
    if (Name.size() < 4 || Name.size() > 12) return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(Name[i])) != "fav"[i]) return std::nullopt;
    if (!std::all_of(Name.begin() + 3, Name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoul(Name.substr(3));
}

std::string FavouriteName(std::size_t Index) {
    return "Fav" + std::to_string(Index + 1);
}

} // namespace

std::vector<std::string> ReadFavourites() {
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(FavouritesKey)) return {};
    struct TStored {
        unsigned long Number;
        std::string Path;
    };
    std::vector<TStored> numbered;
    std::vector<std::string> others;
    for (const std::string& name : reg.GetValueNames()) {
        if (reg.GetDataType(name) != rdString) continue;
        const std::string path = reg.ReadString(name);
        if (path.empty()) continue;
        if (const auto number = FavouriteNumber(name))
            numbered.push_back({*number, path});
        else
            others.push_back(path);
    }
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const TStored& A, const TStored& B) { return A.Number < B.Number; });
    std::vector<std::string> paths;
    for (TStored& stored : numbered)
        paths.push_back(std::move(stored.Path));
    paths.insert(paths.end(), others.begin(), others.end());
    return paths;
}

bool FavouritesStoredAs(const std::vector<std::string>& Paths) {
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(FavouritesKey)) return Paths.empty();
    const std::vector<std::string> names = reg.GetValueNames();
    if (names.size() != Paths.size()) return false;
    for (std::size_t i = 0; i < Paths.size(); ++i) {
        if (names[i] != FavouriteName(i) || reg.GetDataType(names[i]) != rdString ||
            reg.ReadString(names[i]) != Paths[i])
            return false;
    }
    return true;
}

bool WriteFavourites(const std::vector<std::string>& Paths) {
    TRegistry reg;
    reg.DeleteKey(FavouritesKey);
    if (!reg.OpenKey(FavouritesKey, true)) return false;
    std::vector<TRegValue> values;
    for (std::size_t i = 0; i < Paths.size(); ++i)
        values.push_back({FavouriteName(i), rdString, Paths[i], 0});
    try {
        reg.WriteValues(values);
    } catch (const ERegistryException&) {
        return false;
    }
    return true;
}

TfmFavourites::TfmFavourites(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmFavourites>()) {
    ui->setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    ui->lbFavourites->viewport()->installEventFilter(this);
    connect(ui->buOK, &QPushButton::clicked, this, &TfmFavourites::OkClick);
    CloseWith(ui->buCancel, this, mrCancel);
    connect(ui->bbUp, &QPushButton::clicked, this, [this] { MoveSelected(-1); });
    connect(ui->bbDown, &QPushButton::clicked, this, [this] { MoveSelected(1); });
    connect(ui->bbRemove, &QPushButton::clicked, this, &TfmFavourites::RemoveClick);
    ConnectHelp(ui->buHelp, "Hlp_Using_Favorites");
    for (const std::string& path : ReadFavourites())
        AddLine(QString::fromStdString(path));
}

TfmFavourites::~TfmFavourites() = default;

std::vector<std::string> TfmFavourites::Paths() const {
    std::vector<std::string> paths;
    for (int i = 0; i < ui->lbFavourites->count(); ++i)
        paths.push_back(ui->lbFavourites->item(i)->data(PathRole).toString().toStdString());
    return paths;
}

void TfmFavourites::AddLine(const QString& Path) {
    auto* item = new QListWidgetItem(ui->lbFavourites);
    item->setData(PathRole, Path);
    item->setToolTip(Path);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
    ShortenLines();
}

void TfmFavourites::ShortenLines() {
    QListWidget& list = *ui->lbFavourites;
    const QFontMetrics metrics(list.font());
    const int width = list.viewport()->width() - 2 * list.spacing() - 8;
    for (int i = 0; i < list.count(); ++i) {
        QListWidgetItem& item = *list.item(i);
        item.setText(metrics.elidedText(item.data(PathRole).toString(), Qt::ElideMiddle, width));
    }
}

bool TfmFavourites::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == ui->lbFavourites->viewport() && Event->type() == QEvent::Resize) ShortenLines();
    return QDialog::eventFilter(Watched, Event);
}

void TfmFavourites::MoveSelected(int Step) {
    QListWidget& list = *ui->lbFavourites;
    const int row = list.currentItem() && list.currentItem()->isSelected() ? list.currentRow() : -1;
    const int target = row + Step;
    if (row >= 0 && target >= 0 && target < list.count()) {
        QListWidgetItem* item = list.takeItem(row);
        list.insertItem(target, item);
        list.setCurrentItem(item);
    }
    list.setFocus();
}

void TfmFavourites::RemoveClick() {
    QListWidget& list = *ui->lbFavourites;
    QListWidgetItem* item = list.currentItem();
    if (!item || !item->isSelected()) return;
    if (MessageDlg(QStringLiteral("Are you sure you want to remove the selected item ?"), mtConfirmation,
                   mbYes | mbNo) == mrYes)
        delete item;
}

void TfmFavourites::OkClick() {
    WriteFavourites(Paths());
    done(mrOk);
}
