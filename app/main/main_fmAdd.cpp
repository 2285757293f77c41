// Creating archives, adding files and deleting entries: the writer choice, the add dialog with
// its option panel, the New, Add, Password and Delete commands and the worker CmdAdd that drop,
// wizard and command line share. A writer builds the new archive beside the old one and puts it
// in place only when the whole job succeeded, so a failed or cancelled add leaves the old
// archive as it was.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/AddBottom.h"
#include "app/dialogs/AddOptionsBottom.h"
#include "app/dialogs/AppSettings.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileNameFields.h"
#include "app/dialogs/FileUtils.h"
#include "app/dialogs/Password.h"
#include "app/dialogs/Prompter.h"
#include "app/dialogs/RecentDocuments.h"
#include "app/dialogs/SetAside.h"
#include "app/dialogs/SettingValues.h"
#include "app/main/AddOptionsDialog.h"
#include "app/main/ArchiveModel.h"
#include "app/main/WriterChoice.h"
#include "engine/core/krvUnBase.h"
#include "engine/read/krvKorva.h"
#include "ui/LmOpenDlg.h"
#include "ui/LmSaveDlg.h"
#include "ui_AddBottom.h"
#include "ui_Password.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>

namespace {

const QString Title = QStringLiteral("Quillar");

// The add dialog's folder options, kept between runs (section Folders).
constexpr const char* AddSaveFullPathValue = "AddSaveFullPath";
constexpr const char* AddSubfoldersValue = "AddIncludeSubfolders";

constexpr TDeflateType DeflateTypes[] = {dtDeflateX, dtDeflateN, dtDeflateF, dtDeflateS};

TDeflateType DeflateTypeOf(int Index) {
    return DeflateTypes[std::clamp(Index, 0, 3)];
}

// What every add sets on its writer.
void ApplyFixedSettings(TCompBase& Writer) {
    for (TkrvFileAttr attr : {fsZeroAttr, fsReadOnly, fsHidden, fsSysFile, fsDirectory, fsArchive}) {
        Writer.SetAttribute(attr, true);
        Writer.SetAttributeEx(attr, false);
    }
    Writer.DateAttribute = daFileDate;
    // Whether empty folders are stored is the writer's own choice (lha stores them).
}

} // namespace

TCompBase* TfmMain::DefineCompressComponent() {
    CurrentWriter = nullptr;
    const std::optional<TOutArcType> type =
        WriterTypeForArchive(krvKorva->ArcType(), krvKorva->ArchiveFile());
    TCompBase* writer = type ? WriterFor(*type) : nullptr;
    if (!writer)
        MessageDlg(QStringLiteral("The compression format for this archive \r\nis not supported."),
                   mtInformation, mbOK);
    return writer;
}

bool TfmMain::ReportAddResult(TCompBase& Writer, bool NewArchive) {
    if (Aborted || Writer.Cancel()) {
        MessageDlg(QStringLiteral("Archiving operation cancelled."), mtError, mbOK);
        return false;
    }
    if (DiskFull) {
        EndProgress();
        MessageDlg(QStringLiteral("Error creating archive. Disk full."), mtError, mbOK);
        return false;
    }
    if (!Writer.ArchiveWritten() && (NewArchive || !OutputLog().isEmpty())) {
        MessageDlg(QStringLiteral("The archive was not written; the output log says why."), mtError, mbOK);
        return false;
    }
    return true;
}

