#include "app/ops/OpUUEncode.h"

#include "app/ops/OpRun.h"
#include "engine/formats/uu/krvUUEncode.h"

#include <QFileInfo>

TOpResult UUEncode(const TUUEncodeOptions& Options, TOpObserver& Observer) {
    TOpResult result;
    TUUEncode encoder;
    TOpRun run(Observer, result);
    run.BindWriter(encoder);
    encoder.SetArchiveFile(QFileInfo(Options.Input).absoluteFilePath().toStdString());
    encoder.SetOutFilename(QFileInfo(Options.Output).absoluteFilePath().toStdString());
    encoder.KBytesPerVolume = Options.KBytesPerVolume;
    encoder.WriteTableToFile = true;
    encoder.SetCompressMethod(Options.XXEncode ? cmXXEncode : cmUUEncode);
    result.Started = true;
    result.Done = encoder.Compress();
    run.Finish();
    if (encoder.Cancel()) result.Cancelled = true;
    return result;
}
