// gzip as a filter around another format's data: a tar.gz is a tar inside one gzip file. The
// tar writer unpacks the archive it updates through GunzipFile and writes the new tar through
// a TGzipOutput, which the gzip format implements, so the tar format needs nothing else of
// gzip's.
#pragma once

#include "engine/core/krvStreams.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TCompBase;
class TZipCommon;

using TGunzipSink = std::function<void(const std::uint8_t* Buffer, std::int64_t Count)>;

// Decodes the whole gzip file Input (every member, each checked against its trailer) into Sink,
// cancelled with Owner and reporting through Owner's progress event; 0, or the code of the damage.
int GunzipFile(TZipCommon& Owner, TStream32& Input, const TGunzipSink& Sink);

// A gzip file of what is written to it: the bytes the gzip writer makes of a file of the same
// content (deflated in one call up to the whole-buffer limit, beyond it in blocks on the job's
// threads as they come, the same for any thread count). Its position is the plain bytes taken;
// it reads nothing and seeks only where it is. SetSize cuts it back to the last KeepHere, or
// within the last block not yet deflated, and raises anywhere else.
class TGzipOutput : public TStream32 {
public:
    // A later SetSize may come back to the present position (until the next KeepHere).
    virtual void KeepHere() = 0;
    // Writes what is left and the trailer; false when deflating failed.
    virtual bool Finish() = 0;
};

// The gzip file written into Output: one member named StoredName with the time MTime, deflated
// at Owner's deflate type on Owner's threads. The host's event loop runs while it waits.
std::unique_ptr<TGzipOutput> OpenGzipOutput(TCompBase& Owner, TStream32& Output,
                                            const std::string& StoredName, std::uint32_t MTime);
