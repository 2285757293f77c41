#include "app/dialogs/ExtractDlg.h"

#include "app/dialogs/DialogSupport.h"
#include "app/common/Prompter.h"
#include "ui_ExtractDlg.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>

TfmExtractDlg::TfmExtractDlg(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmExtractDlg>()), FFolders(new QFileSystemModel(this)) {
    ui->setupUi(this);
    auto* box = ui->cbDestination;
    box->SetRegKey("\\Software\\Quillar\\MRUExtract");
    box->SetRegMaxCount(20);
    box->SetRegAutoFindValue(true);
    box->SetRegAutoFindDelay(500);
    box->SetRegAutoFindCaseSensitive(false);
    box->SetRegSaveOnExit(true);
    box->Loaded();
    box->setCurrentText(QString());

    FFolders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    FFolders->setRootPath("/");
    ui->dfstvExplorer->setModel(FFolders);
    for (int column = 1; column < FFolders->columnCount(); ++column)
        ui->dfstvExplorer->hideColumn(column);
    ui->dfstvExplorer->setCurrentIndex(FFolders->index(QDir::homePath()));
    connect(ui->dfstvExplorer->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& Current) {
                if (Current.isValid() && !FPlacingTree)
                    ui->cbDestination->setCurrentText(FFolders->filePath(Current));
            });

    connect(ui->bbExtract, &QPushButton::clicked, this, &TfmExtractDlg::ExtractClick);
    CloseWith(ui->bbCancel, this, mrCancel);
    ConnectHelp(ui->bbHelp, "Hlp_Extract_Dialog");
    ui->cbDestination->setFocus();
}

TfmExtractDlg::~TfmExtractDlg() = default;

QString TfmExtractDlg::DestinationFolder(const QString& Text) {
    if (Text.contains('/')) return Text;
    return QDir::currentPath() + '/' + Text;
}

void TfmExtractDlg::SetTreeFolder(const QString& Folder) {
    const QModelIndex index = FFolders->index(QDir::cleanPath(QFileInfo(Folder).absoluteFilePath()));
    if (!index.isValid()) return;
    FPlacingTree = true;
    ui->dfstvExplorer->setCurrentIndex(index);
    FPlacingTree = false;
    ui->dfstvExplorer->expand(index);
    ui->dfstvExplorer->scrollTo(index);
}

QString TfmExtractDlg::TreeFolder() const {
    return FFolders->filePath(ui->dfstvExplorer->currentIndex());
}

void TfmExtractDlg::SetSelection(bool HasSelection) {
    if (!HasSelection) {
        ui->rbAllFiles->setChecked(true);
        ui->rgFiles->setEnabled(false);
    } else {
        ui->rbSelectedFiles->setChecked(true);
    }
}

void TfmExtractDlg::SetDestination(const QString& Folder) {
    ui->cbDestination->setCurrentText(Folder);
}

bool TfmExtractDlg::SelectedFiles() const {
    return ui->rbSelectedFiles->isChecked();
}

TExtractOptions TfmExtractDlg::Options() const {
    TExtractOptions options;
    options.Folder = DestinationFolder(ui->cbDestination->currentText());
    options.UseStoredDirs = ui->ckRestoreFolders->isChecked();
    options.UseFileDate = ui->ckDateAttribute->isChecked();
    options.ConfirmOverwrites = ui->ckConfirmOverwrites->isChecked();
    options.RestoreFileAttr = ui->ckRestoreAttributes->isChecked();
    options.CreateStoredDirs = ui->ckCreateDirectories->isChecked();
    return options;
}

void TfmExtractDlg::ExtractClick() {
    const QString text = ui->cbDestination->currentText();
    if (text.isEmpty()) {
        MessageDlg("You must enter a valid directory to extract to.", mtCustom, mbOK);
        return;
    }
    ui->cbDestination->setCurrentText(DestinationFolder(text));
    ui->cbDestination->AddToHistory();
    done(mrOk);
}
