#include "app/cli/CommandLineObserver.h"

#include "app/dialogs/Progress.h"
#include "app/dialogs/ViewOutput.h"
#include "engine/core/EngineHost.h"
#include "ui_Progress.h"

#include <QPushButton>
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

void TCommandLineObserver::Log(const QString& Line) {
    if (FOutput) {
        FOutput->AppendLine(Line);
    } else {
        // The latest lines are kept for the output window: a run with a failure for each of a
        // million entries does not keep them all.
        if (FLog.size() >= MaxLogLines) FLog.removeFirst();
        FLog << Line;
    }
    // A command-line run has no window to show its log in: it goes to standard error.
    std::fprintf(stderr, "%s\n", Line.toLocal8Bit().constData());
}

TfmViewOutput& TCommandLineObserver::Output() {
    if (!FOutput) {
        FOutput = std::make_unique<TfmViewOutput>();
        for (const QString& line : std::as_const(FLog))
            FOutput->AppendLine(line);
        FLog.clear();
    }
    return *FOutput;
}

void TCommandLineObserver::ClearOutput() {
    FLog.clear();
    if (FOutput) FOutput->Clear();
}
