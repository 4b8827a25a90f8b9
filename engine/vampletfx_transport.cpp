// SPDX-License-Identifier: GPL-3.0-or-later
// VampletFX: the time base. Takes the host's transport values at every block, follows the
// transport starting, stopping and jumping, and keeps the loop length in step with the tempo.
// A beat is a quarter note; a bar is always four beats.
#include "engine/vampletfx.h"

#include <cmath>
#include <cstdlib>

namespace vamplet {

namespace {
// Double to a sample count without undefined conversions: NaN gives 0, the range is held
// well inside int64.
int64_t toSampleCount(double v) {
  constexpr double kLimit = 4.0e18;
  if (!(v == v)) return 0;
  if (v > kLimit) return static_cast<int64_t>(kLimit);
  if (v < -kLimit) return -static_cast<int64_t>(kLimit);
  return static_cast<int64_t>(v);
}

double finiteOr(double v, double fallback) { return std::isfinite(v) ? v : fallback; }
}  // namespace

bool VampletFX::processVstTimeInfo(int n) {
  const bool playing = hostTime.playing;
  const bool hostCycle = hostTime.cycleActive;
  const int64_t samplePos = hostTime.samplePos;

  // A tempo must be a finite number above zero giving a beat of at least one sample; anything
  // else keeps the tempo and beat length in force.
  double newTempo = hostTime.tempo;
  double newBeat = 60.0 * hostTime.sampleRate / newTempo;
  if (!(std::isfinite(newTempo) && newTempo > 0.0 && std::isfinite(newBeat) && newBeat >= 1.0)) {
    newTempo = tempo;
    newBeat = beatLength;
  }

  // A position that is not a number counts as no position.
  const double ppq = hostTime.ppqPosValid ? finiteOr(hostTime.ppqPos, 0.0) : 0.0;
  if (newBeat != beatLength) lengthNeedsUpdate = true;
  // Pre-roll before the song start: keep the previous transport state for this block.
  if (hostTime.ppqPosValid && ppq < 0.0) return false;

  cycleActive = hostCycle;
  const double oldTempo = tempo;
  tempo = newTempo;
  beatLength = newBeat;
  ppqPosition = ppq;
  cycleStart = finiteOr(hostTime.cycleStartPos, 0.0);
  cycleEnd = finiteOr(hostTime.cycleEndPos, 0.0);

  if (playing != transportPlaying) {
    if (playing)
      hostSequencerPlay();
    else
      hostSequencerStop();
  } else if (playing) {
    // Jump check: a block that does not follow the previous one re-phases the playing loop.
    int64_t delta = samplePos - lastSamplePos;
    const int64_t expected = lastBlockLength;
    bool cycleWrap = false;
    if (cycleActive) {
      const double cs = cycleStart * beatLength;
      const double ce = cycleEnd * beatLength;
      if (samplePos == toSampleCount(cs)) delta = expected;
      // The host's own wrap from the cycle end back to its start.
      const int64_t overshoot =
          toSampleCount(ce - static_cast<double>(lastSamplePos) + static_cast<double>(samplePos) - cs) - expected;
      cycleWrap = overshoot >= -2 && overshoot <= 2;
    }
    const bool jumped = !cycleWrap && tempo == oldTempo && delta != 0 && std::llabs(delta - expected) > 3;
    if (jumped && loopPlaying)
      setPhase(ppq);
    else if (jumped || cycleWrap)
      sequencer.play(ppq);  // the automation follows the song position with the loop off too
  }

  // A tempo change reaches the loop effect's synced delay and the automation recorder.
  if (tempo != oldTempo) delay.setSamplePerBeat(tempo, sampleRate);
  if (tempo != oldTempo) sequencer.updateTempo(tempo, hostTime.sampleRate);

  transportPlaying = playing;
  if (firstTimeInfo) {
    adjustLoopSize();
    firstTimeInfo = false;
  }
  lastSamplePos = samplePos;
  lastBlockLength = n;
  return true;
}

void VampletFX::hostSequencerPlay() {
  if (lengthNeedsUpdate) {
    adjustLoopSize();
    if (currentLoop) currentLength = currentLoop->length;
  }
  if (slot.active) {
    // The loop restarts at its beginning and records afresh: its first pass is the live input.
    barPhase = 0.0;
    playPosition = 0.0;
    recordIndex = 0;
    grainPosition = 0.0;
    loopStart = 0.0;
    recording = true;
    if (currentLoop) {
      currentLength = currentLoop->length;
      if (buffersReady()) fitLoopLength();
      loopEnd = currentLength;
      reverseActive = currentLoop->reverse;
      playSpeed = currentLoop->pitchRatio;
    }
    startPending = false;
    stopRequested = false;
    changePending = false;
    transportStartFade.setFadeOutBuffer(0.0f, 0.0f);  // fade in from silence
    transportStartFade.start();
    loopPlaying = true;
  }
  sequencer.play(ppqPosition);
}

void VampletFX::hostSequencerStop() {
  if (loopPlaying) startFadeFromLastOutput(transportStopFade);
  for (StepTrack& track : sequencer.tracks) track.resetStepFifo();
}

void VampletFX::setPhase(double ppq) {
  sequencer.play(ppq);
  loopEnd = currentLength;
  if (currentLength > 0.0) playPosition = std::fmod(beatLength * ppq * playSpeed, currentLength);
  barPhase = std::fmod(ppq * beatLength, 4.0 * beatLength);
}

}  // namespace vamplet
