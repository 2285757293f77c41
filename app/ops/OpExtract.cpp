#include "app/ops/OpExtract.h"

#include "app/ops/OpRun.h"
#include "engine/core/krvUnBase.h"
#include "engine/read/krvKorva.h"
#include "engine/read/krvReaders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

// Removes Folder when it is empty, then its parents up to (not including) Stop.
void RemoveEmptyUpTo(QString Folder, const QString& Stop) {
    while (Folder.startsWith(Stop) && Folder != Stop && QDir().rmdir(Folder))
        Folder = QFileInfo(Folder).absolutePath();
}

} // namespace

QString RefusalText(TExtractRefusal Refusal) {
    switch (Refusal) {
    case TExtractRefusal::NoFolder:
        return QStringLiteral("Unable to create the directory. Extraction aborted.");
    case TExtractRefusal::Unsupported:
        return QStringLiteral("Extraction is not supported for this file type.");
    case TExtractRefusal::None:
        break;
    }
    return {};
}

TExtractResult Extract(const TExtractOptions& Options, TOpObserver& Observer) {
    TExtractResult result;
    const QString folder = QDir::cleanPath(QFileInfo(Options.Folder).absoluteFilePath());
    const bool existed = QFileInfo(folder).isDir();
    std::error_code making;
    if (!Options.Folder.isEmpty() && !existed)
        std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), making);
    if (Options.Folder.isEmpty() || !QFileInfo(folder).isDir()) {
        result.Refusal = TExtractRefusal::NoFolder;
        result.RefusalDetail = Options.Folder.isEmpty() ? QStringLiteral("(no folder given)") : folder;
        // create_directories succeeds on a file of the name; the reason is then the file's.
        result.RefusalDetail +=
            QStringLiteral("\r\n") +
            (making ? QString::fromLocal8Bit(making.message())
                    : QString::fromLocal8Bit(std::strerror(QFileInfo::exists(folder) ? ENOTDIR : ENOENT)));
        return result;
    }
    TKorva detector;
    detector.SetArchiveFile(QFileInfo(Options.Archive).absoluteFilePath().toStdString());
    std::unique_ptr<TUnBase> reader =
        UnknownArcTypes.Contains(detector.ArcType()) ? nullptr : CreateReader(detector.ArcType());
    if (!reader) {
        if (!existed) QDir().rmdir(folder);
        result.Refusal = TExtractRefusal::Unsupported;
        return result;
    }
    TOpRun run(Observer, result);
    run.BindReader(*reader);
    run.TrackFolders = true;
    reader->SetArchiveFile(detector.ArchiveFile());
    reader->SetExtractDir(folder.toStdString());
    reader->UseStoredDirs = Options.UseStoredDirs;
    reader->CreateStoredDirs = Options.CreateStoredDirs;
    reader->RestoreFileAttr = Options.RestoreFileAttr;
    reader->DateAttribute = Options.UseFileDate ? daFileDate : daSysDate;
    reader->ConfirmOverwrites = Options.ConfirmOverwrites;
    if (!Options.ConfirmOverwrites) reader->OverwriteMode = Options.KeepExisting ? omSkip : omOverwrite;
    reader->FileSpec = Options.FileSpec;
    reader->RecurseDirs = Options.RecurseDirs;
    reader->VolumeID.clear();
    result.Started = true;
    Observer.Started();
    const int extracted = reader->Extract();
    Observer.Finished();
    if (reader->Cancel()) result.Cancelled = true;
    run.Finish(reader->FilesFailed);
    // The reader's own count: the entries that came out (a retried password that fitted
    // included).
    result.Done = extracted;
    if (result.Cancelled || result.Done == 0) {
        // What the run made and left empty goes: the folders of its directory entries (deepest
        // first), those of the entries that failed, and the destination when it made it.
        std::vector<std::string> made = run.MadeFolders();
        std::sort(made.begin(), made.end(), std::greater<>());
        const QString stop = existed ? folder : QFileInfo(folder).absolutePath();
        for (const std::string& dir : made)
            RemoveEmptyUpTo(QDir::cleanPath(QString::fromStdString(dir)), stop);
        for (const TOpFailure& failure : result.Failures)
            if (!failure.Entry.empty())
                RemoveEmptyUpTo(QFileInfo(QString::fromStdString(failure.Entry)).absolutePath(), stop);
        if (!existed) QDir().rmdir(folder);
    }
    return result;
}
