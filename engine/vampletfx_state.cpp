// SPDX-License-Identifier: GPL-3.0-or-later
// VampletFX: construction, activation, parameter mapping and the state chunk.
#include "engine/vampletfx.h"
#include "engine/userfolders.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vamplet {

// ---------------------------------------------------------------------------------------------
// Byte-stream append helpers (native byte order, little-endian on x86-64)

namespace {
template <typename T>
void appendBytes(std::vector<unsigned char>* v, const T& value) {
  if (!v) return;
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  v->insert(v->end(), bytes, bytes + sizeof(T));
}

// IDs whose value is a switch: on at 0.5 and above, and a NaN counts as on.
bool isSwitchParam(int id) {
  switch (id) {
    case kParamLoop:
    case kParamReverse:
    case kParamFxOn:
    case kParamFreePitch:
    case kParamBypass:
    case kParamTriplet:
    case kParamFastSync:
      return true;
    default:
      return false;
  }
}

// "On" for a switch value; written as !(v < 0.5) so that a NaN is on.
inline bool switchOn(double v) { return !(v < 0.5); }
}  // namespace

void insert_int(std::vector<unsigned char>* v, int value) { appendBytes(v, static_cast<int32_t>(value)); }
void insert_float(std::vector<unsigned char>* v, float value) { appendBytes(v, value); }
void insert_double(std::vector<unsigned char>* v, double value) { appendBytes(v, value); }
void insert_uint64(std::vector<unsigned char>* v, unsigned long value) {
  appendBytes(v, static_cast<uint64_t>(value));
}
void insert_string(std::vector<unsigned char>* v, std::string s) {
  if (!v) return;
  const uint32_t count = static_cast<uint32_t>(s.size());
  v->insert(v->end(), s.begin(), s.begin() + count);
}

// ---------------------------------------------------------------------------------------------
// Life cycle

void VampletFX::FreeDeleter::operator()(void* p) const { std::free(p); }

VampletFX::VampletFX() {
  // Members take their defaults from the class definition.
  // Loop effects: the gate curve for 44.1 kHz; the phaser, reverb and delay are built as members.
  buildGateCurve(44100);
  prepareSettingsFolder();
  setAutomationDefaults();  // the step tracks' default values
  loadMidiAssign();
}

VampletFX::~VampletFX() {
  // The assign table goes back to its file (with any learned note); the buffers are released
  // by their owners.
  saveMidiAssign();
}

// Two zeroed channels of kBufferLength floats in one block (calloc: zeroed pages come lazily
// from the OS), made only when missing. True when this call made them.
bool VampletFX::allocateStereo(std::unique_ptr<float, FreeDeleter>& storage, float* (&channels)[2],
                               int32_t& length) {
  if (storage) return false;
  storage.reset(static_cast<float*>(std::calloc(2 * static_cast<size_t>(kBufferLength), sizeof(float))));
  if (!storage) return false;
  length = kBufferLength;
  channels[0] = storage.get();
  channels[1] = storage.get() + kBufferLength;
  return true;
}

void VampletFX::resume(double rate, int maxBlockSize) {
  blockSize = maxBlockSize;
  sampleRate = rate;
  // The crossfaders follow the rate (a rate that is no usable number leaves them idle).
  const int fadeRate = (std::isfinite(rate) && rate > 0.0 && rate < 1.0e7) ? static_cast<int>(rate) : 0;
  for (Crossfader2* fade : {&stopFade, &startFade, &wrapFade, &transportStopFade, &transportStartFade, &changeFade})
    fade->setSamplerate(fadeRate);
  resumeEffects(fadeRate);  // the gate and the high-pass smoothers
  sequencer.updateTempo(tempo, rate);

  // Capture and loop buffers: allocated once, kept with their contents across later calls.
  if (allocateStereo(captureStorage, captureBuffer, captureLength)) captureWriteIndex = 0;
  allocateStereo(loopStorage, loopBuffer, loopBufferLength);

  // Conversion buffers: two channels each way (the engine serves at most two), replaced only
  // when the block size changes. The new block is allocated before the old one is released.
  const int32_t length = std::max<int32_t>(maxBlockSize, 1);
  if (!conversionStorage || length != conversionLength) {
    std::unique_ptr<double[]> fresh(new double[4 * static_cast<size_t>(length)]());
    conversionStorage = std::move(fresh);
    conversionLength = length;
    double* base = conversionStorage.get();
    floatInputBuffers[0] = base;
    floatInputBuffers[1] = base + length;
    floatOutputBuffers[0] = base + 2 * static_cast<size_t>(length);
    floatOutputBuffers[1] = base + 3 * static_cast<size_t>(length);
  }
  resumeEffectBlocks(rate);  // reverb muted, delay given the rate
}

void VampletFX::suspend() {}

void VampletFX::setSampleRate(double rate) {
  if (rate != sampleRate) resume(rate, blockSize);
}

void VampletFX::setBlockSize(int size) {
  if (size != blockSize) resume(sampleRate, size);
}

// ---------------------------------------------------------------------------------------------
// Parameters

