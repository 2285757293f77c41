// The main window's life: creation (first run, settings, toolbar, columns), applying the
// settings, the show handler with the command line's archive, closing and destruction, the
// status light and the cancel path.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/AppSettings.h"
#include "app/common/Associations.h"
#include "app/common/FileUtils.h"
#include "app/common/FontText.h"
#include "app/common/Prompter.h"
#include "app/common/SettingValues.h"
#include "app/common/SystemUtils.h"
#include "app/dialogs/AddBottom.h"
#include "app/dialogs/Configuration.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/Progress.h"
#include "app/main/ArchiveModel.h"
#include "app/main/AssociationUpkeep.h"
#include "app/main/GridLineDelegate.h"
#include "app/main/ListStyles.h"
#include "app/main/ProgramStart.h"
#include "app/main/StatusLed.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvUnBase.h"
#include "engine/read/krvKorva.h"
#include "engine/read/krvZipRun.h"
#include "engine/write/krvRegArchive.h"
#include "platform/Registry.h"
#include "platform/RunningProcesses.h"
#include "platform/Shell.h"
#include "platform/ShellLink.h"
#include "ui/ProgressCyl.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>

namespace {

constexpr const char* ColumnsKey = "\\Software\\Quillar\\ArchiveView\\Columns";
constexpr const char* FormKey = "\\Software\\Quillar\\Form";
// Shown from a cancel until the cancelled task has ended.
const QString AbortingMessage = QStringLiteral("Aborting ...");

} // namespace

TfmMain::TfmMain(QStringList Arguments, QWidget* Parent)
    : QMainWindow(Parent), ui(std::make_unique<Ui::TfmMain>()), krvKorva(std::make_unique<TKorva>()),
      krvUtil(std::make_unique<TKorva>()), FAssociations(std::make_unique<TAssociationUpkeep>(this)),
      FArguments(std::move(Arguments)) {
    ui->setupUi(this);
    FModel = new TArchiveModel(this);
    ui->dfelvArchiveView->setModel(FModel);
    // The list sorts through SortByColumn, on the rows' raw values. The view's own sorting is off
    // first, as switching it off also hides the header's arrow and makes its sections unclickable.
    ui->dfelvArchiveView->setSortingEnabled(false);
    ui->dfelvArchiveView->header()->setSortIndicatorShown(true);
    ui->dfelvArchiveView->header()->setSectionsClickable(true);
    ui->dfsplMain->setStretchFactor(1, 1);

    krvKorva->OnRead = [this](TZipCommon& Sender, std::int64_t Offset, int FileNum) {
        krvKorvaRead(Sender, Offset, FileNum);
    };
    krvKorva->OnActivate = [this](TZipCommon& Sender) { krvKorvaActivate(Sender); };
    krvKorva->OnDeactivate = [this](TZipCommon& Sender) { krvKorvaDeactivate(Sender); };
    krvKorva->OnError = [this](TZipCommon& Sender, const std::string& FileName,
                               const std::string& ExtendedMsg, const std::string& VolumeID,
                               int ECode) { krvKorvaError(Sender, FileName, ExtendedMsg, VolumeID, ECode); };
    krvKorva->OnCorruptZipHeader = [this](TZipCommon& Sender, THeaderTypeState HeadFlag, bool& Cancel) {
        krvKorvaCorruptZipHeader(Sender, HeadFlag, Cancel);
    };
    // The delete command's lister reports nothing to the window.
    krvUtil->OnRead = [](TZipCommon&, std::int64_t, int) {};

    CreateStatusPanels();
    CreateOperationForms();
    ConnectActions();
    ApplyIcons();
    installEventFilter(this);
    FormCreate();
}

TfmMain::~TfmMain() {
    FormDestroy();
}

void TfmMain::CreateStatusPanels() {
    QStatusBar* bar = ui->dfstbMainStatus;
    pbxLed = new TStatusLed(bar);
    pbxLed->setObjectName(QStringLiteral("pbxLed"));
    bar->addWidget(pbxLed);
    // Panels: 0 type, 1 ratio with its gauge, 2 files, 3 packed, 4 unpacked, 5 hints.
    static constexpr int stretch[] = {0, 0, 0, 0, 0, 1};
    for (int i = 0; i < 6; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("dfstbMainStatusPanel%1").arg(i));
        panel->setMinimumWidth(
            i == 5 ? 0 : fontMetrics().horizontalAdvance(QStringLiteral("Unpacked: 0000.00 MB")));
        FPanels.push_back(panel);
        bar->addWidget(panel, stretch[i]);
        if (i == 1) {
            FRatioGauge = new TProgressCyl(bar);
            FRatioGauge->setObjectName(QStringLiteral("dfstbMainStatusGauge"));
            FRatioGauge->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
            FRatioGauge->setMaximumHeight(fontMetrics().height() + 4);
            bar->addWidget(FRatioGauge);
        }
    }
    ClearPanels();
}

