// The gzip filter calls over the gzip reader and writer.
#include "engine/core/krvGzipFilter.h"

#include "engine/core/krvCompBase.h"
#include "engine/formats/gzip/krvUnGZip.h"
#include "engine/formats/gzip/krvGZip.h"

int GunzipFile(TZipCommon& Owner, TStream32& Input, const TGunzipSink& Sink) {
    TUnGZip reader;
    reader.DriveCancelFrom(Owner);
    reader.OnProgress = Owner.OnProgress;
    return reader.DecodeFile(Input, Sink);
}

bool GzipFile(TCompBase& Owner, TStream32& Input, std::int64_t Size, TStream32& Output,
              const std::string& StoredName, std::uint32_t MTime) {
    TGZip gz;
    gz.DriveCancelFrom(Owner);
    gz.DeflateType = Owner.DeflateType;
    gz.Threads = Owner.Threads;
    gz.OnProgress = Owner.OnProgress;
    gz.OnError = Owner.OnError;
    gz.FileName = StoredName;
    gz.JobTotal = static_cast<double>(Size);
    gz.BytesToDo = gz.JobTotal;
    return gz.WriteMember(Input, Size, Output, StoredName, MTime);
}
