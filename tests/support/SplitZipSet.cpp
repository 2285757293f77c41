#include "SplitZipSet.h"

#include "DiskRequests.h"
#include "TestSupport.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace testsupport {

TSplitZipSet MakeSplitZipSet(const fs::path& Source, const fs::path& Last, const std::string& PieceSize,
                             const fs::path& Joined, bool Comments) {
    TSplitZipSet set;
    std::vector<std::string> argv{"zip", "-q", "-r", "-s", PieceSize};
    // zip -c asks for one line of comment per entry on its input.
    std::string comments;
    if (Comments) {
        argv.push_back("-c");
        int entries = 0;
        for (auto it = fs::recursive_directory_iterator(Source); it != fs::recursive_directory_iterator();
             ++it)
            comments += SplitSetComment(++entries) + "\n";
    }
    argv.insert(argv.end(), {Last.string(), "."});
    const ToolResult z = RunTool(argv, Source, comments);
    if (z.ExitCode != 0) {
        ADD_FAILURE() << "zip -s " << PieceSize << " failed: " << z.Err;
        return set;
    }
    const ToolResult j = RunTool({"zip", "-q", "-s", "0", Last.string(), "--out", Joined.string()});
    if (j.ExitCode != 0) {
        ADD_FAILURE() << "zip -s 0 failed: " << j.Err;
        return set;
    }
    set.Pieces = SplitPieces(Last);
    set.Joined = Joined;
    const std::string last = ReadFile(Last);
    if (last.size() >= TZipEndRecord::Size)
        set.End = TZipEndRecord::FromBytes(reinterpret_cast<const std::uint8_t*>(last.data()) + last.size() -
                                           TZipEndRecord::Size);
    return set;
}

std::string SplitSetComment(int Number) {
    return "comment " + std::to_string(Number) + " " + std::string(200, '-');
}

void WriteManySmallFiles(const fs::path& Folder, int Count) {
    fs::create_directories(Folder);
    for (int i = 0; i < Count; ++i)
        WriteFile(Folder / ("a-file-with-a-rather-long-name-that-makes-the-directory-grow-" +
                            std::to_string(i) + ".txt"),
                  "file " + std::to_string(i) + "\n");
}

} // namespace testsupport
