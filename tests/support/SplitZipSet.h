// Split sets made by Info-ZIP's zip -s, for the tests of reading sets disk by disk: the
// pieces in disk order and the same set joined into one archive by zip -s 0.
#pragma once

#include "engine/formats/zip/krvZipRecords.h"

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

struct TSplitZipSet {
    std::vector<std::filesystem::path> Pieces; // NAME.z01, NAME.z02, ..., NAME.zip
    std::filesystem::path Joined;
    TZipEndRecord End; // the last piece's end record

    const std::filesystem::path& Last() const { return Pieces.back(); }
};

// Makes Last (its pieces beside it) of every file below Source with pieces of PieceSize
// (zip's notation, e.g. "64k"), and the joined archive Joined. With Comments the entries
// carry the comments SplitSetComment(1), SplitSetComment(2) ... in the directory's order. A
// failure of zip is a test failure, and the set returned then has no pieces.
TSplitZipSet MakeSplitZipSet(const std::filesystem::path& Source, const std::filesystem::path& Last,
                             const std::string& PieceSize, const std::filesystem::path& Joined,
                             bool Comments = false);

// The comment of the Number-th entry (1-based) of a set made with comments: long enough to
// make up most of its directory record.
std::string SplitSetComment(int Number);

// Writes Count small files with long names into Folder: a few thousand of them make a
// directory that fills several pieces of 64 KiB.
void WriteManySmallFiles(const std::filesystem::path& Folder, int Count);

} // namespace testsupport
