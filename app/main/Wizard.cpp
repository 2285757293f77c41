#include "app/main/Wizard.h"

#include "app/common/AppSettings.h"
#include "app/common/Prompter.h"
#include "app/common/SettingValues.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileNameFields.h"
#include "app/main/WizardHost.h"
#include "app/ops/WriterChoice.h"
#include "ui/LmBrowseDlg.h"
#include "ui_Wizard.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {

enum TPage {
    pgStart,
    pgCreateStart,
    pgAddFiles,
    pgUpdateStart,
    pgAddFinish,
    pgExtractStart,
    pgSelectFolder,
    pgExtractFinish
};

QStringList SequenceOf(int Mode) {
    switch (Mode) {
    case TfmWizard::wmUpdate:
        return {"0", "3", "2", "4"};
    case TfmWizard::wmExtract:
        return {"0", "5", "6", "7"};
    default:
        return {"0", "1", "2", "4"};
    }
}

// Text without one leading and one trailing double quotation mark.
QString Unquoted(QString Text) {
    if (Text.startsWith(QLatin1Char('"'))) Text.remove(0, 1);
    if (Text.endsWith(QLatin1Char('"'))) Text.chop(1);
    return Text;
}

void Warn(const char* Text) {
    MessageDlg(QString::fromLatin1(Text), mtWarning, mbOK);
}

const char* const CreateFilter =
    "Supported Archive Files|*.zip;*.tar;*.jar;*.lha;*.tgz;*.bh;*.lzh;*.cab;*.gz;*.z";
const char* const UpdateFilter = "Writable Archive Files|*.zip;*.jar;*.lha;*.lzh;*.bh;*.tar;*.tgz;*.gz";
const char* const ExtractFilter =
    "All Archive Files|*.ace;*.arc;*.arj;*.bh;*.cab;*.gz;*.jar;*.lha;*.lzh;*.rar;*.tar;*.tgz;*.uu;*.uue;"
    "*.xxe;*.z;*.zip;*.zoo";

} // namespace

TfmWizard::TfmWizard(TWizardHost& Host, QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmWizard>()), FHost(Host) {
    ui->setupUi(this);
    connect(ui->rbStartCreate, &QRadioButton::clicked, this, [this] { ChooseTask(wmCreate); });
    connect(ui->rbStartUpdate, &QRadioButton::clicked, this, [this] { ChooseTask(wmUpdate); });
    connect(ui->rbStartExtract, &QRadioButton::clicked, this, [this] { ChooseTask(wmExtract); });
    connect(ui->buBack, &QPushButton::clicked, this, &TfmWizard::BackClick);
    connect(ui->buNext, &QPushButton::clicked, this, &TfmWizard::NextClick);
    CloseWith(ui->buClose, this, mrCancel);
    connect(ui->buAddFiles, &QPushButton::clicked, this, &TfmWizard::AddFilesClick);
    connect(ui->buAddFolders, &QPushButton::clicked, this, &TfmWizard::AddFoldersClick);
    connect(ui->buRemove, &QPushButton::clicked, this, &TfmWizard::RemoveClick);
    ConnectBrowse(ui->buCreateBrowse, ui->rxfedCreate, TBrowseKind::SaveFile, {}, CreateFilter);
    ConnectBrowse(ui->buUpdateBrowse, ui->rxfedUpdate, TBrowseKind::OpenFile, {}, UpdateFilter);
    ConnectBrowse(ui->buExtractBrowse, ui->rxfedExtract, TBrowseKind::OpenFile, {}, ExtractFilter);
    ConnectBrowse(ui->buBrowseFolder, ui->edTargetFolder, TBrowseKind::Folder, {});
    Reset();
    bool addable = false;
    if (const QString open = FHost.WizardArchive(addable); !open.isEmpty()) {
        ui->rxfedExtract->setText(open);
        if (addable) ui->rxfedUpdate->setText(open);
    }
}

TfmWizard::~TfmWizard() = default;

void TfmWizard::Reset() {
    EnterPage(pgStart);
    ui->rbStartCreate->setChecked(true);
    FMode = wmCreate;
    FStep = 0;
    FPageSequence = SequenceOf(wmCreate);
    SetHelpTopic(QStringLiteral("Hlp_Wizard_Dialog"));
    ui->lbFiles->clear();
    ui->rxfedCreate->clear();
    ui->rxfedUpdate->clear();
    ui->rxfedExtract->clear();
    ui->edTargetFolder->clear();
    FOverwriteConfirmed.clear();
    UpdateButtons();
}