void TfmMain::FormCreate() {
    CheckOutActive = false;
    StartProgram(*FAssociations, ui->dfelvArchiveView->font(),
                 ui->dfelvArchiveView->palette().text().color());
    ApplyRegSettings();
    GenerateToolbar();
    GenerateColumns();
    GenerateBackupMenu();
    LoadColumnLayout();
    LoadPlacement();
    dfmruMainList.Load();
    dfmruMainList.SetMaxCount(AppSettings().MRUList);
    if (AppSettings().ClearMRU) dfmruMainList.RemoveMissing();
    RebuildRecentMenu();
    EnableMenus();
    SetLedColor(Qt::green);
}

void TfmMain::ApplyRegSettings() {
    const TAppSettings& settings = AppSettings();
    QTreeView* list = ui->dfelvArchiveView;
    const unsigned styles = ListStylesOf(settings);
    list->setProperty("ListStyles", styles);
    TFontData font = FontDataOf(list->font(), list->palette().text().color());
    if (StringToFont(settings.FileListFont, font)) list->setFont(FontOf(font));
    list->setAllColumnsShowFocus(styles & lvxFullRowSelect);
    list->header()->setSectionsMovable(styles & lvxHeaderDragDrop);
    list->setMouseTracking(styles & lvxTrackSelect);
    QString sheet;
    if (styles & lvxGridLines) {
        if (!qobject_cast<TGridLineDelegate*>(list->itemDelegate()))
            list->setItemDelegate(new TGridLineDelegate(list));
    } else if (qobject_cast<TGridLineDelegate*>(list->itemDelegate())) {
        list->setItemDelegate(new QStyledItemDelegate(list));
    }
    if (styles & lvxUnderlineCold)
        sheet += QStringLiteral("QTreeView::item { text-decoration: underline; }");
    else if (styles & lvxUnderlineHot)
        sheet += QStringLiteral("QTreeView::item:hover { text-decoration: underline; }");
    list->setStyleSheet(sheet);

    SetFilterBarVisible(settings.ShowFilter);
    ApplyToolbarLook();
    dfmruMainList.SetMaxCount(settings.MRUList);
    RebuildRecentMenu();
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != settings.StayOnTop) {
        const bool visible = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, settings.StayOnTop);
        if (visible) show();
    }
    UpdateTrayProgram();
}

void TfmMain::ConfigurationCommand(int Page) {
    if (!RunConfiguration(this, Page, *FAssociations)) return;
    ApplyRegSettings();
    GenerateToolbar();
    GenerateColumns();
    if (ArchiveOpen()) DisplayArchive(QString::fromStdString(krvKorva->ArchiveFile()));
}

void TfmMain::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    if (FShown) return;
    // The entry's work runs once, after the window has been painted.
    FShown = true;
    QTimer::singleShot(0, this, &TfmMain::FormShow);
}

void TfmMain::FormShow() {
    raise();
    activateWindow();
    const TAppSettings& settings = AppSettings();
    if (FArguments.size() == 1 && QFileInfo(FArguments[0]).isFile()) {
        OpenArchiveFile(QFileInfo(FArguments[0]).absoluteFilePath());
        if (settings.CommentsOpen) DisplayCommentIfExist();
    } else {
        if (settings.StartupOpen) OpenArchiveCommand();
        // The wizard hides the window while it runs and shows it again afterwards.
        if (settings.StartupWizard) WizardCommand();
    }
    ui->acExplorerView->setText(ui->explorerPane->isVisibleTo(this) ? QStringLiteral("Hide E&xplorer")
                                                                    : QStringLiteral("Show E&xplorer"));
    FStartupDone = true;
    emit ListingDone();
}

void TfmMain::closeEvent(QCloseEvent* Event) {
    if (FListing) {
        // The listing ends first; the window closes when it has.
        FCloseWhenListed = true;
        krvKorva->SetCancel(true);
        Event->ignore();
        return;
    }
    if (!ExitCheckoutCheck()) {
        Event->ignore();
        return;
    }
    SaveColumnLayout();
    SavePlacement();
    dfmruMainList.Save();
    QMainWindow::closeEvent(Event);
}

void TfmMain::FormDestroy() {
    for (const std::string& folder : TempFolders)
        DeleteFolderTree(folder);
    TempFolders.clear();
}

bool TfmMain::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == this && Event->type() == QEvent::StatusTip) {
        // Hints go to the hint panel, unless the bar shows a message of its own.
        if (ui->dfstbMainStatus->currentMessage().isEmpty())
            FPanels[5]->setText(static_cast<QStatusTipEvent*>(Event)->tip());
        return true;
    }
    // While an operation runs its progress window stays in front of the window.
    if (Watched == this && Event->type() == QEvent::WindowActivate && fmProgress && fmProgress->isVisible())
        fmProgress->raise();
    if (Event->type() == QEvent::ToolTip && Watched->parent() == ui->tbMain && !AppSettings().ToolTips)
        return true;
    return QMainWindow::eventFilter(Watched, Event);
}

