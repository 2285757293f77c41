#include "app/common/HelpPages.h"

#include "app/common/ProcessUtils.h"
#include "app/common/Prompter.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

void ShowHelpPage(const QString& Topic) {
    const QString page = QDir::cleanPath(HelpPagePath(Topic));
    if (const QString missing = MissingLauncher(QStringLiteral("xdg-open"), {page}); !missing.isEmpty())
        MessageDlg(missing, mtError, mbOK);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

QString HelpPagePath(const QString& Topic) {
    return QCoreApplication::applicationDirPath() + "/../share/quillar/help/" + Topic + ".html";
}