void TfmWizard::ChooseTask(int Tag) {
    FMode = Tag;
    FStep = 0;
    FPageSequence = SequenceOf(Tag);
    UpdateButtons();
}

void TfmWizard::UpdateButtons() {
    const int last = static_cast<int>(FPageSequence.size()) - 1;
    ui->buBack->setEnabled(FStep != 0 && FStep != last);
    ui->buNext->setText(FStep == last - 1 ? QStringLiteral("&Finish") : QStringLiteral("&Next >"));
}

void TfmWizard::SetHelpTopic(const QString& Topic) {
    FHelpTopic = Topic;
    // The button opens the topic of the page shown: its one connection is made anew.
    disconnect(ui->buHelp, &QAbstractButton::clicked, nullptr, nullptr);
    ConnectHelp(ui->buHelp, Topic);
}

void TfmWizard::EnterPage(int Index) {
    ui->nbWizard->setCurrentIndex(Index);
    switch (Index) {
    case pgStart:
        SetHelpTopic(QStringLiteral("Hlp_Wizard_x"));
        break;
    case pgCreateStart:
        SetHelpTopic(QStringLiteral("Hlp_Wizard_x1"));
        FCurrentDir = CurrentFolder();
        ui->laCurrentDir->setText(FCurrentDir);
        break;
    case pgAddFiles:
        SetHelpTopic(QStringLiteral("Hlp_Wizard_x2"));
        break;
    case pgUpdateStart:
    case pgExtractStart:
        SetHelpTopic(QStringLiteral("Hlp_Wizard_x3"));
        break;
    case pgSelectFolder: {
        SetHelpTopic(QStringLiteral("Hlp_Wizard_x3"));
        const TAppSettings& settings = AppSettings();
        const QString lastPath = QString::fromStdString(ReadSettingString("Folders", "ExtractLastPath"));
        const QString archive = Unquoted(ui->rxfedExtract->text());
        const QString folder = QString::fromStdString(settings.ExtractFolder);
        if (settings.ExtractLast && !lastPath.isEmpty())
            ui->edTargetFolder->setText(lastPath);
        else if (settings.ExtractSame)
            ui->edTargetFolder->setText(QFileInfo(archive).absolutePath() + QLatin1Char('/'));
        else if (!folder.isEmpty() && QFileInfo(folder).isDir())
            ui->edTargetFolder->setText(folder);
        break;
    }
    default:
        SetHelpTopic(QStringLiteral("Hlp_Wizard_Dialog"));
        break;
    }
}

void TfmWizard::BackClick() {
    if (FStep <= 0) return;
    EnterPage(FPageSequence[FStep - 1].toInt());
    --FStep;
    UpdateButtons();
}

void TfmWizard::NextClick() {
    const int last = static_cast<int>(FPageSequence.size()) - 1;
    if (FStep == last) {
        Reset();
        return;
    }
    if (FStep == last - 1) {
        if (!Finish()) return;
    } else if (FStep == 1 && !CheckArchiveName()) {
        return;
    }
    EnterPage(FPageSequence[FStep + 1].toInt());
    ++FStep;
    UpdateButtons();
}

QString TfmWizard::CreateTarget() const {
    const QString typed = Unquoted(ui->rxfedCreate->text());
    const QString target = QDir::cleanPath(QDir(FCurrentDir).absoluteFilePath(typed));
    // The name the writer will give it (a zip without extension, "x.gz" a gzipped tar).
    return QString::fromStdString(NewArchiveName(target.toStdString()));
}

bool TfmWizard::CheckArchiveName() {
    QLineEdit* edit = FMode == wmCreate   ? ui->rxfedCreate
                      : FMode == wmUpdate ? ui->rxfedUpdate
                                          : ui->rxfedExtract;
    edit->setText(Unquoted(edit->text()));
    if (edit->text().isEmpty()) {
        Warn(FMode == wmCreate ? "You must enter a file name before proceeding."
                               : "You must select an archive file before proceeding.");
        return false;
    }
    if (FMode != wmCreate) {
        if (QFileInfo(edit->text()).isFile()) return true;
        Warn("The file name you entered is invalid. Please select a different file.");
        return false;
    }
    // A new archive needs a name of its own in a folder that exists.
    const QString target = CreateTarget();
    const QFileInfo info(target);
    if (edit->text().endsWith(QLatin1Char('/')) || info.isDir() || !info.dir().exists()) {
        Warn("The file name you entered is invalid. Please select a different file.");
        return false;
    }
    return ConfirmOverwrite(target);
}

