// The toolbar built from the Toolbar settings, its look and pop-up menu, the icons of the
// commands, and the explorer pane and filter bar switches.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/AppSettings.h"
#include "app/common/SettingValues.h"
#include "app/dialogs/DialogSupport.h"

#include <QApplication>
#include <QFileSystemModel>
#include <QStyle>
#include <QToolButton>

namespace {

struct TToolButtonDef {
    bool TAppSettings::*Shown;
    const char* Name; // the setting, and the button's object name
    const char* Caption;
    QAction* Ui::TfmMain::*Action;
};

const TToolButtonDef ToolButtons[] = {
    {&TAppSettings::BtnNewArchive, "BtnNewArchive", "New", &Ui::TfmMain::acNewArchive},
    {&TAppSettings::BtnOpenArchive, "BtnOpenArchive", "Open", &Ui::TfmMain::acOpenArchive},
    {&TAppSettings::BtnCloseArchive, "BtnCloseArchive", "Close", &Ui::TfmMain::acCloseArchive},
    {&TAppSettings::BtnExtractFiles, "BtnExtractFiles", "Extract", &Ui::TfmMain::acExtract},
    {&TAppSettings::BtnAddFiles, "BtnAddFiles", "Add", &Ui::TfmMain::acAdd},
    {&TAppSettings::BtnDeleteFiles, "BtnDeleteFiles", "Delete", &Ui::TfmMain::acDelete},
    {&TAppSettings::BtnViewFiles, "BtnViewFiles", "View", &Ui::TfmMain::acViewSelected},
    {&TAppSettings::BtnCheckOut, "BtnCheckOut", "CheckOut", &Ui::TfmMain::acCheckOut},
    {&TAppSettings::BtnInstall, "BtnInstall", "Install", &Ui::TfmMain::acInstall},
    {&TAppSettings::BtnWizard, "BtnWizard", "Wizard", &Ui::TfmMain::acWizard},
    {&TAppSettings::BtnTestArchive, "BtnTestArchive", "Test", &Ui::TfmMain::acTest},
    {&TAppSettings::BtnVirusScan, "BtnVirusScan", "Scan", &Ui::TfmMain::acVirusScan},
    {&TAppSettings::BtnMakeExe, "BtnMakeExe", "Make .Exe", &Ui::TfmMain::acMakeSFX},
    {&TAppSettings::BtnExplorer, "BtnExplorer", "Explorer", &Ui::TfmMain::acExplorerView},
    {&TAppSettings::BtnFilter, "BtnFilter", "Filter", &Ui::TfmMain::acShowFilter},
    {&TAppSettings::BtnProperties, "BtnProperties", "Properties", &Ui::TfmMain::acProperties},
    {&TAppSettings::BtnComment, "BtnComment", "Comment", &Ui::TfmMain::acViewComment},
    {&TAppSettings::BtnPrintContentList, "BtnPrintContentList", "Print", &Ui::TfmMain::acPrint},
    {&TAppSettings::BtnConfiguration, "BtnConfiguration", "Config", &Ui::TfmMain::acConfiguration},
    {&TAppSettings::BtnHelp, "BtnHelp", "Help", &Ui::TfmMain::acHelpContents},
    {&TAppSettings::BtnExit, "BtnExit", "Exit", &Ui::TfmMain::acExit},
};

struct TIconDef {
    QAction* Ui::TfmMain::*Action;
    const char* Theme;
    QStyle::StandardPixmap Fallback;
};

const TIconDef Icons[] = {
    {&Ui::TfmMain::acNewArchive, "document-new", QStyle::SP_FileIcon},
    {&Ui::TfmMain::acOpenArchive, "document-open", QStyle::SP_DialogOpenButton},
    {&Ui::TfmMain::acCloseArchive, "window-close", QStyle::SP_DialogCloseButton},
    {&Ui::TfmMain::acRefresh, "view-refresh", QStyle::SP_BrowserReload},
    {&Ui::TfmMain::acExtract, "document-save-as", QStyle::SP_DialogSaveButton},
    {&Ui::TfmMain::acAdd, "list-add", QStyle::SP_FileDialogNewFolder},
    {&Ui::TfmMain::acDelete, "edit-delete", QStyle::SP_TrashIcon},
    {&Ui::TfmMain::acViewSelected, "document-open-recent", QStyle::SP_FileDialogContentsView},
    {&Ui::TfmMain::acCheckOut, "folder-open", QStyle::SP_DirOpenIcon},
    {&Ui::TfmMain::acInstall, "system-software-install", QStyle::SP_ComputerIcon},
    {&Ui::TfmMain::acWizard, "tools-wizard", QStyle::SP_ArrowRight},
    {&Ui::TfmMain::acTest, "dialog-ok-apply", QStyle::SP_DialogApplyButton},
    {&Ui::TfmMain::acVirusScan, "security-high", QStyle::SP_MessageBoxWarning},
    {&Ui::TfmMain::acMakeSFX, "application-x-executable", QStyle::SP_DriveHDIcon},
    {&Ui::TfmMain::acExplorerView, "system-file-manager", QStyle::SP_DirHomeIcon},
    {&Ui::TfmMain::acShowFilter, "edit-find", QStyle::SP_FileDialogListView},
    {&Ui::TfmMain::acProperties, "document-properties", QStyle::SP_FileDialogInfoView},
    {&Ui::TfmMain::acViewComment, "accessories-text-editor", QStyle::SP_FileDialogDetailedView},
    {&Ui::TfmMain::acPrint, "document-print", QStyle::SP_DesktopIcon},
    {&Ui::TfmMain::acConfiguration, "preferences-system", QStyle::SP_ComputerIcon},
    {&Ui::TfmMain::acHelpContents, "help-browser", QStyle::SP_DialogHelpButton},
    {&Ui::TfmMain::acExit, "application-exit", QStyle::SP_DialogCloseButton},
    {&Ui::TfmMain::acFind, "edit-find", QStyle::SP_FileDialogContentsView},
    {&Ui::TfmMain::acSelectAll, "edit-select-all", QStyle::SP_DialogYesButton},
    {&Ui::TfmMain::acCancelTask, "process-stop", QStyle::SP_BrowserStop},
    {&Ui::TfmMain::acAbout, "help-about", QStyle::SP_MessageBoxInformation},
};

} // namespace