bool TfmMain::AddFiles(bool NewArchive, const QString& NewName) {
    TCompBase* writer = CurrentWriter ? static_cast<TCompBase*>(CurrentWriter) : nullptr;
    if (!writer) return false;
    if (!fmAddBottom) {
        fmAddBottom = std::make_unique<TfmAddBottom>();
        fmAddBottom->setObjectName(QStringLiteral("fmAddBottom"));
    }
    Ui::TfmAddBottom& panel = *fmAddBottom->ui;
    fmAddBottom->UseWildcards = false;
    fmAddBottom->Wildcards.clear();
    fmAddBottom->WildcardFolder.clear();
    panel.buPassword->setText(PasswordButtonCaption());
    panel.cbAction->setCurrentIndex(0);
    panel.cbCompression->setCurrentIndex(0);
    panel.cbDiskSpanning->setCurrentIndex(0);
    // The folder options are those the user chose last time.
    panel.ckSaveFullPath->setChecked(ReadSettingBool("Folders", AddSaveFullPathValue));
    panel.ckIncludeSubfolders->setChecked(ReadSettingBool("Folders", AddSubfoldersValue));
    panel.buPassword->setEnabled(TCompBase::IsEncryptableArcType(writer->ArcType()));
    panel.cbCompression->setEnabled(writer->CompressMethod() == cmDeflate);

    const TAppSettings& settings = AppSettings();
    const QString lastPath = QString::fromStdString(ReadSettingString("Folders", "AddLastPath"));
    QString folder = CurrentFolder();
    if (settings.AddLast && !lastPath.isEmpty())
        folder = lastPath;
    else if (QFileInfo(QString::fromStdString(settings.AddFolder)).isDir())
        folder = QString::fromStdString(settings.AddFolder);
    TLmOpenDialog apodAdd(this);
    apodAdd.PlacesBar.Visible = false; // the program's file dialogs show no places bar
    apodAdd.Title = NewArchive ? QStringLiteral("Add files to ") + QFileInfo(NewName).fileName()
                               : QStringLiteral("Add files");
    apodAdd.InitialDir = folder;
    apodAdd.FileName.clear();
    // A gzip file holds one file.
    apodAdd.Options.AllowMultiSelect = writer->ArcType() != atGZip;
    apodAdd.Options.AllowFolders = apodAdd.Options.AllowMultiSelect;
    apodAdd.Options.FileMustExist = true;
    apodAdd.DlgParams.BottomFormName = QStringLiteral("fmAddBottom");
    const bool chosen = apodAdd.Execute();
    if (!chosen && !fmAddBottom->UseWildcards) return false;

    std::vector<std::string> files;
    QString first;
    bool withFolders = false;
    if (fmAddBottom->UseWildcards) {
        const QStringList parts = QProcess::splitCommand(fmAddBottom->Wildcards);
        for (const QString& part : parts)
            files.push_back((fmAddBottom->WildcardFolder + part).toStdString());
        first = fmAddBottom->WildcardFolder;
    } else {
        // A chosen folder comes with its whole tree, stored below the folder it was chosen in.
        for (const QString& file : apodAdd.Files.isEmpty() ? QStringList{apodAdd.FileName} : apodAdd.Files) {
            if (file.isEmpty()) continue;
            if (QFileInfo(file).isDir()) {
                withFolders = true;
                ListFolderFiles(file.toStdString(), files);
            } else {
                files.push_back(file.toStdString());
            }
        }
        const QString firstChosen = apodAdd.Files.value(0, apodAdd.FileName);
        if (!firstChosen.isEmpty()) first = QFileInfo(firstChosen).absolutePath() + '/';
    }
    if (settings.AddLast && !first.isEmpty() && !OnFloppy(first))
        WriteSettingString("Folders", "AddLastPath", first.toStdString());
    if (files.empty()) return false;

    ApplyFixedSettings(*writer);
    // The password the panel shows is the one used; the user sees it offered on its button.
    writer->Password = TCompBase::IsEncryptableArcType(writer->ArcType())
                           ? CurrentArchivePassword().toStdString()
                           : std::string();
    writer->EncryptHeaders = false;
    writer->ExcludeSpec.clear();
    writer->Switch = panel.cbAction->currentIndex() == 1   ? swRefresh
                     : panel.cbAction->currentIndex() == 2 ? swMove
                                                           : swAdd;
    writer->DeflateType = DeflateTypeOf(panel.cbCompression->currentIndex());
    AllowSpanning = panel.cbDiskSpanning->currentIndex() == 0;
    writer->StoredDirNames = panel.ckSaveFullPath->isChecked() ? sdAbsoluteNoDrv
                             : withFolders                     ? sdExplorer_UserDefineDefaultDir
                                                               : sdExplorer_Auto;
    if (withFolders) writer->DefaultDir = first.toStdString();
    writer->RecurseDirs = panel.ckIncludeSubfolders->isChecked();
    WriteSettingBool("Folders", AddSaveFullPathValue, panel.ckSaveFullPath->isChecked());
    WriteSettingBool("Folders", AddSubfoldersValue, panel.ckIncludeSubfolders->isChecked());
    writer->FileSpec = files;
    return true;
}

bool TfmMain::AddOptionsDialog(const QString& FileName, int FilterIndex, bool SaveFullPath,
                               TAddOptionsChoice& Choice) {
    if (!fmAddOptionsBottom) {
        fmAddOptionsBottom = new TfmAddOptionsBottom(this);
        fmAddOptionsBottom->hide();
    }
    return ShowAddOptions(
        this, *fmAddOptionsBottom, [this](TOutArcType Type) { return WriterFor(Type); }, FileName,
        FilterIndex, SaveFullPath, Choice);
}

int TfmMain::RunCompress(TCompBase& Writer) {
    SkipAllDupes = false;
    ReplaceAll = 0;
    const int count = Writer.Compress();
    AllowSpanning = true;
    return count;
}

