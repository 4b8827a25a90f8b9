// SPDX-License-Identifier: GPL-3.0-or-later
// VampletFX: the audio path (block entry points, capture and playback, oscilloscope ring).
#include "engine/vampletfx.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vamplet {

namespace {
inline int clampChannels(int32_t count) { return std::clamp<int32_t>(count, 0, 2); }
// Truncating conversions that stay defined for any double (NaN gives 0).
inline int64_t toSamples(double v) {
  constexpr double kLimit = 4.0e18;
  if (!(v == v)) return 0;
  return static_cast<int64_t>(std::clamp(v, -kLimit, kLimit));
}
inline int32_t toIndex(double v) {
  if (!(v == v)) return 0;
  return static_cast<int32_t>(std::clamp(v, -2.0e9, 2.0e9));
}
}  // namespace

void VampletFX::process(float** inputs, float** outputs, int n) {
  if (!conversionStorage) return;
  if (n > blockSize || n > conversionLength) return;
  if (n <= 0) {
    processDouble(floatInputBuffers, floatOutputBuffers, n);
    return;
  }
  const int numIn = inputs ? clampChannels(numInputChannels) : 0;
  const int numOut = outputs ? clampChannels(numOutputChannels) : 0;
  for (int c = 0; c < numIn; ++c) {
    const float* src = inputs[c];
    double* dst = floatInputBuffers[c];
    for (int i = 0; i < n; ++i) dst[i] = src[i];
  }
  for (int c = 0; c < numOut; ++c) {
    const float* src = outputs[c];
    double* dst = floatOutputBuffers[c];
    for (int i = 0; i < n; ++i) dst[i] = src[i];
  }
  processDouble(numIn > 0 ? floatInputBuffers : nullptr, floatOutputBuffers, n);
  // Only the outputs go back: the engine never changes its inputs, and writing the inputs
  // back would overwrite the result where the host processes in place (input == output).
  for (int c = 0; c < numOut; ++c) {
    const double* src = floatOutputBuffers[c];
    float* dst = outputs[c];
    for (int i = 0; i < n; ++i) dst[i] = static_cast<float>(src[i]);
  }
}

void VampletFX::processDouble(double** inputs, double** outputs, int n) {
  if (n > blockSize || n < 0) return;
  processVampletFX(inputs, outputs, n);
  const int numOut = outputs ? clampChannels(numOutputChannels) : 0;
  if (n >= 1 && numOut >= 1) {
    lastOutputLeft = outputs[0][n - 1];
    lastOutputRight = outputs[numOut > 1 ? 1 : 0][n - 1];
  }
}

