// The archive list: opening an archive (dialog, recent list, command line), listing it through
// the lister into the list's model, the totals in the status bar, sorting and the enabling of
// every command by the archive's type.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/AppSettings.h"
#include "app/common/Prompter.h"
#include "app/common/RecentDocuments.h"
#include "app/common/SettingValues.h"
#include "app/dialogs/DialogSupport.h"
#include "app/main/ArchiveModel.h"
#include "app/main/InputQuery.h"
#include "app/ops/WriterChoice.h"
#include "engine/core/EngineHost.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/read/krvKorva.h"
#include "ui/LmOpenDlg.h"
#include "ui/ProgressCyl.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace {

const QString Title = QStringLiteral("Quillar");

// Entries between two updates of the count shown while listing.
constexpr std::int64_t ListingNoteEvery = 4096;

QString MegaBytes(double Bytes) {
    return QString::number(Bytes / 1048576.0, 'f', 2);
}

std::string UpperAscii(std::string Text) {
    for (char& c : Text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return Text;
}

} // namespace

bool TfmMain::ArchiveOpen() const {
    return !krvKorva->ArchiveFile().empty() && !UnknownArcTypes.Contains(krvKorva->ArcType());
}

void TfmMain::RememberOpenFolder(const QString& FileName) {
    if (AppSettings().OpenLast)
        WriteSettingString("Folders", "OpenLastPath", QFileInfo(FileName).absolutePath().toStdString());
}

void TfmMain::OpenArchiveCommand() {
    if (!ExitCheckoutCheck()) return;
    ui->rcbFilter->setCurrentText(QStringLiteral("*.*"));
    const TAppSettings& settings = AppSettings();
    QString folder = CurrentFolder();
    const std::string lastPath = ReadSettingString("Folders", "OpenLastPath");
    if (settings.OpenLast && !lastPath.empty())
        folder = QString::fromStdString(lastPath);
    else if (!settings.OpenFolder.empty() && QFileInfo(QString::fromStdString(settings.OpenFolder)).isDir())
        folder = QString::fromStdString(settings.OpenFolder);
    if (AutoAnswerDialogs()) {
        std::fprintf(stderr, "Open Archive ...: [Cancel]\n");
        return;
    }
    TLmOpenDialog odgOpen(this);
    odgOpen.setObjectName(QStringLiteral("odgOpen"));
    odgOpen.PlacesBar.Visible = false; // the program's file dialogs show no places bar
    odgOpen.Title = QStringLiteral("Open Archive ...");
    odgOpen.Filter = QStringLiteral(
        "All Archive "
        "Files|*.ace;*.arc;*.arj;*.bh;*.cab;*.gz;*.jar;*.lha;*.lzh;*.rar;*.tar;*.tgz;*.uu;*.uue;*.xxe;"
        "*.z;*.zip;*.zoo|Archive Files and "
        "EXE|*.ace;*.arc;*.arj;*.bh;*.cab;*.gz;*.jar;*.lha;*.lzh;*.rar;*.tar;"
        "*.tgz;*.uu;*.uue;*.xxe;*.z;*.zip;*.zoo;*.exe|All Files|*.*");
    odgOpen.InitialDir = folder;
    odgOpen.Options.FileMustExist = true;
    if (!odgOpen.Execute() || odgOpen.FileName.isEmpty()) return;
    const QString file = odgOpen.FileName;
    if (!QFileInfo(file).isFile()) {
        MessageDlg(file + QStringLiteral(" does not exist. Please select a different file."), mtError, mbOK);
        return;
    }
    RememberOpenFolder(file);
    OpenArchiveFile(file);
    // The window and its list have the keyboard again once the dialog is gone.
    activateWindow();
    ui->dfelvArchiveView->setFocus();
    if (settings.CommentsOpen) DisplayCommentIfExist();
}

