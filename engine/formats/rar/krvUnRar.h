// The rar reader: extracts or tests the entries of a rar archive (rar 1.5 to 5, volumes)
// through the rar library, which is loaded at run time. The library decodes; the reader
// selects, asks, counts, and writes each entry's data through the reader base's verified
// output, so a file is replaced only by an entry that decoded whole.
#pragma once

#include "engine/core/krvUnBase.h"
#include "engine/read/krvLibraryScan.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

struct RARHeaderData;

class TUnRar : public TUnLibraryBase {
public:
    TUnRar();
    ~TUnRar() override;

    // The library of this process, loaded on first use; false when it cannot be.
    static bool LibraryAvailable();
    // The engine error a result code of the library is reported as (0: none).
    static int LibraryError(int ResultCode);

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;

private:
    struct TLibraryBinding;
    static const TLibraryBinding* Binding();

    void Run(bool TestMode);
    // The entry the header describes; 0, or the library's result code that ends the run.
    int ProcessEntry(void* Handle, const RARHeaderData& Header, bool TestMode);
    // Passes over the entry's data; 0, or the result code that ends the run.
    int Skip(void* Handle);
    // 0 when the run goes on after the result of processing an entry, else that result.
    static int Continues(int Result);
    static bool IsDirectory(const RARHeaderData& Header);
    // Fails the selected files from FReached on, which the run did not come to, with ECode.
    void FailUnreached(int ECode);
    int Process(void* Handle, int Operation);
    static int RarDllCallback(unsigned Msg, std::intptr_t UserData, std::intptr_t P1, std::intptr_t P2);
    int Callback(unsigned Msg, std::intptr_t P1, std::intptr_t P2);
    int ChangeVolume(char* Name);
    int ProcessData(const void* Data, std::int64_t Count);
    int NeedPassword(char* Buffer, std::int64_t Size);

    std::size_t FNextScanned = 0; // the scanned file the next entry is looked for from
    std::size_t FReached = 0;     // selected files the library has come to
    int FOperation = 0;           // 0 skip, 1 test, 2 extract
    std::int64_t FEntrySize = 0;
    std::int64_t FReceived = 0;
    std::uint32_t FEntryCrc = 0; // running CRC-32 of the entry's data
    std::string FStoredName;
    std::exception_ptr FPending; // thrown inside a callback, thrown on after the library call
};
