#include "app/common/SetAside.h"

#include "engine/core/krvUnBase.h"

#include <QFile>
#include <QFileInfo>

QString SetFileAside(const QString& File) {
    for (int i = 0; i < 1000; ++i) {
        const QString aside = File + QStringLiteral(".quillar-old") + (i ? QString::number(i) : QString());
        if (QFileInfo::exists(aside) || QFileInfo(aside).isSymLink()) continue;
        return QFile::rename(File, aside) ? aside : QString();
    }
    return {};
}

TSetAside::~TSetAside() {
    if (FAside.isEmpty()) return;
    QFile::remove(FTarget);
    QFile::rename(FAside, FTarget);
}

bool TSetAside::Move() {
    const QFileInfo target(FTarget);
    if (!target.exists() && !target.isSymLink()) return true;
    FAside = SetFileAside(FTarget);
    return !FAside.isEmpty();
}

void TSetAside::Commit(bool ToTrash) {
    if (FAside.isEmpty()) return;
    if (ToTrash)
        TUnBase::EraseFile(FAside.toStdString(), doAllowUndo);
    else
        QFile::remove(FAside);
    FAside.clear();
}
