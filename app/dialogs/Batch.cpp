#include "app/dialogs/Batch.h"

#include "app/common/AppSettings.h"
#include "app/common/FileUtils.h"
#include "app/common/QtStrings.h"
#include "app/common/QuestionTexts.h"
#include "app/dialogs/DialogObserver.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileNameFields.h"
#include "app/ops/OpAdd.h"
#include "app/ops/OpConvert.h"
#include "app/ops/OpExtract.h"
#include "app/ops/OpMakeSfx.h"
#include "app/ops/OpTest.h"
#include "app/ops/OpVirusScan.h"
#include "engine/core/krvProduct.h"
#include "ui/LmSaveDlg.h"
#include "ui_Batch.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>
#include <algorithm>

namespace {

struct TOperationRow {
    const char* Caption;
    const char* Title;
    const char* Help;
    const char* Filter;
    const char* Pages;
};

const char* const FilterAll =
    "Supported Archive Files|*.ace;*.arc;*.arj;*.bh;*.cab;*.gz;*.jar;*.lha;*.lzh;*.rar;"
    "*.tar;*.tgz;*.uu;*.uue;*.xxe;*.z;*.zip;*.zoo|";
const char* const FilterAnyFile = "All Files (*.*)|*.*";

const TOperationRow Operations[] = {
    {"Batch Test Archive", "Select Archive Files to Test", "Hlp_Batch_Test", FilterAll, "0,1,2"},
    {"Batch Virus Scan", "Select Archive Files to Scan", "Hlp_Batch_Virus", FilterAll, "0,1,2"},
    {"Batch Make .EXE File", "Select Archive Files to Make into .EXE", "Hlp_Batch_Make",
     "Supported Archive Files|*.ace;*.arj;*.bh;*.jar;*.lha;*.lzh;*.rar;*.zip|", "0,3,1,2"},
    {"Batch Convert Archive Format", "Select Archive Files to Convert", "Hlp_Batch_Convert", FilterAll,
     "0,3,4,1,2"},
    {"Batch Extract Archive", "Select Archive Files to Extract", "Hlp_Batch_Extract", FilterAll, "0,3,1,2"},
    {"Batch Create Archive", "Select Files to Archive", "Hlp_Batch_Create", FilterAnyFile, "0,3,4,1,2"},
    {"Batch Add to Archive", "Select Target Archive Files to Add To", "Hlp_Batch_Add",
     "Supported Archive Files|*.bh;*.jar;*.lha;*.lzh;*.tar;*.zip|", "0,5,1,2"},
};

} // namespace

// The batch tool's side of the operations: its own bars and Cancel, the automatic overwrite
// option; every other question through the dialogs.
class TBatchObserver : public TDialogObserver {
public:
    explicit TBatchObserver(TfmBatch& Batch) : FBatch(Batch) {}
    QWidget* DialogParent() const override { return &FBatch; }
    // The current file is the archive (or file) of the batch: its bar shows how far the run over
    // it has come, never the entry's own share, and never goes back while it runs.
    bool Progress(int, int ByArchive) override {
        const int percent = std::max(ByArchive, FBatch.ui->pbCurrent->value());
        FBatch.ui->pbCurrent->setValue(percent);
        FBatch.ui->laCurrentPercent->setText(QString::number(percent) + QLatin1Char('%'));
        QCoreApplication::processEvents();
        // Cancel takes effect between files: the file in progress is finished, so that every
        // file the run reports on has its whole result.
        return false;
    }
    // The batch tool asks Yes or No, each time.
    TReplaceAnswer AskReplace(const std::string& FileName, const std::string& NewFileName, TDateTime Date,
                              TDateTime NewDate, std::int64_t FileSize, std::int64_t NewFileSize) override {
        if (FBatch.FAutoOverwrite) return TReplaceAnswer::YesToAll;
        const QString text =
            ReplaceQuestionText(Str(FileName), FileSize, Date, Str(NewFileName), NewFileSize, NewDate);
        return MessageDlg(text, mtConfirmation, mbYes | mbNo) == mrYes ? TReplaceAnswer::Yes
                                                                       : TReplaceAnswer::No;
    }
    // A line of text for the existing entry's new name; anything but a sound new name keeps it.
    TDupeAnswer AskRenameDupe(const std::string& FileName, std::string& NewName) override {
        if (FBatch.FAutoOverwrite) return TDupeAnswer::SkipAll;
        QString name = Str(FileName);
        if (!InputQuery(QStringLiteral("Duplicate File"),
                        QStringLiteral("File already exist. Please enter a different file name\r\nfor the "
                                       "EXISTING FILE to rename it:"),
                        name) ||
            name == Str(FileName) || !IsSoundEntryName(name))
            return TDupeAnswer::Skip;
        NewName = name.toStdString();
        return TDupeAnswer::Rename;
    }
    // A zip whose directory is damaged is not read on: the archive counts as failed.
    bool AskCorruptHeader() override { return false; }

private:
    TfmBatch& FBatch;
};