void TfmMain::OpenRecent(const QString& FileName) {
    if (!ExitCheckoutCheck()) return;
    ui->rcbFilter->setCurrentText(QStringLiteral("*.*"));
    if (!QFileInfo(FileName).isFile()) {
        MessageDlg(QStringLiteral("The file you selected does not exist. \r\nPlease select another file."),
                   mtError, mbOK);
        return;
    }
    RememberOpenFolder(FileName);
    OpenArchiveFile(FileName);
    if (AppSettings().CommentsOpen) DisplayCommentIfExist();
}

void TfmMain::OpenArchiveFile(const QString& FileName) {
    // An archive the user opens starts with an empty output window: the errors shown are its own
    // (the operations' own listings keep their logs).
    ClearOutput();
    DisplayArchive(FileName);
    // The desktop's recent documents list it too (a quiet convenience when it cannot).
    if (ArchiveOpen()) AddToRecentDocuments(QString::fromStdString(krvKorva->ArchiveFile()));
}

void TfmMain::DisplayArchive(const QString& FileName) {
    if (FListing) return;
    const QFileInfo info(FileName);
    CurrentFolder() = info.absolutePath();
    const QString spec = ui->rcbFilter->currentText().trimmed();
    krvKorva->FileSpec = {spec.isEmpty() ? std::string("*.*") : spec.toStdString()};
    const bool recognised = RefreshList(info.absoluteFilePath());
    if (recognised && !krvKorva->FileSpec.empty()) {
        dfmruMainList.Add(krvKorva->ArchiveFile());
        RebuildRecentMenu();
        setWindowTitle(QString::fromStdString(krvKorva->ArchiveFile()) + QStringLiteral(" - ") + Title);
    } else {
        setWindowTitle(Title);
    }
}

bool TfmMain::RefreshList(const QString& FileName) {
    if (FListing) return false;
    ApplicationBusy();
    FModel->Clear();
    FSortColumn = 0;
    FSortOrder = Qt::AscendingOrder;
    bool recognised = false;
    if (!FileName.isEmpty()) {
        krvKorva->SetArchiveFile(FileName.toStdString());
        recognised = !UnknownArcTypes.Contains(krvKorva->ArcType());
        if (recognised) {
            if (krvKorva->FileSpec.empty()) krvKorva->FileSpec = {"*.*"};
            FInstallProgram.clear();
            FCabinet = krvKorva->ArcType() == atCab;
            FListing = true;
            FListedSoFar = 0;
            FListErrors.clear();
            FCloseWhenListedArchive = false;
            if (ZipFamilyArcTypes.Contains(krvKorva->ArcType())) FModel->Reserve(krvKorva->ZipEntryCount);
            krvKorva->Activate();
            FListing = false;
            if (FCloseWhenListedArchive) {
                // The user chose not to read a damaged archive.
                FListErrors.clear();
                CloseArchive();
                ApplicationWaiting();
                emit ListingDone();
                return false;
            }
            FModel->Flush();
            FModel->sort(FSortColumn, FSortOrder);
            ui->dfelvArchiveView->header()->setSortIndicator(FSortColumn, FSortOrder);
            EnableMenus();
            DisplayTotals(false);
            ShowListErrors();
        } else {
            const bool unreadable = krvKorva->ArcType() == atFileOpenErr;
            krvKorva->SetArchiveFile("");
            EnableMenus();
            ClearPanels();
            MessageDlg(unreadable ? FileName + QStringLiteral(": ") +
                                        QString::fromLatin1(ErrorText(ecErrorOpeningFile))
                                  : QStringLiteral("Invalid archive format.\r\n\r\n") + FileName,
                       mtError, mbOK);
        }
    }
    ApplicationWaiting();
    emit ListingDone();
    if (FCloseWhenListed) QTimer::singleShot(0, this, &QWidget::close);
    return recognised;
}

void TfmMain::krvKorvaActivate(TZipCommon&) {
    ApplicationBusy();
    ui->dfstbMainStatus->showMessage(QStringLiteral("Reading ") +
                                     QString::fromStdString(krvKorva->ArchiveFile()) +
                                     QStringLiteral(" ..."));
}

