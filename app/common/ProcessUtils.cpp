#include "app/common/ProcessUtils.h"

#include "app/common/Prompter.h"
#include "platform/Mail.h"
#include "platform/Process.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

namespace {

void ProcessEvents() {
    QCoreApplication::processEvents();
}

} // namespace

int SendMail(const std::string& Subject, const std::string& Body, const std::string& AttachmentPath,
             const std::string& RecipientAddress, const std::string& /*RecipientName*/,
             const std::string& /*SenderAddress*/, const std::string& /*SenderName*/) {
    return SendDesktopMail(TMailMessage{Subject, Body, AttachmentPath, RecipientAddress}, ProcessEvents);
}

int RunAndWait(const std::string& ExeName, const std::string& Params, int /*ShowCmd*/) {
    std::vector<std::string> argv = {ExeName};
    for (std::string& arg : SplitCommandLine(Params))
        argv.push_back(std::move(arg));
    const std::size_t slash = ExeName.rfind('/');
    pid_t pid = 0;
    if (!SpawnProcess(argv, slash == std::string::npos ? std::string() : ExeName.substr(0, slash + 1), pid))
        return -1;
    return WaitForProcess(pid, 50, ProcessEvents);
}

namespace {

bool OnSearchPath(const QString& Program) {
    if (Program.contains(QLatin1Char('/'))) {
        const QFileInfo info(Program);
        return info.isFile() && info.isExecutable();
    }
    return !QStandardPaths::findExecutable(Program).isEmpty();
}

// The desktop application set for a MIME type, as xdg-mime finds it; empty when none.
QString DefaultApplication(const QString& MimeType) {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), MimeType});
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished(1000);
        return {};
    }
    return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
}

// A web browser xdg-open falls back on when no application is set for a page.
bool BrowserInstalled() {
    for (const QString& name : qEnvironmentVariable("BROWSER").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (OnSearchPath(name)) return true;
    for (const char* name : {"x-www-browser", "www-browser", "firefox", "firefox-esr", "chromium", "epiphany",
                             "konqueror", "google-chrome", "lynx", "w3m"})
        if (OnSearchPath(QString::fromLatin1(name))) return true;
    return false;
}

} // namespace

QString MissingLauncher(const QString& Program, const QStringList& Arguments) {
    if (Program.isEmpty()) return QStringLiteral("No program is set to open the file.");
    if (!OnSearchPath(Program)) {
        if (Program == QLatin1String("xdg-open"))
            return QStringLiteral("xdg-open (of the xdg-utils package) is not installed, so no desktop "
                                  "application can be started.");
        return QStringLiteral("The program ") + Program +
               QStringLiteral(" was not found. Install it or choose another one in the configuration.");
    }
    if (Program != QLatin1String("xdg-open") || Arguments.isEmpty()) return {};
    const QString target = Arguments.front();
    const QFileInfo file(target);
    if (!file.exists()) return {}; // a web address: the browser's business
    const QString type = QMimeDatabase().mimeTypeForFile(file).name();
    if (!DefaultApplication(type).isEmpty()) return {};
    const bool page = type == QLatin1String("text/html");
    if (page && BrowserInstalled()) return {};
    if (page)
        return QStringLiteral("No web browser is installed to show the page ") + target +
               QStringLiteral(". Install one (for example firefox-esr) to read the help.");
    return QStringLiteral("No program is installed to open ") + file.fileName() + QStringLiteral(" (") +
           type + QStringLiteral("). Install one, or choose an external viewer in the configuration.");
}

bool LaunchDetached(const QString& Program, const QStringList& Arguments) {
    if (const QString missing = MissingLauncher(Program, Arguments); !missing.isEmpty()) {
        MessageDlg(missing, mtError, mbOK);
        return false;
    }
    return QProcess::startDetached(Program, Arguments);
}
