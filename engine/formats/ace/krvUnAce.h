// The ace reader: extracts or tests the entries of an ace archive through the ace library,
// which is loaded at run time for each run and freed after it. The library decodes and, when
// extracting, writes the files; the reader selects, asks, counts, answers the library's
// requests (next volume, a file that exists, a password) and puts each file in place only
// after the library's CRC verdict: a file that was in the way is set aside while the library
// writes and comes back whenever the entry fails.
#pragma once

#include "engine/core/krvUnBase.h"
#include "engine/read/krvLibraryScan.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

struct TAceCallbackData;
struct TAceFileData;

class TUnACE : public TUnLibraryBase {
public:
    TUnACE();
    ~TUnACE() override;

    // The library each run loads (a name, looked for as LoadLibraryQuiet looks, or a path).
    static std::string LibraryName;

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;

private:
    struct TCalls;

    int Run(const TCalls& Calls);

    static int InfoCallback(TAceCallbackData* Data);
    static int ErrorCallback(TAceCallbackData* Data);
    static int RequestCallback(TAceCallbackData* Data);
    static int StateCallback(TAceCallbackData* Data);
    // Runs a callback on the current run's reader; an exception waits for the library call
    // to return and cancels the library meanwhile.
    template <typename F> static int Guarded(F Body);

    int OnInfo(const TAceCallbackData& Data);
    int OnLibraryError(const TAceCallbackData& Data);
    int OnRequest(TAceCallbackData& Data);
    int OnState(const TAceCallbackData& Data);
    int NextVolume(TAceCallbackData& Data);
    int FileExistsAnswer();
    int PasswordAnswer(TAceCallbackData& Data);
    int FileStart(const TAceFileData& File);
    void FileData(const TAceCallbackData& Data);
    void FileEnd(const TAceFileData& File, bool Verdict);
    // Ends a file the library left without a verdict as failed: what the library wrote of
    // it goes, the file set aside comes back.
    void AbandonFile();
    // Puts the file set aside back in the library's target's place.
    void RestoreAside();

    bool FTestMode = false;
    std::string FRunArchive;
    std::string FPasswordText; // handed to the library
    std::exception_ptr FPending;

    // The current file.
    std::string FStoredName;
    std::string FLibraryTarget; // the file the library writes
    std::string FAside;         // where the file that was in the library's way waits
    bool FSelected = false;
    bool FSkip = false;
    bool FExists = false;
    bool FIsDirectory = false;
    std::int64_t FEntrySize = 0;
    std::int64_t FReceived = 0;
};
