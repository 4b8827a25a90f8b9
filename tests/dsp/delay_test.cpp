// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/delay.h"
#include "dsp/biquad.h"
#include "dsp/highlifefilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <ostream>
#include <vector>

namespace
{

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// --- Delay times -------------------------------------------------------------------

struct TimeCase
{
    double tempo;
    double rate;
    bool sync;
    double value;
    int expectedDelay; // the delay's own time
    int expectedLine;  // what the lines are steered to
};

std::ostream& operator<<(std::ostream& os, const TimeCase& c)
{
    return os << c.tempo << " bpm, " << c.rate << " Hz, " << (c.sync ? "sync " : "free ") << c.value;
}

class DelayTime : public ::testing::TestWithParam<TimeCase>
{
};

TEST_P(DelayTime, ControlValueGivesSamples)
{
    const TimeCase& c = GetParam();
    auto delay = std::make_unique<Delay>(0);
    delay->setSampleRate(c.rate);
    delay->setSamplePerBeat(c.tempo, c.rate);
    delay->setSync(c.sync);
    delay->setTimeF(c.value);
    EXPECT_EQ(delay->getDelayTime(), c.expectedDelay);
    EXPECT_EQ(delay->lineLeft().getNewDelayTime(), c.expectedLine);
    EXPECT_EQ(delay->lineRight().getNewDelayTime(), c.expectedLine);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, DelayTime,
    ::testing::Values(TimeCase{120, 44100, true, 0.75, 22050, 22050},  // one beat
                      TimeCase{120, 44100, true, 1.0, 88200, 88200},   // one bar
                      TimeCase{120, 44100, true, 0.05, 689, 689},      // 1/128 bar
                      TimeCase{120, 44100, true, 0.5, 11025, 11025},   // 1/8
                      TimeCase{120, 44100, true, 0.45, 7350, 7350},    // 1/8 triplet
                      TimeCase{120, 44100, true, 0.85, 29400, 29400},  // 1/2 triplet
                      TimeCase{120, 44100, true, 0.3, 5512, 5512},     // 1/16, tenths truncated
                      TimeCase{200, 44100, true, 0.0, 413, 413},
                      TimeCase{300, 44100, true, 0.0, 343, 343},       // 275 raised to the minimum
                      TimeCase{120, 44100, true, 1.1, 343, 343},       // outside the steps
                      TimeCase{120, 44100, true, -0.1, 343, 343},
                      TimeCase{120, 44100, true, kNaN, 343, 343},
                      TimeCase{60, 44100, true, 1.0, 176400, 131071},  // cut by the lines
                      TimeCase{120, 48000, true, 0.5, 12000, 12000},
                      TimeCase{120, 96000, true, -1.0, 748, 748},      // minimum follows the rate
                      TimeCase{120, 44100, false, 0.0, 343, 343},      // free: m + (4 spb - m) v^3
                      TimeCase{120, 44100, false, 0.5, 11325, 11325},
                      TimeCase{120, 44100, false, 1.0, 88200, 88200},
                      TimeCase{120, 44100, false, kNaN, 343, 343}));

TEST(Delay, NewDelayIsSteeredToOneEighth)
{
    auto delay = std::make_unique<Delay>(0);
    EXPECT_EQ(delay->getDelayTime(), 11025);
}

// A tempo change keeps the chosen step; a bad tempo or rate keeps the timing.
TEST(Delay, TempoChangeKeepsStepAndBadTempoIsIgnored)
{
    auto delay = std::make_unique<Delay>(0);
    delay->setTimeF(0.75);
    delay->setSamplePerBeat(60.0, 44100.0);
    EXPECT_EQ(delay->getDelayTime(), 44100);

    const double bad[][2] = {{0.0, 44100.0}, {60.0, 0.0}, {-120.0, 44100.0}, {kNaN, 44100.0},
                             {60.0, kNaN}, {std::numeric_limits<double>::infinity(), 44100.0}};
    for (const auto& b : bad)
    {
        delay->setSamplePerBeat(b[0], b[1]);
        EXPECT_EQ(delay->getDelayTime(), 44100) << b[0] << " bpm at " << b[1] << " Hz";
    }
    for (double rate : {0.0, -44100.0, kNaN})
    {
        delay->setSampleRate(rate);
        EXPECT_EQ(delay->getDelayTime(), 44100) << rate << " Hz";
    }
}

// --- Audio ------------------------------------------------------------------------

struct Rig
{
    std::unique_ptr<Delay> delay = std::make_unique<Delay>(0);
    std::vector<double> left, right;

