#include "app/main/AddOptionsDialog.h"

#include "app/dialogs/AddOptionsBottom.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/Password.h"
#include "app/ops/WriterChoice.h"
#include "ui/LmSaveDlg.h"

#include <QDir>
#include <QFileInfo>

void AddOptionsTypeChange(TfmAddOptionsBottom& Panel, const TWriterMaker& WriterFor, int FilterIndex) {
    const TCompBase* writer = WriterFor(WriterTypeForFilterIndex(FilterIndex));
    Panel.EnableFor(writer && TCompBase::IsEncryptableArcType(writer->ArcType()),
                    writer && writer->CompressMethod() == cmDeflate);
}

void TakeArchivesInUse(TLmCustomOpenDialog& Dialog) {
    Dialog.OnShareViolation = [](TLmCustomOpenDialog&, int& Result, const QString&) {
        Result = ShareFallThrough;
    };
}

bool ShowAddOptions(QWidget* Owner, TfmAddOptionsBottom& Panel, const TWriterMaker& WriterFor,
                    const QString& FileName, int FilterIndex, bool SaveFullPath, TAddOptionsChoice& Choice) {
    Panel.Reset(SaveFullPath);

    TLmSaveDialog apsdAddOptions(Owner);
    apsdAddOptions.Title = QStringLiteral("Add Options");
    apsdAddOptions.Filter = QString::fromLatin1(NewArchiveFilter);
    apsdAddOptions.DefaultExt = QStringLiteral("zip");
    apsdAddOptions.FilterIndex = FilterIndex >= 1 && FilterIndex <= 7 ? FilterIndex : 7;
    apsdAddOptions.InitialDir = CurrentFolder();
    const QFileInfo offered(FileName);
    // The name without its extension (the type chosen gives it back), unless that is a folder.
    const QString bare = offered.dir().filePath(offered.completeBaseName());
    apsdAddOptions.FileName = offered.suffix().isEmpty() || QFileInfo(bare).isDir() ? FileName : bare;
    apsdAddOptions.DlgParams.SetBottomFormName(QStringLiteral("fmAddOptionsBottom"));
    TakeArchivesInUse(apsdAddOptions);
    // The panel starts as the offered type wants it, and follows each change of type.
    AddOptionsTypeChange(Panel, WriterFor, apsdAddOptions.FilterIndex);
    apsdAddOptions.OnTypeChange = [&Panel, &WriterFor](TLmCustomOpenDialog& Sender) {
        AddOptionsTypeChange(Panel, WriterFor, Sender.FilterIndex);
    };
    if (!ExecuteFileDialog(apsdAddOptions) || apsdAddOptions.FileName.isEmpty()) return false;

    Choice.ArchiveName = QFileInfo(apsdAddOptions.FileName).absoluteFilePath();
    const TAddPanelChoice panel = Panel.Choice();
    Choice.Compression = panel.Compression;
    Choice.SaveFullPath = panel.SaveFullPath;
    Choice.Switch = panel.Switch;
    Choice.AllowSpanning = panel.AllowSpanning;
    Choice.Password = Panel.PasswordEnabled() ? CurrentArchivePassword() : QString();
    return true;
}