TfmBatch::TfmBatch(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmBatch>()),
      FObserver(std::make_unique<TBatchObserver>(*this)) {
    ui->setupUi(this);
    ui->nbMain->setCurrentIndex(0);
    const std::pair<QRadioButton*, int> tags[] = {
        {ui->rbBh, tyBh},   {ui->rbCab, tyCab}, {ui->rbLha, tyLzh},    {ui->rbLzh, tyLzh},
        {ui->rbZip, tyZip}, {ui->rbTar, tyTar}, {ui->rbGz, tyTarGzip}, {ui->rbJar, tyJar}};
    for (const auto& [button, tag] : tags)
        button->setProperty("Tag", tag);
    connect(ui->buNext, &QPushButton::clicked, this, &TfmBatch::NextClick);
    connect(ui->buCancel, &QPushButton::clicked, this, &TfmBatch::CancelClick);
    connect(ui->rbOutputFolder, &QRadioButton::toggled, this, [this](bool On) {
        ui->rxdeOutputFolder->setEnabled(On);
        ui->buBrowseOutput->setEnabled(On);
        if (On) ui->rxdeOutputFolder->setFocus();
    });
    ConnectBrowse(ui->buBrowseOutput, ui->rxdeOutputFolder, TBrowseKind::Folder, {});
    const auto chooseFiles = [this](bool More) {
        const QStringList files = ChooseFilesToAdd(
            this, More || FOperation == boCreate ? QString::fromLatin1(FilterAnyFile)
                                                 : QString::fromLatin1(Operations[FOperation - 1].Filter));
        if (files.isEmpty()) return;
        More ? AddMoreFiles(files) : AddSelectedFiles(files);
    };
    connect(ui->buAddFile, &QPushButton::clicked, this, [chooseFiles] { chooseFiles(false); });
    connect(ui->buAddMore, &QPushButton::clicked, this, [chooseFiles] { chooseFiles(true); });
    connect(ui->buRemoveFile, &QPushButton::clicked, this,
            [this] { qDeleteAll(ui->lbSelectedFiles->selectedItems()); });
    connect(ui->buRemoveMore, &QPushButton::clicked, this,
            [this] { qDeleteAll(ui->lbAddFiles->selectedItems()); });
    connect(ui->lbSelectedFiles, &QListWidget::customContextMenuRequested, this, &TfmBatch::ListMenu);
    connect(ui->lbAddFiles, &QListWidget::customContextMenuRequested, this, &TfmBatch::ListMenu);
    connect(ui->buCopyResults, &QPushButton::clicked, this, [this] {
        ui->meResults->selectAll();
        QApplication::clipboard()->setText(ui->meResults->toPlainText());
    });
    connect(ui->buSaveResults, &QPushButton::clicked, this, [this] {
        TLmSaveDialog dialog(this);
        dialog.PlacesBar.Visible = false; // the program's file dialogs show no places bar
        dialog.Title = QStringLiteral("Save Results To ...");
        dialog.Filter = QStringLiteral("Text File (*.txt)|*.txt");
        dialog.DefaultExt = QStringLiteral("txt");
        if (!dialog.Execute() || dialog.FileName.isEmpty()) return;
        QSaveFile file(dialog.FileName);
        const QByteArray text = ui->meResults->toPlainText().toUtf8() + '\n';
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
            MessageDlg(QStringLiteral("Unable to save the results to:\r\n") + dialog.FileName, mtError, mbOK);
            return;
        }
        MessageDlg(QStringLiteral("Results successfully saved to:\r\n") + dialog.FileName, mtInformation,
                   mbOK);
    });
}

