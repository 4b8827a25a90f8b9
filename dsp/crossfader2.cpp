// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/crossfader2.h"

#include <algorithm>
#include <cmath>

namespace
{
// Longest fade we build (about 6 minutes at 44.1 kHz); keeps a nonsense rate or
// time from overflowing the int size or exhausting memory.
constexpr double kMaxFadeSamples = 16777216.0;
}

Crossfader2::Crossfader2()
{
    init();
}

void Crossfader2::init()
{
    currentLeft = 0.0f;
    currentRight = 0.0f;

    // A negative, NaN or absurd rate/time would make floor() useless as a size;
    // such settings give an empty (permanently idle) crossfader instead.
    const double samples = std::floor(sampleRate * time / 1000.0);
    if (samples >= 1.0)
        size = static_cast<int>(std::min(samples, kMaxFadeSamples));
    else
        size = 0;

    position = size;
    fillPosition = size;

    const auto n = static_cast<size_t>(size);
    curve.assign(n, 0.0);
    fadeOutLeft.assign(n, 0.0f);
    fadeOutRight.assign(n, 0.0f);
    curve.shrink_to_fit();
    fadeOutLeft.shrink_to_fit();
    fadeOutRight.shrink_to_fit();

    for (size_t i = 0; i < n; ++i)
    {
        const double x = static_cast<double>(i) / static_cast<double>(size);
        curve[i] = type == kLinear ? x : std::sqrt(x);
    }
}

void Crossfader2::setSamplerate(int rate)
{
    sampleRate = static_cast<double>(rate);
    init();
}

void Crossfader2::setTime(double milliseconds)
{
    time = milliseconds;
    init();
}

void Crossfader2::setType(CrossfadeType newType)
{
    type = newType;
    init();
}

void Crossfader2::setFadeOutBuffer(float left, float right)
{
    if (size <= 0)
        return;
    const double stepLeft = static_cast<double>(left) / size;
    const double stepRight = static_cast<double>(right) / size;
    fadeOutLeft[0] = left;
    fadeOutRight[0] = right;
    for (size_t i = 1; i < static_cast<size_t>(size); ++i)
    {
        fadeOutLeft[i] = static_cast<float>(static_cast<double>(fadeOutLeft[i - 1]) - stepLeft);
        fadeOutRight[i] = static_cast<float>(static_cast<double>(fadeOutRight[i - 1]) - stepRight);
    }
}

void Crossfader2::setFadeOutBuffer(float** source, unsigned int count, bool forward)
{
    if (size <= 0)
        return;
    float* const channels[2] = {fadeOutLeft.data(), fadeOutRight.data()};

    // Nothing to capture: the old signal is silence rather than a read before
    // the source.
    if (count == 0)
    {
        std::fill(fadeOutLeft.begin(), fadeOutLeft.end(), 0.0f);
        std::fill(fadeOutRight.begin(), fadeOutRight.end(), 0.0f);
        return;
    }

    const unsigned int captured = std::min(count, static_cast<unsigned int>(size));
    for (int c = 0; c < 2; ++c)
    {
        const float* src = source[c];
        float* dst = channels[c];
        if (forward)
            for (unsigned int i = 0; i < captured; ++i)
                dst[i] = src[i];
        else
            for (unsigned int i = 0; i < captured; ++i)
                dst[i] = *(src - static_cast<std::ptrdiff_t>(i));
    }
    if (count >= static_cast<unsigned int>(size))
        return;

    // Shorter stretch: ramp from its last sample down to silence.
    const unsigned int tail = static_cast<unsigned int>(size) - count;
    for (int c = 0; c < 2; ++c)
    {
        float* dst = channels[c];
        const double last = dst[count - 1];
        for (unsigned int j = 0; j < tail; ++j)
            dst[count + j] = static_cast<float>(last * (1.0 - static_cast<double>(j) / tail));
    }
}

void Crossfader2::start(float** source)
{
    const auto n = static_cast<size_t>(size);
    std::copy(source[0], source[0] + n, fadeOutLeft.begin());
    std::copy(source[1], source[1] + n, fadeOutRight.begin());
    position = 0;
}
