// The window's commands bound to their handlers; each group of operations binds its own in its
// unit (ConnectOperationActions, ConnectBackupActions, ...).
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/Prompter.h"
#include "app/main/InputQuery.h"
#include "engine/read/krvKorva.h"

#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

void TfmMain::OpenExplorerFile(const QModelIndex& Index) {
    const QString path = FExplorerFiles ? FExplorerFiles->filePath(Index) : QString();
    if (QFileInfo(path).isFile())
        OpenArchiveFile(path);
    else
        MessageDlg(path + QStringLiteral(" does not exist. Please select a different file."), mtError, mbOK);
}

void TfmMain::ConnectActions() {
    // The explorer pane starts hidden (the splitter "maximised" on the list).
    ui->explorerPane->setVisible(false);
    ui->tbFilter->setVisible(false);

    connect(ui->acOpenArchive, &QAction::triggered, this, &TfmMain::OpenArchiveCommand);
    connect(ui->acCloseArchive, &QAction::triggered, this, [this] {
        if (FListing || ExitCheckoutCheck()) CloseArchive();
    });
    connect(ui->acRefresh, &QAction::triggered, this, &TfmMain::RefreshCommand);
    connect(ui->acExit, &QAction::triggered, this, &QWidget::close);
    connect(ui->acCancelTask, &QAction::triggered, this, &TfmMain::CancelTask);
    connect(ui->acSelectAll, &QAction::triggered, this, &TfmMain::SelectAll);
    connect(ui->acDeselectAll, &QAction::triggered, this, &TfmMain::DeselectAll);
    connect(ui->acInvertSelection, &QAction::triggered, this, &TfmMain::InvertSelection);
    connect(ui->acSelectGroup, &QAction::triggered, this, [this] {
        QString mask;
        if (InputQuery(this, QStringLiteral("Select Group"),
                       QStringLiteral("Please enter file mask (Example: *.doc) :"), mask))
            SelectGroup(mask, true);
        DisplayTotals(true);
    });
    connect(ui->acDeselectGroup, &QAction::triggered, this, [this] {
        QString mask;
        if (InputQuery(this, QStringLiteral("Deselect Group"),
                       QStringLiteral("Please enter file mask (Example: *.doc) :"), mask))
            SelectGroup(mask, false);
        DisplayTotals(true);
    });
    connect(ui->acShowFilter, &QAction::triggered, this, &TfmMain::ToggleFilter);
    connect(ui->acExplorerView, &QAction::triggered, this, &TfmMain::ToggleExplorer);
    connect(ui->sbApplyFilter, &QToolButton::clicked, this, &TfmMain::ApplyFilter);
    connect(ui->sbRemoveFilter, &QToolButton::clicked, this, &TfmMain::RemoveFilter);
    ui->rcbFilter->setInsertPolicy(QComboBox::NoInsert);
    ui->rcbFilter->Loaded();
    connect(ui->rcbFilter, &QComboBox::activated, this, &TfmMain::ApplyFilter);
    connect(ui->rcbFilter->lineEdit(), &QLineEdit::returnPressed, this, &TfmMain::ApplyFilter);
    connect(ui->miShowText, &QAction::triggered, this, [this] { ToggleToolbarSetting("ButtonText"); });
    connect(ui->miShowToolTips, &QAction::triggered, this, [this] { ToggleToolbarSetting("ToolTips"); });
    connect(ui->miUseFlatButtons, &QAction::triggered, this, [this] { ToggleToolbarSetting("FlatButtons"); });
    connect(ui->tbMain, &QWidget::customContextMenuRequested, this, &TfmMain::ToolbarContextMenu);

    QTreeView* list = ui->dfelvArchiveView;
    connect(list->header(), &QHeaderView::sectionClicked, this, &TfmMain::SortByColumn);
    connect(list, &QAbstractItemView::clicked, this, [this] {
        if (!krvKorva->ArchiveFile().empty()) DisplayTotals(true);
    });
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!FListing && !krvKorva->ArchiveFile().empty()) DisplayTotals(true);
    });
    connect(ui->dfslvExplorer, &QAbstractItemView::doubleClicked, this, &TfmMain::OpenExplorerFile);
    // The explorer list's popup: Open, enabled while a file is selected.
    pmExplorerFilePopup = new QMenu(this);
    pmExplorerFilePopup->setObjectName(QStringLiteral("pmExplorerFilePopup"));
    QAction* miOpen = pmExplorerFilePopup->addAction(QStringLiteral("&Open"));
    miOpen->setObjectName(QStringLiteral("miOpen"));
    connect(miOpen, &QAction::triggered, this, [this] {
        const QModelIndex current = ui->dfslvExplorer->currentIndex();
        if (current.isValid()) OpenExplorerFile(current);
    });
    ui->dfslvExplorer->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->dfslvExplorer, &QWidget::customContextMenuRequested, this, [this, miOpen](const QPoint& Pos) {
        const QItemSelectionModel* selection = ui->dfslvExplorer->selectionModel();
        miOpen->setEnabled(selection && selection->hasSelection());
        pmExplorerFilePopup->popup(ui->dfslvExplorer->viewport()->mapToGlobal(Pos));
    });
    // The list's context menu: the commands on entries.
    list->addActions({ui->acExtract, ui->acViewSelected, ui->acDelete, ui->acTest, ui->acSelectAll,
                      ui->acInvertSelection, ui->acProperties});

    connect(ui->acExtract, &QAction::triggered, this, &TfmMain::ExtractCommand);
    connect(ui->acViewSelected, &QAction::triggered, this, &TfmMain::ViewSelected);
    connect(list, &QAbstractItemView::activated, this, &TfmMain::ViewSelected);
    connect(ui->acNewArchive, &QAction::triggered, this, &TfmMain::NewArchiveCommand);
    connect(ui->acAdd, &QAction::triggered, this, &TfmMain::AddCommand);
    connect(ui->acPassword, &QAction::triggered, this, &TfmMain::PasswordCommand);
    connect(ui->acDelete, &QAction::triggered, this, &TfmMain::DeleteCommand);

    ConnectOperationActions();
    ConnectBackupActions();
    ConnectBatchActions();
    ConnectWizardActions();
    ConnectFavouriteActions();
    ConnectPrintActions();
    ConnectHelpActions();
    connect(ui->acConfiguration, &QAction::triggered, this, [this] { ConfigurationCommand(0); });
    connect(ui->miConfigureToolbar, &QAction::triggered, this, [this] { ConfigurationCommand(1); });
    // These do nothing, as they always have.
    for (QAction* action : {ui->acSearch, ui->acUnEXE, ui->acEncrypt, ui->acDecrypt})
        action->setEnabled(false);
}