void VampletFX::processVampletFX(double** inputs, double** outputs, int n) {
  // 1. Transport values. Their acceptance does not change the rest of the block.
  processVstTimeInfo(n);

  // 2. Channels: with one input (output) channel both sides read (write) channel 0.
  const int numOut = outputs ? clampChannels(numOutputChannels) : 0;
  int numIn = inputs ? clampChannels(numInputChannels) : 0;
  if (numOut == 0 || n <= 0) {
    if (!transportPlaying) writeScopeSilence(n);
    return;
  }
  // Without input channels the engine hears silence (the conversion buffer serves as one).
  double* silence[1] = {floatInputBuffers[0]};
  if (numIn == 0) {
    if (!silence[0] || n > conversionLength) return;
    std::fill(silence[0], silence[0] + n, 0.0);
    inputs = silence;
    numIn = 1;
  }
  const double* inL = inputs[0];
  const double* inR = inputs[numIn > 1 ? 1 : 0];
  double* outL = outputs[0];
  double* outR = outputs[numOut > 1 ? 1 : 0];

  // 3. Transport stopped (or never prepared): the input passes through, the loop state waits,
  //    the display shows silence.
  if (!transportPlaying || !buffersReady()) {
    const bool fading = transportStopFade.position < transportStopFade.size - 1;
    for (int i = 0; i < n; ++i) {
      float l = static_cast<float>(inL[i]);
      float r = static_cast<float>(inR[i]);
      if (fading) transportStopFade.process(l, r);
      outL[i] = l;
      outR[i] = r;
    }
    writeScopeSilence(n);
    return;
  }

  // 4. Beat clock at the block start. Positions are whole samples since the song start.
  const uint64_t bar = static_cast<uint64_t>(toSamples(4.0 * beatLength));
  uint64_t songPosition = static_cast<uint64_t>(toSamples(ppqPosition * beatLength));
  positionInBeat = std::fmod(ppqPosition * beatLength, beatLength);
  const bool blockStartsOnBeat = positionInBeat < 1.01;  // then every sample counts as a beat
  grainWindow = 1.0;  // the time-expansion window starts every block fully open
  sequencer.process(n);  // the automation recorder queues the steps of this block

  const bool cycleWraps = cycleActive && cycleEnd > cycleStart;
  const uint64_t cycleStartSample = cycleWraps ? static_cast<uint64_t>(toSamples(cycleStart * beatLength)) : 0;
  const uint64_t cycleEndSample = cycleWraps ? static_cast<uint64_t>(toSamples(cycleEnd * beatLength)) : 0;

  // 5. Per sample.
  for (int i = 0; i < n; ++i) {
    // Automation intake: the step values due at this sample; an enabled loop-size track sets the
    // loop length.
    takeAutomation(i, songPosition, bar);

    // Capture, continuously.
    if (captureWriteIndex >= captureLength) captureWriteIndex = 0;
    captureBuffer[0][captureWriteIndex] = static_cast<float>(inL[i]);
    captureBuffer[1][captureWriteIndex] = static_cast<float>(inR[i]);
    ++captureWriteIndex;

    // Fast sync: a loop shorter than a beat starts at once, in phase with its own length.
    if (startPending && fastSync != 0.0f && currentLength < beatLength && !reverseActive) {
      startFade.start();
      const int64_t length = fitLoopLength();
      copyLoop2(songPosition % static_cast<uint64_t>(length));
      loopPlaying = true;
      startPending = false;
      stopRequested = false;
    }

    // Beat test.
    bool onBeat = blockStartsOnBeat;
    if (positionInBeat >= beatLength) {
      positionInBeat -= beatLength;
      onBeat = true;
    }
    if (positionInBeat < 1.0) onBeat = true;

    if (onBeat) {
      if (stopRequested) {
        const bool wasPlaying = loopPlaying;
        stopRequested = false;
        loopPlaying = false;
        changePending = false;
        if (stopPending) {
          if (wasPlaying) startFadeFromLastOutput(stopFade);
          stopPending = false;
        }
      }
      if (startPending) {
        // Loops of a whole bar (when four beats make whole samples) or half a bar start in
        // phase with the grid; others take the last loop length before the beat.
        if (currentLength == static_cast<double>(bar) || currentLength == 2.0 * beatLength) {
          const int64_t length = fitLoopLength();
          copyLoop2(songPosition % static_cast<uint64_t>(length));
        } else {
          copyLoop();
        }
        loopPlaying = true;
        startPending = false;
        panCounter = static_cast<int32_t>(static_cast<uint32_t>(songPosition));  // autopan flips on the song grid
        startFade.start();
      }
      if (changePending) {
        changeLoop();
        changePending = false;
      }
    } else if (changePending && fxChangeFadePending) {
      // An effect change is heard at once, smoothed; the rest of the change waits for the beat.
      startFadeFromLastOutput(changeFade);
      fxChangeFadePending = false;
    }

    if (!loopPlaying) {
      // Dry path.
      float l = static_cast<float>(inL[i]);
      float r = static_cast<float>(inR[i]);
      if (stopFade.position < stopFade.size - 1) stopFade.process(l, r);
      outL[i] = l;
      outR[i] = r;
      lastOutputLeft = l;
      lastOutputRight = r;
      delay.setActive(false);  // the loop effect's delay starts afresh when next chosen
    } else {
      // Loop path. Live recording continues beyond the loop, up to two bars.
      if (recording) {
        const int32_t k = recordIndex;
        if (static_cast<uint64_t>(k) >= 2 * bar || k >= captureLength - 1) recording = false;
        loopBuffer[0][k] = static_cast<float>(inL[i]);
        loopBuffer[1][k] = static_cast<float>(inR[i]);
        recordIndex = k + 1;
      }

      if (reverseActive) {
        // Backwards: the wrap adds loopEnd - 1, so each backward pass is one sample shorter.
        playDirection = -1;
        if (playPosition < loopStart) {
          playPosition += loopEnd - 1.0;
          startFadeFromLastOutput(wrapFade);
        }
        if (barPhase < 0.0) barPhase += static_cast<double>(bar) - 1.0;
      } else {
        playDirection = 1;
        if (playPosition >= loopEnd) {
          playPosition -= loopEnd;
          startFadeFromLastOutput(wrapFade);
          changeFade.stop();
        }
        if (barPhase > static_cast<double>(bar)) barPhase -= static_cast<double>(bar);
        if (playPosition < 0.0) playPosition = 0.0;
      }

      // The pitch is heard only while free pitch is on.
      double speed = automatedSpeed(playSpeed, songPosition, bar);
      if (currentLoop && currentLoop->freePitch == 0.0f) speed = 1.0;

      // Read without interpolation; the index is held inside the buffer.
      const int32_t j = std::clamp<int32_t>(toIndex(playPosition), 0, loopBufferLength - 1);
      double left = loopBuffer[0][j];
      double right = loopBuffer[1][j];
      const double plainLeft = left;
      const double plainRight = right;

      runGrainClock(speed);
      if (currentLoop && currentLoop->fxOn) applyLoopEffect(left, right, plainLeft, plainRight, speed);

      float l = static_cast<float>(left);
      float r = static_cast<float>(right);
      if (transportStartFade.position < transportStartFade.size - 1) transportStartFade.process(l, r);
      if (startFade.position < startFade.size - 1)
        startFade.process(l, r, static_cast<float>(inL[i]), static_cast<float>(inR[i]));
      if (wrapFade.position < wrapFade.size - 1) wrapFade.process(l, r);
      if (changeFade.position < changeFade.size - 1) changeFade.process(l, r);
      outL[i] = l;
      outR[i] = r;
      lastOutputLeft = l;
      lastOutputRight = r;

      barPhase += playDirection;
      playPosition += speed * playDirection;
      grainPosition += speed * playDirection;
    }

    // Clock advance and the host's cycle wrap.
    ++songPosition;
    positionInBeat += 1.0;
    if (cycleWraps) {
      if (songPosition >= cycleEndSample) songPosition = cycleStartSample;
      if (barPhase >= static_cast<double>(cycleEndSample)) barPhase = static_cast<double>(cycleStartSample);
    }
  }

  // 6. Display.
  if (numOut > 1)
    writeScope(outL, outR, n);
  else
    writeScope(outL, outL, n);
}

