#include "app/common/HelpPages.h"

#include "app/common/ProcessUtils.h"

#include <QCoreApplication>
#include <QDir>

void ShowHelpPage(const QString& Topic) {
    LaunchDetached(QStringLiteral("xdg-open"), {QDir::cleanPath(HelpPagePath(Topic))});
}

QString HelpPagePath(const QString& Topic) {
    return QCoreApplication::applicationDirPath() + "/../share/quillar/help/" + Topic + ".html";
}