TfmBatch::~TfmBatch() = default;

void TfmBatch::SetupBatchOperation(int Operation) {
    FOperation = Operation;
    const bool known = Operation >= boTest && Operation <= boAdd;
    ConnectHelp(ui->buHelp, known ? QString::fromLatin1(Operations[Operation - 1].Help)
                                  : QStringLiteral("Hlp_Using_Batch"));
    Step = 0;
    if (!known) return;
    const TOperationRow& row = Operations[Operation - 1];
    setWindowTitle(QString::fromLatin1(row.Caption));
    ui->laTitle1->setText(QString::fromLatin1(row.Title));
    PageSequence = QString::fromLatin1(row.Pages).split(',');
    if (Operation == boMakeExe)
        for (QWidget* widget :
             {static_cast<QWidget*>(ui->laProgressCurrent), static_cast<QWidget*>(ui->laCurrentPercent),
              static_cast<QWidget*>(ui->pbCurrent)})
            widget->hide();
    if (Operation == boConvert) ui->laTitle5->setText(QStringLiteral("Batch Convert Options"));
    if (Operation == boCreate) {
        ui->laTitle5->setText(QStringLiteral("Batch Create Options"));
        ui->rbGz->hide();
        ui->rbGz->setEnabled(false);
    }
    if (Operation == boExtract) ui->ckExtractToSubfolder->show();
}

int TfmBatch::CurrentPage() const {
    return ui->nbMain->currentIndex();
}

void TfmBatch::AddSelectedFiles(const QStringList& Files) {
    for (const QString& file : Files)
        if (!file.isEmpty() && ui->lbSelectedFiles->findItems(file, Qt::MatchExactly).isEmpty())
            ui->lbSelectedFiles->addItem(file);
}

void TfmBatch::AddMoreFiles(const QStringList& Files) {
    for (const QString& file : Files)
        if (!file.isEmpty() && ui->lbAddFiles->findItems(file, Qt::MatchExactly).isEmpty())
            ui->lbAddFiles->addItem(file);
}

void TfmBatch::ListMenu(const QPoint& Pos) {
    QListWidget* list = CurrentPage() == 0 ? ui->lbSelectedFiles : ui->lbAddFiles;
    QMenu pmSelect(this);
    pmSelect.addAction(QStringLiteral("Select All"), list, &QListWidget::selectAll);
    pmSelect.addAction(QStringLiteral("Deselect All"), list, &QListWidget::clearSelection);
    pmSelect.addAction(QStringLiteral("Invert Selection"), list, [list] {
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setSelected(!list->item(i)->isSelected());
    });
    pmSelect.exec(list->viewport()->mapToGlobal(Pos));
}

