// SPDX-License-Identifier: GPL-3.0-or-later
//
// CHighLifeFilter: four-pole resonant filter after the transistor-ladder model
// (four one-pole stages in series with feedback from the last stage).
//
// Controls are normalised, not in hertz: cutoff c and resonance in [0, 1].
//   r = 1 - c,  p = c + 0.8 c r,  f = 2p - 1
//   q = (1 + 0.5 r (5.6 r^2 + (1 - r))) * 0.89 * resonance   (resonance compensation)
//   x = in + noise - q * b4
//   b1' = (x   + b0) p - f b1,  b2' = (b1' + b1) p - f b2,
//   b3' = (b2' + b2) p - f b3,  b4' = (b3' + b3) p - f b4,  b0 = x
// Outputs: 1 low-pass (24 dB/oct) b4, 2 high-pass x - b4, 3 band-pass
// 3 (b3 - b4), 4 inverted band-reject 3 (b3 - b4) - x; any other type gives 0
// while the state still advances. At resonance 0 the low-pass has unity DC gain.
//
// Coefficients are recomputed on every sample so cutoff and resonance may move
// per sample. All arithmetic is single precision. The noise term is a tiny
// positive offset (up to about 2e-5) that keeps the recursion away from
// denormals; it comes from the C library's rand_r on a per-filter seed, which
// gives rand()'s range without the lock glibc's shared rand() takes, so the
// filter is safe on the audio thread and two filters with the same history
// produce the same output.
#pragma once

#include <cstdlib>

class CHighLifeFilter
{
public:
    CHighLifeFilter() { clear_filter(); }

    void clear_filter()
    {
        q = p = f = 0.0f;
        b0 = b1 = b2 = b3 = b4 = 0.0f;
    }

    float work(float input, float cutoff, float resonance, int type)
    {
        const float noise = static_cast<float>(rand_r(&noiseSeed)) * 1e-14f;
        const float r = 1.0f - cutoff;
        p = cutoff + 0.8f * cutoff * r;
        f = p + p - 1.0f;
        q = (1.0f + 0.5f * r * (5.6f * r * r + (1.0f - r))) * (resonance * 0.89f);

        const float x = input + noise - q * b4;
        const float t1 = b1, t2 = b2, t3 = b3;
        b1 = (x + b0) * p - f * b1;
        b2 = (b1 + t1) * p - f * b2;
        b3 = (b2 + t2) * p - f * b3;
        b4 = (b3 + t3) * p - f * b4;
        b0 = x;

        switch (type)
        {
        case 1:
            return b4;
        case 2:
            return x - b4;
        case 3:
            return 3.0f * (b3 - b4);
        case 4:
            return 3.0f * (b3 - b4) - x;
        default:
            return 0.0f;
        }
    }

    // Resonance feedback, pole coefficient and 2p - 1 of the last call.
    float q, p, f;
    // Previous input after feedback and the four stage outputs.
    float b0, b1, b2, b3, b4;

private:
    unsigned int noiseSeed = 1;
};