void TfmMain::ApplicationBusy() {
    ui->dfelvArchiveView->viewport()->setCursor(Qt::WaitCursor);
    ui->dfelvArchiveView->viewport()->update();
    SetLedColor(Qt::red);
    EngineHost::Pump();
}

void TfmMain::ApplicationWaiting(bool Failed) {
    ClearAbortingMessage();
    ui->dfelvArchiveView->viewport()->unsetCursor();
    ui->dfelvArchiveView->viewport()->update();
    SetLedColor(Failed ? TStatusLed::FailedColor() : QColor(Qt::green));
}

void TfmMain::ClearAbortingMessage() {
    if (ui->dfstbMainStatus->currentMessage() == AbortingMessage) ui->dfstbMainStatus->clearMessage();
}

void TfmMain::SetLedColor(const QColor& Color) {
    pbxLed->SetColor(Color);
}

QColor TfmMain::LedColor() const {
    return pbxLed->Color();
}

bool TfmMain::TaskRunning() const {
    // The engine objects stay bound after their work; a task runs while the window lists, shows
    // the progress of an operation or has its busy light on.
    return FListing || (fmProgress && fmProgress->isVisible()) || pbxLed->Color() == Qt::red;
}

void TfmMain::CancelTask() {
    if (!TaskRunning()) return;
    TZipCommon* running = CurrentWriter ? CurrentWriter : CurrentReader;
    // A long listing ends the same way.
    if (FListing) running = krvKorva.get();
    // An operation stops at its next progress report.
    if (FOperationRunning) FCancelRequested = true;
    if (!running && !FOperationRunning) return;
    if (running) running->SetCancel(true);
    ui->dfstbMainStatus->showMessage(AbortingMessage);
    ui->dfstbMainStatus->repaint();
    ui->dfelvArchiveView->viewport()->unsetCursor();
}

// ---- saved layout ---------------------------------------------------------------------------

void TfmMain::LoadColumnLayout() {
    TRegistry reg;
    if (!reg.KeyExists(ColumnsKey) || !reg.OpenKeyReadOnly(ColumnsKey)) return;
    QHeaderView* header = ui->dfelvArchiveView->header();
    for (int i = 0; i < FModel->columnCount(); ++i) {
        const std::string caption = ArchiveColumnInfo(FModel->Columns()[static_cast<std::size_t>(i)]).Caption;
        if (reg.GetDataType(caption) == rdInteger) {
            const int width = reg.ReadInteger(caption);
            if (width > 0 && width < 10000) header->resizeSection(i, width);
        }
    }
    if (reg.GetDataType("Order") != rdString) return;
    // The captions in their shown order.
    std::string order = reg.ReadString("Order");
    int visual = 0;
    while (!order.empty()) {
        const std::string caption = CutToken(order, ",");
        for (int i = 0; i < FModel->columnCount(); ++i) {
            if (caption != ArchiveColumnInfo(FModel->Columns()[static_cast<std::size_t>(i)]).Caption)
                continue;
            header->moveSection(header->visualIndex(i), visual++);
            break;
        }
    }
}

void TfmMain::SaveColumnLayout() const {
    try {
        TRegistry reg;
        if (!reg.OpenKey(ColumnsKey, true)) return;
        const QHeaderView* header = ui->dfelvArchiveView->header();
        std::vector<TRegValue> values;
        std::string order;
        for (int visual = 0; visual < header->count(); ++visual) {
            const int logical = header->logicalIndex(visual);
            const char* caption =
                ArchiveColumnInfo(FModel->Columns()[static_cast<std::size_t>(logical)]).Caption;
            values.push_back(TRegValue{caption, rdInteger, {}, header->sectionSize(logical)});
            order += (order.empty() ? "" : ",") + std::string(caption);
        }
        values.push_back(TRegValue{"Order", rdString, order, 0});
        reg.WriteValues(values);
    } catch (const ERegistryException&) {
        // The layout is a convenience; the next start uses the default one.
    }
}

void TfmMain::LoadPlacement() {
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(FormKey) || reg.GetDataType("Placement") != rdBinary) return;
    const std::string bytes = reg.ReadBinaryData("Placement");
    restoreGeometry(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (reg.ValueExists("ExplorerVisible") && reg.ReadBool("ExplorerVisible")) SetExplorerVisible(true);
}

void TfmMain::SavePlacement() const {
    try {
        TRegistry reg;
        if (!reg.OpenKey(FormKey, true)) return;
        const QByteArray geometry = saveGeometry();
        reg.WriteBinaryData("Placement",
                            std::string(geometry.constData(), static_cast<std::size_t>(geometry.size())));
        reg.WriteBool("ExplorerVisible", ui->explorerPane->isVisibleTo(this));
    } catch (const ERegistryException&) {
    }
}
