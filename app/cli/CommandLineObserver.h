// The observer of a command-line run's operations: the progress window while one runs
// (painted at most every few tens of milliseconds, Cancel honoured), the log gathered for the
// output window and its lines on standard error, the questions through the dialogs and the
// prompter as for every caller. One lives as long as the run.
#pragma once

#include "app/ops/OpObserver.h"

#include <QStringList>
#include <memory>

class TfmProgress;
class TfmViewOutput;

class TCommandLineObserver : public TOpObserver {
public:
    TCommandLineObserver();
    ~TCommandLineObserver() override;

    void Started() override;
    void Finished() override;
    bool Progress(int ByFile, int ByArchive) override;
    void Log(const QString& Line) override;

    // The output window with the log of the last operation, made when first asked for: a run
    // whose log is never shown does not build it.
    TfmViewOutput& Output();
    void ClearOutput();

private:
    TfmProgress& ProgressWindow(); // made on first use, shown only while an operation runs
    std::unique_ptr<TfmProgress> FProgress;
    std::unique_ptr<TfmViewOutput> FOutput;
    QStringList FLog; // the log while there is no output window
    static constexpr qsizetype MaxLogLines = 20000;
};