void TfmBatch::NextClick() {
    if (PageSequence.isEmpty() || Step >= PageSequence.size()) return;
    const QString page = PageSequence[Step];
    if (page == QLatin1String("0") && ui->lbSelectedFiles->count() == 0) {
        MessageDlg(
            QStringLiteral("You must add at least one file before proceeding\r\nwith this batch operation."),
            mtInformation, mbOK);
        return;
    }
    if (page == QLatin1String("3") && ui->rbOutputFolder->isChecked()) {
        const QString folder = ui->rxdeOutputFolder->text();
        if (folder.isEmpty() || !QDir().mkpath(folder)) {
            MessageDlg(QStringLiteral("Error creating folder. Please enter a different folder."), mtError,
                       mbOK);
            return;
        }
    }
    if (page == QLatin1String("5") && ui->lbAddFiles->count() == 0) {
        MessageDlg(QStringLiteral("You must add at least one file before proceeding."), mtInformation, mbOK);
        return;
    }
    if (Step != PageSequence.size() - 3) {
        ++Step;
        ui->nbMain->setCurrentIndex(PageSequence[Step].toInt());
        return;
    }
    ui->buNext->hide();
    ++Step;
    ui->nbMain->setCurrentIndex(1);
    const bool cancelled = !RunOperation();
    ui->meResults->appendPlainText(QString());
    ui->meResults->appendPlainText(QString());
    ui->meResults->appendPlainText((cancelled ? QStringLiteral("Batch Operation Cancelled:")
                                              : QStringLiteral("Batch Operation Completed:")) +
                                   QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
    ui->meResults->appendPlainText(QStringLiteral("Quillar - ") + QString::fromLatin1(ProductAddress));
    ++Step;
    ui->nbMain->setCurrentIndex(2);
    ui->buCancel->setText(QStringLiteral("&Close"));
    ui->buCancel->setEnabled(true);
}

void TfmBatch::CancelClick() {
    const bool lastPage = !PageSequence.isEmpty() && Step >= PageSequence.size() - 1;
    if (!lastPage && !(Step == 0 && ui->lbSelectedFiles->count() == 0) &&
        MessageDlg(QStringLiteral("Are you sure you want to cancel this batch operation ?"), mtConfirmation,
                   mbYes | mbNo) != mrYes)
        return;
    if (FRunning) {
        // The loop stops before its next file; the running component stops within its block.
        FCancelRequested = true;
        ui->buCancel->setEnabled(false);
        ui->buCancel->setText(QStringLiteral("Wait ..."));
        return;
    }
    done(lastPage ? mrOk : mrCancel);
}

void TfmBatch::AppendResult(const QString& Line) {
    ui->meResults->appendPlainText(Line);
}

void TfmBatch::AppendProgress(const QString& Line) {
    ui->lbProgressCompleted->addItem(Line);
}

bool TfmBatch::RunOperation() {
    FRunning = true;
    const int count = ui->lbSelectedFiles->count();
    int i = 0;
    for (; i < count; ++i) {
        if (FCancelRequested) {
            ui->buCancel->setEnabled(true);
            break;
        }
        const QString file = ui->lbSelectedFiles->item(i)->text();
        ui->laCurrentFile->setText(file);
        ui->pbCurrent->setValue(0);
        ui->laCurrentPercent->setText(QStringLiteral("0%"));
        const int percent = qRound(100.0 * i / count);
        ui->pbTotal->setValue(percent);
        ui->laTotalPercent->setText(QString::number(percent) + QLatin1Char('%'));
        ProcessFile(file);
        QCoreApplication::processEvents();
    }
    // The log names each file a cancel left out.
    for (int rest = i; rest < count; ++rest)
        AppendResult(ui->lbSelectedFiles->item(rest)->text() +
                     QStringLiteral(" ::: Cancelled, not processed"));
    FRunning = false;
    return i == count;
}

QString TfmBatch::OutputLocation(const QString& File) const {
    const QString nameExt = Str(MakeNameExtFolder(File.toStdString()));
    if (ui->rbOutputSame->isChecked()) return nameExt;
    return Str(AddBackslash(ui->rxdeOutputFolder->text().toStdString())) + QFileInfo(nameExt).fileName();
}

QString TfmBatch::TargetExtension() const {
    if (ui->rbBh->isChecked()) return QStringLiteral(".bh");
    if (ui->rbCab->isChecked()) return QStringLiteral(".cab");
    if (ui->rbTar->isChecked() || (ui->rbGz->isChecked() && FOperation == boConvert))
        return QStringLiteral(".tar");
    if (ui->rbJar->isChecked()) return QStringLiteral(".jar");
    if (ui->rbLha->isChecked()) return QStringLiteral(".lha");
    if (ui->rbLzh->isChecked()) return QStringLiteral(".lzh");
    return QStringLiteral(".zip");
}

TOutArcType TfmBatch::SelectedType() const {
    const QRadioButton* const types[] = {ui->rbBh,  ui->rbCab, ui->rbLha, ui->rbLzh,
                                         ui->rbZip, ui->rbTar, ui->rbGz,  ui->rbJar};
    for (const QRadioButton* type : types)
        if (type->isChecked()) return static_cast<TOutArcType>(type->property("Tag").toInt());
    return tyZip;
}

bool TfmBatch::ConfirmReplace(const QString& Target) {
    if (!QFileInfo::exists(Target) || FAutoOverwrite) return true;
    return MessageDlg(QStringLiteral("The archive file \"") + Target +
                          QStringLiteral("\" already exist. \r\n") +
                          QStringLiteral("Do you want to overwrite this file ?"),
                      mtConfirmation, mbYes | mbNo) == mrYes;
}

void TfmBatch::ProcessFile(const QString& File) {
    const bool exists = QFileInfo(File).isFile();
    switch (FOperation) {
    case boTest:
        if (!exists)
            AppendResult(File + QStringLiteral(" ::: ERROR: File missing"));
        else if (Test({File}, *FObserver).Succeeded())
            AppendResult(File + QStringLiteral(" ::: Passed"));
        else
            AppendResult(QStringLiteral(">> ") + File + QStringLiteral(" ::: FAILED <<"));
        AppendProgress(File + QStringLiteral(" - Tested"));
        break;
    case boVirusScan: {
        const TScanVerdict verdict = exists ? VirusScan(File, *FObserver).Verdict : TScanVerdict::NotStarted;
        if (!exists)
            AppendResult(File + QStringLiteral(" ::: File missing"));
        else if (verdict == TScanVerdict::Clean)
            AppendResult(File + QStringLiteral(" ::: Archive scanned"));
        else if (verdict == TScanVerdict::VirusFound) // the scan worked and found one
            AppendResult(QStringLiteral(">> ") + File +
                         QStringLiteral(" ::: Archive scanned: VIRUS FOUND <<"));
        else
            AppendResult(File + QStringLiteral(" ::: ERROR: Unable to scan for virus"));
        AppendProgress(File + QStringLiteral(" - Scanned"));
        break;
    }
    case boMakeExe: {
        const QString target = OutputLocation(File) + QStringLiteral(".exe");
        if (!exists) {
            AppendResult(File + QStringLiteral(" ::: ERROR: Source file missing"));
        } else {
            const QDateTime before = QFileInfo(target).lastModified();
            const TMakeSfxResult made = MakeSfx({File, target, false}, *FObserver);
            const bool failed = !made.Made && !made.Skipped;
            const QFileInfo program(target);
            if (!program.isFile() || (before.isValid() && program.lastModified() == before && failed))
                AppendResult(target + QStringLiteral(" ::: ERROR: Unable to create"));
            else if (failed)
                AppendResult(target + QStringLiteral(" ::: ERROR"));
            else
                AppendResult(target + QStringLiteral(" ::: Created"));
        }
        AppendProgress(File + QStringLiteral(" -> ") + target);
        break;
    }
    case boConvert: {
        const bool gzip = ui->rbGz->isChecked();
        const QString target =
            OutputLocation(File) + TargetExtension() + (gzip ? QStringLiteral(".gz") : QString());
        FAutoOverwrite = ui->ckAutoOverwrite->isChecked();
        if (!exists) {
            AppendResult(File + QStringLiteral(" ::: ERROR: Source file missing"));
        } else if (ConfirmReplace(target)) {
            // An existing target is replaced by the converter only once the new one is written;
            // the source goes only after its copy was read back.
            TConvertOptions options;
            options.Input = File;
            options.Output = gzip ? target.chopped(3) : target;
            options.Type = SelectedType();
            options.DeleteOriginal = ui->ckDeleteSource->isChecked();
            const TConvertResult result = Convert(options, *FObserver);
            if (!result.Converted)
                AppendResult(target + QStringLiteral(" ::: ERROR"));
            else if (result.DeleteFailed)
                AppendResult(target +
                             QStringLiteral(" ::: ERROR: Created, but unable to delete original file"));
            else
                AppendResult(target + QStringLiteral(" ::: Created"));
        }
        AppendProgress(File + QStringLiteral(" -> ") + target);
        break;
    }
    case boExtract: {
        QString destination;
        const bool sub = ui->ckExtractToSubfolder->isChecked();
        if (ui->rbOutputSame->isChecked())
            destination = sub ? Str(MakeNameExtFolder(File.toStdString())) : QFileInfo(File).absolutePath();
        else
            destination = sub ? OutputLocation(File) : ui->rxdeOutputFolder->text();
        const QString shown = Str(AddBackslash(destination.toStdString()));
        if (!exists) {
            AppendResult(File + QStringLiteral(" ::: File missing"));
        } else {
            const int n = ExtractArchive(File, destination);
            if (n < 0)
                AppendResult(File + QStringLiteral(" ::: ERROR: Unable to extract"));
            else
                AppendResult(
                    File + QStringLiteral(" -> ") + shown + QStringLiteral(" ::: ") + QString::number(n) +
                    (n <= 1 ? QStringLiteral(" file extracted") : QStringLiteral(" files extracted")));
        }
        AppendProgress(File + QStringLiteral(" -> ") + shown);
        break;
    }
    case boCreate: {
        const QString target = OutputLocation(File) + TargetExtension();
        FAutoOverwrite = ui->ckAutoOverwrite->isChecked();
        if (!exists) {
            AppendResult(File + QStringLiteral(" ::: File missing"));
        } else if (ConfirmReplace(target)) {
            // The old target steps aside until the new archive is written, so that the file
            // is made anew rather than added to, and comes back when that fails.
            const bool failed = AddToArchive(target, {File}, sdNone, 0, true) < 0;
            const QString head = File + QStringLiteral(" -> ") + target;
            if (failed)
                AppendResult(head + QStringLiteral(" ::: ERROR: Unable to create"));
            else if (ui->ckDeleteSource->isChecked() && !QFile::remove(File))
                AppendResult(head + QStringLiteral(" ::: ERROR: Created, but failed to delete source file"));
            else
                AppendResult(head + QStringLiteral(" ::: Created"));
        }
        AppendProgress(File + QStringLiteral(" -> ") + target);
        break;
    }
    case boAdd: {
        if (!exists) {
            AppendResult(File + QStringLiteral(" ::: ERROR: File missing"));
        } else {
            FAutoOverwrite = ui->ckAddAutoOverwrite->isChecked();
            QStringList files;
            for (int i = 0; i < ui->lbAddFiles->count(); ++i)
                files << ui->lbAddFiles->item(i)->text();
            const int n = AddToArchive(File, files,
                                       ui->ckAddSaveFullPath->isChecked() ? sdAbsoluteNoDrv : sdExplorer_Auto,
                                       ui->cbAddCompression->currentIndex());
            AppendResult(File + (n < 0 ? QStringLiteral(" ::: ERROR: Unable to add to archive")
                                       : QStringLiteral(" ::: Files added")));
        }
        AppendProgress(File + QStringLiteral(" - Files added"));
        break;
    }
    default:
        break;
    }
}

// ---- the operations ------------------------------------------------------------------------

int TfmBatch::ExtractArchive(const QString& File, const QString& Destination) {
    TExtractOptions options;
    options.Archive = File;
    options.Folder = Destination;
    options.ConfirmOverwrites = true;
    options.RestoreFileAttr = true;
    const TExtractResult result = Extract(options, *FObserver);
    return result.Succeeded() ? result.Done : -1;
}

int TfmBatch::AddToArchive(const QString& Name, const QStringList& Files, int StoredDirNames, int Compression,
                           bool Replace) {
    TAddOptions options;
    options.Archive = Name;
    options.Files = Files;
    options.StoredDirNames = static_cast<TStoredDirNames>(StoredDirNames);
    options.Compression = Compression;
    options.ReplaceArchive = Replace;
    const TAddResult result = Add(options, *FObserver);
    return result.Good() && result.Written ? result.Done : -1;
}
