// What one operation did, the same for every caller: the entries done, failed, skipped and
// refused, each failure with its cause and the engine's code, and whether it was cancelled.
// The window, the command line, the batch tool and the wizard turn it into their own messages
// and exit status.
#pragma once

#include <QString>
#include <string>
#include <vector>

enum class TOpCause {
    Unsupported,      // a method or cipher no decoder here reads
    WrongPassword,    // no password fitted
    Crc,              // the data did not decode to their checksum
    OutputBlocked,    // the output could not be created or written
    SourceUnreadable, // a file to be added could not be opened or read
    NameRefused,      // a stored name that would leave the destination
    DiskFull,
    Cancelled,
    Other,
};

struct TOpFailure {
    std::string Entry;
    TOpCause Cause = TOpCause::Other;
    int ECode = 0;
    std::string Detail; // the engine's details of the error, when it gave any
};

struct TOpResult {
    bool Started = false; // the engine ran (the archive was of a type the operation takes)
    int Done = 0;
    int Failed = 0;
    int Skipped = 0;
    int Refused = 0;
    bool Cancelled = false;
    // The failures in the order they came, the first MaxFailuresKept of them: a run over a
    // million failing entries keeps its counts, not a record for each.
    std::vector<TOpFailure> Failures;
    static constexpr std::size_t MaxFailuresKept = 1000;

    // Every entry came out, nothing refused, nothing cancelled.
    bool Succeeded() const { return Started && !Cancelled && Failed == 0 && Refused == 0; }
    // Entries failed or were refused (a cancelled run may have some too).
    bool HadFailures() const { return Failed > 0 || Refused > 0; }
    // Failures of Cause, those not kept included.
    int Count(TOpCause Cause) const;
    // A failure of an entry (or of the run when Entry is empty).
    void Fail(const std::string& Entry, TOpCause Cause, int ECode, const std::string& Detail = {});

private:
    int FCauseCounts[static_cast<int>(TOpCause::Other) + 1] = {};
};

// The cause of an engine error code; Source: the error is a writer's about a file it gathered
// to add (one it cannot open or read is unreadable, not a blocked output).
TOpCause CauseOf(int ECode, bool Source = false);
// The cause as the summary names it ("CRC error", "Wrong password" ...).
QString CauseName(TOpCause Cause);
// One line per cause that occurred: "Wrong password: 2", in a fixed order.
QString CauseLines(const TOpResult& Result);
// The message of an extraction: cancelled, done, or what failed and why, with the counts.
QString ExtractSummary(const TOpResult& Result);
