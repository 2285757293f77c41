#include "app/ops/OpAdd.h"

#include "app/common/ArchivePassword.h"
#include "app/common/FileUtils.h"
#include "app/common/QtStrings.h"
#include "app/common/SetAside.h"
#include "app/ops/OpRun.h"
#include "app/ops/ReplacedArchive.h"
#include "app/ops/WriterChoice.h"
#include "engine/core/krvEntryLookup.h"
#include "engine/formats/gzip/krvGZip.h"
#include "engine/read/krvKorva.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace {

constexpr TDeflateType DeflateTypes[] = {dtDeflateX, dtDeflateN, dtDeflateF, dtDeflateS};

// What every add sets on its writer.
void ApplyFixedSettings(TCompBase& Writer) {
    for (TkrvFileAttr attr : {fsZeroAttr, fsReadOnly, fsHidden, fsSysFile, fsDirectory, fsArchive}) {
        Writer.SetAttribute(attr, true);
        Writer.SetAttributeEx(attr, false);
    }
    Writer.DateAttribute = daFileDate;
    // Whether empty folders are stored is the writer's own choice (lha and zip store them).
}

// The writer of an existing archive by its detected type; none when it takes no files.
std::optional<TOutArcType> ExistingType(const std::string& Name) {
    TKorva detector;
    detector.SetArchiveFile(Name);
    return WriterTypeForArchive(detector.ArcType(), Name);
}

// What a named file is, looked at once (a list of thousands of names is looked at again by the
// writer): a folder itself, not a link to one, and whether it exists (a link when what it
// points to does).
struct TNamedFile {
    bool Folder = false;
    bool Exists = false;
};

TNamedFile NamedFileOf(TEntryKind Kind, const std::string& Path) {
    switch (Kind) {
    case TEntryKind::Missing:
        return {};
    case TEntryKind::Folder:
        return {true, true};
    case TEntryKind::Other:
        return {false, true};
    case TEntryKind::Link:
        break;
    }
    struct stat st {};
    return {false, ::stat(Path.c_str(), &st) == 0};
}

TNamedFile LookAt(const QString& AbsolutePath) {
    const std::string path = QFile::encodeName(AbsolutePath).toStdString();
    return NamedFileOf(LookUpEntries({path}).front(), path);
}

// The name as the add takes it: a folder stands for its tree.
QString ExpandFolderArgument(const QString& File, const QFileInfo& Info, const TNamedFile& Named) {
    if (!File.contains(QStringLiteral("*")) && Named.Folder)
        return QDir::cleanPath(Info.absoluteFilePath()) + QStringLiteral("/*.*");
    return File;
}

} // namespace

QStringList ExpandFolderArguments(const QStringList& Files) {
    QStringList expanded;
    for (const QString& file : Files) {
        const QFileInfo info(file);
        expanded << ExpandFolderArgument(file, info,
                                         file.isEmpty() ? TNamedFile() : LookAt(info.absoluteFilePath()));
    }
    return expanded;
}

QString AddRefusalText(TAddRefusal Refusal) {
    switch (Refusal) {
    case TAddRefusal::NotAddable:
        return QStringLiteral("Adding new files to this archive file format is not supported.");
    case TAddRefusal::NoWriter:
        return QStringLiteral("The compression format for this archive \r\nis not supported.");
    case TAddRefusal::NoFiles:
        return QStringLiteral("None of the files to add was found.");
    case TAddRefusal::CannotSetAside:
        return QStringLiteral("Quillar was unable to overwrite the existing file.");
    case TAddRefusal::None:
        break;
    }
    return {};
}

