// The command line's extraction switches: one archive or many, into a folder the switch names
// or one the extract dialog asks for. A run succeeds when every entry of every archive came out
// whole; the summary of a run over many archives counts the archives that did.
#include "app/cli/CommandLine.h"

#include "app/common/AppSettings.h"
#include "app/common/FileUtils.h"
#include "app/common/Prompter.h"
#include "app/common/SettingValues.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ExtractDlg.h"

#include <QCheckBox>
#include <QFileInfo>

namespace {

// The archive's path without its extension ("-S").
QString FolderWithoutExt(const QString& ArchiveName) {
    const QFileInfo archive(QFileInfo(ArchiveName).absoluteFilePath());
    // A name without extension would give the archive's own path: its "_" folder instead.
    if (archive.suffix().isEmpty() || archive.completeBaseName().isEmpty())
        return QString::fromStdString(MakeNameExtFolder(archive.filePath().toStdString()));
    return archive.absolutePath() + QLatin1Char('/') + archive.completeBaseName();
}

// The "_" folder of an archive (its name with '_' for the dot) below Folder.
QString OwnFolderIn(const QString& Folder, const QString& Archive) {
    return FolderJoin(Folder,
                      QString::fromStdString(MakeNameExtFolder(QFileInfo(Archive).fileName().toStdString())));
}

} // namespace

bool TCommandLine::ExtractionSwitch(const QString& Switch, int& Exit) {
    const QStringList& arg = FArguments;
    const auto is = [&Switch](const char* Name) { return Switch == QLatin1String(Name); };
    if (is("-S")) {
        Exit = Extract(arg[1], FolderWithoutExt(arg[1]));
    } else if (is("-H")) {
        Exit = Extract(arg[1], QFileInfo(arg[1]).absolutePath());
    } else if (is("-EMH") || is("-EMSH")) {
        const bool own = is("-EMSH");
        Exit = ExtractEach(arg.mid(1), [own](const QString& Archive) {
            const QString path = QFileInfo(Archive).absoluteFilePath();
            return own ? QString::fromStdString(MakeNameExtFolder(path.toStdString()))
                       : QFileInfo(path).absolutePath();
        });
    } else if (is("-EMT") || is("-EMST")) {
        // These come from a selection of several archives; one archive is "-E"'s.
        if (arg.size() >= 3) Exit = ExtractAsked(arg.mid(1), QString(), true, is("-EMST"));
    } else if (is("-E")) {
        Exit = ExtractAsked({arg[1]}, QString(), false, false);
    } else if (is("-DDET")) {
        if (arg.size() >= 3) Exit = ExtractAsked({arg[2]}, arg[1], false, false);
    } else if (is("-DDEH")) {
        if (arg.size() >= 3) Exit = Extract(arg[2], arg[1]);
    } else if (is("-DDEF")) {
        if (arg.size() >= 3) Exit = Extract(arg[2], FolderJoin(arg[1], QFileInfo(arg[2]).completeBaseName()));
    } else if (is("-DDEMT")) {
        if (arg.size() >= 3) Exit = ExtractAsked(arg.mid(2), arg[1], true, false);
    } else if (is("-DDEMH") || is("-DDEMF")) {
        const bool own = is("-DDEMF");
        const QString folder = arg[1];
        if (arg.size() >= 3)
            Exit = ExtractEach(arg.mid(2), [own, folder](const QString& Archive) {
                return own ? OwnFolderIn(folder, Archive) : FolderJoin(folder, QString());
            });
    } else {
        return false;
    }
    return true;
}

bool TCommandLine::ExtractWith(const QString& ArchiveName, const QString& Folder,
                               const TCmdExtractOptions& Options, bool* Cancelled) {
    TExtractOptions options;
    options.Archive = ArchiveName;
    options.Folder = QFileInfo(Folder).absoluteFilePath();
    options.UseStoredDirs = Options.UseStoredDirs;
    options.RestoreFileAttr = Options.RestoreFileAttr;
    options.UseFileDate = Options.UseFileDate;
    options.ConfirmOverwrites = Options.ConfirmOverwrites;
    options.CreateStoredDirs = Options.CreateStoredDirs;
    const TExtractResult result = RunExtraction(options, Options.ShowResult);
    if (Cancelled) *Cancelled = result.Cancelled;
    return result.Succeeded();
}