void VampletFX::setParameter(int id, double value) {
  if (id < 0 || id >= kNumEngineParams || id == kParamProgram) return;
  if (std::isnan(value)) {
    if (!isSwitchParam(id)) return;  // a continuous control keeps its value
    value = 1.0;                     // a switch counts a NaN as on
  } else {
    value = std::clamp(value, 0.0, 1.0);
  }

  switch (id) {
    case kParamLoop: handleLoop(id, static_cast<float>(value)); break;
    case kParamLoopSize: handleValue(id, value); break;
    case kParamPitch: handlePitch(id, static_cast<float>(value)); break;
    case kParamReverse: handleReverse(id, static_cast<float>(value)); break;
    case kParamFxOn: handleFx(id, static_cast<float>(value)); break;
    case kParamFxId: handleFxId(id, static_cast<float>(value)); break;
    case kParamFxParam: handleParam(id, value); break;
    case kParamDryWet: handleDryWet(id, value); break;
    case kParamFreePitch: handleFreePitch(id, value); break;
    case kParamBypass: bypassValue = value; break;
    case kParamKnobSpeed: knobSpeed = static_cast<float>(value); break;
    case kParamTriplet: {
      const float grid = switchOn(value) ? 1.0f : 0.0f;
      if (grid != tripletGrid) {
        tripletGrid = grid;
        adjustLoopSize();
        if (loopPlaying) {
          changePending = true;
          if (currentLoop) currentLength = currentLoop->length;
        }
      }
      break;
    }
    case kParamFastSync: fastSync = switchOn(value) ? 1.0f : 0.0f; break;
    default: break;
  }
}

double VampletFX::getParameter(int id) const {
  switch (id) {
    case kParamLoop: return loopSwitchValue;
    case kParamLoopSize: return slot.sizeValue;
    case kParamPitch: return slot.pitchValue;
    case kParamReverse: return slot.reverse ? 1.0 : 0.0;
    case kParamFxOn: return slot.fxOn ? 1.0 : 0.0;
    case kParamFxId: return slot.fxIdValue;
    case kParamFxParam: return slot.param;
    case kParamDryWet: return slot.dryWet;
    case kParamFreePitch: return slot.freePitch;
    case kParamBypass: return bypassValue;
    case kParamKnobSpeed: return knobSpeed;
    case kParamTriplet: return tripletGrid;
    case kParamFastSync: return fastSync;
    default: return 0.0;
  }
}

void VampletFX::setSyncValue(Loop* loop, double value) {
  if (!loop) return;
  const double scaled = value * 5.0;
  // k = int(value * 5), truncated toward zero; anything off the table keeps the length.
  if (!(scaled > -1.0 && scaled < static_cast<double>(kNumLoopSizes))) return;
  const int k = static_cast<int>(scaled);
  loop->length = kLoopSizeBeats[k] * beatLength;
}

void VampletFX::adjustLoopSize() {
  setSyncValue(&slot, static_cast<double>(slot.sizeValue));
  lengthNeedsUpdate = false;
}

int32_t VampletFX::minimumLoopLength() const {
  return wrapFade.size;
}

void VampletFX::handleLoop(int, float value) {
  loopSwitchValue = value;
  if (lengthNeedsUpdate) adjustLoopSize();
  const bool on = !(value < loopOnThreshold);

  if (!on && slot.active) {
    slot.active = false;
    if (transportPlaying) {
      // Stop at the next beat.
      stopPending = true;
      startPending = false;
      stopRequested = true;
    } else {
      stopPending = false;
      startPending = false;
      stopRequested = false;
      loopPlaying = false;
    }
  } else if (on && !slot.active) {
    slot.active = true;
    playSpeed = slot.pitchRatio;
    currentLoop = &slot;
    currentLength = slot.length;
    // A loop shorter than the wrap fade is doubled until the fade fits in one pass.
    const double minimum = minimumLoopLength();
    if (currentLength > 0.0 && currentLength < minimum) {
      while (currentLength < minimum) currentLength *= 2.0;
    }
    startPending = true;
    if (stopPending && loopPlaying) {
      // Switched on again before the requested stop took effect: keep playing, re-phase the
      // loop at the next beat instead of capturing anew.
      fxChangeFadePending = true;
      startPending = false;
      stopRequested = false;
      changePending = true;
      stopPending = false;
    }
  }
}

void VampletFX::handleValue(int, double value) {
  const double oldLength = slot.length;
  slot.sizeValue = static_cast<float>(value);
  setSyncValue(&slot, value);
  if (currentLoop == &slot) {
    const double old = currentLength;
    currentLength = slot.length;
    if (currentLength != old && loopPlaying) changePending = true;
  }
  // The synced delay follows the loop size here once it exists.
  // A hand change that alters the loop length releases the loop-size track.
  if (slot.length != oldLength) releaseAutomationTrack(kTrackLoopSize);
}

void VampletFX::handlePitch(int, float value) {
  const float oldPitch = slot.pitchValue;
  slot.pitchValue = value;
  // One octave either way: 0 -> 0.5, 0.5 -> 1, 1 -> 2 (single precision).
  slot.pitchRatio = std::pow(2.0f, (value - 0.5f) * 2.0f * 12.0f / 12.0f);
  if (currentLoop == &slot) playSpeed = slot.pitchRatio;
  if (value != oldPitch) releaseAutomationTrack(kTrackPitch);
}