void TfmMain::krvKorvaDeactivate(TZipCommon&) {
    ui->dfstbMainStatus->clearMessage();
    ApplicationWaiting();
}

void TfmMain::krvKorvaCorruptZipHeader(TZipCommon&, THeaderTypeState HeadFlag, bool& Cancel) {
    // With the central directory or the end record found nothing is asked.
    if (HeadFlag & (htCentral | htEnding)) return;
    if (MessageDlg(QStringLiteral("Header error : Missing or corrupted.\r\rDo you want to continue ?"),
                   mtConfirmation, mbYes | mbNo) == mrYes)
        Cancel = false;
    else
        FCloseWhenListedArchive = true;
}

void TfmMain::ShowListErrors() {
    if (FListErrors.isEmpty()) return;
    // A damaged archive may report many: the first ones stand for the rest.
    constexpr int shown = 10;
    QStringList lines = FListErrors.mid(0, shown);
    if (FListErrors.size() > shown) lines << QStringLiteral("(%1 more)").arg(FListErrors.size() - shown);
    FListErrors.clear();
    MessageDlg(lines.join(QStringLiteral("\r\n")), mtError, mbOK);
}

void TfmMain::krvKorvaRead(TZipCommon& Sender, std::int64_t Offset, int) {
    const std::string& path = Sender.FileName;
    const std::size_t slash = path.rfind(PathDelim);
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);

    TItemData item;
    item.Name = slash == std::string::npos ? path : path.substr(slash + 1);
    item.Date = Sender.FileDate;
    item.Packed = FCabinet ? 0 : Sender.PackedSize;
    item.Unpacked = Sender.UnpackedSize;
    item.Offset = Offset;
    item.CRC = Sender.CRC;
    item.ExternalAttr = Sender.ExternalAttr;
    item.Ratio = Sender.Ratio;
    item.Encrypted = Sender.Encrypted;
    item.Comment = Sender.FileComment;
    NoteInstallProgram(item.Name, folder);
    FModel->Add(std::move(item), folder, Sender.VolumeID, Sender.MethodName,
                Sender.GetAttributeString(Sender.ExternalAttr, '_'));

    if (++FListedSoFar % ListingNoteEvery == 0)
        ui->dfstbMainStatus->showMessage(QStringLiteral("Reading ") +
                                         QString::fromStdString(krvKorva->ArchiveFile()) +
                                         QStringLiteral(" ... %1 files").arg(FListedSoFar));
    // Long listings keep the window alive.
    EngineHost::PumpIfDue();
}

void TfmMain::NoteInstallProgram(const std::string& Name, const std::string& Folder) {
    if (!Folder.empty()) return;
    const std::string upper = UpperAscii(Name);
    if (upper != "SETUP.EXE" && upper != "INSTALL.EXE") return;
    // SETUP.EXE wins over INSTALL.EXE, whatever their order.
    if (FInstallProgram.empty() || (UpperAscii(FInstallProgram) == "INSTALL.EXE" && upper == "SETUP.EXE"))
        FInstallProgram = Name;
}