    // Processes input (left only, right silent) and records the outputs.
    void feed(const std::vector<double>& input)
    {
        for (double x : input)
        {
            double l = x, r = 0.0;
            delay->process3(l, r);
            left.push_back(l);
            right.push_back(r);
        }
    }
    void silence(int samples) { feed(std::vector<double>(static_cast<size_t>(samples), 0.0)); }
};

double peak(const std::vector<double>& v, size_t from, size_t count)
{
    double p = 0.0;
    for (size_t i = from; i < from + count; ++i)
        p = std::max(p, std::fabs(v[i]));
    return p;
}

// The loop's filters at the default tune (0.5): gentle ladder low-pass (cutoff
// about 0.9448), no tone high-pass, DC blocker. One pass of a repeat.
struct LoopFilters
{
    CHighLifeFilter lowpass;
    tbiquad tone, dc;
    double step(double x)
    {
        const float c = 1.95f * 0.5f;
        const float u = 0.75f * c + 0.25f;
        const float y = lowpass.work(static_cast<float>(x), u * u * u, 0.0f, 1);
        const auto t = static_cast<double>(IIR_doIIRhigh(tone, 0.0L, y));
        return static_cast<double>(IIR_doIIRhigh(dc, 0.001L, t));
    }
};

// Repeat k of a unit impulse: k passes through the loop filters.
std::vector<double> repeatShape(int k, size_t length)
{
    std::vector<double> v(length, 0.0);
    v[0] = 1.0;
    for (int pass = 0; pass < k; ++pass)
    {
        LoopFilters f;
        for (double& x : v)
            x = f.step(x);
    }
    return v;
}

// Defaults (feedback 0.5, volume 0.75, dry/wet 0.5, tune 0.5): the dry signal
// passes at full level, the first repeat comes exactly D samples later at 0.75
// times the filtered impulse, and each further repeat is scaled by 0.5 and
// filtered again. Polarity inversion flips the sign on every pass.
struct EchoCase
{
    const char* name;
    bool inverted;
};

std::ostream& operator<<(std::ostream& os, const EchoCase& c)
{
    return os << c.name;
}

class DelayEcho : public ::testing::TestWithParam<EchoCase>
{
};

TEST_P(DelayEcho, LevelAndRepeats)
{
    Rig run;
    run.delay->inversePolarity(GetParam().inverted);
    run.silence(5000); // smoothers and the polarity fade settle
    const int D = run.delay->getDelayTime();
    ASSERT_EQ(D, 11025);
    std::vector<double> impulse(static_cast<size_t>(4 * D), 0.0);
    impulse[0] = 1.0;
    run.feed(impulse);

    const size_t n0 = 5000;
    EXPECT_NEAR(run.left[n0], 1.0, 1e-6) << "dry signal";
    EXPECT_LT(peak(run.left, n0 + 1, static_cast<size_t>(D - 1)), 1e-4) << "nothing before the echo";

    double gain = 0.75;
    for (int k = 1; k <= 3; ++k)
    {
        if (GetParam().inverted)
            gain = -gain;
        const std::vector<double> shape = repeatShape(k, static_cast<size_t>(D));
        const size_t at = n0 + static_cast<size_t>(k * D);
        for (size_t j = 0; j < shape.size(); ++j)
            ASSERT_NEAR(run.left[at + j], gain * shape[j], 1e-4) << "repeat " << k << ", sample " << j;
        gain *= 0.5;
    }
    EXPECT_LT(peak(run.right, n0, impulse.size()), 1e-4) << "a left impulse stays on the left";
}

INSTANTIATE_TEST_SUITE_P(Polarity, DelayEcho,
                         ::testing::Values(EchoCase{"Normal", false}, EchoCase{"Inverted", true}),
                         [](const auto& info) { return info.param.name; });

// A signal on both channels whose echoes are easy to see: a 220 Hz sine.
std::vector<double> sine(int samples)
{
    std::vector<double> v(static_cast<size_t>(samples));
    for (int n = 0; n < samples; ++n)
        v[static_cast<size_t>(n)] = 0.5 * std::sin(2.0 * M_PI * 220.0 * n / 44100.0);
    return v;
}

// Switching off fades the echoes out with 1 - sqrt(i/882); afterwards the pair
// passes untouched and the lines are empty.
TEST(Delay, SwitchOffFadesEchoesOver882Samples)
{
    Rig run;
    run.feed(sine(30000));
    run.delay->setActive(false);
    EXPECT_FALSE(run.delay->isActive());
    const std::vector<double> in = sine(3000);
    const size_t start = run.left.size();
    run.feed(in);

    // Echo part = output - dry input (dry is 1 at the default dry/wet).
    double firstEcho = 0.0, lateEcho = 0.0;
    for (size_t i = 0; i < 200; ++i)
        firstEcho = std::max(firstEcho, std::fabs(run.left[start + i] - in[i]));
    for (size_t i = 700; i < 882; ++i)
        lateEcho = std::max(lateEcho, std::fabs(run.left[start + i] - in[i]));
    EXPECT_GT(firstEcho, 0.05);
    EXPECT_LT(lateEcho, firstEcho * (1.0 - std::sqrt(700.0 / 882.0)) * 1.5);
    for (size_t i = 883; i < in.size(); ++i)
    {
        ASSERT_EQ(run.left[start + i], in[i]) << "sample " << i << " after switch-off";
        ASSERT_EQ(run.right[start + i], 0.0);
    }

    // The lines were emptied: switching on again brings no old echo back.
    run.delay->setActive(true);
    const size_t on = run.left.size();
    run.silence(2 * run.delay->getDelayTime());
    EXPECT_LT(peak(run.left, on, run.left.size() - on), 1e-3);
}

// Every switch-off fades from full level: on its first faded sample the output
// equals that of a twin still on, for the second switch-off as for the first.
// (The twin follows one sample later, so the two stay alike up to the filters'
// noise term.)
TEST(Delay, EachFadeOutStartsAtFullLevel)
{
    Rig run, twin;
    for (int cycle = 0; cycle < 2; ++cycle)
    {
        run.feed(sine(30000));
        twin.feed(sine(30000));
        run.delay->setActive(false);
        double l = 0.1, r = 0.1, tl = 0.1, tr = 0.1;
        run.delay->process3(l, r);
        twin.delay->process3(tl, tr);
        ASSERT_GT(std::fabs(tl - 0.1), 0.05) << "an echo is playing";
        EXPECT_NEAR(l, tl, 1e-4) << "cycle " << cycle;
        twin.delay->setActive(false);
        run.silence(1000); // both fade-outs run to their end
        twin.silence(1000);
        run.delay->setActive(true);
        twin.delay->setActive(true);
    }
}

struct ResumeCase
{
    const char* name;
    int samplesBeforeOn; // processed between switching off and on (-1: none)
};

std::ostream& operator<<(std::ostream& os, const ResumeCase& c)
{
    return os << c.name;
}

class DelayResume : public ::testing::TestWithParam<ResumeCase>
{
};

// Switching on during the fade-out (or after an owner stopped processing)
// drops the old echoes at once; the lines start from silence.
TEST_P(DelayResume, SwitchOnDuringFadeClearsLines)
{
    Rig run;
    run.feed(sine(30000));
    run.delay->setActive(false);
    if (GetParam().samplesBeforeOn > 0)
        run.silence(GetParam().samplesBeforeOn);
    run.delay->setActive(true);
    const size_t on = run.left.size();
    run.silence(2 * run.delay->getDelayTime());
    EXPECT_LT(peak(run.left, on, run.left.size() - on), 1e-3);
    EXPECT_LT(peak(run.right, on, run.right.size() - on), 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Moments, DelayResume,
                         ::testing::Values(ResumeCase{"MidFade", 300}, ResumeCase{"NoProcessing", -1}),
                         [](const auto& info) { return info.param.name; });

// On switch-on the lines' input fades in from silence over 10 ms, so the first
// echo rises from nothing instead of starting with a step.
TEST(Delay, SwitchOnFadesLineInputIn)
{
    Rig run;
    run.delay->setActive(false);
    run.silence(1000); // fade-out runs to its end
    run.delay->setActive(true);
    const std::vector<double> in = sine(30000);
    const size_t on = run.left.size();
    run.feed(in);
    const size_t D = static_cast<size_t>(run.delay->getDelayTime());
    auto echo = [&](size_t i) { return std::fabs(run.left[on + D + i] - in[D + i]); };
    double settled = 0.0;
    for (size_t i = 1000; i < 1500; ++i)
        settled = std::max(settled, echo(i));
    EXPECT_GT(settled, 0.2);
    EXPECT_LT(echo(0), 1e-3);
    EXPECT_LT(echo(1), 0.1 * settled);
}

TEST(Delay, InactiveAndFadedPassesPairUnchanged)
{
    Rig run;
    run.feed(sine(20000));
    run.delay->setActive(false);
    run.silence(883);
    for (double x : {0.3, -1.7, 123.0})
    {
        double l = x, r = -x;
        run.delay->process3(l, r);
        EXPECT_EQ(l, x);
        EXPECT_EQ(r, -x);
    }
}

// setSampleRate restarts the smoothers at 0: volume and dry/wet glide up, so the
// echo level follows (1 - a^n)^2 with a the 8 ms pole at the new rate. The twin
// gets the same new rate and tempo through setSamplePerBeat, which leaves its
// smoothers settled; the ratio of the two outputs is the glide.
TEST(Delay, SmoothersGlideUpAfterSetSampleRate)
{
    Rig run, twin;
    run.feed(sine(30000));
    twin.feed(sine(30000));
    run.delay->setSampleRate(48000.0);
    twin.delay->setSamplePerBeat(120.0, 48000.0);
    ASSERT_EQ(run.delay->getDelayTime(), twin.delay->getDelayTime());
    const size_t from = run.left.size();
    run.silence(3000); // output is echo only
    twin.silence(3000);

    const double a = std::exp(-6.2831855f / (8.0f * 0.001f * 48000.0f));
    int checked = 0;
    for (size_t i = 0; i < 3000; ++i)
    {
        const double reference = twin.left[from + i];
        if (std::fabs(reference) < 0.05)
            continue;
        const double glide = 1.0 - std::pow(a, static_cast<double>(i + 1));
        ASSERT_NEAR(run.left[from + i] / reference, glide * glide, 1e-3) << "sample " << i;
        ++checked;
    }
    EXPECT_GT(checked, 1000);
}

// Ping-pong plays the left line only, alternating sides each period.
TEST(Delay, PingPongAlternatesSides)
{
    Rig run;
    run.delay->setPingPong(true);
    run.silence(5000);
    const int D = run.delay->getDelayTime();
    std::vector<double> impulse(static_cast<size_t>(3 * D + 1000), 0.0);
    // Place the impulse in the middle of a period so its echoes are not in a glide.
    const size_t offset = static_cast<size_t>(D / 2 - 5000 % D);
    impulse[offset] = 1.0;
    run.feed(impulse);
    const size_t n0 = 5000 + offset;
    double sides[2][2];
    for (int k = 1; k <= 2; ++k)
    {
        const size_t at = n0 + static_cast<size_t>(k * D);
        sides[k - 1][0] = peak(run.left, at, 300);
        sides[k - 1][1] = peak(run.right, at, 300);
    }
    // Each repeat sits on one side only, and the next one on the other.
    const double shape1 = peak(repeatShape(1, 300), 0, 300);
    const double shape2 = peak(repeatShape(2, 300), 0, 300);
    const int first = sides[0][0] > sides[0][1] ? 0 : 1;
    EXPECT_NEAR(sides[0][first], 0.75 * shape1, 1e-3);
    EXPECT_LT(sides[0][1 - first], 1e-3);
    EXPECT_NEAR(sides[1][1 - first], 0.375 * shape2, 1e-3);
    EXPECT_LT(sides[1][first], 1e-3);
}

} // namespace