void VampletFX::startFadeFromLastOutput(Crossfader2& fade) {
  fade.setFadeOutBuffer(static_cast<float>(lastOutputLeft), static_cast<float>(lastOutputRight));
  fade.start();
}

int64_t VampletFX::fitLoopLength() {
  if (captureLength > 1) {
    while (currentLength >= static_cast<double>(captureLength - 1)) currentLength *= 0.5;
  }
  return std::max<int64_t>(1, static_cast<int64_t>(currentLength));
}

void VampletFX::copyFromCapture(int64_t end, int64_t count) {
  // The stretch [end - count, end) of the capture ring, wrapping below index 0.
  const int64_t start = end - count;
  for (int c = 0; c < 2; ++c) {
    float* dst = loopBuffer[c];
    const float* src = captureBuffer[c];
    if (start >= 0) {
      std::memcpy(dst, src + start, static_cast<size_t>(count) * sizeof(float));
    } else {
      const int64_t tail = -start;
      std::memcpy(dst, src + captureLength + start, static_cast<size_t>(tail) * sizeof(float));
      std::memcpy(dst + tail, src, static_cast<size_t>(end) * sizeof(float));
    }
  }
}

void VampletFX::copyLoop() {
  if (loopPlaying || !buffersReady()) return;
  fitLoopLength();
  int64_t end = static_cast<int64_t>(captureWriteIndex) - 1;
  if (end < 0) end = captureLength;
  // At least one beat is copied: a loop shorter than a beat repeats the first part of the
  // last beat. Never more than the ring holds.
  int64_t count = beatLength > currentLength ? toSamples(beatLength) : toSamples(currentLength);
  count = std::clamp<int64_t>(count, 0, std::min(captureLength, loopBufferLength) - 1);
  copyFromCapture(end, count);
  loopStart = 0.0;
  playPosition = 0.0;
  barPhase = 0.0;
  grainPosition = 0.0;
  loopEnd = currentLength;
  if (currentLoop) reverseActive = currentLoop->reverse;
  recordIndex = static_cast<int32_t>(count);
  recording = true;
}

