// SPDX-License-Identifier: GPL-3.0-or-later
// VampletFX: the automation recorder's side of the engine. The step sequencer's values are taken
// sample by sample; an enabled track sets the loop size (track 0), the dry/wet mix (1), the
// effect "param" (2) or the pitch (3) in place of its control, and moving that control by hand
// releases the track again.
#include "engine/vampletfx.h"

#include <algorithm>
#include <cmath>

namespace vamplet {

namespace {
// The loop-size track's finer tables, in beats: k = int(value * 12) on the triplet grid,
// int(value * 8) otherwise. Values past the last entry give an eighth of a beat, values below
// zero a bar.
constexpr double kTripletSizeBeats[] = {4.0,       2.0, 4.0 / 3.0, 1.0,   2.0 / 3.0, 0.5,
                                        1.0 / 3.0, 0.25, 1.0 / 6.0, 0.125, 0.0625};
constexpr double kStraightSizeBeats[] = {4.0, 2.0, 1.0, 0.5, 0.25, 0.125, 0.0625};
constexpr double kShortestSizeBeats = 0.03125;

// Normalised automation values: NaN and values off the range land inside [0, 1].
inline double normalised(double v) { return v >= 0.0 ? std::min(v, 1.0) : 0.0; }

template <size_t N>
double sizeFromTable(const double (&table)[N], double steps, double value) {
  const double scaled = value * steps;
  if (!(scaled >= 0.0)) return table[0];  // below zero, or NaN
  if (scaled >= static_cast<double>(N)) return kShortestSizeBeats;
  return table[static_cast<size_t>(scaled)];
}
}  // namespace

void VampletFX::setAutomationDefaults() {
  for (int j = 0; j < kAutomationTracks; ++j) {
    sequencer.tracks[static_cast<size_t>(j)].setAllDefaultValue(kAutomationDefaults[j], true);
    automationValue[j] = kAutomationDefaults[j];
  }
}

double VampletFX::getSyncValue(double value) const {
  const double beats = tripletGrid == 1.0f ? sizeFromTable(kTripletSizeBeats, 12.0, value)
                                           : sizeFromTable(kStraightSizeBeats, 8.0, value);
  return beats * beatLength;
}

// ---------------------------------------------------------------------------------------------
// Per block and per sample (audio thread)

void VampletFX::takeAutomation(int i, uint64_t songPosition, uint64_t bar) {
  for (int j = 0; j < kAutomationTracks; ++j) {
    StepTrack& track = sequencer.tracks[static_cast<size_t>(j)];
    // Every entry due by this sample is taken, so the register holds the latest step value and
    // nothing due is left behind for a later block.
    while (const StepQueueEntry* entry = track.peekEntry()) {
      if (entry->stepSampleOffset > i) break;
      automationValue[j] = static_cast<double>(static_cast<float>(entry->value));
      track.takeEntry();
    }
  }

  if (!sequencer.tracks[kTrackLoopSize].enabled) return;
  const double length = getSyncValue(normalised(automationValue[kTrackLoopSize]));
  const double old = currentLength;
  currentLength = length;
  loopEnd = length;
  if (length != old && loopPlaying) {
    // Lengths of a beat or more are re-phased to the bar grid on the next beat; shorter ones take
    // effect at once. A play position the shorter loop no longer holds is folded into it in one
    // step, covered by a wrap fade (one wrap per sample could take many samples to get there).
    if (length >= beatLength) changePending = true;
    if (playPosition >= loopEnd) {
      playPosition = std::fmod(playPosition, loopEnd);
      startFadeFromLastOutput(wrapFade);
    }
  }
  restartOnBarLine(songPosition, bar);
}

double VampletFX::automatedSpeed(double speed, uint64_t songPosition, uint64_t bar) {
  if (!sequencer.tracks[kTrackPitch].enabled) return speed;
  const float value = static_cast<float>(normalised(automationValue[kTrackPitch]));
  const float ratio = std::pow(2.0f, (value - 0.5f) * 2.0f * 12.0f / 12.0f);
  restartOnBarLine(songPosition, bar);
  return std::clamp(static_cast<double>(ratio), 0.5, 2.0);
}

void VampletFX::restartOnBarLine(uint64_t songPosition, uint64_t bar) {
  // Only a playing loop restarts: a fade started on the dry path would wait and be heard at the
  // next loop start.
  if (!loopPlaying || bar == 0 || songPosition % bar != 0) return;
  playPosition = 0.0;
  startFadeFromLastOutput(wrapFade);
}

float VampletFX::automatedParam(float param) const {
  if (!sequencer.tracks[kTrackParam].enabled) return param;
  return static_cast<float>(normalised(automationValue[kTrackParam]));
}

float VampletFX::automatedDryWet(float dryWet) const {
  if (!sequencer.tracks[kTrackDryWet].enabled) return dryWet;
  return static_cast<float>(normalised(automationValue[kTrackDryWet]));
}

// ---------------------------------------------------------------------------------------------
// Enabling, releasing, clearing

void VampletFX::releaseAutomationTrack(int index) {
  StepTrack* track = sequencer.getStepTrack(index);
  if (!track) return;
  // The first hand change after loading keeps the loaded automation; the next one ends it.
  if (!track->loaded) track->enabled = false;
  track->loaded = false;
}

void VampletFX::handleRecall(double v) {
  StepTrack& track = sequencer.tracks[kTrackLoopSize];
  if (v == 0.0 && !track.empty) track.enabled = true;
}

void VampletFX::refreshLoopLength() {
  if (!loopPlaying || !currentLoop) return;
  const double old = currentLength;
  currentLength = currentLoop->length;
  if (currentLength != old) changePending = true;
}

void VampletFX::clearAllAutomation() {
  sequencer.clear();
  refreshLoopLength();
}

void VampletFX::clearCurrentAutomation() {
  sequencer.tracks[kTrackLoopSize].clear();
  refreshLoopLength();
}

// ---------------------------------------------------------------------------------------------
// Saving and restoring

void VampletFX::copyStepSequencerToData(LoopSequencerData& data) {
  for (int j = 0; j < kAutomationTracks; ++j) {
    const StepTrack& track = sequencer.tracks[static_cast<size_t>(j)];
    LoopSequencerData::Track& record = data.tracks[j];
    for (int k = 0; k < StepTrack::kStepCount; ++k) record.stepValues[k] = track.steps[static_cast<size_t>(k)].value;
    record.speed = track.speed;
    record.enabled = track.enabled;
    record.empty = track.empty;
    record.lastStep = track.currentStep - 1;
  }
  data.loopId = currentLoop ? currentLoop->id : 0;
  data.loopOn = slot.active;
}

void VampletFX::copyStepSequencerFromData(const LoopSequencerData& data) {
  for (int j = 0; j < kAutomationTracks; ++j) {
    StepTrack& track = sequencer.tracks[static_cast<size_t>(j)];
    const LoopSequencerData::Track& record = data.tracks[j];
    track.setSpeed(record.speed);  // a speed that is no usable number is ignored
    track.enabled = record.enabled;
    track.empty = record.empty;
    track.loaded = true;
    // Step values are normalised control values: held inside [0, 1], and a value that is not a
    // number falls back to the step's default.
    for (int k = 0; k < StepTrack::kStepCount; ++k) {
      const double v = record.stepValues[k];
      Step& step = track.steps[static_cast<size_t>(k)];
      step.value = std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : step.defaultValue;
    }
  }
}

}  // namespace vamplet
