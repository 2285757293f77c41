#include "app/dialogs/SetAside.h"

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
