// The records of one cabinet as its file holds them (header, folders with the sizes their data
// blocks give, files), read with every bound, and the faults found in them before any file is
// copied: records cut short or counted wrong, data blocks past the end, and file ranges that
// overlap, leave gaps or run past their folder's data. The files of a folder lie end to end
// from its start, so where two neighbours disagree the one whose single field explains it is
// blamed: a file out of place at both ends has a wrong offset, else the size of the file before
// the disagreement is wrong.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TFdiFiles;

struct TCabRecords {
    struct TFolder {
        std::int64_t DataAt = 0;
        std::uint16_t Blocks = 0;
        std::uint16_t CompType = 0;
        std::int64_t Size = 0; // the output its blocks give
        bool Whole = true;     // every block lies within the file
        bool Spans = false;    // it continues from or into another cabinet
    };
    struct TFile {
        std::int64_t Length = 0;
        std::uint32_t Offset = 0;
        std::uint16_t Folder = 0;
        std::uint16_t Date = 0;
        std::uint16_t Time = 0;
        std::uint16_t Attribs = 0;
        std::string Name;
        std::string Fault;   // why its range cannot be right (empty: it can)
        std::int64_t At = 0; // where its record lies
        bool ContinuedFromPrev() const { return Folder == 0xFFFD || Folder == 0xFFFF; }
        bool Continued() const { return Folder >= 0xFFFD; }
    };
    bool Read = false; // the header could be read
    std::uint16_t Flags = 0;
    std::uint16_t SetID = 0;
    std::uint16_t Index = 0;
    std::uint8_t VersionMinor = 0;
    std::uint8_t VersionMajor = 0;
    std::string NextName;
    std::string NextDisk;
    std::string Prefix; // the bytes before the folder records (header, reserve, names)
    int FolderReserve = 0;
    std::vector<TFolder> Folders;
    std::vector<TFile> Files;
    std::vector<std::string> Faults; // of the cabinet as a whole
};

// The records of the cabinet open at Handle, and their faults.
TCabRecords ReadCabRecords(TFdiFiles& Files, std::intptr_t Handle);
// The faults of the cabinet as a whole in one text (a few of them: a hostile cabinet may hold one
// per folder), with More behind them.
std::string CabFaultText(const TCabRecords& Records, const std::string& More = {});
// For a cabinet of no set that the library cannot open: its header with the records of the
// folders whose data lie in the file and of their files whose ranges can be right, to be read
// in place of the cabinet's own bytes before the data. Empty when no file is left or the header
// would not end before the data.
std::string RebuiltHeader(const TCabRecords& Records);
