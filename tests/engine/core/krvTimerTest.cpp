#include "engine/core/krvTimer.h"

#include <gtest/gtest.h>

TEST(Timer, PausesAreTakenOut) {
    std::uint64_t now = 10000;
    TkrvTimer t([&] { return now; });
    t.Start();
    now += 1000;
    t.Pause();
    now += 2000; // a question to the user
    t.Resume();
    now += 2000;
    t.Stop();
    EXPECT_FLOAT_EQ(t.Elapsed(), 3.0F) << "a five-second job with a two-second pause";
    EXPECT_FALSE(t.Running());

    // Stop and Resume outside a run change nothing.
    now += 5000;
    t.Stop();
    t.Resume();
    EXPECT_FLOAT_EQ(t.Elapsed(), 3.0F);
}

TEST(Timer, NestedPausesAndStopWhilePaused) {
    std::uint64_t now = 0; // a tick value of 0 is an ordinary time
    TkrvTimer t([&] { return now; });
    t.Start();
    now += 1000;
    t.Pause(); // password question
    now += 500;
    t.Pause(); // error report inside it
    now += 500;
    t.Resume();
    EXPECT_TRUE(t.Paused());
    now += 1000;
    t.Resume();
    now += 250;
    t.Stop();
    EXPECT_FLOAT_EQ(t.Elapsed(), 1.25F);

    t.Start();
    EXPECT_FLOAT_EQ(t.Elapsed(), 0.0F);
    now += 700;
    t.Pause();
    now += 10000;
    t.Stop();
    EXPECT_FLOAT_EQ(t.Elapsed(), 0.7F);
}

TEST(Timer, APauseOutsideARunIsIgnored) {
    std::uint64_t now = 0;
    TkrvTimer t([&] { return now; });
    t.Pause();
    EXPECT_FALSE(t.Paused());
    t.Start();
    EXPECT_TRUE(t.Running());
    now += 1500;
    t.Stop();
    EXPECT_FLOAT_EQ(t.Elapsed(), 1.5F) << "the pause before the run holds nothing back";
}
