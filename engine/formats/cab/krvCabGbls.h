// What the cabinet reader and writer share: the file handler whose handles are engine
// streams (the cabinet library does all its file work through it), the exception of the
// cabinet units and the two builders of compression words.
#pragma once

#include "engine/core/krvStreams.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// C run-time open flags as the cabinet library passes them.
inline constexpr int cabOpenWrite = 0x0001;
inline constexpr int cabOpenReadWrite = 0x0002;
inline constexpr int cabOpenCreate = 0x0100;
inline constexpr int cabOpenExclusive = 0x0400;

// Every operation reports a platform error number through Err (0 = no error).
class TCabinetFileHandler {
public:
    virtual ~TCabinetFileHandler() = default;
    virtual std::intptr_t Open(const std::string& FileName, int OpenFlags, int Mode, int& Err) = 0;
    virtual std::int64_t Read(std::intptr_t Handle, void* Buffer, std::int64_t Count, int& Err) = 0;
    virtual std::int64_t Write(std::intptr_t Handle, const void* Buffer, std::int64_t Count, int& Err) = 0;
    virtual int Close(std::intptr_t Handle, int& Err) = 0;
    virtual std::int64_t Seek(std::intptr_t Handle, std::int64_t Distance, int SeekType, int& Err) = 0;
    virtual int Delete(const std::string& FileName, int& Err) = 0;
};

// Handles are the descriptors of the file streams it keeps open.
class TStreamCabinetFileHandler : public TCabinetFileHandler {
public:
    std::intptr_t Open(const std::string& FileName, int OpenFlags, int Mode, int& Err) override;
    std::int64_t Read(std::intptr_t Handle, void* Buffer, std::int64_t Count, int& Err) override;
    std::int64_t Write(std::intptr_t Handle, const void* Buffer, std::int64_t Count, int& Err) override;
    int Close(std::intptr_t Handle, int& Err) override;
    std::int64_t Seek(std::intptr_t Handle, std::int64_t Distance, int SeekType, int& Err) override;
    int Delete(const std::string& FileName, int& Err) override;

private:
    TFileStream32* Find(std::intptr_t Handle) const;
    template <typename F> std::int64_t Transfer(std::intptr_t Handle, std::int64_t Count, int& Err, F Move);
    std::vector<std::unique_ptr<TFileStream32>> FStreams;
};

class ECabinetError : public std::runtime_error {
public:
    ECabinetError(int ErrorCode, int ErrorType);
    int ErrorCode;
    int ErrorType;
};

// The cabinet Name (taken as a bare file name) in Folder (which ends in a separator or is
// empty), or one whose name differs only in case (sets made where names ignore case name their
// cabinets so). Folder + the bare name when there is neither.
std::string FindCabinetFile(const std::string& Folder, const std::string& Name);
// The last part of a path.
std::string CabinetNameOf(const std::string& Path);

std::uint16_t MakeQuantumCompression(int Type, int Level, int Memory);
std::uint16_t MakeLzxCompression(int Window);
[[noreturn]] void RaiseCabinetError(int ErrorCode, int ErrorType);
