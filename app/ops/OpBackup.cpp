#include "app/ops/OpBackup.h"

#include "app/common/BackupScript.h"
#include "app/common/FileUtils.h"
#include "app/common/SetAside.h"
#include "app/ops/WriterChoice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// The files the set's entries name: each existing file, and every file in the tree of a folder
// entry; each once.
std::set<std::string> GatherFiles(const QStringList& Entries) {
    std::set<std::string> files;
    for (const QString& entry : Entries) {
        if (entry.contains(QStringLiteral("*.*"))) {
            std::vector<std::string> inFolder;
            ListFolderFiles(QFileInfo(entry).absolutePath().toStdString(), inFolder);
            files.insert(inFolder.begin(), inFolder.end());
        } else if (QFileInfo(entry).isFile()) {
            files.insert(QFileInfo(entry).absoluteFilePath().toStdString());
        }
    }
    return files;
}

QString SkippedText(const QString& Head, const QString& File) {
    return Head + QStringLiteral("\r\n\r\n") + File + QStringLiteral("\r\n\r\n") +
           QStringLiteral("Backup set skipped.");
}

const QString DeletingError = QStringLiteral("Error deleting the existing backup file:");

// What was moved to make room for the new backup, put back in reverse unless it was written.
class TMadeRoom {
public:
    TMadeRoom() = default;
    TMadeRoom(const TMadeRoom&) = delete;
    TMadeRoom& operator=(const TMadeRoom&) = delete;
    ~TMadeRoom() {
        if (FKept) {
            if (!FAside.isEmpty()) QFile::remove(FAside);
            return;
        }
        for (auto it = FMoved.rbegin(); it != FMoved.rend(); ++it)
            QFile::rename(it->second, it->first);
        if (!FAside.isEmpty()) QFile::rename(FAside, FAsideOf);
    }
    // File (when it exists) steps aside under a private name; false when it cannot.
    bool StepAside(const QString& File) {
        if (!QFileInfo::exists(File)) return true;
        FAside = SetFileAside(File);
        if (FAside.isEmpty()) return false;
        FAsideOf = File;
        return true;
    }
    // From is renamed To; false when To exists or the rename fails.
    bool Move(const QString& From, const QString& To) {
        if (QFileInfo::exists(To) || !QFile::rename(From, To)) return false;
        FMoved.emplace_back(From, To);
        return true;
    }
    // The new backup is written: the file set aside goes, the moves stay.
    void Keep() { FKept = true; }

private:
    QString FAside, FAsideOf;
    std::vector<std::pair<QString, QString>> FMoved; // (from, to)
    bool FKept = false;
};

} // namespace

TBackupResult RunBackup(const TBackupOptions& Options, TOpObserver& Observer) {
    TBackupResult result;
    const QStringList lines = LoadBackupScript(Options.Script);
    if (!CheckBackupScript(lines)) return result;
    const TBackupSet set = *ParseBackupScript(lines);
    QString target = BackupTarget(set);
    QDir().mkpath(set.Folder);

    const std::size_t expected = GatherFiles(set.Files).size();
    if (expected == 0) {
        result.Problem = QStringLiteral("There are no files to archive for this Backup Set.");
        return result;
    }
    TMadeRoom room;
    switch (set.Method) {
    case 1:
        if (!room.StepAside(target)) {
            result.Problem = SkippedText(DeletingError, target);
            return result;
        }
        break;
    case 2: {
        QString name = target;
        const int filterIndex = set.ArcType >= 0 && set.ArcType <= 6 ? set.ArcType + 1 : 7;
        if (!Observer.AskSaveName(QStringLiteral("Save Backup To ..."), name,
                                  QString::fromLatin1(NewArchiveFilter), filterIndex) ||
            name.isEmpty()) {
            result.Cancelled = true;
            return result;
        }
        // The name the archive will be written under (".zip" added to a bare name).
        target = QString::fromStdString(NewArchiveName(QFileInfo(name).absoluteFilePath().toStdString()));
        if (!room.StepAside(target)) {
            result.Problem =
                SkippedText(QStringLiteral("Error overwriting the existing backup file:"), target);
            return result;
        }
        break;
    }
    case 3: {
        if (!room.StepAside(GenerationFile(set, 1))) {
            result.Problem = SkippedText(DeletingError, GenerationFile(set, 1));
            return result;
        }
        for (int k = 2; k <= set.Generations; ++k) {
            const QString from = GenerationFile(set, k), to = GenerationFile(set, k - 1);
            if (!QFileInfo::exists(from)) continue;
            if (!room.Move(from, to)) {
                result.Problem = SkippedText(DeletingError, from);
                return result;
            }
        }
        target = GenerationFile(set, set.Generations);
        break;
    }
    default:
        result.Problem = QStringLiteral("Invalid backup method.");
        return result;
    }

    TAddOptions options;
    options.Archive = target;
    options.Files = set.Files;
    options.Compression = set.Compression;
    options.StoredDirNames = set.StorePathInfo == 0 ? sdExplorer_Auto : sdAbsoluteNoDrv;
    static_cast<TAddResult&>(result) = Add(options, Observer);
    result.Packed = true;
    result.Target = target;
    const int count = result.Done;
    // A backup counts only when the archive was written whole, with every file in it.
    result.BackedUp = count > 0 && result.Good() && result.Written && QFileInfo(target).isFile();
    if (result.BackedUp && static_cast<std::size_t>(count) < expected) {
        // Files that were passed over (two of one stored name, say) would be missing silently.
        result.Problem =
            QStringLiteral("Not every file of this Backup Set could be stored in the backup:\r\n\r\n") +
            QString::number(count) + QStringLiteral(" of ") + QString::number(expected) +
            QStringLiteral(" files were stored. The earlier backups were kept.");
        result.BackedUp = false;
    }
    if (result.BackedUp) {
        room.Keep();
    } else if (QFileInfo(target).isFile()) {
        // Whatever lies at the target now was made by this run: the file it replaces was moved.
        QFile::remove(target);
    }
    return result;
}
