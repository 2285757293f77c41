// The job guard: whatever an event handler throws ends a lister, reader or writer job with
// the error code of its kind, reported once through OnError; OnDeactivate still fires, the
// state the job changed is restored, and a writer's old archive stays byte for byte.
#include "engine/core/krvZipCommon.h"

#include "ExtractRun.h"
#include "ListerSupport.h"
#include "TestSupport.h"
#include "ZipBuilder.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/formats/zip/krvZip.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>

using namespace testsupport;

namespace {

struct TThrowCase {
    const char* Kind;
    std::function<void()> Throw;
    int Code;
};

const std::vector<TThrowCase>& ThrowCases() {
    static const std::vector<TThrowCase> cases = {
        {"E_RAISE", [] { throw E_RAISE(ecBadBlock); }, ecBadBlock},
        {"bad_alloc", [] { throw std::bad_alloc(); }, ecOutOfMemory},
        {"read error", [] { throw EReadError(); }, ecErrorReadingFile},
        {"write error", [] { throw EWriteError(0); }, ecErrorWritingToFile},
        {"full disk", [] { throw EWriteError(ecDiskFull); }, ecDiskFull},
        {"stream error", [] { throw EStreamError("seek"); }, ecStreamReadWriteError},
        {"invalid_argument", [] { throw std::invalid_argument("x"); }, ecUnknownError},
        {"out_of_range", [] { throw std::out_of_range("x"); }, ecUnknownError},
        {"length_error", [] { throw std::length_error("x"); }, ecUnknownError},
        {"runtime_error", [] { throw std::runtime_error("x"); }, ecUnknownError},
        {"no std::exception", [] { throw 42; }, ecUnknownError},
    };
    return cases;
}

class JobGuard : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Dir / "src");
        WriteFile(Dir / "src" / "new.txt", std::string(100000, 'n'));
        WriteFile(Archive(), MakeStoredZip(TZipSpec{{{"a.txt", std::string(70000, 'a')}, {"b.txt", "bee"}}}));
        Old = ReadFile(Archive());
    }
    fs::path Archive() const { return Dir / "old.zip"; }

    TempDir Dir;
    std::string Old;
};

} // namespace

TEST_F(JobGuard, AnExceptionFromAHandlerEndsEachJobWithTheCodeOfItsKind) {
    for (const TThrowCase& c : ThrowCases()) {
        SCOPED_TRACE(c.Kind);
        int deactivated = 0;
        const auto count = [&](TZipCommon&) { ++deactivated; };

        const TListing listing = ListArchive(Archive().string(), [&](TKorva& K) {
            K.OnRead = [&](TZipCommon&, std::int64_t, int) { c.Throw(); };
            K.OnDeactivate = count;
        });
        EXPECT_FALSE(listing.Result);
        ASSERT_EQ(listing.Errors.size(), 1U) << listing.Describe();
        EXPECT_EQ(listing.Errors[0].Code, c.Code);
        EXPECT_EQ(deactivated, 1) << "lister";

        const fs::path dest = Dir / "out";
        const ExtractResult extracted = ExtractAll(Archive(), dest, [&](TUnBase& U) {
            U.OnProgress = [&](TZipCommon&, std::uint8_t, std::uint8_t) { c.Throw(); };
            U.OnDeactivate = count;
            U.SetArchiveFile(Archive().string());
        });
        EXPECT_EQ(extracted.Returned, 0);
        ASSERT_EQ(extracted.Errors.size(), 1U) << extracted.Describe();
        EXPECT_EQ(extracted.Errors[0].second, c.Code);
        EXPECT_EQ(deactivated, 2) << "reader";
        EXPECT_FALSE(fs::exists(dest / "a.txt")) << "an unfinished entry is not put in place";

        TZip writer;
        std::vector<int> codes;
        writer.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&,
                             int Code) { codes.push_back(Code); };
        writer.SetArchiveFile(Archive().string());
        writer.FileSpec = {(Dir / "src" / "*").string()};
        writer.OnProgress = [&](TZipCommon&, std::uint8_t, std::uint8_t) { c.Throw(); };
        writer.OnDeactivate = count;
        EXPECT_EQ(writer.Compress(), 0);
        EXPECT_EQ(codes, std::vector<int>{c.Code});
        EXPECT_EQ(deactivated, 3) << "writer";
        EXPECT_EQ(ReadFile(Archive()), Old);
        std::vector<std::string> left;
        fs::remove_all(dest);
        for (const auto& f : fs::directory_iterator(Dir.Path()))
            left.push_back(f.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{"old.zip", "src"})) << "no temporary file stays";
    }
}

TEST_F(JobGuard, AnOnErrorThatThrowsInTurnStillLetsTheJobEnd) {
    int deactivated = 0;
    const TListing listing = ListArchive(Archive().string(), [&](TKorva& K) {
        K.OnRead = [](TZipCommon&, std::int64_t, int) { throw std::runtime_error("in OnRead"); };
        K.OnError = [](TZipCommon&, const std::string&, const std::string&, const std::string&, int) {
            throw std::logic_error("in OnError");
        };
        K.OnDeactivate = [&](TZipCommon&) { ++deactivated; };
    });
    EXPECT_FALSE(listing.Result);
    EXPECT_EQ(deactivated, 1);
}
