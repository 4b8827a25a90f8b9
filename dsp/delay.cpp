// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/delay.h"

#include <cmath>
#include <math.h>

namespace
{
// Delay times are cut to the lines' length anyway; this bound only keeps
// conversions to int defined for absurd tempos or control values.
constexpr double kMaxTimeSamples = 1 << 30;

int toSamples(double time)
{
    if (!(time > 0.0))
        return 0;
    return static_cast<int>(std::min(time, kMaxTimeSamples));
}
} // namespace

Delay::Delay(int)
{
    fadeTable.resize(static_cast<size_t>(fadeLength));
    for (int i = 0; i < fadeLength; ++i)
        fadeTable[static_cast<size_t>(i)] = std::sqrt(static_cast<double>(i) / fadeLength);
    setTimeF(0.5);
}

void Delay::setSampleRate(double rate)
{
    // A rate that is not a positive number leaves the delay as it was.
    if (!(rate >= 1.0 && rate <= 1e7))
        return;
    sampleRate = static_cast<int>(rate);
    setSamplePerBeat(tempo, rate);
    smoothVolume.init(8.0f, static_cast<float>(rate));
    smoothFeedback.init(8.0f, static_cast<float>(rate));
    smoothDryWet.init(8.0f, static_cast<float>(rate));
    smoothTune.init(8.0f, static_cast<float>(rate));
    quietPeriod = static_cast<int>(sampleRate * 0.05);
}

void Delay::setSamplePerBeat(double newTempo, double newSampleRate)
{
    // A tempo or rate of zero, below zero or not a number is ignored and the
    // previous timing stays.
    if (!(newTempo > 0.0 && std::isfinite(newTempo)) || !(newSampleRate >= 1.0 && newSampleRate <= 1e7))
        return;
    tempo = newTempo;
    sampleRate = static_cast<int>(newSampleRate);
    samplesPerBeat = 60.0 * newSampleRate / newTempo;
    update();
}

void Delay::setTimeF(double value)
{
    const double spb = samplesPerBeat;
    if (sync)
    {
        // Eleven steps of a tenth each; anything outside -0.1 < value < 1.1
        // (or not a number) asks for 0 samples, which becomes the minimum time.
        double time = 0.0;
        if (value > -0.1 && value < 1.1)
        {
            const int step = static_cast<int>(value * 10.0);
            timeValue = step / 10.0;
            static constexpr double kFactor[11] = {0.03125, 0.0625, 0.125, 0.25, 1.0 / 3.0, 0.5,
                                                   2.0 / 3.0, 1.0, 4.0 / 3.0, 2.0, 4.0};
            switch (step)
            {
            case 4: time = spb / 3.0; break;
            case 6: time = spb * 2.0 / 3.0; break;
            case 8: time = spb * 4.0 / 3.0; break;
            default: time = spb * kFactor[step]; break;
            }
        }
        else if (std::isfinite(value) && std::fabs(value) < 1e8)
            timeValue = static_cast<int>(value * 10.0) / 10.0;
        else
            timeValue = -1.0;

        const int samples = toSamples(time);
        if (samples != delayTime)
            setTime(samples);
    }
    else
    {
        const double v = std::isfinite(value) ? value : 0.0;
        const double m = static_cast<int>(sampleRate * 0.0078);
        const double time = m + (4.0 * spb - m) * v * v * v;
        setTime(toSamples(time));
        timeValue = v;
    }
}

void Delay::setTime(int samples)
{
    if (samples == delayTime)
        return;
    delayTime = std::max(samples, minimumTime());
    lineL.setNewDelayTime(delayTime);
    lineR.setNewDelayTime(delayTime);
}

void Delay::setSync(bool on)
{
    sync = on;
    setTimeF(timeValue);
}

void Delay::setActive(bool on)
{
    if (on == activeFlag)
        return;
    if (on)
    {
        if (fadingOut)
        {
            // Abandon the fade-out and drop its echoes rather than let them return.
            fadePosition = 0;
            fadingOut = false;
            clearLines();
        }
        lineL.active();
        lineR.active();
        activeFlag = true;
    }
    else
    {
        fadingOut = true;
        activeFlag = false;
    }
}

void Delay::setPingPong(bool on)
{
    if (on == pingPong)
        return;
    pingPong = on;
    if (activeFlag)
    {
        pingPongFader.setFadeOutBuffer(static_cast<float>(lastOutL), static_cast<float>(lastOutR));
        pingPongFader.start();
    }
}

void Delay::inversePolarity(bool on)
{
    if (on == polarityInverted)
        return;
    polarityInverted = on;
    polarityFader.setFadeOutBuffer(static_cast<float>(lastInL), static_cast<float>(lastInR));
    polarityFader.start();
}

void Delay::setPitch(double value)
{
    const float exponent = (24.0f * static_cast<float>(value) - 12.0f) / 12.0f;
    const double pitch = powf(2.0f, exponent);
    lineL.setPitch(pitch);
    lineR.setPitch(pitch);
}

void Delay::setPitchActive(bool on)
{
    lineL.setPitchActive(on);
    lineR.setPitchActive(on);
}