void TfmMain::NewArchiveCommand() {
    if (!ExitCheckoutCheck()) return;
    ui->rcbFilter->setCurrentText(QStringLiteral("*.*"));
    TLmSaveDialog apsdNew(this);
    apsdNew.PlacesBar.Visible = false; // the program's file dialogs show no places bar
    apsdNew.Title = QStringLiteral("New Archive");
    apsdNew.DlgItemsCaptions.OK = QStringLiteral("&Create");
    apsdNew.DlgItemsCaptions.FileType = QStringLiteral("Archive type:");
    apsdNew.DefaultExt = QStringLiteral("zip");
    apsdNew.Filter = QString::fromLatin1(NewArchiveFilter);
    apsdNew.FilterIndex = 7;
    apsdNew.InitialDir = CurrentFolder();
    CurrentArchivePassword().clear();
    ResetRunFlags();
    if (!apsdNew.Execute() || apsdNew.FileName.isEmpty()) return;
    const std::string name = NewArchiveName(QFileInfo(apsdNew.FileName).absoluteFilePath().toStdString());
    FModel->Clear();
    // The previous archive's name and totals go with its rows.
    setWindowTitle(Title);
    ClearPanels();
    CurrentWriter = nullptr;
    CurrentReader = nullptr;
    TCompBase* writer = WriterFor(WriterTypeForNewArchive(name));
    if (!writer) {
        MessageDlg(QStringLiteral("The compression format for this archive \r\nis not supported."),
                   mtInformation, mbOK);
        return;
    }
    if (!AddFiles(true, QString::fromStdString(name))) {
        if (!krvKorva->ArchiveFile().empty()) RefreshList(QString::fromStdString(krvKorva->ArchiveFile()));
        return;
    }
    // The old file of that name steps aside under a private sibling name and goes to the trash
    // only when the new archive has been written; a failed run puts it back.
    writer->SetArchiveFile(name);
    TSetAside old(QString::fromStdString(writer->ArchiveFile()));
    if (!old.Move()) {
        MessageDlg(QStringLiteral("Quillar was unable to overwrite the existing file."), mtError, mbOK);
        return;
    }
    const int count = RunCompress(*writer);
    const bool good = ReportAddResult(*writer, true);
    if (good) old.Commit(true);
    if (!good) {
        CloseArchive();
        raise();
        return;
    }
    DisplayArchive(QString::fromStdString(writer->ArchiveFile()));
    if (ArchiveOpen()) AddToRecentDocuments(QString::fromStdString(writer->ArchiveFile()));
    if (count > 0 && AppSettings().ConfirmCompress)
        MessageDlg(QStringLiteral("Files Compressed: ") + QString::number(count), mtInformation, mbOK);
}

void TfmMain::AddCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists()) return;
    ResetRunFlags();
    TCompBase* writer = DefineCompressComponent();
    if (!writer) return;
    writer->SetArchiveFile(krvKorva->ArchiveFile());
    if (!AddFiles(false, {})) return;
    ApplicationBusy();
    const int count = RunCompress(*writer);
    const bool good = ReportAddResult(*writer, false);
    DisplayArchive(QString::fromStdString(krvKorva->ArchiveFile()));
    if (good)
        MessageDlg(QString::number(count) + QStringLiteral(" files added or updated."), mtInformation, mbOK);
    ApplicationWaiting();
}

void TfmMain::PasswordCommand() {
    TfmPassword dialog(this);
    if (ShowModal(dialog) == mrOk) CurrentArchivePassword() = dialog.ui->edPassword->text();
}

