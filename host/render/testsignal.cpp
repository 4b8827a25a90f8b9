// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/testsignal.h"

#include <cmath>
#include <cstdint>

namespace vamplet::render {
namespace {

constexpr double kTwoPi = 6.283185307179586;

// xorshift32: a fixed noise source so every render of the beat is identical.
struct Noise {
    std::uint32_t state = 0x9E3779B9u;
    float next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<float>(state) / 2147483648.0f - 1.0f;
    }
};

// Kick: a sine falling from 150 Hz to 45 Hz (pitch time constant 40 ms), amplitude decay 150 ms.
// The phase is the integral of the swept frequency, so the sweep has no discontinuity.
float kick(double t)
{
    const double f0 = 150.0, f1 = 45.0, tau = 0.04;
    const double phase = kTwoPi * (f1 * t + (f0 - f1) * tau * (1.0 - std::exp(-t / tau)));
    return static_cast<float>(0.75 * std::exp(-t / 0.15) * std::sin(phase));
}

// Snare body: 185 Hz sine decaying in 60 ms; the noise part is added by the caller.
float snareBody(double t)
{
    return static_cast<float>(0.3 * std::exp(-t / 0.06) * std::sin(kTwoPi * 185.0 * t));
}

// Bass: one plucked note per eighth (a sine with a little second harmonic, 90 ms decay). The
// notes walk a four-bar progression and an arpeggio within each bar, so every beat and every
// bar sounds different and a loop of any length is heard (and seen) as a repetition.
float bass(double sinceNote, long eighthIndex, int eighthsPerBar)
{
    static const double roots[4] = {55.0, 65.406, 73.416, 48.999}; // A1, C2, D2, G1
    static const double steps[8] = {1.0, 1.5, 2.0, 1.5, 1.189, 1.5, 2.0, 2.378};
    const long bar = eighthIndex / (eighthsPerBar > 0 ? eighthsPerBar : 8);
    const double f = roots[bar % 4] * steps[eighthIndex % 8];
    const double env = 0.16 * std::exp(-sinceNote / 0.09);
    return static_cast<float>(env * (std::sin(kTwoPi * f * sinceNote) + 0.3 * std::sin(kTwoPi * 2.0 * f * sinceNote)));
}

} // namespace

std::vector<std::vector<float>> generateBeat(double sampleRate, double tempo, int num, int den, long frames,
                                             int channels)
{
    channels = channels < 1 ? 1 : (channels > 2 ? 2 : channels);
    std::vector<std::vector<float>> out(static_cast<std::size_t>(channels),
                                        std::vector<float>(static_cast<std::size_t>(frames > 0 ? frames : 0), 0.0f));
    if (frames <= 0 || !(sampleRate > 0.0) || !(tempo > 0.0) || num <= 0 || den <= 0)
        return out;

    const double beatSeconds = 60.0 / tempo * 4.0 / den;
    const double eighthSeconds = 60.0 / tempo / 2.0;
    Noise noise;
    float hatState = 0.0f; // one-pole low-pass state; hat = noise minus its low-passed part
    float snareNoiseState = 0.0f;

    for (long i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const long beatIndex = static_cast<long>(std::floor(t / beatSeconds));
        const double sinceEighth = std::fmod(t, eighthSeconds);
        const long eighthIndex = static_cast<long>(std::floor(t / eighthSeconds));
        // Seconds since the latest kick (even beat of the bar) and snare (odd beat); each decay
        // runs on into the next beat instead of being cut off there.
        double sinceKick = -1.0, sinceSnare = -1.0;
        for (long back = 0; back <= 2; ++back) {
            const long index = beatIndex - back;
            if (index < 0)
                break;
            const double since = t - static_cast<double>(index) * beatSeconds;
            if ((index % num) % 2 == 0 && sinceKick < 0.0)
                sinceKick = since;
            if ((index % num) % 2 == 1 && sinceSnare < 0.0)
                sinceSnare = since;
        }

        float mono = bass(sinceEighth, eighthIndex, static_cast<int>(std::lround(num * beatSeconds / eighthSeconds)));
        if (sinceKick >= 0.0)
            mono += kick(sinceKick);
        const float n = noise.next();
        // Snare: body plus band-limited noise (a gentle low-pass takes the fizz off).
        snareNoiseState += 0.5f * (n - snareNoiseState);
        if (sinceSnare >= 0.0)
            mono += snareBody(sinceSnare) + static_cast<float>(0.35 * std::exp(-sinceSnare / 0.08)) * snareNoiseState;
        hatState += 0.25f * (n - hatState);
        const float hat = static_cast<float>(0.15 * std::exp(-sinceEighth / 0.03)) * (n - hatState);

        // Headroom: kick, snare, bass and hats can meet on one sample.
        constexpr float kMix = 0.78f;
        mono *= kMix;
        const float hatMix = kMix * hat;
        if (channels == 1) {
            out[0][static_cast<std::size_t>(i)] = mono + hatMix;
        } else {
            out[0][static_cast<std::size_t>(i)] = mono + 0.7f * hatMix;
            out[1][static_cast<std::size_t>(i)] = mono + 1.0f * hatMix;
        }
    }
    return out;
}

} // namespace vamplet::render
