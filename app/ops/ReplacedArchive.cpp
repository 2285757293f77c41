#include "app/ops/ReplacedArchive.h"

#include "engine/core/krvUnBase.h"

#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <unistd.h>

TReplacedArchive::~TReplacedArchive() {
    Remove();
}

bool TReplacedArchive::Keep(const QString& File) {
    const QFileInfo info(File);
    if (!info.exists()) return true;
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    FDirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (FDirFd < 0) return false;
    const QByteArray from = QFile::encodeName(info.absoluteFilePath());
    for (int i = 0; i < 1000; ++i) {
        const QString name =
            info.fileName() + QStringLiteral(".quillar-old") + (i ? QString::number(i) : QString());
        const QByteArray leaf = QFile::encodeName(name);
        const QString path = info.absolutePath() + QLatin1Char('/') + name;
        // Registered while it is made, signals held, so that no signal can leave it behind.
        TCleanupSignalsHeld held;
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) continue;
        FRegistration = TTemporaryRegistration(FDirFd, leaf.toStdString());
        // A hard link; on a file system without them, a copy.
        if (::linkat(AT_FDCWD, from.constData(), FDirFd, leaf.constData(), 0) == 0 ||
            QFile::copy(File, path)) {
            FKept = path;
            return true;
        }
        FRegistration.Release();
        return false;
    }
    return false;
}

void TReplacedArchive::ToTrash() {
    if (FKept.isEmpty()) return;
    if (TUnBase::EraseFile(FKept.toStdString(), doAllowUndo)) {
        FRegistration.Release();
        FKept.clear();
    }
}

void TReplacedArchive::Remove() {
    if (!FKept.isEmpty()) QFile::remove(FKept);
    FKept.clear();
    FRegistration.Release();
    if (FDirFd >= 0) ::close(FDirFd);
    FDirFd = -1;
}
