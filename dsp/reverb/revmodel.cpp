// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/reverb/revmodel.h"

using reverb_tuning::kAllpassTuning;
using reverb_tuning::kCombTuning;

static_assert(reverb_tuning::memorySize() == 25450, "24 delay memories of 25 450 floats");

revmodel::revmodel()
{
    float* next = memory;
    for (int i = 0; i < kNumCombs; ++i)
    {
        combL[i].setbuffer(next, kCombTuning[i]);
        next += kCombTuning[i];
    }
    for (int i = 0; i < kNumCombs; ++i)
    {
        combR[i].setbuffer(next, kCombTuning[i] + kStereoSpread);
        next += kCombTuning[i] + kStereoSpread;
    }
    for (int i = 0; i < kNumAllpasses; ++i)
    {
        allpassL[i].setbuffer(next, kAllpassTuning[i]);
        next += kAllpassTuning[i];
    }
    for (int i = 0; i < kNumAllpasses; ++i)
    {
        allpassR[i].setbuffer(next, kAllpassTuning[i] + kStereoSpread);
        next += kAllpassTuning[i] + kStereoSpread;
    }
    for (int i = 0; i < kNumAllpasses; ++i)
    {
        allpassL[i].setfeedback(0.5f);
        allpassR[i].setfeedback(0.5f);
    }

    // Memory must be defined before mute(), which skips clearing when frozen.
    for (float& s : memory)
        s = 0.0f;

    setwet(1.0f / kScaleWet);
    setroomsize(0.5f);
    setdry(0.0f);
    setdamp(0.5f);
    setwidth(1.0f);
    setmode(0.0f);
    mute();
}

void revmodel::mute()
{
    if (getmode() >= kFreezeMode)
        return;
    for (int i = 0; i < kNumCombs; ++i)
    {
        combL[i].mute();
        combR[i].mute();
    }
    for (int i = 0; i < kNumAllpasses; ++i)
    {
        allpassL[i].mute();
        allpassR[i].mute();
    }
}

void revmodel::update()
{
    wet1 = wet * (width / 2.0f + 0.5f);
    wet2 = wet * ((1.0f - width) / 2.0f);

    if (mode >= kFreezeMode)
    {
        roomsize1 = 1.0f;
        damp1 = 0.0f;
        gain = 0.0f;
    }
    else
    {
        roomsize1 = roomsize;
        damp1 = damp;
        gain = kFixedGain;
    }

    for (int i = 0; i < kNumCombs; ++i)
    {
        combL[i].setfeedback(roomsize1);
        combR[i].setfeedback(roomsize1);
        combL[i].setdamp(damp1);
        combR[i].setdamp(damp1);
    }
}

void revmodel::setroomsize(float value)
{
    roomsize = value * kScaleRoom + kOffsetRoom;
    update();
}

float revmodel::getroomsize() const
{
    return (roomsize - kOffsetRoom) / kScaleRoom;
}

void revmodel::setdamp(float value)
{
    damp = value * kScaleDamp;
    update();
}

float revmodel::getdamp() const
{
    return damp / kScaleDamp;
}

void revmodel::setwet(float value)
{
    wet = value * kScaleWet;
    update();
}

float revmodel::getwet() const
{
    return wet / kScaleWet;
}

void revmodel::setdry(float value)
{
    dry = value * kScaleDry;
}

float revmodel::getdry() const
{
    return dry * 0.5f;
}

void revmodel::setwidth(float value)
{
    width = value;
    update();
}

float revmodel::getwidth() const
{
    return width;
}

void revmodel::setmode(float value)
{
    mode = value;
    update();
}

float revmodel::getmode() const
{
    return mode >= kFreezeMode ? 1.0f : 0.0f;
}
