#include "app/cli/CommandLineObserver.h"

#include "app/dialogs/Progress.h"
#include "app/dialogs/ViewOutput.h"
#include "engine/core/EngineHost.h"
#include "ui_Progress.h"

#include <QPushButton>
#include <QTemporaryFile>
#include <cstdio>

TCommandLineObserver::TCommandLineObserver() = default;

TCommandLineObserver::~TCommandLineObserver() = default;

TfmProgress& TCommandLineObserver::ProgressWindow() {
    if (!FProgress) FProgress = std::make_unique<TfmProgress>();
    return *FProgress;
}

void TCommandLineObserver::Started() {
    ProgressWindow();
    FProgress->ui->buCancel->setEnabled(true);
    FProgress->Cancelled = false;
    FProgress->show();
    // The window is put on the screen before the work starts, however soon the work ends.
    EngineHost::Pump();
}

void TCommandLineObserver::Finished() {
    if (!FProgress || !FProgress->isVisible()) return;
    FProgress->hide();
    EngineHost::Pump();
}

bool TCommandLineObserver::Progress(int ByFile, int ByArchive) {
    ProgressWindow();
    // The bars paint and the event loop runs at most every few milliseconds; Cancel is read on
    // every event.
    if (FProgress->Advance(ByFile, ByArchive)) EngineHost::Pump();
    const bool cancel = FProgress->Cancelled;
    FProgress->Cancelled = false;
    if (ByArchive >= 100) FProgress->ui->buCancel->setEnabled(false);
    return cancel;
}

void TCommandLineObserver::LogProgress(const QString& Line) {
    if (FOutput) {
        FOutput->AppendLine(Line);
        return;
    }
    if (!FLog) {
        FLog = std::make_unique<QTemporaryFile>();
        if (!FLog->open()) FLog.reset(); // no room for the log: standard error still has its errors
    }
    if (FLog) FLog->write((Line + QLatin1Char('\n')).toUtf8());
}

void TCommandLineObserver::Log(const QString& Line) {
    LogProgress(Line);
    // A command-line run has no window to show its log in: it goes to standard error.
    std::fprintf(stderr, "%s\n", Line.toLocal8Bit().constData());
}

TfmViewOutput& TCommandLineObserver::Output() {
    if (!FOutput) {
        FOutput = std::make_unique<TfmViewOutput>();
        if (FLog && FLog->seek(0)) {
            while (!FLog->atEnd())
                FOutput->AppendLine(QString::fromUtf8(FLog->readLine()).chopped(1));
        }
        FLog.reset();
    }
    return *FOutput;
}

void TCommandLineObserver::ClearOutput() {
    FLog.reset();
    if (FOutput) FOutput->Clear();
}
