// The reading side of the cabinet library: a decompression context that tests whether a
// file is a cabinet and copies the files out of one cabinet of a set, doing all its file
// work through the caller's callbacks and telling the caller about every step through
// notifications (cabinet info, partial file, copy file, close file info, next cabinet).
// Decompression (MSZIP, LZX, Quantum) is libmspack's.
//
// A file that continues into the next cabinet is finished in the same copy: the caller is
// asked for that cabinet through the next-cabinet notification. The cabinets of a set stay
// joined inside the context, so the copy of the next cabinet skips what was done already.
// A file whose data cannot be decoded is closed as damaged and the copy goes on: the files
// after it in its folder are closed as damaged too (their data depend on what could not be
// decoded), the files of other folders are copied. The cabinet's records are checked first
// (CabinetRecords.h): a file whose range cannot be right, or whose record the library cannot
// use, is told as a partial file and not copied; faults of the cabinet as a whole come with the
// cabinet info. A next cabinet that cannot be had fails the files that run on into it, and the
// copy goes on with the others.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

// The library's error codes, as the error record carries them.
enum TFdiError : int {
    fdieNone = 0,
    fdieCabinetNotFound = 1,
    fdieNotACabinet = 2,
    fdieUnknownVersion = 3,
    fdieCorruptCabinet = 4,
    fdieAllocFail = 5,
    fdieBadComprType = 6,
    fdieMdiFail = 7,
    fdieTargetFile = 8,
    fdieReserveMismatch = 9,
    fdieWrongCabinet = 10,
    fdieUserAbort = 11,
};

// The error record of a context: set by the call that failed.
struct TFdiErf {
    int erfOper = 0;
    int erfType = 0;
    bool fError = false;
};

enum TFdiNotificationType : int {
    fdintCABINET_INFO = 0,
    fdintPARTIAL_FILE = 1,
    fdintCOPY_FILE = 2,
    fdintCLOSE_FILE_INFO = 3,
    fdintNEXT_CABINET = 4,
    fdintENUMERATE = 5,
};

struct TFdiNotification {
    std::int64_t cb = 0;  // copy file: the file's size; close file info: 1 = run after extraction
    std::string psz1;     // cabinet info / next cabinet: the next cabinet's name; files: the stored name
    std::string psz2;     // the next disk's name
    std::string psz3;     // the cabinet's folder (with a trailing separator, or empty)
    std::intptr_t hf = 0; // close file info: the handle copy file gave
    std::uint16_t date = 0;
    std::uint16_t time = 0;
    std::uint16_t attribs = 0;
    std::uint16_t setID = 0;
    std::uint16_t iCabinet = 0;
    std::uint16_t iFolder = 0;
    // next cabinet: why it is asked again; close file info: fdieCorruptCabinet when the file's
    // data could not be decoded (its output is incomplete or wrong), fdieCabinetNotFound when
    // they run on into a cabinet that cannot be had; partial file: fdieNone for a file continued
    // from a cabinet before the first, fdieCabinetNotFound for one that runs on into a cabinet
    // that cannot be had, fdieCorruptCabinet for one whose record is faulty
    int fdie = fdieNone;
    // cabinet info: the faults of the cabinet's records; partial file: where its record is faulty
    std::string Where;
};

// What IsCabinet learns of a cabinet.
struct TFdiCabinetInfo {
    std::int64_t cbCabinet = 0;
    std::uint16_t cFolders = 0;
    std::uint16_t cFiles = 0;
    std::uint16_t setID = 0;
    std::uint16_t iCabinet = 0;
    bool fReserve = false;
    bool hasprev = false;
    bool hasnext = false;
    // The cabinet before this one in its set, when hasprev.
    std::string PrevCabinet;
    std::string PrevDisk;
};

// The file callbacks. Handles are the caller's; -1 is a failed open. Open gets the C
// run-time open flags (0x8000 binary, 0 read, 0x0001 write, 0x0002 read-write, 0x0100 create).
class TFdiFiles {
public:
    virtual ~TFdiFiles() = default;
    virtual std::intptr_t Open(const std::string& FileName, int OpenFlags, int Mode) = 0;
    virtual std::int64_t Read(std::intptr_t Handle, void* Buffer, std::int64_t Count) = 0;
    // The data of the file being copied (Handle is the one copy file gave).
    virtual std::int64_t Write(std::intptr_t Handle, const void* Buffer, std::int64_t Count) = 0;
    virtual int Close(std::intptr_t Handle) = 0;
    // SeekType: 0 from the start, 1 from the current position, 2 from the end. -1 on failure.
    virtual std::int64_t Seek(std::intptr_t Handle, std::int64_t Distance, int SeekType) = 0;
};

// The notification routine: copy file answers a handle (0 skips the file), the others 0;
// -1 aborts the copy. Next cabinet answered with an empty psz1: the cabinet cannot be had.
using TFdiNotify = std::function<std::intptr_t(TFdiNotificationType Type, TFdiNotification& Notification)>;

class TFdiContext {
public:
    // Null (with Erf set) when the library cannot be used.
    static std::unique_ptr<TFdiContext> Create(TFdiFiles& Files, TFdiErf& Erf);
    ~TFdiContext();
    TFdiContext(const TFdiContext&) = delete;
    TFdiContext& operator=(const TFdiContext&) = delete;

    // Whether the file open at Handle is a cabinet; fills Info when it is.
    bool IsCabinet(std::intptr_t Handle, TFdiCabinetInfo& Info);
    // Copies the files that begin in CabinetPath + CabinetName. False with the error record
    // set when the copy failed or was aborted. An exception thrown by a callback ends the
    // copy and is thrown on from here.
    bool Copy(const std::string& CabinetName, const std::string& CabinetPath, const TFdiNotify& Notify);

    class TImpl;

private:
    explicit TFdiContext(std::unique_ptr<TImpl> Impl);
    std::unique_ptr<TImpl> FImpl;
};
