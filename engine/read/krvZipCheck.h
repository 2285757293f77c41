// The integrity tester: runs the reader of the archive's type over every selected entry with
// the data decoded and checksummed but written nowhere, and reports each entry's verdict
// through OnStatus. Passwords learned during the run are kept in Passwords.
#pragma once

#include "engine/core/krvUnBase.h"

#include <functional>
#include <string>

using TOnIntegrityStatus =
    std::function<void(TZipCommon& Sender, const std::string& FileName, bool PassFail)>;
// An entry's test begins / has ended (its verdict is OnStatus's).
using TOnIntegrityBegin = std::function<void(TZipCommon& Sender, const std::string& FileName)>;
using TOnIntegrityEnd = std::function<void(TZipCommon& Sender, const std::string& FileName)>;

class TZipCheck : public TUnBase {
public:
    // Fired per entry with the inner reader as Sender; OnEnd (when set) follows it.
    TOnIntegrityStatus OnStatus;
    // The tester's end of an entry, without the verdict (in place of a reader's OnEnd).
    TOnIntegrityEnd OnEnd;

    // Tests ArchiveFile. The outcome reaches the host through OnStatus, OnEnd and OnError.
    void Activate();

    // The run went on in an archive inside the tested one (the tar of a tar.gz): the tester
    // takes its name and type as they are, without detection (that tar was a temporary of
    // the run and is gone). OnChangeArchive reaches the host before.
    void MoveToArchive(const std::string& Name, TArcType Type);

    // Entries tested and entries that failed in the last run (those the reader gave up on
    // before their verdict included).
    int Tested = 0;
    int Failed = 0;

private:
    void Run();
};
