// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/delaybuffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <ostream>

namespace
{

constexpr int kSize = 131072;

// Input sample n carries its own index (scaled), so an output says which input
// sample it is.
double mark(long n)
{
    return static_cast<double>(n) / 1024.0;
}

// Runs the line as its owner does (read, then write) and returns the read value.
struct Driver
{
    std::unique_ptr<DelayBuffer> line = std::make_unique<DelayBuffer>(kSize);
    long n = 0;
    double step()
    {
        const double out = line->read();
        line->write(mark(n));
        ++n;
        return out;
    }
    void run(long samples)
    {
        for (long i = 0; i < samples; ++i)
            step();
    }
};

struct TimeCase
{
    int requested;
    int effective;
};

std::ostream& operator<<(std::ostream& os, const TimeCase& c)
{
    return os << c.requested;
}

class DelayBufferTime : public ::testing::TestWithParam<TimeCase>
{
};

// A time of D returns the input written D samples earlier; times beyond the
// ring are cut to size - 1.
TEST_P(DelayBufferTime, ReturnsInputFromDSamplesEarlier)
{
    const TimeCase& c = GetParam();
    Driver d;
    d.line->setDelayTime(c.requested);
    EXPECT_EQ(d.line->getDelayTime(), c.effective);
    for (long i = 0; i < c.effective + 5000L; ++i)
    {
        const double out = d.step();
        const long n = d.n - 1;
        const double expected = n >= c.effective ? mark(n - c.effective) : 0.0;
        ASSERT_EQ(out, expected) << "sample " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Times, DelayBufferTime,
                         ::testing::Values(TimeCase{1, 1}, TimeCase{343, 343}, TimeCase{22050, 22050},
                                           TimeCase{131071, 131071}, TimeCase{176400, 131071},
                                           TimeCase{131072, 131071}));

TEST(DelayBuffer, NewTimeIsCrossfadedOverTenMilliseconds)
{
    Driver d;
    d.line->setDelayTime(1000);
    d.run(5000);
    d.line->setNewDelayTime(3000);
    EXPECT_EQ(d.line->getNewDelayTime(), 3000);

    // First read after the change: all old signal (the sample under the old
    // read position), then the old ramps down along 1 - sqrt while the new rises.
    const double oldStart = static_cast<float>(mark(d.n - 1000));
    for (int k = 0; k < 440; ++k)
    {
        const long n = d.n;
        const double out = d.step();
        const double w = std::sqrt(k / 441.0);
        const double old = oldStart * (1.0 - k / 441.0);
        ASSERT_NEAR(out, old * (1.0 - w) + mark(n - 3000) * w, 1e-4) << "fade step " << k;
    }
    EXPECT_EQ(d.line->getDelayTime(), 3000);
    for (int k = 0; k < 1000; ++k)
    {
        const long n = d.n;
        ASSERT_EQ(d.step(), mark(n - 3000));
    }
}

TEST(DelayBuffer, ChangeDuringFadeWaitsForItsEnd)
{
    Driver d;
    d.line->setDelayTime(1000);
    d.run(5000);
    d.line->setNewDelayTime(3000);
    d.run(100);
    d.line->setNewDelayTime(2000); // requested while the first fade runs
    d.run(340); // reads 100..439 of the first fade
    EXPECT_EQ(d.line->getDelayTime(), 3000) << "the second change must wait";
    // Read 440 of the first fade starts the second fade from the 3000 position.
    {
        const long n = d.n;
        EXPECT_EQ(d.step(), static_cast<float>(mark(n - 3000)));
        EXPECT_EQ(d.line->getDelayTime(), 2000);
    }
    d.run(439);
    for (int k = 0; k < 100; ++k)
    {
        const long n = d.n;
        ASSERT_EQ(d.step(), mark(n - 2000));
    }
}

TEST(DelayBuffer, UnchangedTimeDoesNotRestartFade)
{
    Driver d;
    d.line->setDelayTime(1000);
    d.run(5000);
    d.line->setNewDelayTime(1000);
    for (int k = 0; k < 100; ++k)
    {
        const long n = d.n;
        ASSERT_EQ(d.step(), mark(n - 1000));
    }
}

// After active() the written signal rises along sqrt(k/441) from silence.
TEST(DelayBuffer, ActiveFadesInputIn)
{
    DelayBuffer line(kSize);
    line.setDelayTime(500);
    line.active();
    for (int k = 0; k < 1500; ++k)
    {
        const double out = line.read();
        line.write(1.0);
        if (k < 500)
            ASSERT_EQ(out, 0.0);
        else if (k - 500 < 440)
            ASSERT_NEAR(out, std::sqrt((k - 500) / 441.0), 1e-12) << "sample " << k;
        else
            ASSERT_EQ(out, 1.0) << "sample " << k;
    }
    line.clear();
    EXPECT_EQ(line.read(), 0.0);
}

// Pitch mode: a longer time is reached by reading at pitch down until the target
// catches up, a shorter one at pitch up; then a jump lands exactly on the new
// time. Positions near the end of the ring and far-apart times included.
struct PitchCase
{
    const char* name;
    int from;
    int to;
    long preRoll;
};

std::ostream& operator<<(std::ostream& os, const PitchCase& c)
{
    return os << c.name;
}

class DelayBufferPitch : public ::testing::TestWithParam<PitchCase>
{
};

TEST_P(DelayBufferPitch, GlidesThenSettlesOnNewTime)
{
    const PitchCase& c = GetParam();
    Driver d;
    d.line->setPitchActive(true);
    d.line->setDelayTime(c.from);
    d.run(c.preRoll);
    d.line->setNewDelayTime(c.to);

    // The read speed is 0.5 (longer) or 1.5 (shorter) until the target is met.
    const double speed = c.to > c.from ? 0.5 : 1.5;
    const long glide = static_cast<long>(std::lround(std::abs(c.to - c.from) / std::abs(1.0 - speed)));
    const double first = d.step();
    double last = first;
    for (long k = 1; k < glide - 1; ++k)
        last = d.step();
    EXPECT_NEAR((last - first) * 1024.0 / static_cast<double>(glide - 2), speed, 0.01);
    EXPECT_EQ(d.line->getDelayTime(), c.from) << "still gliding";
    d.run(2 + 441);
    EXPECT_EQ(d.line->getDelayTime(), c.to);
    for (int k = 0; k < 200; ++k)
    {
        const long n = d.n;
        ASSERT_EQ(d.step(), mark(n - c.to)) << "after glide, step " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Changes, DelayBufferPitch,
                         ::testing::Values(PitchCase{"Longer", 1000, 2000, 5000},
                                           PitchCase{"Shorter", 2000, 1000, 5000},
                                           PitchCase{"LongerAcrossRingEnd", 1000, 2000, 130500},
                                           PitchCase{"ShorterAcrossRingEnd", 3000, 1000, 130900},
                                           PitchCase{"FarLonger", 1000, 100000, 110000}),
                         [](const auto& info) { return info.param.name; });

} // namespace