bool TfmWizard::Finish() {
    if (FMode != wmExtract) {
        if (ui->lbFiles->count() == 0) {
            Warn("Please select at least one file or folder before proceeding.");
            return false;
        }
        // A file that appeared after the name was checked is not replaced without asking.
        const QString target = FMode == wmCreate ? CreateTarget() : ui->rxfedUpdate->text();
        if (FMode == wmCreate && !ConfirmOverwrite(target)) return false;
        setEnabled(false);
        const bool done = Add(target, ListedFiles(), FMode == wmCreate);
        setEnabled(true);
        return done;
    }
    const QString folder = Unquoted(ui->edTargetFolder->text());
    if (folder.isEmpty()) {
        Warn("Please select the target folder before proceeding.");
        return false;
    }
    setEnabled(false);
    const bool done = Extract(ui->rxfedExtract->text(), folder, !ui->ckExOverwrite->isChecked(),
                              ui->ckExStoredFolders->isChecked());
    setEnabled(true);
    if (done && ui->ckExDisplayIcons->isChecked()) FHost.LaunchProgram(QStringLiteral("xdg-open"), {folder});
    return done;
}

bool TfmWizard::Add(const QString& ArchiveName, const QStringList& Files, bool NewArchive) {
    // The old file of the new archive's name steps aside and goes to the trash only once the
    // new archive has been written; a failed run puts it back.
    TAddOptions options;
    options.Archive = ArchiveName;
    options.Files = ExpandFolderArguments(Files);
    options.ReplaceArchive = NewArchive;
    options.OldToTrash = true;
    const TAddResult result = FHost.RunAdd(options, true, NewArchive);
    if (result.Refusal == TAddRefusal::NoFiles) {
        MessageDlg(QStringLiteral("None of the selected files or folders could be found."), mtError, mbOK);
        return false;
    }
    // An update that had nothing to change leaves the archive as it was and is no failure.
    return result.Good() && (result.Written || (!NewArchive && result.Done == 0));
}

bool TfmWizard::Extract(const QString& ArchiveName, const QString& Folder, bool ConfirmOverwrites,
                        bool UseStoredDirs) {
    TExtractOptions options;
    options.Archive = ArchiveName;
    options.Folder = Folder;
    options.UseStoredDirs = UseStoredDirs;
    options.ConfirmOverwrites = ConfirmOverwrites;
    return FHost.RunExtraction(options, true).Succeeded();
}

bool TfmWizard::ConfirmOverwrite(const QString& Target) {
    if (!QFileInfo(Target).exists() || Target == FOverwriteConfirmed) return true;
    if (MessageDlg(
            QStringLiteral("The file name you entered already exist. Do you want to overwrite this file ?"),
            mtWarning, mbYes | mbNo) != mrYes)
        return false;
    FOverwriteConfirmed = Target;
    return true;
}

QStringList TfmWizard::ListedFiles() const {
    QStringList files;
    for (int i = 0; i < ui->lbFiles->count(); ++i)
        files << ui->lbFiles->item(i)->text();
    return files;
}

void TfmWizard::AppendLine(const QString& Line) {
    if (ui->lbFiles->findItems(Line, Qt::MatchExactly).isEmpty()) ui->lbFiles->addItem(Line);
}

void TfmWizard::AddFilesClick() {
    const QStringList chosen = ChooseFilesToAdd(this);
    for (const QString& file : chosen)
        if (!file.isEmpty()) AppendLine(QFileInfo(file).absoluteFilePath());
}

void TfmWizard::AddFoldersClick() {
    TLmBrowseDialog dffdFolder(this, QString(), QStringLiteral("/"));
    dffdFolder.setFileMode(QFileDialog::Directory);
    dffdFolder.setOption(QFileDialog::ShowDirsOnly);
    if (ShowModal(dffdFolder) != QDialog::Accepted || dffdFolder.selectedFiles().isEmpty()) return;
    QString folder = QDir::cleanPath(dffdFolder.selectedFiles().first());
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    AppendLine(folder + QStringLiteral("*.*"));
}

void TfmWizard::RemoveClick() {
    for (QListWidgetItem* item : ui->lbFiles->selectedItems())
        delete item;
}
