// SPDX-License-Identifier: GPL-3.0-or-later
//
// allpass: the reverb's series diffuser (a Schroeder all-pass approximation).
//
//   b = buf[n - N],  buf[n] = x[n] + b * feedback,  y[n] = b - x[n]
//
// The direct path is inverted (-x), so an impulse first appears with its sign
// flipped. Feedback 0.5 in the reverb. The delay memory belongs to the owner.
#pragma once

#include "dsp/reverb/denormal.h"

class allpass
{
public:
    allpass() = default;

    void setbuffer(float* buf, int size)
    {
        buffer = buf;
        bufsize = size;
        bufidx = 0;
    }

    void mute()
    {
        for (int i = 0; i < bufsize; ++i)
            buffer[i] = 0.0f;
    }

    void setfeedback(float value) { feedback = value; }
    float getfeedback() const { return feedback; }

    float process(float input)
    {
        const float bufout = reverb_flush_denormal(buffer[bufidx]);
        buffer[bufidx] = input + bufout * feedback;
        if (++bufidx >= bufsize)
            bufidx = 0;
        return bufout - input;
    }

private:
    float feedback = 0.0f;
    float* buffer = nullptr;
    int bufsize = 0;
    int bufidx = 0;
};
