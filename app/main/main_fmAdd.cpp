// Creating archives, adding files and deleting entries in the window: the add dialog with its
// option panel, the New, Add, Password and Delete commands, and the window's run of the add
// operation that drop, wizard, backups and command line share (app/ops/OpAdd).
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/AppSettings.h"
#include "app/common/FileUtils.h"
#include "app/common/Prompter.h"
#include "app/common/RecentDocuments.h"
#include "app/common/SetAside.h"
#include "app/common/SettingValues.h"
#include "app/dialogs/AddBottom.h"
#include "app/dialogs/AddOptionsBottom.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileNameFields.h"
#include "app/dialogs/OpReport.h"
#include "app/dialogs/Password.h"
#include "app/main/AddOptionsDialog.h"
#include "app/main/ArchiveModel.h"
#include "app/ops/OpAdd.h"
#include "app/ops/OpObserver.h"
#include "app/ops/WriterChoice.h"
#include "engine/core/krvUnBase.h"
#include "engine/read/krvKorva.h"
#include "ui/LmOpenDlg.h"
#include "ui/LmSaveDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <optional>

namespace {

const QString Title = QStringLiteral("Quillar");

// The add dialog's folder options, kept between runs (section Folders).
constexpr const char* AddSaveFullPathValue = "AddSaveFullPath";
constexpr const char* AddSubfoldersValue = "AddIncludeSubfolders";

} // namespace

bool TfmMain::AddFiles(bool NewArchive, const QString& NewName, TOutArcType Type, TAddOptions& Options) {
    const std::unique_ptr<TCompBase> writer = CreateWriter(Type);
    if (!writer) return false;
    if (!fmAddBottom) {
        fmAddBottom = std::make_unique<TfmAddBottom>();
        fmAddBottom->setObjectName(QStringLiteral("fmAddBottom"));
    }
    const bool encryptable = TCompBase::IsEncryptableArcType(writer->ArcType());
    // The folder options are those the user chose last time.
    fmAddBottom->Reset(ReadSettingBool("Folders", AddSaveFullPathValue),
                       ReadSettingBool("Folders", AddSubfoldersValue), encryptable,
                       writer->CompressMethod() == cmDeflate);

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
    apodAdd.DlgItemsCaptions.OK = QStringLiteral("&Add");
    // A gzip file holds one file.
    apodAdd.Options.AllowMultiSelect = writer->ArcType() != atGZip;
    apodAdd.Options.AllowFolders = apodAdd.Options.AllowMultiSelect;
    apodAdd.Options.FileMustExist = true;
    apodAdd.DlgParams.SetBottomFormName(QStringLiteral("fmAddBottom"));
    const bool chosen = apodAdd.Execute();
    if (!chosen && !fmAddBottom->UseWildcards) return false;

    QStringList files;
    QString first;
    bool withFolders = false;
    if (fmAddBottom->UseWildcards) {
        for (const QString& part : QProcess::splitCommand(fmAddBottom->Wildcards))
            files << fmAddBottom->WildcardFolder + part;
        first = fmAddBottom->WildcardFolder;
    } else {
        // A chosen folder comes with its whole tree, stored below the folder it was chosen in.
        for (const QString& file : apodAdd.Files.isEmpty() ? QStringList{apodAdd.FileName} : apodAdd.Files) {
            if (file.isEmpty()) continue;
            if (QFileInfo(file).isDir()) {
                withFolders = true;
                files << QDir::cleanPath(file) + QStringLiteral("/*.*");
            } else {
                files << file;
            }
        }
        const QString firstChosen = apodAdd.Files.value(0, apodAdd.FileName);
        if (!firstChosen.isEmpty()) first = QFileInfo(firstChosen).absolutePath() + '/';
    }
    if (settings.AddLast && !first.isEmpty() && !OnFloppy(first))
        WriteSettingString("Folders", "AddLastPath", first.toStdString());
    if (files.isEmpty()) return false;

    // The password the panel shows is the one used; the user sees it offered on its button.
    Options.Password = encryptable ? CurrentArchivePassword() : QString();
    const TAddPanelChoice panel = fmAddBottom->Choice();
    Options.Switch = panel.Switch;
    Options.Compression = panel.Compression;
    Options.AllowSpanning = panel.AllowSpanning;
    Options.StoredDirNames = panel.SaveFullPath ? sdAbsoluteNoDrv
                             : withFolders      ? sdExplorer_UserDefineDefaultDir
                                                : sdExplorer_Auto;
    if (withFolders) Options.DefaultDir = first;
    Options.RecurseDirs = panel.IncludeSubfolders;
    WriteSettingBool("Folders", AddSaveFullPathValue, panel.SaveFullPath);
    WriteSettingBool("Folders", AddSubfoldersValue, panel.IncludeSubfolders);
    Options.Files = files;
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

TAddResult TfmMain::RunAdd(const TAddOptions& Options, bool ShowResult, bool NewArchive) {
    FModel->Clear();
    FSortColumn = 0;
    FSortOrder = Qt::AscendingOrder;
    ClearOutput();
    raise();
    ApplicationBusy();
    // A caller that found none of its files says so itself.
    return AddAndReport(Options, *MakeObserver(), ShowResult, NewArchive, [this](const TAddResult& Result) {
        if (QFileInfo(Result.ArchiveName).isFile()) DisplayArchive(Result.ArchiveName);
        // After the listing, which has a light of its own.
        ApplicationWaiting(Result.WentWrong());
    });
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
    TakeArchivesInUse(apsdNew);
    CurrentArchivePassword().clear();
    ClearOutput();
    if (!apsdNew.Execute() || apsdNew.FileName.isEmpty()) return;
    const std::string chosen = QFileInfo(apsdNew.FileName).absoluteFilePath().toStdString();
    // The add dialog makes a plain gzip file of a ".gz" name; every other way makes a tar.gz.
    const bool plainGzip = NamesPlainGzip(chosen);
    const std::string name = plainGzip ? chosen : NewArchiveName(chosen);
    FModel->Clear();
    // The previous archive's name and totals go with its rows.
    setWindowTitle(Title);
    ClearPanels();
    TAddOptions options;
    const TOutArcType type = plainGzip ? tyGZip : WriterTypeForNewArchive(name);
    if (!AddFiles(true, QString::fromStdString(name), type, options)) {
        if (!krvKorva->ArchiveFile().empty()) RefreshList(QString::fromStdString(krvKorva->ArchiveFile()));
        return;
    }
    // The old file of that name steps aside and goes to the trash only when the new archive
    // has been written; a failed run puts it back.
    options.Archive = QString::fromStdString(name);
    options.ReplaceArchive = true;
    options.OldToTrash = true;
    options.NewType = type;
    const TAddResult result = RunAdd(options, false, true);
    if (!result.Good() || !result.Written) {
        CloseArchive();
        raise();
        return;
    }
    if (ArchiveOpen()) AddToRecentDocuments(result.ArchiveName);
    ReportAddedCount(result);
}

void TfmMain::AddCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists()) return;
    ClearOutput();
    const std::optional<TOutArcType> type =
        WriterTypeForAddDialog(krvKorva->ArcType(), krvKorva->ArchiveFile());
    if (!type) {
        MessageDlg(AddRefusalText(TAddRefusal::NoWriter), mtInformation, mbOK);
        return;
    }
    TAddOptions options;
    if (!AddFiles(false, {}, *type, options)) return;
    options.Archive = QString::fromStdString(krvKorva->ArchiveFile());
    options.NewType = *type; // a plain gzip file takes the gzip writer here
    const TAddResult result = RunAdd(options, false, false);
    if (!QFileInfo(result.ArchiveName).isFile()) DisplayArchive(options.Archive);
    if (result.Good())
        MessageDlg(QString::number(result.Done) + QStringLiteral(" files added or updated."), mtInformation,
                   mbOK);
}