void TfmMain::DisplayTotals(bool SelectionOnly) {
    const QItemSelection selection = ui->dfelvArchiveView->selectionModel()->selection();
    std::int64_t selectedCount = 0;
    double packed = 0;
    double unpacked = 0;
    for (const QItemSelectionRange& range : selection) {
        if (range.left() != 0) continue; // a row counts once, by its first column
        for (int row = range.top(); row <= range.bottom(); ++row) {
            const TItemData& item = FModel->Item(row);
            ++selectedCount;
            packed += static_cast<double>(item.Packed);
            unpacked += static_cast<double>(item.Unpacked);
        }
    }
    if (selectedCount == 0) SelectionOnly = false;
    std::int64_t count = selectedCount;
    if (!SelectionOnly) {
        count = FModel->rowCount();
        packed = FCabinet
                     ? static_cast<double>(QFileInfo(QString::fromStdString(krvKorva->ArchiveFile())).size())
                     : krvKorva->TotalPackedSize;
        unpacked = krvKorva->TotalUnpackedSize;
    }
    const int ratio = CompressRatioFloat(unpacked, packed);
    SetPanels(QString::fromStdString(ArcTypeNames[krvKorva->ArcType()]), ratio,
              QString::number(count) + (count > 1 ? QStringLiteral(" files") : QStringLiteral(" file")),
              QStringLiteral("Packed: ") + MegaBytes(packed) + QStringLiteral(" MB"),
              QStringLiteral("Unpacked: ") + MegaBytes(unpacked) + QStringLiteral(" MB"));
    ui->dfstbMainStatus->clearMessage();
    ui->dfstbMainStatus->repaint();
}

void TfmMain::SetPanels(const QString& Type, int Ratio, const QString& Files, const QString& Packed,
                        const QString& Unpacked) {
    FPanels[0]->setText(Type.trimmed());
    FPanels[1]->setText(QStringLiteral("Ratio: %1%").arg(Ratio));
    FRatioGauge->SetPosition(Ratio);
    FPanels[2]->setText(Files);
    FPanels[3]->setText(Packed);
    FPanels[4]->setText(Unpacked);
}

void TfmMain::ClearPanels() {
    SetPanels({}, 0, QStringLiteral("0 files"), {}, {});
    FPanels[1]->setText(QStringLiteral("0%"));
}

QString TfmMain::PanelText(int Panel) const {
    return Panel >= 0 && Panel < static_cast<int>(FPanels.size())
               ? FPanels[static_cast<std::size_t>(Panel)]->text()
               : QString();
}

int TfmMain::RatioGauge() const {
    return FRatioGauge->Position();
}

void TfmMain::CloseArchive() {
    if (FListing) {
        CancelTask();
        return;
    }
    krvKorva->SetArchiveFile("");
    CurrentArchivePassword().clear();
    ApplicationBusy();
    FModel->Clear();
    ApplicationWaiting();
    setWindowTitle(Title);
    EnableMenus();
    ClearPanels();
}

bool TfmMain::CheckArchiveExists() {
    if (QFileInfo(QString::fromStdString(krvKorva->ArchiveFile())).isFile()) return true;
    MessageDlg(
        QStringLiteral("The currently open archive file no longer exist. It may \r\nhave been moved or "
                       "deleted by another program."),
        mtError, mbOK);
    CloseArchive();
    return false;
}

void TfmMain::RefreshCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists()) return;
    DisplayArchive(QString::fromStdString(krvKorva->ArchiveFile()));
}

void TfmMain::EnableMenus() {
    const TArcType type = krvKorva->ArcType();
    const bool known = ArchiveOpen();
    for (QAction* action :
         {ui->acCloseArchive, ui->acMoveArchive, ui->acCopyArchive, ui->acRenameArchive, ui->acDeleteArchive,
          ui->acProperties, ui->acPrint, ui->acMailArchive, ui->acRefresh, ui->acViewSelected,
          ui->acSelectAll, ui->acDeselectAll, ui->acInvertSelection, ui->acSelectGroup, ui->acDeselectGroup,
          ui->acSearch, ui->acVirusScan, ui->acCheckOut, ui->acFind})
        action->setEnabled(known);
    // A submenu's own action is set as well: suspending the window's commands disables the
    // action alone, and the menu's state does not bring it back when it has not changed.
    for (QMenu* menu : {ui->miExport, ui->miSortBy}) {
        menu->setEnabled(known);
        menu->menuAction()->setEnabled(known);
    }
    ui->acInstall->setEnabled(known && !FInstallProgram.empty());
    ui->acFindNext->setEnabled(known && FindDone);
    const TArcTypeSet sfx{atAce, atArj, atBh, atJar, atLha, atLzh, atRar, atZip};
    ui->acMakeSFX->setEnabled(known && sfx.Contains(type));
    ui->acPassword->setEnabled(known && EncryptableArcTypes.Contains(type));
    const bool writable = known && WritableArcTypes.Contains(type) && type != atCab;
    // Add only where a writer can take more files: not a compress file.
    ui->acAdd->setEnabled(writable && WriterTypeForAddDialog(type, krvKorva->ArchiveFile()).has_value());
    ui->acDelete->setEnabled(writable);
    ui->acTest->setEnabled(known && TestableArcTypes.Contains(type) && type != atCab);
    ui->acExtract->setEnabled(known && ExtractableArcTypes.Contains(type));
    ui->acViewComment->setEnabled(known && ZipArcTypes.Contains(type));
}

