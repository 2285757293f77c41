#include "app/ops/OpTest.h"

#include "app/ops/OpRun.h"
#include "engine/read/krvZipCheck.h"

#include <QFileInfo>

TOpResult Test(const TTestOptions& Options, TOpObserver& Observer) {
    TOpResult result;
    TZipCheck tester;
    TOpRun run(Observer, result);
    run.BindTester(tester);
    tester.FileSpec = {"*.*"};
    tester.RecurseDirs = true;
    tester.SetArchiveFile(QFileInfo(Options.Archive).absoluteFilePath().toStdString());
    if (!ExtractableArcTypes.Contains(tester.ArcType())) return result;
    result.Started = true;
    Observer.Started();
    tester.Activate();
    Observer.Finished();
    if (tester.Cancel()) result.Cancelled = true;
    // A failure the tester counted that no verdict reached (a damaged directory) still fails.
    run.Finish(tester.Failed);
    return result;
}
