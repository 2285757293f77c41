// A signal that comes while a temporary is being made and registered takes effect when that is
// done: the temporary is removed and the run ends by the signal, whichever of the two came, and
// also when it came twice.
#include "platform/TemporaryCleanup.h"

#include "TestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace testsupport;

TEST(TemporaryCleanup, ASignalDuringAHoldRemovesWhatItMadeAndEndsTheRun) {
    for (const int signal : {SIGINT, SIGTERM}) {
        for (const int times : {1, 2}) {
            TempDir dir;
            EXPECT_EXIT(
                {
                    InstallTemporaryCleanupOnSignals();
                    const int folder = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                    TTemporaryRegistration registration;
                    {
                        const TCleanupSignalsHeld held;
                        for (int i = 0; i < times; ++i)
                            ::raise(signal);
                        // Still running: the signal waits for the hold's end.
                        WriteFile(dir / "made", "");
                        ::close(::openat(folder, "part", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
                        registration = TTemporaryRegistration(folder, "part");
                    }
                    WriteFile(dir / "after", "");
                    std::_Exit(0);
                },
                ::testing::KilledBySignal(signal), "");
            EXPECT_TRUE(fs::exists(dir / "made")) << signal << " " << times;
            EXPECT_FALSE(fs::exists(dir / "part")) << signal << " " << times;
            EXPECT_FALSE(fs::exists(dir / "after")) << signal << " " << times;
        }
    }
}