void TfmMain::GenerateColumns() {
    FModel->SetColumns(EnabledColumns(AppSettings()));
    QHeaderView* header = ui->dfelvArchiveView->header();
    // The widths are those of a list in an 8-point font (digits 6 pixels wide), grown with the
    // list's font.
    const int digit = std::max(ui->dfelvArchiveView->fontMetrics().horizontalAdvance(QLatin1Char('0')), 6);
    for (int i = 0; i < FModel->columnCount(); ++i)
        header->resizeSection(i, ArchiveColumnInfo(FModel->Columns()[static_cast<std::size_t>(i)]).Width *
                                     digit / 6);
    // The sort menu lists the columns shown, those switched on later included.
    GenerateSortMenu();
}

void TfmMain::GenerateSortMenu() {
    ui->miSortBy->clear();
    FSortActions.clear();
    for (int i = 0; i < FModel->columnCount(); ++i) {
        const TArchiveColumn column = FModel->Columns()[static_cast<std::size_t>(i)];
        QAction* item = ui->miSortBy->addAction(column == colAttr ? QStringLiteral("Attributes")
                                                                  : ArchiveColumnCaption(column));
        item->setData(i);
        connect(item, &QAction::triggered, this, [this, i] { SortByColumn(i); });
        FSortActions.push_back(item);
    }
}

void TfmMain::SortByColumn(int Column) {
    if (Column < 0 || Column >= FModel->columnCount() || FListing) return;
    if (Column != FSortColumn) {
        FSortColumn = Column;
        FSortOrder = Qt::AscendingOrder;
    } else {
        FSortOrder = FSortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    }
    FModel->sort(FSortColumn, FSortOrder);
    ui->dfelvArchiveView->header()->setSortIndicator(FSortColumn, FSortOrder);
}

void TfmMain::RebuildRecentMenu() {
    ui->miRecent->clear();
    int n = 0;
    for (const std::string& path : dfmruMainList.Items()) {
        const QString file = QString::fromStdString(path);
        QAction* item = ui->miRecent->addAction(QStringLiteral("&%1 %2").arg(++n % 10).arg(file));
        connect(item, &QAction::triggered, this, [this, file] { OpenRecent(file); });
    }
    ui->miRecent->setEnabled(n > 0);
}

QString TfmMain::StateReport() const {
    QStringList lines;
    lines << QStringLiteral("caption=") + windowTitle();
    QStringList columns;
    for (TArchiveColumn column : FModel->Columns())
        columns << ArchiveColumnCaption(column);
    lines << QStringLiteral("columns=") + columns.join(QLatin1Char('|'));
    QStringList panels;
    for (int i = 0; i < 5; ++i)
        panels << PanelText(i);
    lines << QStringLiteral("status=") + panels.join(QLatin1Char('|'));
    lines << QStringLiteral("rows=%1").arg(FModel->rowCount());
    for (int row = 0; row < FModel->rowCount() && row < 1000; ++row) {
        QStringList cells;
        for (TArchiveColumn column : FModel->Columns())
            cells << FModel->CellText(row, column);
        lines << QStringLiteral("row=") + cells.join(QLatin1Char('|'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
