// SPDX-License-Identifier: GPL-3.0-or-later
//
// Delay: tempo-synchronised stereo echo with feedback, tone control and a
// DC blocker in the loop. Per channel, with r = line output D samples old:
//
//   x   = in + r * fb                         (fb <= 0.95)
//   l   = lowpass4(x, cutoff(tune))           (ladder filter, no resonance)
//   w   = dcblock(highpass3(l, h(tune)))      (extended precision, limited to +-1)
//   line <- w                                 (optionally polarity-inverted)
//   out = in * dry + r * volume * wet         (dry = min(1, 2(1-dw)), wet = min(1, 2dw))
//
// The time D is a musical fraction of the beat (1/128 bar .. one bar, with
// triplets) or, in free mode, m + (4 spb - m) v^3 with m = 7.8 ms. Clicks are
// avoided everywhere: feedback, volume, dry/wet and tune pass one-pole smoothers;
// time jumps and switching on are covered by 10 ms crossfades in the lines;
// switching off fades the echoes with 1 - sqrt(i/882) before the lines are
// cleared; ping-pong and polarity switches have crossfaders of their own.
//
// All memory (two rings of 2^17 doubles, the fade table) is allocated in the
// constructor; process3() and the setters allocate nothing.
#pragma once

#include "dsp/biquad.h"
#include "dsp/crossfader2.h"
#include "dsp/delaybuffer.h"
#include "dsp/highlifefilter.h"
#include "dsp/paramsmooth.h"

#include <algorithm>
#include <vector>

class Delay
{
public:
    static constexpr int kLineSize = 131072;
    static constexpr int kFadeLength = 882; // 20 ms at 44.1 kHz, fixed at construction

    explicit Delay(int unused = 0);

    void setSampleRate(double rate);
    void setSamplePerBeat(double tempo, double sampleRate);
    void update() { setTimeF(timeValue); }
    void setTimeF(double value);
    void setTime(int samples);
    void setSync(bool on);
    void setFeedback(double value) { feedback = value; }
    void setVolume(double value) { volume = value; }
    void setDryWet(double value) { dryWet = value; }
    void setTune(double value) { tune = value; }
    void setActive(bool on);
    void setPingPong(bool on);
    void inversePolarity(bool on);
    void setPitch(double value);
    void setPitchActive(bool on);

    bool isActive() const { return activeFlag; }
    int getDelayTime() const { return delayTime; }
    const DelayBuffer& lineLeft() const { return lineL; }
    const DelayBuffer& lineRight() const { return lineR; }