void TfmMain::ApplyIcons() {
    QStyle* style = QApplication::style();
    for (const TIconDef& def : Icons)
        (ui.get()->*def.Action)
            ->setIcon(QIcon::fromTheme(QString::fromLatin1(def.Theme), style->standardIcon(def.Fallback)));
    ui->sbApplyFilter->setIcon(
        QIcon::fromTheme(QStringLiteral("view-filter"), style->standardIcon(QStyle::SP_DialogApplyButton)));
    ui->sbRemoveFilter->setIcon(
        QIcon::fromTheme(QStringLiteral("edit-clear"), style->standardIcon(QStyle::SP_DialogResetButton)));
    setWindowIcon(
        QIcon::fromTheme(QStringLiteral("package-x-generic"), style->standardIcon(QStyle::SP_DriveHDIcon)));
}

void TfmMain::GenerateToolbar() {
    const TAppSettings& settings = AppSettings();
    ui->tbMain->clear();
    int made = 0;
    for (const TToolButtonDef& def : ToolButtons) {
        if (!(settings.*def.Shown)) continue;
        QAction* action = ui.get()->*def.Action;
        // A tool button shows its action's icon text.
        action->setIconText(QString::fromLatin1(def.Caption));
        ui->tbMain->addAction(action);
        auto* button = qobject_cast<QToolButton*>(ui->tbMain->widgetForAction(action));
        if (!button) continue;
        button->setObjectName(QString::fromLatin1(def.Name));
        button->installEventFilter(this);
        if (action == ui->acOpenArchive) {
            // The recent archives drop down from the Open button.
            button->setMenu(ui->miRecent);
            button->setPopupMode(QToolButton::MenuButtonPopup);
        }
        ++made;
    }
    ui->tbMain->setVisible(made > 0);
    ApplyToolbarLook();
}