void VampletFX::copyLoop2(unsigned long long offset) {
  if (!buffersReady()) return;
  // The offset is held inside the ring, so a bad offset cannot copy past the loop buffer.
  const unsigned long long limit = static_cast<unsigned long long>(std::min(captureLength, loopBufferLength) - 1);
  if (offset > limit) offset = limit;
  int64_t end = static_cast<int64_t>(captureWriteIndex) - 1;
  if (end < 0) end = captureLength;
  const int64_t count = static_cast<int64_t>(offset);
  copyFromCapture(end, count);  // the samples since the last grid line of the loop length
  loopStart = 0.0;
  loopEnd = currentLength;
  playPosition = static_cast<double>(count);
  barPhase = static_cast<double>(count);
  grainPosition = static_cast<double>(count / 2);
  if (currentLoop) reverseActive = currentLoop->reverse;
  // Playback and live recording start at the same index: forwards at normal speed the first
  // pass plays the live input while it is recorded, later passes repeat it.
  recordIndex = static_cast<int32_t>(count);
  recording = true;
}

void VampletFX::changeLoop() {
  const int64_t length = buffersReady() ? fitLoopLength() : std::max<int64_t>(1, toSamples(currentLength));
  const int64_t phase = toSamples(barPhase);
  const int64_t r = phase % length;  // truncating remainder
  if (currentLength > loopEnd) grainPosition = static_cast<double>((phase / 2) % length);
  loopEnd = currentLength;
  if (currentLoop) {
    playSpeed = currentLoop->pitchRatio;
    reverseActive = currentLoop->reverse;
  } else {
    playSpeed = 1.0;
  }
  // Re-derive the play position from the bar grid.
  const double old = playPosition;
  playPosition = static_cast<double>(r);
  if (old != playPosition) {
    wrapFade.stop();
    startFadeFromLastOutput(changeFade);
  }
}

// Producer side of the oscilloscope ring: only the audio thread writes slots from the write
// index up to one before the read index, then publishes the new write index with release.
void VampletFX::writeScopeSilence(int n) {
  if (n <= 0) return;
  const int32_t r = scopeReadIndex.load(std::memory_order_acquire);
  int32_t w = scopeWriteIndex.load(std::memory_order_relaxed);
  const int space = (r - w - 1 + kScopeSize) % kScopeSize;
  const int count = std::min(n, space);
  for (int i = 0; i < count; ++i) {
    scopeBuffer[w] = 0;
    w = (w + 1 == kScopeSize) ? 0 : w + 1;
  }
  scopeWriteIndex.store(w, std::memory_order_release);
}

// Producer side, after a block: one display byte per sample, (left + right) / 2 scaled to
// -127..127, saturated (and 0 for NaN) so a loud sample cannot wrap to the other sign.
void VampletFX::writeScope(const double* left, const double* right, int n) {
  const int32_t r = scopeReadIndex.load(std::memory_order_acquire);
  int32_t w = scopeWriteIndex.load(std::memory_order_relaxed);
  for (int i = 0; i < n; ++i) {
    const int32_t next = (w + 1 == kScopeSize) ? 0 : w + 1;
    if (next == r) break;  // full: the newest samples are dropped
    double v = (left[i] + right[i]) * 0.5 * 127.0;
    if (!(v == v)) v = 0.0;
    scopeBuffer[w] = static_cast<int8_t>(std::clamp(v, -127.0, 127.0));
    w = next;
  }
  scopeWriteIndex.store(w, std::memory_order_release);
}

}  // namespace vamplet