    // One sample pair in place.
    void process3(double& left, double& right)
    {
        if (!activeFlag && !fadingOut)
            return;

        const double inL = left;
        const double inR = right;
        const int period = std::max(delayTime, quietPeriod);

        const double fb = std::min(static_cast<double>(smoothFeedback.process(static_cast<float>(feedback))), 0.95);
        const double rdL = lineL.read();
        const double rdR = lineR.read();
        const double xL = inL + rdL * fb;
        const double xR = inR + rdR * fb;

        // Tone: below the middle a darker low-pass, above it a rising high-pass.
        const float tn = smoothTune.process(static_cast<float>(tune));
        float cutoff = 1.95f * tn;
        if (cutoff > 1.0f)
            cutoff = 1.0f;
        else
        {
            const float u = 0.75f * cutoff + 0.25f;
            cutoff = std::max(u * u * u, 0.01f);
        }
        const float fL = toneFilterL.work(static_cast<float>(xL), cutoff, 0.0f, 1);
        const float fR = toneFilterR.work(static_cast<float>(xR), cutoff, 0.0f, 1);

        const double d = static_cast<double>(tn) - 0.5;
        const double h = d < 0.0 ? 0.0 : 0.375 * d * d;
        const auto tL = static_cast<double>(IIR_doIIRhigh(toneHighL, h, fL));
        const auto tR = static_cast<double>(IIR_doIIRhigh(toneHighR, h, fR));
        double gL = static_cast<double>(IIR_doIIRhigh(dcBlockL, 0.001L, tL));
        double gR = static_cast<double>(IIR_doIIRhigh(dcBlockR, 0.001L, tR));

        if (polarityInverted)
        {
            gL = -gL;
            gR = -gR;
        }
        lastInL = gL;
        lastInR = gR;
        if (polarityFader.position < polarityFader.size - 1)
            polarityFader.process(gL, gR);
        lineL.write(gL);
        lineR.write(gR);

        double vol = smoothVolume.process(static_cast<float>(volume));
        const double dw = smoothDryWet.process(static_cast<float>(dryWet));
        const double dry = std::min(1.0, 2.0 * (1.0 - dw));
        const double wet = std::min(1.0, 2.0 * dw);

        if (fadingOut && !activeFlag)
        {
            if (fadePosition >= fadeLength)
            {
                // Fade complete: silence the echoes for good and empty the lines.
                // The position restarts at 0 so the next fade-out begins at full level.
                fadingOut = false;
                fadePosition = 0;
                clearLines();
                vol = 0.0;
            }
            else
            {
                vol *= 1.0 - fadeTable[static_cast<size_t>(fadePosition)];
                ++fadePosition;
            }
        }

        double g;
        if (periodCounter % period == 0)
        {
            pingPongSide = !pingPongSide;
            periodCounter = 0;
            g = 1.0;
        }
        else
            g = pingPongGlide;

        double outL = dry * inL;
        double outR = dry * inR;
        if (!pingPong)
        {
            outL += rdL * vol * wet;
            outR += rdR * vol * wet;
        }
        else
        {
            // Only the left line is heard; it glides from one side to the other
            // in 10 ms at the start of each period.
            const double a = g * vol * wet * rdL;
            const double b = (1.0 - g) * vol * wet * rdL;
            if (!pingPongSide)
            {
                outL += a;
                outR += b;
            }
            else
            {
                outR += a;
                outL += b;
            }
        }
        pingPongGlide = std::max(0.0, g - 100.0 / sampleRate);

        if (pingPongFader.position < pingPongFader.size - 1)
            pingPongFader.process(outL, outR);

        left = outL;
        right = outR;
        ++periodCounter;
        lastOutL = outL;
        lastOutR = outR;
    }

private:
    // Empties the lines and the filters in their loop. The filters hold the last
    // input before the switch-off; left alone they would write it into the
    // fresh lines as a faint echo after the next switch-on.
    void clearLines()
    {
        lineL.clear();
        lineR.clear();
        toneFilterL.clear_filter();
        toneFilterR.clear_filter();
        IIR_resetIIR(toneHighL);
        IIR_resetIIR(toneHighR);
        IIR_resetIIR(dcBlockL);
        IIR_resetIIR(dcBlockR);
    }

    // Shortest delay: 7.8 ms, and never less than one sample.
    int minimumTime() const { return std::max(1, static_cast<int>(sampleRate * 0.0078)); }

    int delayTime = 0;
    double feedback = 0.5;
    double volume = 0.75;
    double dryWet = 0.5;
    int sampleRate = 44100;
    double tempo = 120.0;
    bool activeFlag = true;
    bool sync = true;
    double tune = 0.5;
    double samplesPerBeat = 22050.0;
    double timeValue = 0.5;
    bool pingPong = false;
    bool pingPongSide = false;
    double pingPongGlide = 0.0;
    tbiquad toneHighL, toneHighR, dcBlockL, dcBlockR;
    bool polarityInverted = false;
    CHighLifeFilter toneFilterL, toneFilterR;
    DelayBuffer lineL{kLineSize};
    DelayBuffer lineR{kLineSize};
    CParamSmooth smoothVolume{4.0f, 44100.0f};
    CParamSmooth smoothFeedback{4.0f, 44100.0f};
    CParamSmooth smoothDryWet{4.0f, 44100.0f};
    CParamSmooth smoothTune{4.0f, 44100.0f};
    bool fadingOut = false;
    std::vector<double> fadeTable;
    int fadePosition = 0;
    int fadeLength = kFadeLength;
    Crossfader2 pingPongFader;
    double lastOutL = 0.0, lastOutR = 0.0;
    Crossfader2 polarityFader;
    double lastInL = 0.0, lastInR = 0.0;
    int periodCounter = 0;
    int quietPeriod = static_cast<int>(44100 * 0.05);
};