void TfmMain::ApplyToolbarLook() {
    const TAppSettings& settings = AppSettings();
    ui->tbMain->setToolButtonStyle(settings.ButtonText ? Qt::ToolButtonTextUnderIcon
                                                       : Qt::ToolButtonIconOnly);
    const int iconSide = QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize);
    ui->tbMain->setIconSize(QSize(iconSide, iconSide));
    for (QAction* action : ui->tbMain->actions()) {
        if (auto* button = qobject_cast<QToolButton*>(ui->tbMain->widgetForAction(action))) {
            button->setAutoRaise(settings.FlatButtons);
            // With captions a button is at least 46 by 36, without them 21 by 21.
            button->setMinimumSize(settings.ButtonText ? QSize(46, 36) : QSize(21, 21));
        }
    }
    ui->miShowText->setChecked(settings.ButtonText);
    ui->miShowToolTips->setChecked(settings.ToolTips);
    ui->miUseFlatButtons->setChecked(settings.FlatButtons);
}

void TfmMain::ToolbarContextMenu(const QPoint& Pos) {
    ui->miToolbar->popup(ui->tbMain->mapToGlobal(Pos));
}

void TfmMain::ToggleToolbarSetting(const char* Name) {
    TAppSettings& settings = AppSettings();
    bool* value = std::string_view(Name) == "ButtonText" ? &settings.ButtonText
                  : std::string_view(Name) == "ToolTips" ? &settings.ToolTips
                                                         : &settings.FlatButtons;
    *value = !*value;
    WriteSettingBool("Toolbar", Name, *value);
    ApplyToolbarLook();
}

void TfmMain::SetFilterBarVisible(bool Visible) {
    ui->tbFilter->setVisible(Visible);
    ui->acShowFilter->setChecked(Visible);
    ui->acShowFilter->setText(Visible ? QStringLiteral("Hide &Filter") : QStringLiteral("Show &Filter"));
}

void TfmMain::ToggleFilter() {
    SetFilterBarVisible(!ui->tbFilter->isVisibleTo(this));
}

void TfmMain::SetExplorerVisible(bool Visible) {
    if (Visible && !FExplorerFolders) {
        // The folder tree and the file list of the explorer pane, made when first shown.
        FExplorerFolders = new QFileSystemModel(this);
        FExplorerFolders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
        FExplorerFolders->setRootPath(QDir::rootPath());
        ui->dfstvExplorer->setModel(FExplorerFolders);
        for (int c = 1; c < FExplorerFolders->columnCount(); ++c)
            ui->dfstvExplorer->hideColumn(c);
        FExplorerFiles = new QFileSystemModel(this);
        FExplorerFiles->setFilter(QDir::Files);
        ui->dfslvExplorer->setModel(FExplorerFiles);
        connect(ui->dfstvExplorer->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this](const QModelIndex& Current) {
                    const QString folder = FExplorerFolders->filePath(Current);
                    ui->dfslvExplorer->setRootIndex(FExplorerFiles->setRootPath(folder));
                });
        const QModelIndex here = FExplorerFolders->index(CurrentFolder());
        ui->dfstvExplorer->setCurrentIndex(here);
        ui->dfstvExplorer->scrollTo(here);
    }
    ui->explorerPane->setVisible(Visible);
    ui->acExplorerView->setChecked(Visible);
    ui->acExplorerView->setText(Visible ? QStringLiteral("Hide E&xplorer")
                                        : QStringLiteral("Show E&xplorer"));
}

void TfmMain::ToggleExplorer() {
    SetExplorerVisible(!ui->explorerPane->isVisibleTo(this));
}
