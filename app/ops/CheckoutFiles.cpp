#include "app/ops/CheckoutFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <algorithm>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::optional<TFileStamp> StampOf(const QString& Path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(Path).constData(), &st) != 0) return std::nullopt;
    return TFileStamp{static_cast<std::int64_t>(st.st_size),
                      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                      static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

} // namespace

TFolderFiles FolderFiles(const QString& Folder) {
    TFolderFiles files;
    const QDir root(Folder);
    QDirIterator it(Folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        if (info.isDir() && !info.isSymLink()) continue;
        if (const std::optional<TFileStamp> stamp = StampOf(info.filePath()))
            files.emplace(root.relativeFilePath(info.filePath()), *stamp);
    }
    return files;
}

TFolderFiles WrittenBetween(const TFolderFiles& Before, const TFolderFiles& After) {
    TFolderFiles written;
    for (const auto& [name, stamp] : After) {
        const auto before = Before.find(name);
        if (before == Before.end() || !(before->second == stamp)) written.emplace(name, stamp);
    }
    return written;
}

QStringList FilesNotWritten(const QString& Folder, const TFolderFiles& Written) {
    QStringList files;
    for (const auto& [name, stamp] : FolderFiles(Folder)) {
        const auto written = Written.find(name);
        if (written == Written.end() || !(written->second == stamp)) files << name;
    }
    return files;
}

QStringList NamedFiles(const QStringList& Files) {
    return Files.mid(0, NamedFilesLimit);
}

QString NamedFilesText(const QStringList& Files) {
    if (Files.isEmpty()) return {};
    QString text =
        QStringLiteral("\r\n\r\nThese files were not written by the check out and are deleted too:");
    for (const QString& name : NamedFiles(Files))
        text += QStringLiteral("\r\n") + name;
    if (Files.size() > NamedFilesLimit)
        text +=
            QStringLiteral("\r\n(%1 more, not named here, are kept.)").arg(Files.size() - NamedFilesLimit);
    return text;
}

void RemoveFolderFiles(const QString& Folder, const TFolderFiles& Written, const QStringList& Named) {
    const QDir root(Folder);
    const auto remove = [&root](const QString& Name) {
        // A relative path below the folder only.
        if (Name.isEmpty() || QDir::isAbsolutePath(Name) ||
            QDir::cleanPath(Name).startsWith(QLatin1String("..")))
            return;
        ::unlink(QFile::encodeName(root.filePath(Name)).constData());
    };
    for (const auto& [name, stamp] : Written)
        if (StampOf(root.filePath(name)) == stamp) remove(name);
    for (const QString& name : Named)
        remove(name);
    // The folders left empty, the deepest first; a folder that still holds a file stays.
    QStringList folders;
    QDirIterator it(Folder, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        if (!info.isSymLink()) folders << info.filePath();
    }
    std::sort(folders.begin(), folders.end(),
              [](const QString& A, const QString& B) { return A.count('/') > B.count('/'); });
    for (const QString& folder : folders)
        ::rmdir(QFile::encodeName(folder).constData());
    ::rmdir(QFile::encodeName(Folder).constData());
}
