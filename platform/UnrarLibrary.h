// The interface of the rar extraction library (libquillar-unrar.so, built over libarchive):
// its records, result codes, callback messages and the five calls, as the rar bridge loads
// them at run time. The library and the bridge both include this header.
#pragma once

#include <cstdint>

extern "C" {

// Result codes of the calls (0 = success).
enum : int {
    ERAR_END_ARCHIVE = 10,
    ERAR_NO_MEMORY = 11,
    ERAR_BAD_DATA = 12,
    ERAR_BAD_ARCHIVE = 13,
    ERAR_UNKNOWN_FORMAT = 14, // also: an entry the library cannot decode (enciphered data)
    ERAR_EOPEN = 15,
    ERAR_ECREATE = 16,
    ERAR_ECLOSE = 17,
    ERAR_EREAD = 18,
    ERAR_EWRITE = 19,
    ERAR_MISSING_VOLUME = 21,
    ERAR_BAD_PASSWORD = 22,
};

// Open modes and processing operations.
enum : unsigned { RAR_OM_LIST = 0, RAR_OM_EXTRACT = 1 };
enum : int { RAR_SKIP = 0, RAR_TEST = 1, RAR_EXTRACT = 2 };

// Callback messages. Change volume: P1 is a buffer of RAR_NAME_SIZE bytes holding the name
// of the volume that is needed (the callback may put another name there). Process data: P1
// the data, P2 their count. Need password: P1 a buffer of P2 bytes for the password.
// Answer 0 to go on, -1 to abort.
enum : unsigned { UCM_CHANGEVOLUME = 0, UCM_PROCESSDATA = 1, UCM_NEEDPASSWORD = 2 };

inline constexpr int RAR_NAME_SIZE = 4096;

// Header flags.
inline constexpr unsigned RHDF_SPLITBEFORE = 0x01;
inline constexpr unsigned RHDF_SPLITAFTER = 0x02;
inline constexpr unsigned RHDF_ENCRYPTED = 0x04;
inline constexpr unsigned RHDF_DIRECTORY = 0x20;

struct RAROpenArchiveData {
    const char* ArcName;
    unsigned OpenMode;
    unsigned OpenResult;
    char* CmtBuf;
    unsigned CmtBufSize;
    unsigned CmtSize;
    unsigned CmtState;
};

struct RARHeaderData {
    char ArcName[RAR_NAME_SIZE];  // the volume the entry begins in
    char FileName[RAR_NAME_SIZE]; // UTF-8, '/'-separated
    unsigned Flags;
    std::uint64_t PackSize;
    std::uint64_t UnpSize;
    unsigned HostOS;   // 3 = Unix
    unsigned FileCRC;  // 0 when the library does not know it
    unsigned FileTime; // packed DOS date-time
    unsigned UnpVer;
    unsigned Method;
    unsigned FileAttr; // DOS attributes, or the Unix mode when HostOS is 3
    char* CmtBuf;
    unsigned CmtBufSize;
    unsigned CmtSize;
    unsigned CmtState;
};

using UNRARCALLBACK = int (*)(unsigned Msg, std::intptr_t UserData, std::intptr_t P1, std::intptr_t P2);

using TRAROpenArchive = void* (*)(RAROpenArchiveData* ArchiveData);
using TRARCloseArchive = int (*)(void* Handle);
using TRARReadHeader = int (*)(void* Handle, RARHeaderData* HeaderData);
// DestName: the file to write for RAR_EXTRACT (written beside it first, renamed when whole).
using TRARProcessFile = int (*)(void* Handle, int Operation, char* DestPath, char* DestName);
using TRARSetCallback = void (*)(void* Handle, UNRARCALLBACK Callback, std::intptr_t UserData);

} // extern "C"

// The library's file name, looked for beside the program (and in the folder above it),
// then where the system looks for libraries.
inline constexpr const char* UnrarLibraryName = "libquillar-unrar.so";
