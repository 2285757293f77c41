#include "ui/LmAddPlaceFrm.h"

#include "ui/LmMessages.h"
#include "ui/LmOpenDlg.h"
#include "ui_LmAddPlaceFrm.h"

#include <QApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QStyle>
#include <algorithm>

namespace {

enum { ttFolder, ttRegistry, ttSpecial };

// The special folders the form offers, in the order of its list.
constexpr TLmSpecShellFolder SpecFolders[] = {ftDesktop, ftDrives, ftPersonal, ftFavorites};

void SelectRow(QListWidget* List, int Row) {
    if (Row >= 0 && Row < List->count()) List->setCurrentRow(Row);
}

} // namespace

QList<QIcon> LibraryIcons(const QString& Library) {
    QList<QIcon> icons;
    if (Library.compare(QLatin1String("shell32.dll"), Qt::CaseInsensitive) == 0) {
        const QIcon fallback = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
        for (const char* name :
             {"folder", "user-desktop", "computer", "folder-documents", "user-bookmarks", "user-home",
              "folder-download", "folder-pictures", "folder-music", "folder-videos", "folder-remote",
              "network-workgroup", "drive-harddisk", "user-trash"})
            icons << QIcon::fromTheme(QLatin1String(name), fallback);
        return icons;
    }
    if (!QFileInfo(Library).isFile()) return icons;
    QImageReader reader(Library);
    do {
        const QImage image = reader.read();
        if (image.isNull()) break;
        icons << QIcon(QPixmap::fromImage(image));
    } while (reader.jumpToNextImage());
    return icons;
}

TLmAddPlaceFrm::TLmAddPlaceFrm(QWidget* Parent, bool Adding)
    : QDialog(Parent), ui(std::make_unique<Ui::TLmAddPlaceFrm>()) {
    ui->setupUi(this);
    if (Adding) setWindowTitle(QStringLiteral("New Places Bar item"));
    connect(ui->cbTargetType, &QComboBox::currentIndexChanged, this, &TLmAddPlaceFrm::TargetTypeChanged);
    connect(ui->buBrowseDll, &QToolButton::clicked, this, &TLmAddPlaceFrm::BrowseLibrary);
    connect(ui->buLoadIcons, &QToolButton::clicked, this, &TLmAddPlaceFrm::LoadIcons);
    connect(ui->buOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->buCancel, &QPushButton::clicked, this, &QDialog::reject);
    TargetTypeChanged(ui->cbTargetType->currentIndex());
    FillIcons(LibraryIcons(ui->edIconDll->text()));
}

TLmAddPlaceFrm::~TLmAddPlaceFrm() = default;

void TLmAddPlaceFrm::TargetTypeChanged(int Index) {
    ui->edTarget->setVisible(Index != ttSpecial);
    ui->cbSpecFolder->setVisible(Index == ttSpecial);
}

void TLmAddPlaceFrm::SetPlace(const TLmPlace& Place) {
    const auto* special = std::find(std::begin(SpecFolders), std::end(SpecFolders), Place.PlaceSpecPath);
    if (special != std::end(SpecFolders)) {
        ui->cbTargetType->setCurrentIndex(ttSpecial);
        ui->cbSpecFolder->setCurrentIndex(static_cast<int>(special - std::begin(SpecFolders)));
    } else if (!Place.PlaceRegPath.isEmpty()) {
        ui->cbTargetType->setCurrentIndex(ttRegistry);
        ui->edTarget->setText(Place.PlaceRegPath);
    } else {
        ui->cbTargetType->setCurrentIndex(ttFolder);
        ui->edTarget->setText(Place.PlacePath);
    }
    ui->edCaption->setText(Place.PlaceName);
    ui->edHint->setText(Place.PlaceDesc);
    ui->edIconDll->setText(Place.PlaceIconDll);
    FillIcons(LibraryIcons(Place.PlaceIconDll));
    SelectRow(ui->lvNormal, Place.PlaceIcon);
    SelectRow(ui->lvSelected, Place.PlaceHotIcon);
}

TLmPlace TLmAddPlaceFrm::Place() const {
    TLmPlace place;
    switch (ui->cbTargetType->currentIndex()) {
    case ttSpecial:
        place.PlaceSpecPath = SpecFolders[std::clamp(ui->cbSpecFolder->currentIndex(), 0, 3)];
        break;
    case ttRegistry:
        place.PlaceRegPath = ui->edTarget->text().trimmed();
        break;
    default:
        place.PlacePath = ui->edTarget->text().trimmed();
        break;
    }
    place.PlaceName = ui->edCaption->text();
    // A special folder without a caption of its own takes the one the system gives it.
    if (place.PlaceName.isEmpty() && place.PlaceSpecPath != ftNone) {
        place.AutoCaption = true;
        place.PlaceName = AutoCaptionOf(place.PlaceSpecPath);
    }
    place.PlaceDesc = ui->edHint->text();
    place.PlaceIconDll = ui->edIconDll->text();
    place.PlaceIcon = std::max(ui->lvNormal->currentRow(), 0);
    place.PlaceHotIcon = std::max(ui->lvSelected->currentRow(), 0);
    return place;
}

bool TLmAddPlaceFrm::LoadIcons() {
    const QList<QIcon> icons = LibraryIcons(ui->edIconDll->text());
    FillIcons(icons);
    if (!icons.isEmpty()) return true;
    const QString caption = QStringLiteral("New place - Icon library");
    const QString text = QStringLiteral("No icons were found in the file");
    if (OnMessage)
        OnMessage(caption, text);
    else
        LmMessage(this, caption, text, TLmMessageKind::Error);
    return false;
}

void TLmAddPlaceFrm::FillIcons(const QList<QIcon>& Icons) {
    for (QListWidget* list : {ui->lvNormal, ui->lvSelected}) {
        list->clear();
        for (const QIcon& icon : Icons)
            list->addItem(new QListWidgetItem(icon, QString()));
        SelectRow(list, 0);
    }
}

void TLmAddPlaceFrm::BrowseLibrary() {
    TLmOpenDialog dialog(this);
    dialog.Title = QStringLiteral("Browse for icon library");
    dialog.Filter = QStringLiteral("Executables|*.exe;*.dll;*.ocx;*.bpl;*.cpl;|Icons|*.ico|All files|*.*");
    dialog.Options.FileMustExist = true;
    dialog.PlacesBar.Visible = false;
    if (!dialog.Execute()) return;
    ui->edIconDll->setText(dialog.FileName);
    LoadIcons();
}
