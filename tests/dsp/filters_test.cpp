// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/biquad.h"
#include "dsp/highlifefilter.h"
#include "dsp/paramsmooth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

namespace
{

// --- CHighLifeFilter -------------------------------------------------------------

TEST(CHighLifeFilter, CutoffOneResonanceZeroCoefficients)
{
    CHighLifeFilter flt;
    flt.work(0.0f, 1.0f, 0.0f, 1);
    EXPECT_EQ(flt.p, 1.0f);
    EXPECT_EQ(flt.f, 1.0f);
    EXPECT_EQ(flt.q, 0.0f);
}

TEST(CHighLifeFilter, ResonanceCompensationAtCutoffZero)
{
    // r = 1: q = (1 + 0.5 * 5.6) * 0.89 * resonance = 3.382 * resonance.
    CHighLifeFilter flt;
    flt.work(0.0f, 0.0f, 1.0f, 1);
    EXPECT_FLOAT_EQ(flt.q, 3.382f);
    EXPECT_EQ(flt.p, 0.0f);
    EXPECT_EQ(flt.f, -1.0f);
}

struct FilterCase
{
    float cutoff;
    float resonance;
    int type;
};

std::ostream& operator<<(std::ostream& os, const FilterCase& c)
{
    return os << "cutoff " << c.cutoff << " res " << c.resonance << " type " << c.type;
}

class CHighLifeFilterCases : public ::testing::TestWithParam<FilterCase>
{
};

// Silence in gives only the noise term's level out: small, but not exact zeros.
TEST_P(CHighLifeFilterCases, SilenceGivesNoiseLevelOnly)
{
    const FilterCase& c = GetParam();
    CHighLifeFilter flt;
    double peak = 0.0;
    for (int n = 0; n < 44100; ++n)
        peak = std::max(peak, std::fabs(static_cast<double>(flt.work(0.0f, c.cutoff, c.resonance, c.type))));
    EXPECT_LT(peak, 1e-4);
    EXPECT_GT(peak, 0.0);
}

// A type outside 1..4 returns 0 yet advances the state exactly as type 1 does.
TEST_P(CHighLifeFilterCases, UnknownTypeStillAdvancesState)
{
    const FilterCase& c = GetParam();
    CHighLifeFilter ref, probe;
    for (int n = 0; n < 300; ++n)
    {
        const float in = std::sin(0.07f * n);
        const float expected = ref.work(in, c.cutoff, c.resonance, c.type);
        const int probeType = n < 200 ? (n % 2 ? 0 : 5) : c.type;
        const float got = probe.work(in, c.cutoff, c.resonance, probeType);
        if (n < 200)
            ASSERT_EQ(got, 0.0f) << "sample " << n;
        else
            ASSERT_EQ(got, expected) << "sample " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, CHighLifeFilterCases,
                         ::testing::Values(FilterCase{1.0f, 0.0f, 1}, FilterCase{0.3f, 0.0f, 1},
                                           FilterCase{0.3f, 0.9f, 2}, FilterCase{0.05f, 0.5f, 3},
                                           FilterCase{0.6f, 1.0f, 4}));

// The four outputs come from one state: lp + hp = x and notch = band - x.
TEST(CHighLifeFilter, OutputsShareOneState)
{
    CHighLifeFilter f1, f2, f3, f4;
    for (int n = 0; n < 2000; ++n)
    {
        const float in = 0.8f * std::sin(0.013f * n) + 0.1f * std::sin(0.9f * n);
        const float cutoff = 0.1f + 0.8f * (n % 500) / 500.0f; // cutoff moves per sample
        const float lp = f1.work(in, cutoff, 0.7f, 1);
        const float hp = f2.work(in, cutoff, 0.7f, 2);
        const float bp = f3.work(in, cutoff, 0.7f, 3);
        const float br = f4.work(in, cutoff, 0.7f, 4);
        const float x = f1.b0;
        ASSERT_FLOAT_EQ(hp, x - lp) << "sample " << n;
        ASSERT_FLOAT_EQ(br, bp - x) << "sample " << n;
    }
}

// At resonance 0 the ladder has unity DC gain: low-pass settles on a constant
// input, high-pass settles on zero.
TEST(CHighLifeFilter, LowPassUnityDcHighPassNone)
{
    CHighLifeFilter lp, hp;
    float l = 0.0f, h = 0.0f;
    for (int n = 0; n < 20000; ++n)
    {
        l = lp.work(0.5f, 0.2f, 0.0f, 1);
        h = hp.work(0.5f, 0.2f, 0.0f, 2);
    }
    EXPECT_NEAR(l, 0.5f, 1e-4);
    EXPECT_NEAR(h, 0.0f, 1e-4);
}

TEST(CHighLifeFilter, ClearFilterEqualsFreshInstance)
{
    CHighLifeFilter used, fresh;
    for (int n = 0; n < 100; ++n)
        used.work(1.0f, 0.4f, 0.8f, 1);
    used.clear_filter();
    EXPECT_EQ(used.b0, 0.0f);
    EXPECT_EQ(used.b4, 0.0f);
    const float a = used.work(0.5f, 0.4f, 0.8f, 1);
    const float b = fresh.work(0.5f, 0.4f, 0.8f, 1);
    EXPECT_NEAR(a, b, 1e-6) << "only the noise term may differ";
}

// --- High-pass sections ----------------------------------------------------------

struct PassCase
{
    long double input;
    long double expected;
};

std::ostream& operator<<(std::ostream& os, const PassCase& c)
{
    return os << static_cast<double>(c.input);
}

class HighPassZeroCoefficient : public ::testing::TestWithParam<PassCase>
{
};

TEST_P(HighPassZeroCoefficient, PassesInputLimitedToUnitRange)
{
    tbiquad st;
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(IIR_doIIRhigh(st, 0.0L, GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Inputs, HighPassZeroCoefficient,
                         ::testing::Values(PassCase{0.0L, 0.0L}, PassCase{0.25L, 0.25L},
                                           PassCase{-0.999L, -0.999L}, PassCase{1.0L, 1.0L},
                                           PassCase{-1.0L, -1.0L}, PassCase{1.5L, 1.0L},
                                           PassCase{-7.0L, -1.0L}));

TEST(HighPass, BlocksDcFromClearedState)
{
    tbiquad st;
    const long double first = IIR_doIIRhigh(st, 0.001L, 0.5L);
    const long double second = IIR_doIIRhigh(st, 0.001L, 0.5L);
    EXPECT_NEAR(static_cast<double>(first), 0.4985, 1e-4);
    EXPECT_NEAR(static_cast<double>(second), 0.4970, 1e-4);
    long double y = second;
    for (int n = 0; n < 44100 * 2; ++n)
        y = IIR_doIIRhigh(st, 0.001L, 0.5L);
    EXPECT_LT(std::fabs(static_cast<double>(y)), 1e-3);

    IIR_resetIIR(st);
    EXPECT_EQ(IIR_doIIRhigh(st, 0.001L, 0.5L), first);
}

// The integrators keep extended precision: a coefficient far below double's
// resolution relative to the state still moves it.
TEST(HighPass, StateIsExtendedPrecision)
{
    static_assert(sizeof(tbiquad{}.s0) == sizeof(long double), "state is long double");
    tbiquad st;
    st.s0 = 1.0L;
    IIR_doIIRhigh(st, 1e-18L, 0.0L);
    EXPECT_LT(st.s0, 1.0L);
}

// --- CParamSmooth ----------------------------------------------------------------

struct SmoothCase
{
    float timeMs;
    float rate;
    float pole;
    int step632; // first step whose value reaches 0.632
    int step99;  // first step whose value reaches 0.99
};

std::ostream& operator<<(std::ostream& os, const SmoothCase& c)
{
    return os << c.timeMs << " ms at " << c.rate << " Hz";
}

class CParamSmoothSteps : public ::testing::TestWithParam<SmoothCase>
{
};

TEST_P(CParamSmoothSteps, ReachesLevelsAtExpectedSteps)
{
    const SmoothCase& c = GetParam();
    CParamSmooth sm(c.timeMs, c.rate);
    EXPECT_NEAR(sm.a, c.pole, 1e-5);
    EXPECT_EQ(sm.b, 1.0f - sm.a);
    EXPECT_EQ(sm.z, 0.0f);

    int at632 = 0, at99 = 0;
    for (int step = 1; step <= 1000 && !at99; ++step)
    {
        const float z = sm.process(1.0f);
        if (!at632 && z >= 0.632f)
            at632 = step;
        if (z >= 0.99f)
            at99 = step;
    }
    EXPECT_EQ(at632, c.step632);
    EXPECT_EQ(at99, c.step99);

    // init restarts from zero: the value glides up again.
    sm.init(c.timeMs, c.rate);
    EXPECT_EQ(sm.z, 0.0f);
    EXPECT_NEAR(sm.process(1.0f), 1.0f - c.pole, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Times, CParamSmoothSteps,
                         ::testing::Values(SmoothCase{8.0f, 44100.0f, 0.98235f, 57, 259},
                                           SmoothCase{4.0f, 44100.0f, 0.96501f, 29, 130}));

// A time or rate of zero, below zero or NaN must not give a pole outside [0, 1):
// the smoother then follows its target at once instead of blowing up.
TEST(CParamSmooth, InvalidTimeOrRateMeansNoSmoothing)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float cases[][2] = {{0.0f, 44100.0f}, {8.0f, 0.0f}, {-8.0f, 44100.0f}, {8.0f, -44100.0f},
                              {nan, 44100.0f}, {8.0f, nan}};
    for (const auto& c : cases)
    {
        CParamSmooth sm(c[0], c[1]);
        EXPECT_EQ(sm.process(0.7f), 0.7f) << c[0] << " ms at " << c[1] << " Hz";
        EXPECT_EQ(sm.process(-0.3f), -0.3f);
    }
}

} // namespace