int TfmMain::CmdAdd(const QString& ArchiveName, const QStringList& Files, int Compression,
                    TStoredDirNames StoredDirNames, TSwitch Switch, bool AllowSpanningArg, bool ShowResult,
                    const QString& Password) {
    if (FInteractive) {
        FModel->Clear();
        FSortColumn = 0;
        FSortOrder = Qt::AscendingOrder;
    }
    CurrentWriter = nullptr;
    CurrentReader = nullptr;
    ResetRunFlags();
    std::string name = QFileInfo(ArchiveName).absoluteFilePath().toStdString();
    if (QFileInfo(ArchiveName).suffix().isEmpty()) name += ".zip";

    // An existing archive keeps its own format; a new one takes the format of its extension.
    TKorva detector;
    std::optional<TOutArcType> type;
    if (QFileInfo(QString::fromStdString(name)).isFile()) {
        detector.SetArchiveFile(name);
        type = WriterTypeForArchive(detector.ArcType(), name);
        if (!type) {
            MessageDlg(QStringLiteral("Adding new files to this archive file format is not supported."),
                       mtInformation, mbOK);
            return 0;
        }
    } else {
        name = NewArchiveName(name);
        type = WriterTypeForNewArchive(name);
    }
    if (AppSettings().AddLast && !Files.isEmpty() && !OnFloppy(Files.front()))
        WriteSettingString("Folders", "AddLastPath",
                           (QFileInfo(Files.front()).absolutePath() + QLatin1Char('/')).toStdString());
    TCompBase* writer = WriterFor(*type);
    if (!writer) {
        MessageDlg(QStringLiteral("The compression format for this archive \r\nis not supported."),
                   mtInformation, mbOK);
        return 0;
    }
    ApplyFixedSettings(*writer);
    writer->RecurseDirs = false;
    writer->Switch = Switch;
    writer->StoredDirNames = StoredDirNames;
    writer->DeflateType = DeflateTypeOf(Compression);
    // A password set for the open archive is not carried into adds that show no dialog: only
    // the one the caller's dialog asked for is used.
    writer->Password =
        TCompBase::IsEncryptableArcType(writer->ArcType()) ? Password.toStdString() : std::string();
    if (StoredDirNames == sdExplorer_UserDefineDefaultDir && !Files.isEmpty())
        writer->DefaultDir = QFileInfo(QFileInfo(Files.front()).absolutePath()).absolutePath().toStdString();

    std::vector<std::string> list;
    bool found = false;
    for (const QString& file : Files) {
        if (file.contains(QStringLiteral("*.*"))) {
            std::vector<std::string> inFolder;
            if (ListFolderFiles(QFileInfo(file).absolutePath().toStdString(), inFolder) > 0) found = true;
            list.insert(list.end(), inFolder.begin(), inFolder.end());
        } else {
            const QFileInfo info(file);
            if (info.exists()) found = true;
            list.push_back(info.absoluteFilePath().toStdString());
        }
    }
    if (!found) return -1;
    writer->FileSpec = list;
    AllowSpanning = AllowSpanningArg;
    writer->SetArchiveFile(name);
    raise();
    const int count = RunCompress(*writer);
    const bool good = ReportAddResult(*writer, false);
    if (FInteractive && QFileInfo(QString::fromStdString(name)).isFile())
        DisplayArchive(QString::fromStdString(name));
    if (good && ShowResult && count > 0 && AppSettings().ConfirmCompress)
        MessageDlg(QStringLiteral("Files Compressed: ") + QString::number(count), mtInformation, mbOK);
    return count;
}

int TfmMain::CmdAddDefault(const QString& ArchiveName, const QStringList& Files, bool ShowResult) {
    return CmdAdd(ArchiveName, Files, 0, sdExplorer_Auto, swAdd, true, ShowResult);
}

void TfmMain::DeleteCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists()) return;
    const QModelIndexList rows = ui->dfelvArchiveView->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        MessageDlg(
            QStringLiteral("No files were deleted because none were selected.\rTo delete files, please "
                           "select one or more files\rfirst."),
            mtInformation, mbOK);
        return;
    }
    ResetRunFlags();
    const std::string archive = krvKorva->ArchiveFile();
    // Every entry of the archive counts, whatever the list's filter shows.
    int entries = 0;
    krvUtil->OnRead = [&entries](TZipCommon&, std::int64_t, int) { ++entries; };
    krvUtil->FileSpec = {"*"};
    krvUtil->SetArchiveFile(archive);
    krvUtil->Activate();
    krvUtil->OnRead = [](TZipCommon&, std::int64_t, int) {};
    if (rows.size() == entries) {
        if (MessageDlg(
                QStringLiteral("Deleting all the files in the archive will delete the\r\nwhole archive. Do "
                               "you want to proceed ?"),
                mtWarning, mbYes | mbNo) == mrYes) {
            TUnBase::EraseFile(archive, doAllowUndo);
            CloseArchive();
        }
        return;
    }
    if (MessageDlg(rows.size() == 1 ? QStringLiteral("Are you sure you want to\rDELETE the selected file ?")
                                    : QStringLiteral("Are you sure you want to\rDELETE the selected files ?"),
                   mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    TCompBase* writer = DefineCompressComponent();
    if (!writer) return;
    ApplicationBusy();
    writer->SetArchiveFile(archive);
    writer->ExcludeSpec.clear();
    writer->Switch = swDelete;
    writer->FileSpec = SelectedEntryMasks();
    const int count = RunCompress(*writer);
    if (count == 1)
        MessageDlg(QStringLiteral("1 file successfully deleted."), mtInformation, mbOK);
    else if (count > 1)
        MessageDlg(QString::number(count) + QStringLiteral(" files successfully deleted."), mtInformation,
                   mbOK);
    else if (!OutputLog().isEmpty())
        MessageDlg(QStringLiteral("No file was deleted; the output log says why."), mtError, mbOK);
    ApplicationWaiting();
    if (QFileInfo(QString::fromStdString(archive)).isFile())
        RefreshList(QString::fromStdString(archive));
    else
        setWindowTitle(Title);
}
