// The job guard of the component base: one place where whatever ends a job is turned into
// an error code and reported, and the job's exit path always runs.
#include "engine/core/EngineHost.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvZipCommon.h"

#include <new>

namespace {

// Whether the exception was reported through OnError where it was raised.
bool WasReported(const std::exception& Error) {
    if (const auto* raised = dynamic_cast<const E_RAISE*>(&Error)) return raised->Reported();
    if (const auto* stream = dynamic_cast<const EStreamError*>(&Error)) return stream->Reported();
    return false;
}

} // namespace

int JobErrorCode(const std::exception& Error) {
    if (const auto* raised = dynamic_cast<const E_RAISE*>(&Error)) return raised->Code();
    if (dynamic_cast<const std::bad_alloc*>(&Error)) return ecOutOfMemory;
    if (const auto* write = dynamic_cast<const EWriteError*>(&Error))
        return write->Code() == ecDiskFull ? ecDiskFull : ecErrorWritingToFile;
    if (dynamic_cast<const EReadError*>(&Error)) return ecErrorReadingFile;
    if (dynamic_cast<const EStreamError*>(&Error)) return ecStreamReadWriteError;
    return ecUnknownError;
}

bool TZipCommon::RunJob(const std::function<void()>& Body, const std::function<void()>& Exit) {
    // Reports what ended a part of the job. An OnError handler that throws in turn cannot
    // keep the exit path from running.
    const auto report = [this](const std::string& ExtendedMsg, int Code) {
        try {
            ReportError(ArchiveFile(), ExtendedMsg, "0", Code);
        } catch (...) {
        }
    };
    const auto guarded = [&](const std::function<void()>& Part) {
        if (!Part) return true;
        try {
            Part();
            return true;
        } catch (const TJobEnded&) {
        } catch (const std::exception& e) {
            if (!WasReported(e)) {
                const int code = JobErrorCode(e);
                // Engine and stream errors name the entry; anything else says what it was.
                const bool known = code != ecUnknownError && code != ecStreamReadWriteError;
                report(known ? FileName : std::string(e.what()), code);
            }
        } catch (...) {
            report(FileName, ecUnknownError);
        }
        return false;
    };
    // The host runs at the start and the end of every job, however much work lies between.
    EngineHost::Pump();
    const bool finished = guarded(Body);
    const bool exited = guarded(Exit);
    EngineHost::Pump();
    return finished && exited;
}
