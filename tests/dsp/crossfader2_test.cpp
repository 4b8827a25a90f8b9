// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/crossfader2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <vector>

namespace
{

// --- Fade length from rate and time ------------------------------------------

struct SizeCase
{
    int rate;
    double timeMs;
    int expectedSize;
};

std::ostream& operator<<(std::ostream& os, const SizeCase& c)
{
    return os << c.rate << " Hz, " << c.timeMs << " ms";
}

class CrossfaderSize : public ::testing::TestWithParam<SizeCase>
{
};

TEST_P(CrossfaderSize, FadeLengthIsFloorOfRateTimesTime)
{
    const SizeCase& c = GetParam();
    Crossfader2 xf;
    xf.setSamplerate(c.rate);
    xf.setTime(c.timeMs);
    EXPECT_EQ(xf.size, c.expectedSize);
    EXPECT_EQ(xf.position, xf.size) << "a rebuilt crossfader must be idle";

    // Idle or empty: pairs pass unchanged whatever the buffer holds.
    xf.setFadeOutBuffer(1.0f, 1.0f);
    float l = 0.25f, r = -0.5f;
    xf.process(l, r);
    EXPECT_EQ(l, 0.25f);
    EXPECT_EQ(r, -0.5f);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, CrossfaderSize,
    ::testing::Values(SizeCase{44100, 10.0, 441}, SizeCase{48000, 10.0, 480},
                      SizeCase{96000, 10.0, 960}, SizeCase{44100, 20.0, 882},
                      SizeCase{44100, 0.01, 0}, SizeCase{0, 10.0, 0},
                      // Nonsense settings give an empty, permanently idle crossfader.
                      SizeCase{44100, -10.0, 0}, SizeCase{-44100, 10.0, 0},
                      SizeCase{44100, std::numeric_limits<double>::quiet_NaN(), 0}));

TEST(Crossfader2, DefaultIsTenMillisecondsAt44100AndIdle)
{
    Crossfader2 xf;
    EXPECT_EQ(xf.size, 441);
    EXPECT_EQ(xf.position, 441);
    float l = 0.3f, r = 0.7f;
    double dl = 0.3, dr = 0.7;
    for (int i = 0; i < 1000; ++i)
    {
        xf.process(l, r);
        xf.process(dl, dr);
        xf.process(l, r, 5.0f, 5.0f);
    }
    EXPECT_EQ(l, 0.3f);
    EXPECT_EQ(r, 0.7f);
    EXPECT_EQ(dl, 0.3);
    EXPECT_EQ(dr, 0.7);
}

// --- Curves and processing ----------------------------------------------------

struct CurveCase
{
    Crossfader2::CrossfadeType type;
    double (*newWeight)(double x);
};

std::ostream& operator<<(std::ostream& os, const CurveCase& c)
{
    return os << "type " << c.type;
}

class CrossfaderCurve : public ::testing::TestWithParam<CurveCase>
{
};

// A ramp from (1, -1) fading against a silent new signal: step i gives
// old(i) * (1 - w(i)) with old(i) = value * (1 - i/size).
TEST_P(CrossfaderCurve, RampFadesOutAlongCurveThenPassesInput)
{
    const CurveCase& c = GetParam();
    Crossfader2 xf;
    xf.setType(c.type);
    ASSERT_EQ(xf.size, 441);
    xf.setFadeOutBuffer(1.0f, -1.0f);
    xf.start();

    for (int i = 0; i < 441; ++i)
    {
        ASSERT_EQ(xf.position, i);
        float l = 0.0f, r = 0.0f;
        xf.process(l, r);
        const double x = i / 441.0;
        const double expected = (1.0 - x) * (1.0 - c.newWeight(x));
        ASSERT_NEAR(l, expected, 1e-5) << "step " << i;
        ASSERT_NEAR(r, -expected, 1e-5) << "step " << i;
        float cl = 9.0f, cr = 9.0f;
        xf.getCurrentValue(cl, cr);
        EXPECT_EQ(cl, l);
        EXPECT_EQ(cr, r);
    }
    EXPECT_EQ(xf.position, xf.size);
    float l = 0.125f, r = 0.5f;
    xf.process(l, r);
    EXPECT_EQ(l, 0.125f);
    EXPECT_EQ(r, 0.5f);
}

// The new signal's weight starts at 0 and stops one step short of 1; the two
// weights always sum to one (old = 1, new = 0 reads the old weight directly).
TEST_P(CrossfaderCurve, WeightsSumToOne)
{
    const CurveCase& c = GetParam();
    Crossfader2 xf;
    xf.setType(c.type);
    float one[441];
    std::fill(one, one + 441, 1.0f);
    float* oldOnes[2] = {one, one};
    xf.start(oldOnes);
    for (int i = 0; i < 441; ++i)
    {
        float l = 1.0f, r = 0.0f; // new left 1 against old 1; new right 0 against old 1
        xf.process(l, r);
        ASSERT_NEAR(l, 1.0, 1e-7) << "step " << i;
        ASSERT_NEAR(r, 1.0 - c.newWeight(i / 441.0), 1e-7) << "step " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Types, CrossfaderCurve,
                         ::testing::Values(CurveCase{Crossfader2::kLinear, [](double x) { return x; }},
                                           CurveCase{Crossfader2::kSquareRoot,
                                                     [](double x) { return std::sqrt(x); }}),
                         [](const auto& info) {
                             return info.param.type == Crossfader2::kLinear ? "Linear" : "SquareRoot";
                         });

TEST(Crossfader2, StopOrResetEndsFadeAtOnce)
{
    for (int useReset = 0; useReset < 2; ++useReset)
    {
        Crossfader2 xf;
        xf.setFadeOutBuffer(1.0f, 1.0f);
        xf.start();
        for (int i = 0; i < 100; ++i)
        {
            float l = 0.0f, r = 0.0f;
            xf.process(l, r);
        }
        if (useReset)
            xf.reset();
        else
            xf.stop();
        float l = 0.0f, r = 0.0f;
        xf.process(l, r);
        EXPECT_EQ(l, 0.0f);
        EXPECT_EQ(r, 0.0f);
    }
}

TEST(Crossfader2, NewSampleRateEndsRunningFade)
{
    Crossfader2 xf;
    xf.setFadeOutBuffer(1.0f, 1.0f);
    xf.start();
    float l = 0.0f, r = 0.0f;
    xf.process(l, r);
    xf.setSamplerate(96000);
    EXPECT_EQ(xf.size, 960);
    EXPECT_EQ(xf.position, 960);
    l = r = 0.0f;
    xf.process(l, r);
    EXPECT_EQ(l, 0.0f);
    // The rebuilt buffer is silent: a new start without loading fades from zero.
    xf.start();
    l = r = 0.5f;
    xf.process(l, r);
    EXPECT_EQ(l, 0.0f) << "step 0 is all old signal";
}

TEST(Crossfader2, RestartWhileRunningBeginsAtStepZero)
{
    Crossfader2 xf;
    xf.setFadeOutBuffer(1.0f, 1.0f);
    xf.start();
    for (int i = 0; i < 200; ++i)
    {
        float l = 0.0f, r = 0.0f;
        xf.process(l, r);
    }
    xf.setFadeOutBuffer(0.5f, 0.5f);
    xf.start();
    float l = 0.0f, r = 0.0f;
    xf.process(l, r);
    EXPECT_EQ(l, 0.5f);
    EXPECT_EQ(xf.position, 1);
}

// --- Precision ----------------------------------------------------------------

// The ramp steps down by value/size (double) from each previously stored float.
TEST(Crossfader2, RampIsBuiltInDoubleFromStoredFloats)
{
    Crossfader2 xf;
    const float value = 0.8173f;
    xf.setFadeOutBuffer(value, -value);
    xf.start();
    const double step = static_cast<double>(value) / 441;
    float entry = value;
    for (int i = 0; i < 441; ++i)
    {
        // New signal 0: the output is entry i times the old weight 1 - sqrt(i/441).
        float l = 0.0f, r = 0.0f;
        xf.process(l, r);
        const double w = std::sqrt(i / 441.0);
        EXPECT_EQ(l, static_cast<float>(entry * (1.0 - w) + 0.0 * w)) << "step " << i;
        EXPECT_EQ(r, static_cast<float>(0.0 * w + (-entry) * (1.0 - w))) << "step " << i;
        entry = static_cast<float>(static_cast<double>(entry) - step);
    }
    EXPECT_NEAR(entry, 0.0, 1e-6);
}

// Float pairs are mixed in double and rounded once; the double form keeps
// double results (detail a float mix would lose).
TEST(Crossfader2, MixesInDoubleForAllForms)
{
    Crossfader2 xf;
    std::vector<float> oldL(441), oldR(441);
    for (int i = 0; i < 441; ++i)
    {
        oldL[static_cast<size_t>(i)] = std::sin(0.05f * i);
        oldR[static_cast<size_t>(i)] = std::cos(0.031f * i);
    }
    float* src[2] = {oldL.data(), oldR.data()};

    xf.start(src);
    Crossfader2 xd;
    xd.start(src);
    Crossfader2 x4;
    x4.start();

    for (int i = 0; i < 441; ++i)
    {
        const double w = std::sqrt(i / 441.0);
        const auto k = static_cast<size_t>(i);
        const float nl = 0.3f + 1e-3f * i, nr = -0.7f + 2e-3f * i;
        const double expL = oldL[k] * (1.0 - w) + nl * w;
        const double expR = nr * w + oldR[k] * (1.0 - w);

        float fl = nl, fr = nr;
        xf.process(fl, fr);
        ASSERT_EQ(fl, static_cast<float>(expL)) << "step " << i;
        ASSERT_EQ(fr, static_cast<float>(expR)) << "step " << i;

        double dl = nl, dr = nr;
        xd.process(dl, dr);
        ASSERT_EQ(dl, expL) << "step " << i;
        ASSERT_EQ(dr, expR) << "step " << i;
        float cl, cr;
        xd.getCurrentValue(cl, cr);
        ASSERT_EQ(cl, static_cast<float>(expL));

        float ql = nl, qr = nr;
        x4.process(ql, qr, oldL[k], oldR[k]); // its own buffer (silence) is ignored
        ASSERT_EQ(ql, static_cast<float>(expL)) << "step " << i;
        ASSERT_EQ(qr, static_cast<float>(expR)) << "step " << i;
    }
}

// Owners that fade a single channel pass the same variable twice; it must be
// faded once, exactly like a pair of equal samples.
TEST(Crossfader2, SameVariableForBothChannelsIsFadedOnce)
{
    Crossfader2 shared, pair;
    shared.setFadeOutBuffer(0.8f, 0.8f);
    pair.setFadeOutBuffer(0.8f, 0.8f);
    shared.start();
    pair.start();
    for (int i = 0; i < 441; ++i)
    {
        double x = 0.25;
        shared.process(x, x);
        double l = 0.25, r = 0.25;
        pair.process(l, r);
        ASSERT_EQ(x, l) << "step " << i;
    }
}

// --- Loading real audio -------------------------------------------------------

// Old signal 1000 + n at source index n identifies which source sample plays.
struct CaptureCase
{
    const char* name;
    unsigned int count;
    bool forward;
};

std::ostream& operator<<(std::ostream& os, const CaptureCase& c)
{
    return os << c.name;
}

class CrossfaderCapture : public ::testing::TestWithParam<CaptureCase>
{
};

TEST_P(CrossfaderCapture, CapturesStretchAndFadesShortOnesToSilence)
{
    const CaptureCase& c = GetParam();
    // Linear curve over 8 samples: the old weight at step i is 1 - i/8.
    Crossfader2 xf;
    xf.setType(Crossfader2::kLinear);
    xf.setTime(1000.0 * 8 / 44100);
    ASSERT_EQ(xf.size, 8);

    std::vector<float> left(64), right(64);
    for (int n = 0; n < 64; ++n)
    {
        left[static_cast<size_t>(n)] = 1000.0f + n;
        right[static_cast<size_t>(n)] = -1000.0f - n;
    }
    const int base = c.forward ? 0 : 40; // backward reads from index 40 downwards
    float* src[2] = {left.data() + base, right.data() + base};
    xf.setFadeOutBuffer(src, c.count, c.forward);
    xf.start();
    const unsigned int captured = std::min(c.count, 8u);
    for (int i = 0; i < 8; ++i)
    {
        float l = 0.0f, r = 0.0f;
        xf.process(l, r);
        const double oldWeight = 1.0 - i / 8.0;
        double expected;
        if (static_cast<unsigned int>(i) < captured)
            expected = 1000.0 + (c.forward ? i : base - i);
        else
        {
            const double last = 1000.0 + (c.forward ? captured - 1 : base - (captured - 1));
            const unsigned int j = static_cast<unsigned int>(i) - captured;
            expected = static_cast<float>(last * (1.0 - static_cast<double>(j) / (8 - captured)));
        }
        EXPECT_NEAR(l, expected * oldWeight, 1e-3) << "step " << i;
        EXPECT_NEAR(r, -expected * oldWeight, 1e-3) << "step " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Stretches, CrossfaderCapture,
                         ::testing::Values(CaptureCase{"ExactlySizeForward", 8, true},
                                           CaptureCase{"LongerForward", 20, true},
                                           CaptureCase{"ShortForward", 3, true},
                                           CaptureCase{"SingleSampleForward", 1, true},
                                           CaptureCase{"ExactlySizeBackward", 8, false},
                                           CaptureCase{"LongerBackward", 20, false},
                                           CaptureCase{"ShortBackward", 5, false}),
                         [](const auto& info) { return info.param.name; });

TEST(Crossfader2, EmptyCaptureLoadsSilenceWithoutReadingSource)
{
    Crossfader2 xf;
    xf.setFadeOutBuffer(1.0f, 1.0f);
    float* src[2] = {nullptr, nullptr};
    xf.setFadeOutBuffer(src, 0, true);
    xf.start();
    for (int i = 0; i < 441; ++i)
    {
        float l = 0.0f, r = 0.0f;
        xf.process(l, r);
        ASSERT_EQ(l, 0.0f);
        ASSERT_EQ(r, 0.0f);
    }
}

TEST(Crossfader2, FillBufferFeedsOldSignalAfterRewindOnly)
{
    Crossfader2 xf;
    xf.setType(Crossfader2::kLinear);
    xf.setTime(1000.0 * 4 / 44100);
    ASSERT_EQ(xf.size, 4);
    xf.fillBuffer(7.0f, 7.0f); // fill position starts at size: ignored
    xf.resetContinuePhase();
    for (int i = 0; i < 6; ++i) // the last two do not fit and are dropped
        xf.fillBuffer(10.0f + i, 20.0f + i);
    xf.start();
    const float expectedL[4] = {10.0f, 11.0f * 0.75f, 12.0f * 0.5f, 13.0f * 0.25f};
    for (int i = 0; i < 4; ++i)
    {
        float l = 0.0f, r = 0.0f;
        xf.process(l, r);
        EXPECT_FLOAT_EQ(l, expectedL[i]) << "step " << i;
        EXPECT_FLOAT_EQ(r, (20.0f + i) * (1.0f - i / 4.0f)) << "step " << i;
    }
}

} // namespace