void TfmMain::PasswordCommand() {
    AskArchivePassword(this);
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
    ClearOutput();
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
            // The archive goes to the trash; when it cannot, it stays open and the user hears why.
            if (!TUnBase::EraseFile(archive, doAllowUndo)) {
                MessageDlg(QStringLiteral("The archive could not be moved to the trash:\r\n") +
                               QString::fromStdString(archive),
                           mtError, mbOK);
                return;
            }
            MessageDlg(QStringLiteral("File has been successfully deleted."), mtInformation, mbOK);
            CloseArchive();
        }
        return;
    }
    if (MessageDlg(rows.size() == 1 ? QStringLiteral("Are you sure you want to\rDELETE the selected file ?")
                                    : QStringLiteral("Are you sure you want to\rDELETE the selected files ?"),
                   mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    ApplicationBusy();
    TDeleteEntriesOptions options;
    options.Archive = QString::fromStdString(archive);
    options.FileSpec = SelectedEntryMasks();
    const TAddResult result = DeleteEntries(options, *MakeObserver(true));
    const int count = result.Done;
    // Entries count as deleted only when the archive was written again without a failure.
    if (result.Refusal != TAddRefusal::None)
        MessageDlg(AddRefusalText(result.Refusal), mtInformation, mbOK);
    else if (result.Cancelled)
        MessageDlg(QStringLiteral("Archiving operation cancelled."), mtError, mbOK);
    else if (!result.Good() || !result.Written || count == 0)
        MessageDlg(QStringLiteral("No file was deleted; the output log says why."), mtError, mbOK);
    else if (count == 1)
        MessageDlg(QStringLiteral("1 file successfully deleted."), mtInformation, mbOK);
    else
        MessageDlg(QString::number(count) + QStringLiteral(" files successfully deleted."), mtInformation,
                   mbOK);
    if (QFileInfo(QString::fromStdString(archive)).isFile())
        RefreshList(QString::fromStdString(archive));
    else
        setWindowTitle(Title);
    ApplicationWaiting(result.WentWrong());
}

TCompBase* TfmMain::WriterFor(TOutArcType Type) {
    FWriter = CreateWriter(Type);
    return FWriter.get();
}
