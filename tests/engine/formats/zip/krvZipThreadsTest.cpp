// The zip writer on several threads: the archive's bytes, the events and their arguments are
// those of a one-thread run, with a password too; a cancel at any point leaves the old archive
// byte-identical and no temporary behind.
#include "ZipWriterFixture.h"

#include <sstream>

using namespace testsupport;

namespace {

class ZipThreadsTest : public ZipWriterFixture {
protected:
    void SetUp() override {
        ZipWriterFixture::SetUp();
        // Files below, at and above each size the writer treats apart: stored trial, deflated
        // ahead on the workers, deflated whole on the job's thread, streamed.
        for (int i = 0; i < 40; ++i)
            Put("small/f" + std::to_string(i) + ".txt", TextBytes(100 + i * 1500, i));
        Put("random.bin", RandomBytes(300000, 1));
        Put("exactly-8MiB.txt", TextBytes(8 << 20, 2));
        Put("twelve-MiB.txt", TextBytes(12 << 20, 3));
        Put("seventeen-MiB.txt", TextBytes(17 << 20, 4));
        // Deflated in blocks on the threads: text, then noise in stored blocks, then text.
        Put("mixed.bin", TextBytes(6 << 20, 6) + RandomBytes((9 << 20) + 77, 7) + TextBytes(3 << 20, 8));
        Put("a.zip", RandomBytes(5000, 5)); // a stored type
    }

    // Makes the archive with Threads and records every event with its arguments.
    std::string Run(unsigned Threads, const std::string& Password, std::string& Events) {
        fs::remove(Archive());
        auto z = Writer();
        z->Threads = Threads;
        z->Password = Password;
        z->RecurseDirs = true;
        std::ostringstream log;
        z->OnBegin = [&](TZipCommon&, const std::string& Name, int Count, bool&) {
            log << "begin " << Name << " " << Count << "\n";
        };
        z->OnEnd = [&](TZipCommon&, const std::string& Name, bool Pass) {
            log << "end " << Name << " " << Pass << "\n";
        };
        z->OnProgress = [&](TZipCommon&, std::uint8_t File, std::uint8_t Archive) {
            log << "progress " << int(File) << " " << int(Archive) << "\n";
        };
        EXPECT_EQ(z->Compress(), 46);
        Events = log.str();
        return ReadFile(Archive());
    }
};

TEST_F(ZipThreadsTest, FourThreadsGiveTheBytesAndEventsOfOne) {
    for (const std::string password : {"", "secret"}) {
        SCOPED_TRACE(password);
        std::string eventsOne, eventsFour;
        const std::string one = Run(1, password, eventsOne);
        const std::string four = Run(4, password, eventsFour);
        EXPECT_EQ(eventsFour, eventsOne);
        if (password.empty()) {
            EXPECT_TRUE(one == four) << "the archives differ";
            EXPECT_EQ(RunTool({"unzip", "-tqq", Archive().string()}).ExitCode, 0);
        } else {
            // The cipher headers are random; the data and every record's sizes are alike.
            EXPECT_EQ(one.size(), four.size());
            EXPECT_EQ(RunTool({"unzip", "-tqq", "-P", password, Archive().string()}).ExitCode, 0);
        }
        EXPECT_TRUE(Errors.empty());
    }
}

TEST_F(ZipThreadsTest, ACancelAtAnyPointUnderFourThreadsLeavesTheOldArchive) {
    TZipSpec spec;
    spec.Add("old.txt", TextBytes(5000, 8));
    const std::string old = MakeStoredZip(spec);
    for (int at : {1, 2, 5, 17, 30, 44}) {
        SCOPED_TRACE(at);
        WriteFile(Archive(), old);
        auto z = Writer();
        z->Threads = 4;
        z->RecurseDirs = true;
        int n = 0;
        z->OnBegin = [&](TZipCommon& S, const std::string&, int, bool&) {
            if (++n == at) S.SetCancel(true);
        };
        EXPECT_EQ(z->Compress(), 0);
        EXPECT_EQ(ReadFile(Archive()), old);
        EXPECT_TRUE(Strays().empty());
    }
}

} // namespace
