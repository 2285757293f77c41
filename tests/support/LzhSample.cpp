#include "LzhSample.h"

#include "TestSupport.h"

#include "engine/formats/lha/krvLhaRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace testsupport {

LzhSample FirstLzhEntry(const std::string& Sample, const std::filesystem::path& Work) {
    const fs::path archive = CorpusDir() / Sample;
    const std::string bytes = ReadFile(archive);
    const TReadAtFunc read = [&bytes](std::int64_t At, void* Buffer, std::int64_t Count) {
        const std::int64_t n = std::clamp<std::int64_t>(std::ssize(bytes) - At, 0, Count);
        std::memcpy(Buffer, bytes.data() + At, static_cast<std::size_t>(n));
        return n;
    };
    TLhaHeader h;
    EXPECT_EQ(ReadLhaHeader(read, 0, std::ssize(bytes), h), TLhaRead::Ok) << Sample;
    const fs::path out = Work / ("lhasa-" + archive.stem().string());
    fs::create_directories(out);
    const ToolResult t = RunTool({"lhasa", "xq", archive.string()}, out);
    EXPECT_EQ(t.ExitCode, 0) << Sample << ": " << t.Err;
    return {h.Method,
            bytes.substr(static_cast<std::size_t>(h.DataPos), static_cast<std::size_t>(h.PackedSize)),
            ReadFile(out / h.Name)};
}

} // namespace testsupport
