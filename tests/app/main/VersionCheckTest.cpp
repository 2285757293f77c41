// The version check against a small HTTP server in the test process: what the dialog asks for,
// how it shows an answer, and how every kind of failure (an error status, a refused
// connection, a server that never answers, an answer that is not HTTP or far too long) closes
// it as Close does after the error message, while its event loop keeps running.
#include "MainWindowFixture.h"

#include "DialogDriver.h"
#include "app/dialogs/CheckVersion.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace testsupport;

namespace {

// Answers every request with Response once the request's head has arrived; Silent servers
// accept the connection and say nothing.
class TCannedServer {
public:
    QByteArray Response;
    bool Silent = false;
    QByteArray Request;

    TCannedServer() {
        EXPECT_TRUE(FServer.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&FServer, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = FServer.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    Request += socket->readAll();
                    if (Silent || !Request.contains("\r\n\r\n")) return;
                    socket->write(Response);
                    socket->disconnectFromHost();
                });
            }
        });
    }
    QString Url() const { return QStringLiteral("http://127.0.0.1:%1").arg(FServer.serverPort()); }

private:
    QTcpServer FServer;
};

QByteArray Http(const QByteArray& Status, const QByteArray& Body) {
    return "HTTP/1.1 " + Status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(Body.size()) +
           "\r\nConnection: close\r\n\r\n" + Body;
}

const QString Waiting = QStringLiteral("Please wait ...");

struct TOutcome {
    int Result = 0;
    QString Latest, Current, Notes;
    bool ShownWaiting = false; // the window showed the wait text before any answer
    int TicksWhileWaiting = 0; // how often the dialog's event loop ran other work meanwhile
};

// Runs the dialog against Url; an answer that shows closes it with StillOpen so the test can
// read it, a failure closes it by itself.
TOutcome RunCheck(const QString& Url, int TimeoutMs) {
    TfmCheckVersion dialog;
    dialog.CurrentVersion = QStringLiteral("2.3");
    dialog.ServerUrl = Url;
    dialog.TimeoutMs = TimeoutMs;
    TOutcome outcome;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!dialog.isVisible()) return;
        if (Find<QLineEdit>(dialog, "edLatest")->text() == Waiting) {
            outcome.ShownWaiting = true;
            ++outcome.TicksWhileWaiting;
            return;
        }
        outcome.Latest = Find<QLineEdit>(dialog, "edLatest")->text();
        outcome.Notes = Find<QPlainTextEdit>(dialog, "meNew")->toPlainText();
        dialog.done(StillOpen);
    });
    poll.start();
    QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(-2); }); // never hang the run
    outcome.Result = dialog.exec();
    outcome.Current = Find<QLineEdit>(dialog, "edCurrent")->text();
    return outcome;
}

const QString ServerErrorText = QStringLiteral(
    "Error connecting to Quillar server. Please check \r\nthat you are connected to the Internet.");

} // namespace

class VersionCheckTest : public MainWindowTest {};

TEST_F(VersionCheckTest, AnswersShowAndFailuresCloseAfterTheMessage) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const QString refused = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
    closed.close();

    struct TCase {
        const char* Name;
        QByteArray Response;
        bool Silent;
        int Result;
        QString Latest, Notes;
    } const cases[] = {
        {"release notes", Http("200 OK", "2.4\nFaster zip.\n\nNew icons.\n"), false, StillOpen, "2.4",
         "Faster zip.\n\nNew icons."},
        {"empty body", Http("200 OK", ""), false, StillOpen, "", ""},
        {"CR LF lines", Http("200 OK", "2.5\r\nLine one\r\nLine two\r\n"), false, StillOpen, "2.5",
         "Line one\nLine two"},
        {"not found", Http("404 Not Found", "2.9\n"), false, mrCloseVersion, "", ""},
        {"server error", Http("500 Internal Server Error", ""), false, mrCloseVersion, "", ""},
        {"not HTTP", "hello there\r\n\r\n", false, mrCloseVersion, "", ""},
        {"far too long", Http("200 OK", QByteArray(3 << 20, 'x')), false, mrCloseVersion, "", ""},
        {"no answer", {}, true, mrCloseVersion, "", ""},
        {"refused", {}, false, mrCloseVersion, "", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TCannedServer server;
        server.Response = c.Response;
        server.Silent = c.Silent;
        FPrompter.Prompter().Prompts.clear();
        FPrompter.Prompter().Answers = {mrOk};
        const TOutcome outcome = RunCheck(std::string(c.Name) == "refused" ? refused : server.Url(), 300);
        EXPECT_EQ(outcome.Result, c.Result);
        EXPECT_EQ(outcome.Current, QStringLiteral("2.3"));
        EXPECT_TRUE(outcome.ShownWaiting);
        if (c.Result == StillOpen) {
            EXPECT_EQ(outcome.Latest, c.Latest);
            EXPECT_EQ(outcome.Notes, c.Notes);
            EXPECT_TRUE(FPrompter.Prompter().Prompts.empty());
        } else {
            ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
            EXPECT_EQ(FPrompter.Prompter().Prompts[0].Text, ServerErrorText);
            EXPECT_EQ(FPrompter.Prompter().Prompts[0].Type, mtError);
        }
        if (c.Silent) {
            EXPECT_GT(outcome.TicksWhileWaiting, 1); // the window went on meanwhile
        }
        if (std::string(c.Name) == "release notes") {
            EXPECT_TRUE(server.Request.startsWith("GET /version.txt HTTP/1.1\r\n"))
                << server.Request.toStdString();
            EXPECT_TRUE(server.Request.contains("\r\nAccept: text/html, */*\r\n"));
            EXPECT_TRUE(server.Request.contains("\r\nUser-Agent: Quillar\r\n"));
        }
    }
}

TEST_F(VersionCheckTest, DownloadNowOpensTheDownloadLocation) {
    TCannedServer server;
    server.Response = Http("200 OK", "2.4\n");
    EnvGuard url("QUILLAR_UPDATE_URL", (server.Url() + "/").toUtf8().constData());
    Open();
    std::vector<QStringList> launched;
    FWindow->OnLaunch = [&launched](const QString& Program, const QStringList& Arguments) {
        launched.push_back(QStringList{Program} + Arguments);
        return true;
    };
    for (const char* button : {"buClose", "buDownload"}) {
        SCOPED_TRACE(button);
        QString current;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = FWindow->findChild<TfmCheckVersion*>();
            if (!dialog || !dialog->isVisible() ||
                Find<QLineEdit>(*dialog, "edLatest")->text() != QStringLiteral("2.4"))
                return;
            current = Find<QLineEdit>(*dialog, "edCurrent")->text();
            Find<QPushButton>(*dialog, button)->click();
        });
        poll.start();
        Action("acCheckVersion").trigger();
        poll.stop();
        EXPECT_EQ(current, QStringLiteral("Quillar 2.3"));
    }
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0], (QStringList{"xdg-open", server.Url() + "/download.html"}));
}

// The product's own server is asked over https: the answer names the version to fetch and the
// page that Download Now opens, and a plain-HTTP answer could be forged on the way.
TEST(VersionCheckAddress, TheProductServerIsAskedOverHttps) {
    EnvGuard url("QUILLAR_UPDATE_URL", nullptr);
    EXPECT_TRUE(UpdateServerUrl().startsWith(QStringLiteral("https://"))) << UpdateServerUrl().toStdString();
    TfmCheckVersion dialog;
    EXPECT_TRUE(dialog.DownloadLocation().startsWith(QStringLiteral("https://")));
}