void VampletFX::handleReverse(int, float value) {
  const bool reverse = switchOn(value);
  if (reverse == slot.reverse) return;
  slot.reverse = reverse;
  if (currentLoop == &slot) changePending = true;
}

void VampletFX::handleFx(int, float value) {
  const bool on = switchOn(value);
  if (on == slot.fxOn) return;
  // The delay starts afresh whenever the effect is chosen again.
  if (!on) delay.setActive(false);
  slot.fxOn = on;
  if (currentLoop == &slot) {
    changePending = true;
    fxChangeFadePending = true;
  }
}

void VampletFX::handleFxId(int, float value) {
  // 7 * v in single precision, truncated: v = k/7 selects effect k.
  const int fx = static_cast<int>(7.0f * value);
  if (fx == slot.fxId) return;
  if (fx != kFxDelay) delay.setActive(false);
  slot.fxId = fx;
  slot.fxIdValue = value;
  if (currentLoop == &slot) {
    changePending = true;
    fxChangeFadePending = true;
  }
}

void VampletFX::handleParam(int, double value) {
  slot.param = static_cast<float>(value);
  // The synced delay follows "param" here once it exists.
  releaseAutomationTrack(kTrackParam);
}

void VampletFX::handleDryWet(int, double value) {
  slot.dryWet = static_cast<float>(value);
  // The synced delay follows dry/wet here once it exists.
  releaseAutomationTrack(kTrackDryWet);
}

void VampletFX::handleFreePitch(int, double value) { slot.freePitch = static_cast<float>(value); }

// ---------------------------------------------------------------------------------------------
// State chunk

int32_t VampletFX::getChunk(void** data, bool) {
  if (!data) return 0;
  std::vector<unsigned char> bytes;
  bytes.reserve(kChunkBytes);
  insert_int(&bytes, kChunkVersion);
  insert_int(&bytes, kNumEngineParams);
  for (int i = 0; i < kNumEngineParams; ++i) insert_double(&bytes, getParameter(i));
  void* block = std::malloc(bytes.size());
  *data = block;
  if (!block) return 0;
  std::memcpy(block, bytes.data(), bytes.size());
  return static_cast<int32_t>(bytes.size());
}

int32_t VampletFX::setChunk(void* data, int size, bool) {
  if (!data || size < kChunkHeaderBytes) return 0;
  const auto* bytes = static_cast<const unsigned char*>(data);
  int32_t count = 0;
  std::memcpy(&count, bytes + 4, sizeof(count));
  // Only values wholly inside the block, and at most one per engine parameter.
  const int available = (size - kChunkHeaderBytes) / 8;
  const int n = std::min({count, static_cast<int32_t>(kNumEngineParams), available});
  for (int i = 0; i < n; ++i) {
    double v = 0.0;
    std::memcpy(&v, bytes + kChunkHeaderBytes + 8 * i, sizeof(v));
    setParameter(i, v);
  }
  return 1;
}

bool VampletFX::parseChunk(const void* data, int size, double out[kNumEngineParams], int* count) {
  if (!data || !out || !count || size < kChunkHeaderBytes) return false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  int32_t version = 0;
  int32_t n = 0;
  std::memcpy(&version, bytes, sizeof(version));
  std::memcpy(&n, bytes + 4, sizeof(n));
  if (version != kChunkVersion || n < 1 || n > kNumEngineParams) return false;
  if (size < kChunkHeaderBytes + 8 * n) return false;
  double values[kNumEngineParams];
  for (int i = 0; i < n; ++i) {
    std::memcpy(&values[i], bytes + kChunkHeaderBytes + 8 * i, sizeof(double));
    if (!std::isfinite(values[i])) return false;
  }
  std::copy(values, values + n, out);
  *count = n;
  return true;
}

void VampletFX::applyChunkValues(const double* values, int count) {
  if (!values) return;
  const int n = std::clamp(count, 0, static_cast<int>(kNumEngineParams));
  for (int i = 0; i < n; ++i) setParameter(i, values[i]);
}

// ---------------------------------------------------------------------------------------------
// Oscilloscope ring, consumer side (UI thread)

int VampletFX::readScope(int8_t* dst, int capacity) {
  if (!dst || capacity <= 0) return 0;
  const int32_t r = scopeReadIndex.load(std::memory_order_relaxed);
  const int32_t w = scopeWriteIndex.load(std::memory_order_acquire);
  const int available = (w - r + kScopeSize) % kScopeSize;
  const int n = std::min(available, capacity);
  const int first = std::min(n, kScopeSize - r);
  std::memcpy(dst, scopeBuffer + r, static_cast<size_t>(first));
  std::memcpy(dst + first, scopeBuffer, static_cast<size_t>(n - first));
  scopeReadIndex.store((r + n) % kScopeSize, std::memory_order_release);
  return n;
}

}  // namespace vamplet
