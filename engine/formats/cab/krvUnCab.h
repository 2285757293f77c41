// The cabinet reader: extracts the files of a cabinet or a set of cabinets. The cabinet
// library does the decompression; the reader answers its notifications with the reader
// base's rules (selection, overwrite questions, the verified output, dates, attributes,
// progress) and finds the next cabinet of a set.
#pragma once

#include "engine/core/krvUnBase.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

class TCabinetFileHandler;
class TFdiContext;
struct TFdiCabinetInfo;
struct TFdiErf;
struct TFdiNotification;

class TUnCab : public TUnBase {
public:
    TUnCab();
    ~TUnCab() override;

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) override;

    // The notifications, as the library sends them during a copy.
    virtual void DoCabinetInfo(const TFdiNotification& Info);
    // A file continued from a cabinet before the first one copied.
    virtual void DoPartialFile(const TFdiNotification& File);
    // The output handle for the file (0 skips it).
    virtual std::intptr_t DoCopyFile(const TFdiNotification& File);
    virtual void DoCloseFileInfo(const TFdiNotification& File);
    // False when the next cabinet cannot be found (the copy is then aborted).
    virtual bool DoNextCabinet(TFdiNotification& Next);

private:
    class TFiles;

    bool IsCabinet(const std::string& Name, TFdiCabinetInfo& Info);
    // What IsCabinet learns, without a report; false when Name is no cabinet.
    bool CabinetInfo(const std::string& Name, TFdiCabinetInfo& Info);
    // The first cabinet of the set Name (of Info) belongs to, found by the names of the
    // cabinets before it (beside it, or asked for); Name when it is the first. Where the walk
    // back breaks off, the break is reported and the earliest cabinet found is given.
    std::string FirstOfSet(const std::string& Name, TFdiCabinetInfo Info);
    // Takes the file as the current entry: selection, names, date, the confirmation and the
    // overwrite rules; false when it is not to be extracted (accounted for as skipped).
    bool BeginFile(const TFdiNotification& File);
    // Adds the sizes of the selected files of Name to the job's totals; false when the
    // cabinet cannot be read (reported).
    bool CountCabinet(const std::string& Name);
    bool CopyCabinet(const std::string& Name);
    // Reports what the library's error record holds (for the cabinet Cabinet); false when it
    // holds an error.
    bool CheckErf(const std::string& Cabinet);
    std::int64_t WriteData(const void* Buffer, std::int64_t Count);
    std::string StoredName(const TFdiNotification& File) const;

    std::unique_ptr<TCabinetFileHandler> FHandler;
    std::unique_ptr<TFiles> FFiles;
    std::unique_ptr<TFdiErf> FErf;
    std::unique_ptr<TFdiContext> FContext;
    // The cabinets found for next-cabinet notifications, by the name the set gives them.
    std::map<std::string, std::string> FSupplied;
    // The next cabinets that could not be had.
    std::set<std::string> FDeclined;
    std::string FCopyingCabinet;

    bool FFirstCabinetInfo = false;
    std::string FNextCabinet;
    std::string FNextDisk;
    std::string FCabinetPath;
    std::uint16_t FSetID = 0;
    std::uint16_t FCabinetNumber = 0;
    // The current file.
    std::string FStoredName;
    bool FCopying = false;
    std::int64_t FFileSize = 0;
    std::int64_t FBytesExpected = 0;
};
