// SPDX-License-Identifier: GPL-3.0-or-later
//
// CParamSmooth: one-pole low-pass that takes the steps out of control values
// (feedback, volume, dry/wet, tone, effect settings) before they reach audio.
//
//   z <- target * b + z * a,   a = exp(-2 pi / (timeMs * 0.001 * sampleRate)),  b = 1 - a
//
// The time constant is timeMs / (2 pi): a step reaches 63.2 % after 57 samples
// and 99 % after 259 samples for 8 ms at 44.1 kHz (a = 0.98235), so timeMs is
// roughly the time to settle. Single precision throughout.
// init() restarts z at 0, so after a sample-rate change every smoothed control
// glides up from 0 to its target.
#pragma once

#include <cmath>

class CParamSmooth
{
public:
    CParamSmooth(float timeMs, float sampleRate) { init(timeMs, sampleRate); }

    void init(float timeMs, float sampleRate)
    {
        const float samples = timeMs * 0.001f * sampleRate;
        // A time constant of zero, negative or NaN samples would give a pole of
        // 0 or above 1 (an exploding recursion); it means no smoothing instead.
        if (samples > 0.0f)
            a = std::exp(-6.2831855f / samples);
        else
            a = 0.0f;
        b = 1.0f - a;
        z = 0.0f;
    }

    float process(float target)
    {
        z = target * b + z * a;
        return z;
    }

    float a; // pole
    float b; // 1 - a
    float z; // smoothed value
};
