// SPDX-License-Identifier: GPL-3.0-or-later
// VampletFX: the audio path (block entry points, capture and playback, oscilloscope ring).
#include "engine/vampletfx.h"

#include <algorithm>
#include <cstring>

namespace vamplet {

namespace {
inline int clampChannels(int32_t count) { return std::clamp<int32_t>(count, 0, 2); }
inline double toFloat(double v) { return static_cast<double>(static_cast<float>(v)); }
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
  const int numOut = outputs ? clampChannels(numOutputChannels) : 0;
  int numIn = inputs ? clampChannels(numInputChannels) : 0;
  if (numOut == 0) return;

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

  // Transport stopped: the input passes through and the display shows silence.
  for (int i = 0; i < n; ++i) {
    const double l = toFloat(inL[i]);
    const double r = toFloat(inR[i]);
    outL[i] = l;
    outR[i] = r;
  }
  writeScopeSilence(n);
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

}  // namespace vamplet
