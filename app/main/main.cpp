// The program's entry: the application object, the engine's host, the main window, and the
// message loop. With two or more arguments the window is not built: the command line's switch
// runs and the program ends with it.
//
// For scripts and tests: with QUILLAR_READY_FILE set, the window's state (caption, columns,
// status panels, rows) is written to that file once the start-up work is done and the window
// has painted, and with QUILLAR_QUIT_WHEN_READY=1 the window then closes.
#include "app/cli/CommandLine.h"
#include "app/main/QtEngineHost.h"
#include "app/main/main_fm.h"
#include "app/ops/OpMail.h"
#include "platform/TemporaryCleanup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

// Writes the window's state once it waits for the user, with the longest wait of the event
// loop while it started (the loop is expected to turn at least every 100 ms).
void ReportWhenReady(TfmMain& Window) {
    const QString path = qEnvironmentVariable("QUILLAR_READY_FILE");
    if (path.isEmpty()) return;
    auto* turns = new QTimer(&Window);
    // The time since the loop last turned, and the longest such wait.
    struct TWaits {
        QElapsedTimer Clock;
        qint64 Longest = 0;
    };
    const auto waits = std::make_shared<TWaits>();
    waits->Clock.start();
    turns->setInterval(10);
    QObject::connect(turns, &QTimer::timeout, &Window,
                     [waits] { waits->Longest = std::max(waits->Longest, waits->Clock.restart()); });
    turns->start();
    auto report = [&Window, path, turns, waits] {
        if (!Window.StartupDone() || Window.Listing()) return;
        turns->stop();
        QObject::disconnect(&Window, &TfmMain::ListingDone, nullptr, nullptr);
        // After the list has been painted.
        QTimer::singleShot(0, &Window, [&Window, path, waits] {
            Window.repaint();
            QFile file(path + QStringLiteral(".part"));
            if (file.open(QIODevice::WriteOnly)) {
                file.write(Window.StateReport().toUtf8());
                file.write(QStringLiteral("longest_event_wait_ms=%1\n").arg(waits->Longest).toUtf8());
                file.close();
                QFile::remove(path);
                file.rename(path);
            }
            if (qEnvironmentVariable("QUILLAR_QUIT_WHEN_READY") == QLatin1String("1")) Window.close();
        });
    };
    QObject::connect(&Window, &TfmMain::ListingDone, &Window, report);
}

} // namespace

int main(int argc, char** argv) {
    // An interrupted run (SIGINT, SIGTERM) removes the temporary archives, folders and
    // extracted files that are not yet whole before it ends.
    InstallTemporaryCleanupOnSignals();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillar"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillar"));
    EngineHost::Install(std::make_unique<TQtEngineHost>());
    // Without a desktop that names its icon theme, the one the setup installs.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));

    // Attachments of mails sent a day ago or more have been read by the mail program.
    RemoveOldMailCopies();
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    if (arguments.size() > 1) return TCommandLine(arguments).Run();
    TfmMain fmMain(arguments);
    ReportWhenReady(fmMain);
    fmMain.show();
    return QApplication::exec();
}
