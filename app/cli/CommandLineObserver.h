// The observer of a command-line run's operations: the progress window while one runs
// (painted at most every few tens of milliseconds, Cancel honoured), the log gathered on disk
// for the output window and its error lines on standard error, the questions through the dialogs
// and the prompter. One lives as long as the run.
#pragma once

#include "app/dialogs/DialogObserver.h"

#include <memory>

class QTemporaryFile;
class TfmProgress;
class TfmViewOutput;

class TCommandLineObserver : public TDialogObserver {
public:
    TCommandLineObserver();
    ~TCommandLineObserver() override;

    void Started() override;
    void Finished() override;
    bool Progress(int ByFile, int ByArchive) override;
    void Log(const QString& Line) override;
    void LogProgress(const QString& Line) override;

    // The output window with the log of the last operation, made when first asked for: a run
    // whose log is never shown does not build it.
    TfmViewOutput& Output();
    void ClearOutput();

private:
    TfmProgress& ProgressWindow(); // made on first use, shown only while an operation runs
    std::unique_ptr<TfmProgress> FProgress;
    std::unique_ptr<TfmViewOutput> FOutput;
    // The log while there is no output window: in a temporary file, so that a run over a
    // million entries (a line each) keeps memory flat.
    std::unique_ptr<QTemporaryFile> FLog;
};
