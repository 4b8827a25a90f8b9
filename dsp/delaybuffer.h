// SPDX-License-Identifier: GPL-3.0-or-later
//
// DelayBuffer: one channel of delay line, a power-of-two ring of doubles.
//
//   y[n] = x[n - D]      (read() before write() each sample)
//
// D is in samples, at most size - 1 (131 071 for the synced delay's 2^17 ring).
// A change of D is not applied as a jump in the output: outside pitch mode the
// read position jumps to the new place and a 10 ms square-root crossfade (the
// time fader) covers the step, starting from the sample under the old read
// position; a change requested while that fade runs waits for its end. In
// pitch mode the read position instead glides at pitch up (1.5) or pitch down
// (0.5) until it meets the new position, then jumps there under the jump fader.
// After active() the first 10 ms of input fade in from silence (write fader).
//
// The ring is allocated only in the constructor; read() and write() are inline
// and allocation-free.
#pragma once

#include "dsp/crossfader2.h"

#include <vector>

class DelayBuffer
{
public:
    explicit DelayBuffer(int size);

    // Sets the time at once, without a crossfade.
    void setDelayTime(int t);
    // Requests a time; the next read() moves to it (crossfaded or gliding).
    void setNewDelayTime(int t);

    void clear();
    // Fades the next 10 ms of input in from silence.
    void active()
    {
        writeFader.setFadeOutBuffer(0.0f, 0.0f);
        writeFader.start();
    }

    void setPitchActive(bool on) { pitchActive = on; }
    void setPitch(double value) { pitch = value; }
    void setPitchUp(double v) { pitchUp = v * 0.98 + 1.02; }
    void setPitchDown(double v) { pitchDown = v * 0.575 + 0.375; }

    int getDelayTime() const { return delayTime; }
    int getNewDelayTime() const { return newDelayTime; }
    int getSize() const { return size; }

    void write(double x)
    {
        const int w = writePosition & mask;
        writePosition = w;
        if (writeFader.position < writeFader.size - 1)
        {
            double other = x;
            writeFader.process(x, other);
        }
        ring[static_cast<size_t>(w)] = x;
        writePosition = w + 1;
    }

    double read() { return pitchActive ? readPitched() : readPlain(); }

private:
    double throughFader(Crossfader2& fader, double x)
    {
        if (fader.position < fader.size - 1)
        {
            double other = x;
            fader.process(x, other);
        }
        return x;
    }

    double readPlain()
    {
        while (readPosition >= size)
            readPosition -= size;

        if (newDelayTime != delayTime && !(timeFader.position < timeFader.size - 1))
        {
            // Jump to the new time under a crossfade from the old read position.
            const auto v = static_cast<float>(ring[static_cast<size_t>(readPosition)]);
            timeFader.setFadeOutBuffer(v, v);
            timeFader.start();
            delayTime = newDelayTime;
            targetIndex = (size + writePosition - delayTime) & mask;
            readPosition = targetIndex;
        }
        // Otherwise either no change is pending or it waits for the running fade.
        const double out = throughFader(timeFader, ring[static_cast<size_t>(readPosition)]);
        readPosition += 1.0;
        return out;
    }

    double readPitched()
    {
        while (readPosition >= size)
            readPosition -= size;
        const int r = static_cast<int>(readPosition) & mask;
        targetIndex &= mask;
        const int c = targetIndex;

        // targetLag is how far the target index runs ahead of the read position,
        // kept unwrapped: ring indices cannot order two positions once one of
        // them has wrapped. The target moves 1 per sample, the read pitch.
        bool jump = false;
        if (pitch < 1.0)
            jump = targetLag >= 0.0;
        else if (pitch > 1.0)
            jump = targetLag <= 0.0 && delayTime != newDelayTime;

        if (jump)
        {
            const auto v = static_cast<float>(ring[static_cast<size_t>(r)]);
            jumpFader.setFadeOutBuffer(v, v);
            jumpFader.start();
            pitch = 1.0;
            delayTime = newDelayTime;
            readPosition = c;
            targetLag = 0.0;
        }
        const double out = throughFader(jumpFader, ring[static_cast<size_t>(r)]);
        readPosition += pitch;
        targetIndex += 1;
        targetLag += 1.0 - pitch;
        return out;
    }

    std::vector<double> ring;
    int size;
    int mask;
    int delayTime = 22050;
    int newDelayTime = 22050;
    int writePosition = 0;
    double readPosition = 0.0;
    bool pitchActive = false;
    double pitch = 1.0;
    double pitchUp = 1.5;
    double pitchDown = 0.5;
    int targetIndex = 0;
    double targetLag = 0.0;
    Crossfader2 jumpFader;
    Crossfader2 writeFader;
    Crossfader2 timeFader;
};
