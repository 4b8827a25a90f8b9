// SPDX-License-Identifier: GPL-3.0-or-later
//
// comb: feedback comb filter with a one-pole low-pass in its loop, the
// building block of the reverb's parallel bank.
//
//   y[n]  = buf[n - N]
//   s[n]  = y[n] * (1 - damp) + s[n-1] * damp        (loop low-pass; damp in [0, 1))
//   buf[n] = x[n] + s[n] * feedback
//
// N is the buffer length in samples. The delay memory belongs to the owner
// (revmodel keeps all of them inside itself), so the comb never allocates.
#pragma once

#include "dsp/reverb/denormal.h"

class comb
{
public:
    comb() = default;

    void setbuffer(float* buf, int size)
    {
        buffer = buf;
        bufsize = size;
        bufidx = 0;
    }

    // Clears the delay memory and the loop filter. Keeping the filter state
    // would feed its last value back into the emptied buffer and bring a faint
    // echo of the old tail back one comb length after a mute.
    void mute()
    {
        for (int i = 0; i < bufsize; ++i)
            buffer[i] = 0.0f;
        filterstore = 0.0f;
    }

    void setdamp(float value)
    {
        damp1 = value;
        damp2 = 1.0f - value;
    }
    float getdamp() const { return damp1; }

    void setfeedback(float value) { feedback = value; }
    float getfeedback() const { return feedback; }

    float process(float input)
    {
        const float output = reverb_flush_denormal(buffer[bufidx]);
        filterstore = reverb_flush_denormal(output * damp2 + filterstore * damp1);
        buffer[bufidx] = input + filterstore * feedback;
        if (++bufidx >= bufsize)
            bufidx = 0;
        return output;
    }

private:
    float feedback = 0.0f;
    float filterstore = 0.0f;
    float damp1 = 0.0f;
    float damp2 = 1.0f;
    float* buffer = nullptr;
    int bufsize = 0;
    int bufidx = 0;
};
