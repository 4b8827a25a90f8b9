// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/delaybuffer.h"

#include <algorithm>

namespace
{
// Largest power of two not above n (at least 2), so indices wrap by masking.
int powerOfTwoAtMost(int n)
{
    int p = 2;
    while (p <= n / 2)
        p *= 2;
    return p;
}
} // namespace

DelayBuffer::DelayBuffer(int requestedSize)
    : ring(static_cast<size_t>(powerOfTwoAtMost(requestedSize)), 0.0),
      size(powerOfTwoAtMost(requestedSize)),
      mask(size - 1)
{
    setDelayTime(22050);
}

void DelayBuffer::setDelayTime(int t)
{
    t = std::clamp(t, 0, size - 1);
    delayTime = t;
    newDelayTime = t;
    targetIndex = size + writePosition - t;
    readPosition = targetIndex;
    targetLag = 0.0;
}

void DelayBuffer::setNewDelayTime(int t)
{
    newDelayTime = std::clamp(t, 0, size - 1);
    if (pitchActive)
    {
        targetIndex = size + writePosition - newDelayTime;
        // Current effective delay (write minus read, on the ring) minus the new one.
        const int lagNow = (writePosition - static_cast<int>(readPosition)) & mask;
        targetLag = static_cast<double>(lagNow - newDelayTime) - (readPosition - static_cast<int>(readPosition));
        pitch = delayTime > newDelayTime ? pitchUp : pitchDown;
    }
}

void DelayBuffer::clear()
{
    std::fill(ring.begin(), ring.end(), 0.0);
}