TAddResult Add(const TAddOptions& Options, TOpObserver& Observer) {
    TAddResult result;
    std::string name = QFileInfo(Options.Archive).absoluteFilePath().toStdString();
    if (QFileInfo(Options.Archive).suffix().isEmpty()) name += ".zip";
    const bool exists = QFileInfo(Str(name)).isFile();
    // An existing archive keeps its own format (unless it is replaced); a new one takes the
    // format of its extension.
    std::optional<TOutArcType> type;
    if (exists && !Options.ReplaceArchive) {
        type = ExistingType(name);
        if (!type && Options.NewType == tyGZip) type = WriterTypeForAddDialog(atGZip, name);
        if (!type) {
            result.Refusal = TAddRefusal::NotAddable;
            return result;
        }
    } else {
        // A plain gzip file is made under the very name asked for.
        if (!exists && Options.NewType != tyGZip) name = NewArchiveName(name);
        type =
            Options.NewType >= 0 ? static_cast<TOutArcType>(Options.NewType) : WriterTypeForNewArchive(name);
    }
    result.ArchiveName = Str(name);
    std::unique_ptr<TCompBase> writer = CreateWriter(*type);
    if (!writer) {
        result.Refusal = TAddRefusal::NoWriter;
        return result;
    }
    // One look at each named file, folder by folder; relative names are resolved against the
    // current folder asked for once, not once per name.
    const QDir current = QDir::current();
    std::vector<QFileInfo> infos;
    std::vector<std::string> paths;
    infos.reserve(static_cast<std::size_t>(Options.Files.size()));
    for (const QString& named : Options.Files) {
        infos.push_back(named.isEmpty() ? QFileInfo() : QFileInfo(current, named));
        // An empty name is looked up as an empty path: missing.
        paths.push_back(named.isEmpty() ? std::string()
                                        : QFile::encodeName(infos.back().absoluteFilePath()).toStdString());
    }
    const std::vector<TEntryKind> kinds = LookUpEntries(paths);
    QStringList files;
    std::vector<std::string> list;
    bool found = false;
    for (qsizetype i = 0; i < Options.Files.size(); ++i) {
        const auto at = static_cast<std::size_t>(i);
        const QString& named = Options.Files[i];
        const TNamedFile look = named.isEmpty() ? TNamedFile() : NamedFileOf(kinds[at], paths[at]);
        const QString file = ExpandFolderArgument(named, infos[at], look);
        files << file;
        if (file.contains(QStringLiteral("*.*"))) {
            std::vector<std::string> inFolder, unreadable;
            if (ListFolderFiles(QFileInfo(file).absolutePath().toStdString(), inFolder, &unreadable) > 0)
                found = true;
            list.insert(list.end(), inFolder.begin(), inFolder.end());
            // A folder that cannot be read is handed to the writer as a folder to scan, which
            // names it as an error of the add: its files are not silently missing.
            for (const std::string& folder : unreadable) {
                list.push_back(folder + "/*");
                found = true;
            }
        } else {
            if (look.Exists) found = true;
            list.push_back(infos[at].absoluteFilePath().toStdString());
        }
    }
    if (!found) {
        result.Refusal = TAddRefusal::NoFiles;
        return result;
    }
    TOpRun run(Observer, result);
    run.BindWriter(*writer);
    run.AllowSpanning = Options.AllowSpanning;
    ApplyFixedSettings(*writer);
    writer->RecurseDirs = Options.RecurseDirs;
    writer->Switch = Options.Switch;
    writer->StoredDirNames = Options.StoredDirNames;
    writer->DeflateType = DeflateTypes[std::clamp(Options.Compression, 0, 3)];
    writer->ExcludeSpec = Options.ExcludeSpec;
    writer->EncryptHeaders = false;
    // Every add of an archive that takes a password enciphers with the archive's current one
    // unless its dialog asked for another.
    const QString password = Options.Password.isEmpty() ? CurrentArchivePassword() : Options.Password;
    writer->Password =
        TCompBase::IsEncryptableArcType(writer->ArcType()) ? password.toStdString() : std::string();
    if (!Options.DefaultDir.isEmpty())
        writer->DefaultDir = Options.DefaultDir.toStdString();
    else if (Options.StoredDirNames == sdExplorer_UserDefineDefaultDir && !files.isEmpty())
        writer->DefaultDir = QFileInfo(QFileInfo(files.front()).absolutePath()).absolutePath().toStdString();
    writer->FileSpec = list;
    writer->SetArchiveFile(name);
    // A new gzip file is the archive named; added to an existing one, the file is written as a
    // gzip file of its own beside it (a gzip file holds one file).
    if (auto* gzip = dynamic_cast<TGZip*>(writer.get()); gzip && (!exists || Options.ReplaceArchive))
        gzip->OutputName = name;
    // A replaced archive stays under its name until the new one is renamed over it.
    writer->ReplaceArchive = Options.ReplaceArchive && exists;
    TReplacedArchive old;
    if (writer->ReplaceArchive && Options.OldToTrash && !old.Keep(Str(name))) {
        result.Refusal = TAddRefusal::CannotSetAside;
        return result;
    }
    result.Started = true;
    result.Done = writer->Compress();
    run.Finish();
    if (writer->Cancel()) result.Cancelled = true;
    result.Written = writer->ArchiveWritten();
    result.ArchiveName = Str(writer->ArchiveFile());
    // The old file goes to the trash only once the new archive is whole in its place.
    if (writer->ReplaceArchive && result.Good() && result.Written) old.ToTrash();
    return result;
}

TAddResult DeleteEntries(const TDeleteEntriesOptions& Options, TOpObserver& Observer) {
    TAddResult result;
    const std::string name = QFileInfo(Options.Archive).absoluteFilePath().toStdString();
    result.ArchiveName = Str(name);
    const std::optional<TOutArcType> type = ExistingType(name);
    std::unique_ptr<TCompBase> writer = type ? CreateWriter(*type) : nullptr;
    if (!writer) {
        result.Refusal = TAddRefusal::NoWriter;
        return result;
    }
    TOpRun run(Observer, result);
    run.BindWriter(*writer);
    writer->SetArchiveFile(name);
    writer->ExcludeSpec.clear();
    writer->Switch = swDelete;
    writer->FileSpec = Options.FileSpec;
    result.Started = true;
    result.Done = writer->Compress();
    run.Finish();
    if (writer->Cancel()) result.Cancelled = true;
    result.Written = writer->ArchiveWritten();
    return result;
}
