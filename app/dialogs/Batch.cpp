#include "app/dialogs/Batch.h"

#include "app/dialogs/AppSettings.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileNameFields.h"
#include "app/dialogs/FileUtils.h"
#include "app/dialogs/GetPassword.h"
#include "app/dialogs/OverwriteDlg.h"
#include "app/dialogs/QtStrings.h"
#include "app/dialogs/SetAside.h"
#include "app/main/QuestionTexts.h"
#include "app/main/WriterChoice.h"
#include "engine/core/krvCompBase.h"
#include "engine/core/krvProduct.h"
#include "engine/core/krvUnBase.h"
#include "engine/read/krvKorva.h"
#include "engine/read/krvReaders.h"
#include "engine/read/krvZipCheck.h"
#include "engine/write/krvArc2Arc.h"
#include "engine/write/krvMakeSfx.h"
#include "engine/write/krvWriters.h"
#include "platform/Process.h"
#include "ui/LmSaveDlg.h"
#include "ui_Batch.h"
#include "ui_GetPassword.h"
#include "ui_OverwriteDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>

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

constexpr TDeflateType DeflateTypes[] = {dtDeflateX, dtDeflateN, dtDeflateF, dtDeflateS};

} // namespace

TfmBatch::TfmBatch(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmBatch>()) {
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
    RunOperation();
    ui->meResults->appendPlainText(QString());
    ui->meResults->appendPlainText(QString());
    ui->meResults->appendPlainText(QStringLiteral("Batch Operation Completed:") +
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
        if (FCurrent) FCurrent->SetCancel(true);
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

void TfmBatch::RunOperation() {
    FRunning = true;
    const int count = ui->lbSelectedFiles->count();
    for (int i = 0; i < count; ++i) {
        if (FCancelRequested) {
            ui->buCancel->setEnabled(true);
            break;
        }
        const QString file = ui->lbSelectedFiles->item(i)->text();
        ui->laCurrentFile->setText(file);
        const int percent = qRound(100.0 * i / count);
        ui->pbTotal->setValue(percent);
        ui->laTotalPercent->setText(QString::number(percent) + QLatin1Char('%'));
        ProcessFile(file);
        QCoreApplication::processEvents();
    }
    FRunning = false;
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
        else if (TestArchive(File))
            AppendResult(File + QStringLiteral(" ::: Passed"));
        else
            AppendResult(QStringLiteral(">> ") + File + QStringLiteral(" ::: FAILED <<"));
        AppendProgress(File + QStringLiteral(" - Tested"));
        break;
    case boVirusScan:
        if (!exists)
            AppendResult(File + QStringLiteral(" ::: File missing"));
        else if (ScanArchive(File))
            AppendResult(File + QStringLiteral(" ::: Archive scanned"));
        else
            AppendResult(File + QStringLiteral(" ::: ERROR: Unable to scan for virus"));
        AppendProgress(File + QStringLiteral(" - Scanned"));
        break;
    case boMakeExe: {
        const QString target = OutputLocation(File) + QStringLiteral(".exe");
        if (!exists) {
            AppendResult(File + QStringLiteral(" ::: ERROR: Source file missing"));
        } else {
            bool failed = false;
            TMakeSFX maker;
            BindCommon(maker, failed);
            maker.SetArchiveFile(File.toStdString());
            maker.SetTargetFile(target.toStdString());
            maker.OnFileExists = [](TZipCommon&, const std::string& Name, TDateTime, TOverwriteMode& Mode) {
                Mode = MessageDlg(Str(Name) +
                                      QStringLiteral(" already exist. Do you want to overwrite this file ?"),
                                  mtConfirmation, mbYes | mbNo) == mrYes
                           ? omOverwrite
                           : omSkip;
            };
            const QDateTime before = QFileInfo(target).lastModified();
            FCurrent = &maker;
            maker.Activate();
            FCurrent = nullptr;
            const QFileInfo made(target);
            if (!made.isFile() || (before.isValid() && made.lastModified() == before && failed))
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
            // An existing target is replaced by the converter only once the new one is written.
            bool failed = false;
            TArc2Arc converter;
            BindCommon(converter, failed);
            converter.SetArchiveFile(File.toStdString());
            converter.NewArchive = (gzip ? target.chopped(3) : target).toStdString();
            QRadioButton* const types[] = {ui->rbBh,  ui->rbCab, ui->rbLha, ui->rbLzh,
                                           ui->rbZip, ui->rbTar, ui->rbGz,  ui->rbJar};
            for (QRadioButton* type : types)
                if (type->isChecked())
                    converter.OutArcType = static_cast<TOutArcType>(type->property("Tag").toInt());
            converter.OutArcMethod = amCreateNew;
            converter.IntegrityCheck = false;
            converter.DateAttribute = daFileDate;
            converter.OnFileExists = [](TZipCommon&, const std::string&, TOverwriteMode& Mode) {
                Mode = omOverwrite;
            };
            FCurrent = &converter;
            failed = !converter.Activate() || failed;
            FCurrent = nullptr;
            if (failed)
                AppendResult(target + QStringLiteral(" ::: ERROR"));
            else if (ui->ckDeleteSource->isChecked() && !QFile::remove(File))
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
            const int n = ExtractArchive(File, destination, false);
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
            TSetAside old(target);
            const bool failed = !old.Move() || AddToArchive(target, {File}, sdNone, 0) < 0;
            if (!failed) old.Commit(false);
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

// ---- the engine runs -----------------------------------------------------------------------

void TfmBatch::BindCommon(TZipCommon& Component, bool& FailFlag) {
    Component.OnProgress = [this](TZipCommon&, std::uint8_t ByFile, std::uint8_t) {
        ui->pbCurrent->setValue(ByFile);
        ui->laCurrentPercent->setText(QString::number(ByFile) + QLatin1Char('%'));
        QCoreApplication::processEvents();
    };
    Component.OnError = [&FailFlag](TZipCommon&, const std::string&, const std::string&, const std::string&,
                                    int) { FailFlag = true; };
    Component.OnGetPassword = [this](TZipCommon&, const std::string& FileName, std::string& Password,
                                     bool& TryAgain) {
        TfmGetPassword dialog(this);
        dialog.ui->laFileName->setText(Str(FileName));
        if (ShowModal(dialog) == mrOk)
            Password = dialog.ui->edPassword->text().toStdString();
        else
            TryAgain = false;
    };
    Component.OnNextVolume = [](TZipCommon&, std::string& VolumeName, const std::string& VolumeID,
                                bool Exists, bool& Cancel) {
        if (Exists) return;
        QString name = Str(VolumeName);
        if (InputQuery(Str(VolumeName), QStringLiteral("Volume ID: ") + Str(VolumeID), name))
            VolumeName = name.toStdString();
        else
            Cancel = true;
    };
    // A zip whose directory is damaged is not read on: the archive counts as failed.
    Component.OnCorruptZipHeader = [&FailFlag](TZipCommon&, THeaderTypeState HeadFlag, bool& Cancel) {
        if (HeadFlag & (htCentral | htEnding)) return;
        FailFlag = true;
        Cancel = true;
    };
}

void TfmBatch::BindReader(TUnBase& Reader, bool& FailFlag) {
    BindCommon(Reader, FailFlag);
    Reader.OnNestedTarFile = [](TZipCommon&, const std::string&, bool& doUnTar) { doUnTar = true; };
    Reader.OnFileExists = [this](TZipCommon& Sender, const std::string& FileName, std::string& NewFileName,
                                 TOverwriteMode& Mode) {
        const QFileInfo existing(Str(FileName));
        TfmOverwriteDlg dialog(this);
        dialog.ui->laReplaceFilename->setText(
            existing.filePath() + QLatin1Char('\n') + QString::number(existing.size()) +
            QStringLiteral(" bytes, ") + existing.lastModified().toString(QStringLiteral("MM-dd-yy hh:mm")));
        dialog.ui->laWithName->setText(IncomingFileText(QFileInfo(Str(Sender.FileName)).fileName(),
                                                        Sender.UnpackedSize, Sender.FileDate));
        dialog.FileName = existing.filePath();
        auto& reader = static_cast<TUnBase&>(Sender);
        switch (ShowModal(dialog)) {
        case mrYes:
            Mode = omOverwrite;
            break;
        case mrOverwriteYesToAll:
            Mode = omOverwrite;
            reader.ConfirmOverwrites = false;
            break;
        case mrOverwriteNoToAll:
            Mode = omSkip;
            reader.ConfirmOverwrites = false;
            break;
        case mrOverwriteRename:
            if (QFileInfo(dialog.NewFileName).absolutePath() == existing.absolutePath() &&
                !dialog.NewFileName.isEmpty()) {
                NewFileName = dialog.NewFileName.toStdString();
                Mode = omOverwrite;
            } else {
                Mode = omSkip;
            }
            break;
        case mrCancel:
            Mode = omSkip;
            reader.SetCancel(true);
            break;
        default:
            Mode = omSkip;
            break;
        }
    };
}

void TfmBatch::BindWriter(TCompBase& Writer, bool& FailFlag) {
    BindCommon(Writer, FailFlag);
    Writer.OnReplaceFile = [this](TZipCommon&, const std::string& FileName, const std::string& NewFileName,
                                  TDateTime Date, TDateTime NewDate, std::int64_t FileSize,
                                  std::int64_t NewFileSize, int, int, bool& Replace) {
        Replace = FAutoOverwrite || MessageDlg(ReplaceQuestionText(Str(FileName), FileSize, Date,
                                                                   Str(NewFileName), NewFileSize, NewDate),
                                               mtConfirmation, mbYes | mbNo) == mrYes;
    };
    Writer.OnRenameDupeFile = [this](TZipCommon&, const std::string&, std::string& NewFileName,
                                     bool& Rename) {
        Rename = false;
        if (FAutoOverwrite) return;
        QString name = Str(NewFileName);
        if (InputQuery(
                QStringLiteral("Duplicate File"),
                QStringLiteral("File already exist. Please enter a different file name\r\nfor the EXISTING "
                               "FILE to rename it:"),
                name)) {
            NewFileName = name.toStdString();
            Rename = true;
        }
    };
    Writer.OnNonWriteableArchive = [](TZipCommon&, const std::string& ArchiveFile, bool& WriteToFile) {
        WriteToFile = MessageDlg(Str(ArchiveFile) +
                                     QStringLiteral(" is Read Only, System File, or Hidden File ...\r\r") +
                                     QStringLiteral("Write to this file ?"),
                                 mtConfirmation, mbYes | mbNo) == mrYes;
    };
}

bool TfmBatch::TestArchive(const QString& File) {
    bool failed = false;
    TZipCheck tester;
    BindReader(tester, failed);
    tester.OnNestedTarFile = [](TZipCommon&, const std::string& FileName, bool& doUnTar) {
        doUnTar =
            MessageDlg(
                QStringLiteral("File: ") + Str(FileName) + "\r\r" +
                    QStringLiteral("Compressed file is a TAR archive. Decompress and verify this archive ?"),
                mtConfirmation, mbYes | mbNo) == mrYes;
    };
    tester.OnStatus = [](TZipCommon&, const std::string&, bool) {};
    tester.FileSpec = {"*.*"};
    tester.RecurseDirs = true;
    tester.SetArchiveFile(File.toStdString());
    if (!TZipCommon::IsExtractableArcType(tester.ArcType())) return false;
    FCurrent = &tester;
    tester.Activate();
    FCurrent = nullptr;
    // Any entry that failed or any error reported fails the archive, as a damaged header does.
    return !failed && tester.Failed == 0 && tester.ErrorsReported == 0 && !tester.Cancel();
}

int TfmBatch::ExtractArchive(const QString& File, const QString& Destination, bool ForScan) {
    TKorva lister;
    lister.SetArchiveFile(File.toStdString());
    std::unique_ptr<TUnBase> reader = CreateReader(lister.ArcType());
    if (!reader || !QDir().mkpath(Destination)) return -1;
    bool failed = false;
    BindReader(*reader, failed);
    reader->SetArchiveFile(File.toStdString());
    reader->SetExtractDir(Destination.toStdString());
    reader->UseStoredDirs = true;
    reader->CreateStoredDirs = true;
    reader->DateAttribute = daFileDate;
    reader->ConfirmOverwrites = !ForScan;
    reader->RestoreFileAttr = !ForScan;
    reader->OverwriteMode = omOverwrite;
    reader->Password.clear();
    reader->FileSpec = {"*.*"};
    reader->RecurseDirs = true;
    FCurrent = reader.get();
    const int count = reader->Extract();
    FCurrent = nullptr;
    if (failed || reader->FilesFailed > 0 || reader->Cancel()) return -1;
    return count;
}

bool TfmBatch::ScanArchive(const QString& File) {
    const std::string temp = GetTempDirName();
    if (temp.empty()) return false;
    bool good = ExtractArchive(File, Str(temp), true) >= 0;
    const TAppSettings& settings = AppSettings();
    if (good) {
        // The scanner gets an argument list: the Parameters setting, where "*.*" stands for
        // the extracted folder, or else every extracted file.
        std::vector<std::string> argv = {settings.VirusScanner};
        if (!settings.Parameters.empty()) {
            for (const std::string& arg : SplitCommandLine(settings.Parameters))
                argv.push_back(
                    Str(arg).replace(QStringLiteral("*.*"), Str(temp), Qt::CaseInsensitive).toStdString());
        } else {
            ListFolderFiles(temp, argv);
        }
        pid_t pid = 0;
        const std::size_t slash = settings.VirusScanner.rfind('/');
        const std::string folder =
            slash == std::string::npos ? std::string() : settings.VirusScanner.substr(0, slash + 1);
        good = !settings.VirusScanner.empty() && SpawnProcess(argv, folder, pid) &&
               WaitForProcess(pid, 50, [] { QCoreApplication::processEvents(); }) == 0;
    }
    DeleteFolderTree(temp);
    return good;
}

int TfmBatch::AddToArchive(const QString& Name, const QStringList& Files, int StoredDirNames,
                           int Compression) {
    std::string name = QFileInfo(Name).absoluteFilePath().toStdString();
    if (QFileInfo(Name).suffix().isEmpty()) name += ".zip";
    // The writer by the archive's detected type, or for a new one by its whole extension.
    std::optional<TOutArcType> type;
    if (QFileInfo(Str(name)).isFile()) {
        TKorva lister;
        lister.SetArchiveFile(name);
        type = WriterTypeForArchive(lister.ArcType(), name);
    } else {
        name = NewArchiveName(name);
        type = WriterTypeForNewArchive(name);
    }
    std::unique_ptr<TCompBase> writer = type ? CreateWriter(*type) : nullptr;
    if (!writer || Files.isEmpty()) return -1;
    bool failed = false;
    BindWriter(*writer, failed);
    for (TkrvFileAttr attr : {fsZeroAttr, fsArchive, fsDirectory, fsHidden, fsReadOnly, fsSysFile}) {
        writer->SetAttribute(attr, true);
        writer->SetAttributeEx(attr, false);
    }
    writer->EncryptHeaders = false;
    writer->RecurseDirs = false;
    writer->Switch = swAdd;
    writer->StoredDirNames = static_cast<TStoredDirNames>(StoredDirNames);
    writer->DateAttribute = daFileDate;
    if (Compression >= 0 && Compression <= 3) {
        writer->SetCompressMethod(cmDeflate);
        writer->DeflateType = DeflateTypes[Compression];
    } else {
        writer->SetCompressMethod(cmStore);
        writer->DeflateType = dtDeflateN;
    }
    std::vector<std::string> list;
    for (const QString& file : Files) {
        if (file.contains(QStringLiteral("*.*")))
            ListFolderFiles(QFileInfo(file).absolutePath().toStdString(), list);
        else
            list.push_back(QFileInfo(file).absoluteFilePath().toStdString());
    }
    writer->FileSpec = list;
    writer->StoreEmptySubDirs = false;
    writer->SetArchiveFile(name);
    FCurrent = writer.get();
    const int count = writer->Compress();
    FCurrent = nullptr;
    if (failed || !writer->ArchiveWritten() || writer->Cancel()) return -1;
    return count;
}
