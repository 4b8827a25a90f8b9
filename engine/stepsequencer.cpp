// SPDX-License-Identifier: GPL-3.0-or-later
// The automation recorder's step sequencer: tracks advance sample by sample with the transport
// and queue every step they pass.
#include "engine/stepsequencer.h"

#include <algorithm>
#include <cmath>

namespace vamplet {

// ---------------------------------------------------------------------------------------------
// StepTrack

StepTrack::StepTrack() {
  for (int i = 0; i < kStepCount; ++i) {
    steps[i].stepIndex = i;
    steps[i].stepPosition = i * stepLength;
  }
}

int32_t StepTrack::stepAt(double position) const {
  const double k = position / stepLength;
  if (!(k > 0.0)) return 0;  // also NaN
  if (k >= stepCount) return stepCount;
  return static_cast<int32_t>(k);
}

void StepTrack::process(int n) {
  stepped = false;
  ticked = false;
  const double inc = 1.0 / samplesPerBeat;
  const double length = trackLength();
  for (int i = 0; i < n; ++i) {
    // fmod equals one subtraction for positions below twice the length and stays in range for
    // any speed.
    if (trackPosition >= length) {
      currentStep = 0;
      trackPosition = std::fmod(trackPosition, length);
    }
    if (freePosition >= length) freePosition = std::fmod(freePosition, length);
    if (tickPhase >= stepLength) {
      ticked = true;
      tickPhase = std::fmod(tickPhase, stepLength);
    }
    while (currentStep >= 0 && currentStep < stepCount && trackPosition >= steps[currentStep].stepPosition) {
      Step& step = steps[currentStep];
      step.stepSampleOffset = i;
      addStepMsg(&step);
      stepped = true;
      ++currentStep;
    }
    trackPosition += speed * inc;
    freePosition += inc;
    tickPhase += inc;
  }
}

void StepTrack::play(double ppq) {
  if (!std::isfinite(ppq)) ppq = 0.0;
  const double length = trackLength();
  // Wrapped into [0, length): a position before the song start counts from the bar's end.
  auto wrap = [length](double p) {
    p = std::fmod(p, length);
    if (p < 0.0) p += length;
    return p < length ? p : 0.0;
  };
  trackPosition = wrap(ppq * speed);
  // The free position runs without the speed factor, so setSpeed can derive the track position
  // from it.
  freePosition = wrap(ppq);
  currentStep = stepAt(trackPosition);
}

void StepTrack::setSpeed(double s) {
  if (!(std::isfinite(s) && s > 0.0)) return;
  if (s == speed) return;
  speed = s;
  trackPosition = std::fmod(s * freePosition, trackLength());
  // Queued steps belong to the old speed.
  fifoReadIndex = fifoWriteIndex;
  fifoCount = 0;
  currentStep = stepAt(trackPosition);
}

void StepTrack::addStepMsg(const Step* step) {
  if (!step) return;
  if (fifoCount >= kFifoSize - 1) {
    fifoOverflow = true;
    return;
  }
  StepQueueEntry& entry = fifo[static_cast<size_t>(fifoWriteIndex)];
  entry.value = step->value;
  entry.stepIndex = step->stepIndex;
  entry.reserved = 0;
  entry.stepSampleOffset = step->stepSampleOffset;
  fifoWriteIndex = (fifoWriteIndex + 1 == kFifoSize) ? 0 : fifoWriteIndex + 1;
  ++fifoCount;
}

const StepQueueEntry* StepTrack::peekEntry() const {
  return fifoCount > 0 ? &fifo[static_cast<size_t>(fifoReadIndex)] : nullptr;
}

void StepTrack::takeEntry() {
  if (fifoCount <= 0) return;
  fifoReadIndex = (fifoReadIndex + 1 == kFifoSize) ? 0 : fifoReadIndex + 1;
  --fifoCount;
}

void StepTrack::resetStepFifo() {
  fifo.fill(StepQueueEntry{});
  fifoCount = 0;
  fifoReadIndex = 0;
  fifoWriteIndex = 0;
  fifoOverflow = false;
}

void StepTrack::clear() {
  enabled = false;
  empty = true;
  for (Step& step : steps) step.clear();
  resetStepFifo();
}

void StepTrack::setAllDefaultValue(double v, bool alsoValues) {
  if (!std::isfinite(v)) return;
  trackDefault = v;
  for (Step& step : steps) {
    step.defaultValue = v;
    if (alsoValues) step.value = v;
  }
}

void StepTrack::setAllStepValue(double v) {
  if (!std::isfinite(v)) return;
  for (Step& step : steps) step.value = v;
}

void StepTrack::setStepValue(int index, double v) {
  if (Step* step = getStep(index); step && std::isfinite(v)) step->value = v;
}

Step* StepTrack::getStep(int index) {
  if (index < 0 || index >= stepCount) return nullptr;
  return &steps[static_cast<size_t>(index)];
}

// ---------------------------------------------------------------------------------------------
// StepSequencer

void StepSequencer::updateTempo(double tempo, double sampleRate) {
  const double samplesPerBeat = sampleRate * 60.0 / tempo;
  if (!(std::isfinite(samplesPerBeat) && samplesPerBeat >= 1.0)) return;
  for (StepTrack& track : tracks) track.samplesPerBeat = samplesPerBeat;
}

void StepSequencer::process(int n) {
  for (StepTrack& track : tracks) track.process(n);
}

void StepSequencer::play(double ppq) {
  for (StepTrack& track : tracks) track.play(ppq);
}

void StepSequencer::clear() {
  for (StepTrack& track : tracks) track.clear();
}

void StepSequencer::setSpeed(double s) {
  for (StepTrack& track : tracks) track.setSpeed(s);
}

StepTrack* StepSequencer::getStepTrack(int index) {
  if (index < 0 || index >= trackCount) return nullptr;
  return &tracks[static_cast<size_t>(index)];
}

StepQueueEntry* StepSequencer::getTrackFifoStep(int index) {
  StepTrack* track = getStepTrack(index);
  return track ? track->getFifoStep() : nullptr;
}

}  // namespace vamplet