int TCommandLine::Extract(const QString& ArchiveName, const QString& Folder) {
    return ExitCode(ExtractWith(ArchiveName, Folder, TCmdExtractOptions{}));
}

int TCommandLine::ExtractAll(const QStringList& Archives, const TFolderOf& FolderOf,
                             const TCmdExtractOptions& Options) {
    int extracted = 0;
    bool cancelled = false;
    QStringList failed;
    for (const QString& archive : Archives) {
        if (ExtractWith(archive, FolderOf(archive), Options, &cancelled))
            ++extracted;
        else if (!cancelled)
            failed << archive;
        if (cancelled) break;
    }
    const QString count = QStringLiteral("Archives Extracted: ") + QString::number(extracted);
    // The summary says completed only of a run in which every archive came out whole; a failed
    // or cancelled run says so, and names the archives that failed, always.
    if (cancelled)
        MessageDlg(QStringLiteral("Multiple archive extraction cancelled.\r") + count, mtInformation, mbOK);
    else if (!failed.isEmpty())
        MessageDlg(QStringLiteral("Multiple archive extraction failed.\r") + count +
                       QStringLiteral("\rArchives Failed: ") + QString::number(failed.size()) +
                       QStringLiteral("\r\r") + failed.join(QStringLiteral("\r")),
                   mtError, mbOK);
    else if (AppSettings().ConfirmDecompress)
        MessageDlg(QStringLiteral("Multiple archive extraction completed.\r") + count, mtInformation, mbOK);
    return ExitCode(extracted == Archives.size());
}

int TCommandLine::ExtractEach(const QStringList& Archives, const TFolderOf& FolderOf) {
    TCmdExtractOptions options;
    options.ShowResult = false;
    return ExtractAll(Archives, FolderOf, options);
}

int TCommandLine::ExtractAsked(const QStringList& Archives, const QString& Folder, bool Multiple,
                               bool OwnFolders) {
    if (Archives.isEmpty()) return ExitSuccess;
    TfmExtractDlg dialog;
    dialog.SetSelection(false);
    const QString first = QFileInfo(Archives.front()).absoluteFilePath();
    QString tree = QFileInfo(first).absolutePath();
    QString destination;
    if (!Folder.isEmpty()) {
        tree = destination = QFileInfo(Folder).absoluteFilePath();
    } else {
        const TAppSettings& settings = AppSettings();
        const QString lastPath = QString::fromStdString(ReadSettingString("Folders", "ExtractLastPath"));
        if (settings.ExtractLast && !lastPath.isEmpty())
            destination = lastPath;
        else if (settings.ExtractSame)
            destination = tree;
        else if (QFileInfo(QString::fromStdString(settings.ExtractFolder)).isDir())
            destination = QString::fromStdString(settings.ExtractFolder);
    }
    dialog.SetTreeFolder(tree);
    dialog.SetDestination(destination);
    if (ShowModal(dialog) != mrOk) return ExitFailure;

    const TExtractOptions asked = dialog.Options();
    const QString chosen = asked.Folder;
    TCmdExtractOptions options{asked.UseStoredDirs,     asked.RestoreFileAttr,  asked.UseFileDate,
                               asked.ConfirmOverwrites, asked.CreateStoredDirs, true};
    // One archive asked for by itself ends with its own result; many with the summary.
    if (!Multiple) return ExitCode(ExtractWith(first, chosen, options));
    options.ShowResult = false;
    return ExtractAll(
        Archives,
        [&chosen, OwnFolders](const QString& Archive) {
            return OwnFolders ? OwnFolderIn(chosen, Archive) : chosen;
        },
        options);
}
