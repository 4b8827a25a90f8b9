// SPDX-License-Identifier: GPL-3.0-or-later
//
// revmodel: stereo room reverberator in the public-domain Schroeder/Moorer
// form (parallel damped combs into series all-passes). The input is summed to
// mono and scaled by 0.015, then per channel:
//
//   outL = AP4(AP3(AP2(AP1( sum of 8 damped combs ))))
//   left  = outL * wet1 + outR * wet2 + left * dry,  right likewise
//   wet1 = wet (width/2 + 1/2),  wet2 = wet (1 - width)/2
//
// Comb and all-pass lengths are fixed sample counts (1116..1617 and 556..225 on
// the left; the right adds a spread of 23 so the channels decorrelate); they do
// not follow the sample rate. The comb feedback is room size * 0.28 + 0.7 (at
// most 0.98) and the loop damping is damp * 0.4. Freeze mode (mode >= 0.5) sets
// feedback 1, damping 0 and input gain 0 so the tail circulates unchanged.
//
// All 24 delay memories (25 450 floats) live inside the object, so building,
// muting and processing never allocate. Because the filters point into that
// memory, a revmodel cannot be copied or moved. Single precision throughout.
#pragma once

#include "dsp/reverb/allpass.h"
#include "dsp/reverb/comb.h"

namespace reverb_tuning
{
constexpr int kNumCombs = 8;
constexpr int kNumAllpasses = 4;
constexpr int kStereoSpread = 23; // right channel lengths = left + spread
constexpr int kCombTuning[kNumCombs] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kAllpassTuning[kNumAllpasses] = {556, 441, 341, 225};

// Floats for all 24 delay memories of both channels.
constexpr int memorySize()
{
    int total = 0;
    for (int len : kCombTuning)
        total += 2 * len + kStereoSpread;
    for (int len : kAllpassTuning)
        total += 2 * len + kStereoSpread;
    return total;
}
} // namespace reverb_tuning

class revmodel
{
public:
    static constexpr int kNumCombs = reverb_tuning::kNumCombs;
    static constexpr int kNumAllpasses = reverb_tuning::kNumAllpasses;
    static constexpr int kStereoSpread = reverb_tuning::kStereoSpread;
    static constexpr float kFixedGain = 0.015f;
    static constexpr float kScaleWet = 3.0f;
    static constexpr float kScaleDry = 2.0f;
    static constexpr float kScaleDamp = 0.4f;
    static constexpr float kScaleRoom = 0.28f;
    static constexpr float kOffsetRoom = 0.7f;
    static constexpr float kFreezeMode = 0.5f;

    revmodel();
    revmodel(const revmodel&) = delete;
    revmodel& operator=(const revmodel&) = delete;

    // Clears every delay memory, unless frozen (then the tail is kept).
    void mute();

    void setroomsize(float value);
    float getroomsize() const;
    void setdamp(float value);
    float getdamp() const;
    void setwet(float value);
    float getwet() const;
    void setdry(float value);
    float getdry() const;
    void setwidth(float value);
    float getwidth() const;
    void setmode(float value);
    float getmode() const;

    // One stereo sample in place.
    void process(float& left, float& right)
    {
        const float input = (left + right) * gain;
        float outL = 0.0f;
        float outR = 0.0f;
        for (int i = 0; i < kNumCombs; ++i)
        {
            outL += combL[i].process(input);
            outR += combR[i].process(input);
        }
        for (int i = 0; i < kNumAllpasses; ++i)
        {
            outL = allpassL[i].process(outL);
            outR = allpassR[i].process(outR);
        }
        const float inL = left;
        const float inR = right;
        left = outL * wet1 + outR * wet2 + inL * dry;
        right = outR * wet1 + outL * wet2 + inR * dry;
    }

private:
    void update();

    float gain = kFixedGain;
    float roomsize = 0.0f, roomsize1 = 0.0f;
    float damp = 0.0f, damp1 = 0.0f;
    float wet = 0.0f, wet1 = 0.0f, wet2 = 0.0f;
    float dry = 0.0f;
    float width = 0.0f;
    float mode = 0.0f;

    comb combL[kNumCombs];
    comb combR[kNumCombs];
    allpass allpassL[kNumAllpasses];
    allpass allpassR[kNumAllpasses];

    // Delay memories, in the order combL, combR, allpassL, allpassR.
    float memory[reverb_tuning::memorySize()];
};
