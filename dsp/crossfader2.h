// SPDX-License-Identifier: GPL-3.0-or-later
//
// Crossfader2: de-click crossfade for a stereo pair.
//
// Wherever the output would jump (a loop starts or changes, a delay line changes
// its time, a ping-pong or polarity switch) the owner loads the "old" signal into
// the fade-out buffer and calls start(). For the next `size` samples every pair is
//
//     y[i] = old[i] * (1 - w[i]) + new[i] * w[i],   w[i] = curve[i]
//
// with w[i] = i / size (linear) or sqrt(i / size) (square root, the default: the
// new signal comes up fast, the old falls as 1 - sqrt). The weights always sum to
// one. size = floor(sampleRate * timeMs / 1000) samples; 10 ms at 44.1 kHz is 441.
// Once position reaches size the crossfader is idle and passes pairs unchanged.
//
// All memory is allocated in init() (called by the constructor and by every
// setter); the per-sample process() calls only read tables.
#pragma once

#include <cstddef>
#include <vector>

class Crossfader2
{
public:
    enum CrossfadeType : int
    {
        kLinear = 0,
        kSquareRoot = 1,
    };

    Crossfader2();

    // Rebuilds the tables for the current rate, time and type; ends any fade.
    void init();
    void setSamplerate(int rate);
    void setTime(double milliseconds);
    void setType(CrossfadeType type);

    // Old signal as a straight ramp from the given pair down towards zero.
    void setFadeOutBuffer(float left, float right);
    // Old signal from real audio: source[0]/source[1] are left/right. Forward reads
    // source[c][0 .. count-1]; backward reads source[c][0], source[c][-1], ...
    // Fewer than `size` samples are followed by a ramp from the last one to silence.
    void setFadeOutBuffer(float** source, unsigned int count, bool forward);

    // Feed the old signal one pair at a time; resetContinuePhase() rewinds.
    void fillBuffer(float left, float right)
    {
        if (fillPosition < size)
        {
            fadeOutLeft[static_cast<size_t>(fillPosition)] = left;
            fadeOutRight[static_cast<size_t>(fillPosition)] = right;
            ++fillPosition;
        }
    }
    void resetContinuePhase() { fillPosition = 0; }

    // Copies `size` samples of each channel as the old signal and starts the fade.
    void start(float** source);
    void start() { position = 0; }
    void stop() { position = size; }
    void reset() { position = size; }

    // One fade step on a pair, in place (computed in double).
    void process(float& left, float& right)
    {
        if (position >= size)
            return;
        const auto i = static_cast<size_t>(position);
        const double w = curve[i];
        const double l = fadeOutLeft[i] * (1.0 - w) + left * w;
        const double r = right * w + fadeOutRight[i] * (1.0 - w);
        left = static_cast<float>(l);
        right = static_cast<float>(r);
        ++position;
        currentLeft = left;
        currentRight = right;
    }

    void process(double& left, double& right)
    {
        if (position >= size)
            return;
        const auto i = static_cast<size_t>(position);
        const double w = curve[i];
        // Both results from the inputs as given, so process(x, x) fades x once.
        const double l = fadeOutLeft[i] * (1.0 - w) + left * w;
        const double r = right * w + fadeOutRight[i] * (1.0 - w);
        left = l;
        right = r;
        ++position;
        currentLeft = static_cast<float>(left);
        currentRight = static_cast<float>(right);
    }

    // As above, with the old pair given directly; the fade-out buffer is ignored.
    void process(float& left, float& right, float oldLeft, float oldRight)
    {
        if (position >= size)
            return;
        const double w = curve[static_cast<size_t>(position)];
        const double l = oldLeft * (1.0 - w) + left * w;
        const double r = right * w + oldRight * (1.0 - w);
        left = static_cast<float>(l);
        right = static_cast<float>(r);
        ++position;
        currentLeft = left;
        currentRight = right;
    }

    void getCurrentValue(float& left, float& right) const
    {
        left = currentLeft;
        right = currentRight;
    }

    // Read by owners: a fade is running while position < size.
    int position = 0;
    int size = 0;

private:
    std::vector<float> fadeOutLeft;
    std::vector<float> fadeOutRight;
    std::vector<double> curve;
    double sampleRate = 44100.0;
    double time = 10.0;
    CrossfadeType type = kSquareRoot;
    int fillPosition = 0;
    float currentLeft = 0.0f;
    float currentRight = 0.0f;
};
