// The interface of the ace extraction library as the ace bridge loads it at run time: the
// initialisation, test and extract records, the callback records, their kinds and codes, the
// answers, and the five calls. No Linux build of the library exists: the product reports the
// library as missing; the tests load a test double that speaks this interface.
#pragma once

#include <cstdint>

extern "C" {

// Callback answers.
enum : int { ACE_CALLBACK_RETURN_OK = 0, ACE_CALLBACK_RETURN_NO = 1, ACE_CALLBACK_RETURN_CANCEL = 2 };

// Callback kinds (the first field of every callback record).
enum : int {
    ACE_CALLBACK_TYPE_ARCHIVE = 1,
    ACE_CALLBACK_TYPE_FILE = 2,
    ACE_CALLBACK_TYPE_PROGRESS = 7,
    ACE_CALLBACK_TYPE_CRCCHECK = 8,
};

// Callback codes.
enum : int {
    ACE_CALLBACK_INFO_FILELISTCREATE = 281,
    ACE_CALLBACK_INFO_FILELISTCREATEEND = 282,
    ACE_CALLBACK_INFO_FILELISTADD = 320,
    ACE_CALLBACK_REQUEST_CHANGEVOLUME = 801,
    ACE_CALLBACK_REQUEST_OVERWRITE = 832,
    ACE_CALLBACK_REQUEST_PASSWORD = 835,
    ACE_CALLBACK_STATE_STARTARCHIVE = 1024,
    ACE_CALLBACK_STATE_STARTFILE = 1040,
    ACE_CALLBACK_STATE_PROGRESS = 1104,
    ACE_CALLBACK_STATE_ENDCRCCHECK = 1168,
    ACE_CALLBACK_ERROR_READ = 100,
    ACE_CALLBACK_ERROR_WRITE = 101,
    ACE_CALLBACK_ERROR_CORRUPTED = 102,
    ACE_CALLBACK_ERROR_UNSUPPORTED = 103,
};

inline constexpr int ACE_NAME_SIZE = 4096;

struct TAceArchiveData {
    char ArchiveName[ACE_NAME_SIZE]; // the volume being read; the next one's on a volume request
    unsigned VolumeNumber;           // of the volume being read, or the one requested
};

struct TAceFileData {
    const char* SourceFileName;      // the name as stored ('\' or '/'-separated)
    const char* DestinationFileName; // the file the library writes (extraction)
    unsigned Flags;
    std::uint32_t CRC32;
    std::uint64_t Size;
    std::uint64_t CompressedSize;
    std::uint32_t Time; // packed DOS date-time
    std::uint32_t Attributes;
};

// The record every callback receives; what a kind does not use is null or 0.
struct TAceCallbackData {
    int StructureType;
    int Code;
    TAceArchiveData* Archive;
    TAceFileData* File;
    const void* Buffer;       // progress: the data block (test runs)
    std::uint64_t BufferSize; // its size
    const char* Password;     // password request: set by the callback
    int CrcOk;                // file end: the library's CRC verdict
};

using TAceCallback = int (*)(TAceCallbackData* Data);

struct TAceInitDllStruc {
    std::uintptr_t CallerData;
    std::uint32_t MaxArchiveTestBytes; // 0x1FFFF
    std::uint32_t MaxFileBufSize;      // 0x2FFFF
    char* CommentBuf;
    std::uint32_t CommentBufSize; // 8191
    char* TempDir;
    TAceCallback InfoCallback;
    TAceCallback ErrorCallback;
    TAceCallback RequestCallback;
    TAceCallback StateCallback;
};

struct TAceFilesStruc {
    const char* SourceDir;
    const char* FileList; // empty: every file
    const char* ExcludeList;
    int FullMatch;
};

struct TAceTestStruc {
    TAceFilesStruc Files;
    const char* DecryptPassword;
};

struct TAceExtractStruc {
    TAceFilesStruc Files;
    const char* DestinationDir;
    int ExcludePath; // -1: every file directly into DestinationDir
    const char* DecryptPassword;
};

using TACEInitDll = int (*)(TAceInitDllStruc* Init);
using TACEReadArchiveData = int (*)(const char* ArchiveName, void* Data);
using TACEList = int (*)(const char* ArchiveName, void* List);
using TACETest = int (*)(const char* ArchiveName, TAceTestStruc* Test);
using TACEExtract = int (*)(const char* ArchiveName, TAceExtractStruc* Extract);

} // extern "C"

// The library's file name, looked for as LoadLibraryQuiet looks.
inline constexpr const char* AceLibraryName = "libunacev2.so";
