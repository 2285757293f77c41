// Answering a reader's or the lister's requests for the disks of a spanned zip set, for the
// tests and krvprobe: the pieces of a split set in disk order, and event handlers that insert
// the disk asked for. Header-only, so that krvprobe uses it without the test library.
#pragma once

#include "engine/core/krvZipCommon.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// The pieces of the split set whose last piece is Last (NAME.zip): NAME.z01, NAME.z02 ... as
// far as they exist, then Last.
inline std::vector<std::filesystem::path> SplitPieces(const std::filesystem::path& Last) {
    std::vector<std::filesystem::path> pieces;
    std::filesystem::path stem = Last;
    stem.replace_extension();
    for (int n = 1; n < 100; ++n) {
        char ext[8];
        std::snprintf(ext, sizeof ext, ".z%02d", n);
        std::filesystem::path piece = stem;
        piece += ext;
        if (!std::filesystem::exists(piece)) break;
        pieces.push_back(piece);
    }
    pieces.push_back(Last);
    return pieces;
}

struct TDiskAnswers {
    int DiskCount = 0;                         // the set's disks; the last is asked for by number
    std::function<bool(int Number)> Insert;    // puts disk Number (1-based) in; false: no such disk
    std::vector<std::string>* Asked = nullptr; // notes each request: "last", "first", "next N"
    std::function<bool(const std::string& Volume)> GiveUpAt; // true: the next disk Volume is refused
};

// Sets Component's OnGetZipLastDisk, OnGetZipFirstDisk and OnGetZipNextDisk to insert the disk
// asked for.
inline void AnswerDiskRequests(TZipCommon& Component, TDiskAnswers Answers) {
    auto a = std::make_shared<TDiskAnswers>(std::move(Answers));
    auto note = [a](const std::string& Request) {
        if (a->Asked) a->Asked->push_back(Request);
    };
    Component.OnGetZipLastDisk = [a, note](TZipCommon&, bool& Cancel) {
        note("last");
        Cancel = !a->Insert(a->DiskCount);
    };
    Component.OnGetZipFirstDisk = [a, note](TZipCommon&, bool& Cancel) {
        note("first");
        Cancel = !a->Insert(1);
    };
    Component.OnGetZipNextDisk = [a, note](TZipCommon&, const std::string& Volume, bool& Cancel) {
        note("next " + Volume);
        if (a->GiveUpAt && a->GiveUpAt(Volume)) return;
        Cancel = !a->Insert(std::atoi(Volume.c_str()));
    };
}

// Answers every disk question OK without changing the disk, as the program's automatic
// prompter does: the engine finds the pieces of a split set by name, and a missing one ends
// the job with one error.
inline void AnswerDiskRequestsOk(TZipCommon& Component) {
    Component.OnGetZipLastDisk = [](TZipCommon&, bool& Cancel) { Cancel = false; };
    Component.OnGetZipFirstDisk = [](TZipCommon&, bool& Cancel) { Cancel = false; };
    Component.OnGetZipNextDisk = [](TZipCommon&, const std::string&, bool& Cancel) { Cancel = false; };
}

} // namespace testsupport
