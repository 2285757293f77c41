// The command line's adding switches: "-G" adds to an archive (made when missing), "-D" as a
// drop does, "-A" asks for the new archive's name, type and options first and replaces an
// existing file of that name only once the new archive is whole. A folder named among the
// files stands for its tree.
#include "app/cli/CommandLine.h"

#include "app/dialogs/AddOptionsBottom.h"
#include "app/common/AppSettings.h"
#include "app/common/Prompter.h"
#include "app/main/AddOptionsDialog.h"
#include "engine/write/krvWriters.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The extensions of the add-options dialog's types, in the order of the setting adArcType.
const QStringList AddOptionsExts = {QStringLiteral("bh"),  QStringLiteral("cab"), QStringLiteral("jar"),
                                    QStringLiteral("lha"), QStringLiteral("lzh"), QStringLiteral("tar"),
                                    QStringLiteral("zip")};

} // namespace

TStoredDirNames CommandLineFolderRule(const QStringList& Files) {
    if (Files.size() == 1 && Files.front().contains(QStringLiteral("*.*")))
        return sdExplorer_UserDefineDefaultDir;
    return sdExplorer_Auto;
}

TStoredDirNames CommandLinePathRule(const QStringList& Files) {
    return AppSettings().adPath != 0 ? sdAbsoluteNoDrv : CommandLineFolderRule(Files);
}

bool TCommandLine::AddingSwitch(const QString& Switch, int& Exit) {
    const QStringList& arg = FArguments;
    const bool add = Switch == QLatin1String("-A"), merge = Switch == QLatin1String("-G"),
               drop = Switch == QLatin1String("-D");
    if (!add && !merge && !drop) return false;
    if (arg.size() < 3) return true;
    // A folder stands for its whole tree. The add expands the folders among the files itself;
    // the first is expanded here already, as the remembered add folder and the rule for the
    // stored paths are read from it.
    QStringList files = arg.mid(2);
    files.front() = ExpandFolderArguments({files.front()}).front();
    if (add)
        Exit = AddWithOptions(arg[1], files);
    else if (merge)
        Exit = Add(arg[1], files, CommandLinePathRule(files));
    else
        Exit = Add(arg[1], files, AppSettings().adPath != 0 ? sdAbsoluteNoDrv : sdExplorer_Auto);
    return true;
}

int TCommandLine::Add(const QString& ArchiveName, const QStringList& Files, TStoredDirNames StoredDirNames,
                      int Compression, TSwitch Switch, bool AllowSpanning, const QString& Password,
                      bool Replace) {
    TAddOptions options;
    options.Archive = ArchiveName;
    options.Files = Files;
    options.StoredDirNames = StoredDirNames;
    options.Compression = Compression;
    options.Switch = Switch;
    options.AllowSpanning = AllowSpanning;
    options.Password = Password;
    options.ReplaceArchive = Replace;
    const TAddResult result = RunAdd(options, true, Replace);
    if (result.Refusal == TAddRefusal::NoFiles) MessageDlg(AddRefusalText(result.Refusal), mtError, mbOK);
    // Every named file went in: no error reached the log, nothing was cancelled or cut short.
    return ExitCode(result.Good());
}

int TCommandLine::AddWithOptions(const QString& Name, const QStringList& Files) {
    const TAppSettings& settings = AppSettings();
    const int filterIndex = settings.adArcType >= 0 && settings.adArcType <= 6 ? settings.adArcType + 1 : 7;
    // The argument's name is offered; a folder is no name to save as: its archive is offered
    // beside it.
    QString offered = QDir::cleanPath(QFileInfo(Name).absoluteFilePath());
    if (QFileInfo(offered).isDir()) offered += QLatin1Char('.') + AddOptionsExts[filterIndex - 1];
    if (!FAddOptionsBottom) FAddOptionsBottom = std::make_unique<TfmAddOptionsBottom>();
    TAddOptionsChoice choice;
    const auto writerFor = [this](TOutArcType Type) {
        FWriter = CreateWriter(Type);
        return FWriter.get();
    };
    if (!ShowAddOptions(nullptr, *FAddOptionsBottom, writerFor, offered, filterIndex, settings.adPath != 0,
                        choice))
        return ExitFailure;
    // An existing archive of that name is replaced by the new one, and only once that is whole.
    return Add(choice.ArchiveName, Files,
               choice.SaveFullPath ? sdAbsoluteNoDrv : CommandLineFolderRule(Files), choice.Compression,
               choice.Switch, choice.AllowSpanning, choice.Password, true);
}
