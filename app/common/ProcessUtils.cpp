#include "app/common/ProcessUtils.h"

#include "app/common/Prompter.h"
#include "platform/Mail.h"
#include "platform/Process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

namespace {

void ProcessEvents() {
    QCoreApplication::processEvents();
}

} // namespace

int SendMail(const std::string& Subject, const std::string& Body, const std::string& AttachmentPath,
             const std::string& RecipientAddress, const std::string& /*RecipientName*/,
             const std::string& /*SenderAddress*/, const std::string& /*SenderName*/,
             std::string* ErrorOutput) {
    return SendDesktopMail(TMailMessage{Subject, Body, AttachmentPath, RecipientAddress}, ProcessEvents,
                           ErrorOutput);
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
    // A folder is named by its whole path (its last part alone says little).
    const QString name =
        file.fileName().isEmpty() || file.isDir() ? file.absoluteFilePath() : file.fileName();
    return QStringLiteral("No program is installed to open ") + name + QStringLiteral(" (") + type +
           QStringLiteral("). Install one, or choose an external viewer in the configuration.");
}

namespace {

// Watches a launch for a few seconds: a launcher that ends at once with a failure (xdg-open
// finding no terminal for a terminal application, or no browser for a web address) is named
// with what it said. The program runs detached, through a shell that leaves its exit status
// and error output in a private folder; one still running when the watch ends is left alone.
class TLaunchWatch : public QObject {
public:
    static constexpr int WatchMs = 5000;

    TLaunchWatch(const QString& Program, const QStringList& Arguments)
        : QObject(QCoreApplication::instance()), FProgram(Program), FTarget(Arguments.value(0)) {
        connect(&FTimer, &QTimer::timeout, this, &TLaunchWatch::Look);
    }

    bool Start(const QStringList& Arguments) {
        if (!FFolder.isValid()) return QProcess::startDetached(FProgram, Arguments);
        // $0 is the folder; the status file appears whole, after the program ended.
        const QString script = QStringLiteral("p=\"$1\"; shift; \"$p\" \"$@\" 2>\"$0/err\"; s=$?; { echo $s "
                                              ">\"$0/s.tmp\" && mv \"$0/s.tmp\" \"$0/status\"; } "
                                              "2>/dev/null");
        if (!QProcess::startDetached(QStringLiteral("sh"),
                                     QStringList{QStringLiteral("-c"), script, FFolder.path(), FProgram} +
                                         Arguments))
            return false;
        FTimer.start(50);
        FClock.start();
        return true;
    }

private:
    void Look() {
        QFile status(FFolder.filePath(QStringLiteral("status")));
        if (!status.open(QIODevice::ReadOnly)) {
            if (FClock.elapsed() > WatchMs) Done();
            return;
        }
        const int code = QString::fromLatin1(status.readAll()).trimmed().toInt();
        QFile err(FFolder.filePath(QStringLiteral("err")));
        const QString said =
            err.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(err.read(2000)).trimmed() : QString();
        FTimer.stop();
        if (code != 0) {
            const QFileInfo file(FTarget);
            QString text =
                FProgram + QStringLiteral(" could not open ") + (file.exists() ? file.fileName() : FTarget);
            text += said.isEmpty()
                        ? QStringLiteral(" (exit status ") + QString::number(code) + QStringLiteral(").")
                        : QStringLiteral(":\r\n") + said;
            MessageDlg(text, mtError, mbOK);
        }
        Done();
    }
    void Done() {
        FTimer.stop();
        deleteLater();
    }

    QString FProgram, FTarget;
    QTemporaryDir FFolder;
    QTimer FTimer;
    QElapsedTimer FClock;
};

} // namespace

bool LaunchDetached(const QString& Program, const QStringList& Arguments) {
    if (const QString missing = MissingLauncher(Program, Arguments); !missing.isEmpty()) {
        MessageDlg(missing, mtError, mbOK);
        return false;
    }
    auto* watch = new TLaunchWatch(Program, Arguments); // deletes itself when the watch ends
    if (watch->Start(Arguments)) return true;
    delete watch;
    MessageDlg(QStringLiteral("The program ") + Program + QStringLiteral(" could not be started."), mtError,
               mbOK);
    return false;
}
