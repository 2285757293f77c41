// The shown window's answer time during long work: adds a tree to a new zip, tests that zip and
// extracts it, each through the window's own commands (progress window and all), and prints for
// each the wall time and the longest wait of the event loop (a 10 ms timer that should fire on
// time; goal about 20 ms). Run by bench/window_wait.sh on a private home, under the offscreen
// platform or Xvfb, with every question answered by its default (QUILLAR_PROMPTER=auto).
//
//   quillar_window_bench TREE WORK
#include "app/main/QtEngineHost.h"
#include "app/main/main_fm.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

// The longest time between two turns of the event loop while a piece of work runs: a timer of
// 10 ms notes the time since its last tick.
class TWaitMeter {
public:
    TWaitMeter() {
        FTimer.setInterval(10);
        QObject::connect(&FTimer, &QTimer::timeout,
                         [this] { FLongest = std::max(FLongest, FTick.restart()); });
    }

    void Measure(const char* Job, const std::function<bool()>& Work) {
        FLongest = 0;
        QElapsedTimer wall;
        wall.start();
        FTick.start();
        FTimer.start();
        const bool ok = Work();
        FLongest = std::max(FLongest, FTick.elapsed());
        FTimer.stop();
        std::printf("%-8s %s  wall %7.2f s  longest_event_wait_ms %lld\n", Job, ok ? "ok    " : "FAILED",
                    static_cast<double>(wall.elapsed()) / 1000.0, static_cast<long long>(FLongest));
        std::fflush(stdout);
    }

private:
    QTimer FTimer;
    QElapsedTimer FTick;
    qint64 FLongest = 0;
};

void WaitUntil(const std::function<bool()>& Done) {
    QElapsedTimer clock;
    clock.start();
    while (!Done() && clock.elapsed() < 600000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    QApplication::processEvents();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillar_window_bench TREE WORK\n");
        return 2;
    }
    QApplication app(argc, argv);
    EngineHost::Install(std::make_unique<TQtEngineHost>());
    const QString tree = QString::fromLocal8Bit(argv[1]);
    const QString work = QString::fromLocal8Bit(argv[2]);
    const QString zip = work + QStringLiteral("/window.zip");

    TfmMain window(QStringList{});
    window.show();
    WaitUntil([&window] { return window.StartupDone() && !window.Listing(); });
    TWaitMeter meter;

    meter.Measure("add", [&] {
        TAddOptions options;
        options.Archive = zip;
        options.Files << tree;
        options.Compression = 2; // normal
        options.StoredDirNames = sdRelative;
        return window.RunAdd(options, false, true).Good();
    });
    window.DisplayArchive(zip);
    WaitUntil([&window] { return !window.Listing(); });
    meter.Measure("test", [&] {
        auto* test = window.findChild<QAction*>(QStringLiteral("acTest"));
        if (!test || !test->isEnabled()) return false;
        test->trigger();
        return true;
    });
    meter.Measure("extract", [&] {
        TExtractOptions options;
        options.Archive = zip;
        options.Folder = work + QStringLiteral("/out");
        options.RestoreFileAttr = false;
        options.ConfirmOverwrites = false;
        return window.RunExtraction(options, false).Refusal == TExtractRefusal::None;
    });
    window.close();
    return 0;
}
