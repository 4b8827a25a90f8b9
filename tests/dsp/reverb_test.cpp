// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/reverb/revmodel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace
{

// ~100 kB each: keep them off the test's stack.
std::unique_ptr<revmodel> makeReverb()
{
    return std::make_unique<revmodel>();
}

// Deterministic noise in [-1, 1).
struct Noise
{
    unsigned int state = 12345;
    float next()
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
    }
};

double energy(revmodel& rv, int samples, float inL = 0.0f, float inR = 0.0f)
{
    double e = 0.0;
    for (int n = 0; n < samples; ++n)
    {
        float l = inL, r = inR;
        rv.process(l, r);
        e += static_cast<double>(l) * l + static_cast<double>(r) * r;
    }
    return e;
}

void feedNoise(revmodel& rv, int samples)
{
    Noise noise;
    for (int n = 0; n < samples; ++n)
    {
        float l = noise.next(), r = noise.next();
        rv.process(l, r);
    }
}

TEST(Reverb, ConstructionSettings)
{
    auto rv = makeReverb();
    EXPECT_FLOAT_EQ(rv->getwet(), 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(rv->getroomsize(), 0.5f);
    EXPECT_FLOAT_EQ(rv->getdamp(), 0.5f);
    EXPECT_EQ(rv->getdry(), 0.0f);
    EXPECT_EQ(rv->getwidth(), 1.0f);
    EXPECT_EQ(rv->getmode(), 0.0f);
}

TEST(Reverb, SilenceGivesExactZeros)
{
    auto rv = makeReverb();
    for (int n = 0; n < 5000; ++n)
    {
        float l = 0.0f, r = 0.0f;
        rv->process(l, r);
        ASSERT_EQ(l, 0.0f);
        ASSERT_EQ(r, 0.0f);
    }
}

// The shortest comb (1116 left, 1139 right) answers first; its output passes
// four all-passes that each invert the direct path, so it arrives with + sign.
TEST(Reverb, ImpulseArrivesAtShortestCombPerChannel)
{
    auto rv = makeReverb();
    for (int n = 0; n <= 1139; ++n)
    {
        float l = n == 0 ? 1.0f : 0.0f, r = 0.0f;
        rv->process(l, r);
        if (n < 1116)
        {
            ASSERT_EQ(l, 0.0f) << "sample " << n;
        }
        else if (n == 1116)
        {
            EXPECT_FLOAT_EQ(l, 0.015f);
        }
        if (n < 1139)
            ASSERT_EQ(r, 0.0f) << "sample " << n;
        else
            EXPECT_FLOAT_EQ(r, 0.015f);
    }
}

// Mute leaves nothing behind: not in the delay memories and not in the combs'
// loop filters (whose state would otherwise re-enter one comb length later).
TEST(Reverb, MuteEmptiesTail)
{
    auto rv = makeReverb();
    feedNoise(*rv, 3000);
    rv->mute();
    EXPECT_EQ(energy(*rv, 3000), 0.0);
}

// Width 0 sends the same mix to both sides; dry adds the input.
TEST(Reverb, WidthAndDryMix)
{
    auto mono = makeReverb();
    mono->setwidth(0.0f);
    auto dry = makeReverb();
    dry->setwet(0.0f);
    dry->setdry(0.5f); // dry gain 1
    Noise noise;
    for (int n = 0; n < 3000; ++n)
    {
        const float a = noise.next(), b = noise.next();
        float l = a, r = b;
        mono->process(l, r);
        ASSERT_EQ(l, r) << "sample " << n;
        l = a, r = b;
        dry->process(l, r);
        ASSERT_EQ(l, a);
        ASSERT_EQ(r, b);
    }
}

TEST(Reverb, FreezeHoldsTailIgnoresInputAndMute)
{
    auto frozen = makeReverb();
    auto twin = makeReverb();
    feedNoise(*frozen, 20000);
    feedNoise(*twin, 20000);
    frozen->setmode(1.0f);
    twin->setmode(1.0f);
    EXPECT_EQ(frozen->getmode(), 1.0f);

    frozen->mute(); // no effect while frozen
    Noise noise;
    double first = 0.0, later = 0.0;
    for (int n = 0; n < 44100 * 3; ++n)
    {
        float l = noise.next(), r = noise.next(); // new input must not enter
        frozen->process(l, r);
        float tl = 0.0f, tr = 0.0f;
        twin->process(tl, tr);
        ASSERT_EQ(l, tl) << "sample " << n;
        ASSERT_EQ(r, tr) << "sample " << n;
        const double e = static_cast<double>(l) * l + static_cast<double>(r) * r;
        if (n < 44100)
            first += e;
        else if (n >= 44100 * 2)
            later += e;
    }
    ASSERT_GT(first, 0.0);
    EXPECT_NEAR(later / first, 1.0, 0.2) << "a frozen tail does not decay";

    // Leaving freeze restores the stored room size and damping: the tail decays.
    frozen->setmode(0.0f);
    EXPECT_FLOAT_EQ(frozen->getroomsize(), 0.5f);
    EXPECT_FLOAT_EQ(frozen->getdamp(), 0.5f);
    const double afterFirst = energy(*frozen, 44100);
    const double afterLater = energy(*frozen, 44100);
    EXPECT_LT(afterLater, afterFirst * 0.01);
    frozen->mute();
    EXPECT_EQ(energy(*frozen, 100), 0.0);
}

// Room size value 1 gives the longest (feedback 0.98) but still decaying tail.
TEST(Reverb, RoomSizeSetsDecay)
{
    double tails[2];
    const float sizes[2] = {0.0f, 1.0f};
    for (int i = 0; i < 2; ++i)
    {
        auto rv = makeReverb();
        rv->setroomsize(sizes[i]);
        EXPECT_FLOAT_EQ(rv->getroomsize(), sizes[i]);
        feedNoise(*rv, 5000);
        energy(*rv, 44100);
        tails[i] = energy(*rv, 44100);
    }
    EXPECT_GT(tails[1], tails[0] * 100.0);
    EXPECT_TRUE(std::isfinite(tails[1]));
}

} // namespace
