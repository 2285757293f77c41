// Damaged archives made from whole ones of the corpus (or from a tar.gz GNU tar makes here) by
// cutting them short or changing a byte, with the tool that tests each and the tool that
// extracts the whole archive: the cases that the readers' interop table and the verdict
// agreement table of the program share.
#pragma once

#include "TestSupport.h"

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace testsupport {

using TArgv = std::vector<std::string>;

struct TDamageCase {
    const char* Name;
    // A corpus archive, or (empty) a tar.gz GNU tar makes of twelve text files.
    const char* Source;
    std::int64_t CutAt;  // the archive is cut to this many bytes (a tar.gz: per cent of its size)
    std::int64_t ByteAt; // the byte there is changed (a tar.gz: at per cent of its size)
    int Xor;             // by this mask
    // The tool's test of the damaged archive ({} stands for it), run in a folder of its own:
    // a failing exit status says it is damaged.
    TArgv PeerTest;
    // The tool that extracts the whole archive ({} the archive, {out} the folder).
    TArgv Reference;
    int MinOut; // files that must come out
    // The damage costs no entry: the tool finds nothing wrong.
    bool Harmless = false;
    // The archive is whole, but an entry of it (a link, which is never made) is reported
    // skipped by the extraction, which fails where the test and the tool pass.
    bool SkipsAnEntry = false;

    bool Changed() const { return CutAt >= 0 || ByteAt >= 0; }
};

inline void PrintTo(const TDamageCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

// The damaged zoo, arc, rar 5, tar, tar.gz, lha and arj archives.
const std::vector<TDamageCase>& DamagedReaderCases();

struct TDamagedArchive {
    fs::path Whole;   // the archive before the damage
    fs::path Damaged; // in Dir, named "damaged" with the whole one's extension
};
// Makes Case's damaged archive in Dir.
TDamagedArchive MakeDamaged(const TDamageCase& Case, const fs::path& Dir);

// Argv with "{}" replaced by Archive and "{out}" by Out.
TArgv Substitute(TArgv Argv, const fs::path& Archive, const fs::path& Out = {});

// The files (not folders) below Root and their bytes; a leading "./" (tar's) is dropped.
std::map<std::string, std::string> FilesOf(const fs::path& Root);

} // namespace testsupport
