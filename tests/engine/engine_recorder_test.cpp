// SPDX-License-Identifier: GPL-3.0-or-later
// The automation recorder: step timing and the step queue, and the engine's use of the tracks
// (the controls rule while tracks are disabled; an enabled track sets the loop length, pitch,
// dry/wet and "param"; hand changes release tracks; saving and restoring the tracks).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/stepsequencer.h"
#include "loop_rig.h"

using vamplet::LoopSequencerData;
using vamplet::StepQueueEntry;
using vamplet::StepSequencer;
using vamplet::StepTrack;
using vamplet::VampletFX;
using vamplet::test::LoopRig;

namespace {

constexpr double kBeat = 22050.0;  // 120 BPM at 44.1 kHz
constexpr double kBar = 4 * kBeat;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Emission {
  int64_t sample;
  int32_t step;
};

// Runs a track through `total` samples in blocks of `block`, taking every queued step and
// noting the sample at which it fell.
std::vector<Emission> runTrack(StepTrack& track, int64_t total, int block) {
  std::vector<Emission> out;
  for (int64_t start = 0; start < total; start += block) {
    const int n = static_cast<int>(std::min<int64_t>(block, total - start));
    track.process(n);
    while (const StepQueueEntry* e = track.peekEntry()) {
      out.push_back({start + e->stepSampleOffset, e->stepIndex});
      track.takeEntry();
    }
  }
  return out;
}

// A record with every track disabled and empty and all step values v.
LoopSequencerData recordOf(double v) {
  LoopSequencerData data;
  for (auto& t : data.tracks)
    for (double& s : t.stepValues) s = v;
  return data;
}

// A 120 BPM rig with a one-bar loop playing since the first beat, rendered to song sample `to`.
void startBarLoop(LoopRig& rig, int64_t to) {
  rig.fx.setParameter(vamplet::kParamLoopSize, 0.0);
  rig.fx.setParameter(vamplet::kParamLoop, 1.0);
  rig.renderUntil(to);
  ASSERT_TRUE(rig.fx.loopPlaying);
  ASSERT_EQ(rig.fx.currentLength, kBar);
}

bool running(const Crossfader2& fade) { return fade.position < fade.size - 1; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Step sequencer on its own

TEST(StepSequencer, StepsFallEvery5512AndAHalfSamplesWhateverTheBlockSize) {
  for (int block : {1, 64, 441, 4096}) {
    SCOPED_TRACE(block);
    StepSequencer seq;
    seq.updateTempo(120.0, 44100.0);
    StepTrack& track = *seq.getStepTrack(0);
    const std::vector<Emission> got = runTrack(track, 2 * static_cast<int64_t>(kBar), block);
    ASSERT_EQ(got.size(), 32u);  // two bars, sixteen steps each, nothing dropped
    for (size_t k = 0; k < got.size(); ++k) {
      EXPECT_EQ(got[k].step, static_cast<int32_t>(k % 16));
      const double due = k * kBeat / 4.0;  // 5 512.5 samples apart
      EXPECT_GE(got[k].sample, std::ceil(due) - 1) << k;
      EXPECT_LE(got[k].sample, std::ceil(due) + 1) << k;
    }
    EXPECT_FALSE(track.fifoOverflow);
  }
}

TEST(StepSequencer, PlayMovesEveryTrackToThePositionInTheBar) {
  struct Case {
    double ppq, speed;
    int32_t step;
    double position;
  };
  const Case cases[] = {
      {1.0, 1.0, 4, 1.0},   {5.0, 1.0, 4, 1.0},  {3.99, 1.0, 15, 3.99}, {0.0, 1.0, 0, 0.0},
      {-1.0, 1.0, 12, 3.0},  // before the song start: counted back from the bar's end
      {kNaN, 1.0, 0, 0.0},   {1.0, 2.0, 8, 2.0}, {3.0, 2.0, 8, 2.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ppq);
    StepSequencer seq;
    seq.setSpeed(c.speed);
    seq.play(c.ppq);
    for (int j = 0; j < seq.trackCount; ++j) {
      EXPECT_EQ(seq.getStepTrack(j)->currentStep, c.step);
      EXPECT_DOUBLE_EQ(seq.getStepTrack(j)->trackPosition, c.position);
    }
  }
  StepSequencer seq;
  EXPECT_EQ(seq.getStepTrack(4), nullptr);
  EXPECT_EQ(seq.getStepTrack(-1), nullptr);
  EXPECT_EQ(seq.getStepTrack(0)->getStep(16), nullptr);
  EXPECT_EQ(seq.getStepTrack(0)->getStep(-1), nullptr);
}

TEST(StepSequencer, ClearRestoresDefaultsDisablesAndEmptiesTheQueue) {
  StepTrack track;
  track.setAllDefaultValue(0.25, true);
  for (int k = 0; k < 16; ++k) track.setStepValue(k, k / 16.0);
  track.enabled = true;
  track.empty = false;
  track.process(20000);
  ASSERT_GT(track.fifoCount, 0);

  track.clear();
  for (int k = 0; k < 16; ++k) EXPECT_EQ(track.getStep(k)->value, 0.25) << k;
  EXPECT_FALSE(track.enabled);
  EXPECT_TRUE(track.empty);
  EXPECT_EQ(track.fifoCount, 0);
  EXPECT_EQ(track.peekEntry(), nullptr);
}

TEST(StepSequencer, QueueHolds254EntriesInOrderAcrossItsWrap) {
  StepTrack track;
  // Nobody takes: 254 steps fit, the next is dropped and reported.
  track.process(static_cast<int>(254 * kBeat / 4.0) - 100);
  EXPECT_EQ(track.fifoCount, 254);
  EXPECT_FALSE(track.fifoOverflow);
  track.process(6000);
  EXPECT_EQ(track.fifoCount, 254);
  EXPECT_TRUE(track.fifoOverflow);

  // Partly drained and refilled past the end of the slots, entries still come out in order and
  // none is lost or read twice.
  track.resetStepFifo();
  vamplet::Step step;
  for (int k = 0; k < 200; ++k) {
    step.stepIndex = k;
    track.addStepMsg(&step);
  }
  for (int k = 0; k < 150; ++k) track.takeEntry();
  for (int k = 200; k < 400; ++k) {
    step.stepIndex = k;
    track.addStepMsg(&step);
  }
  EXPECT_EQ(track.fifoCount, 250);
  EXPECT_FALSE(track.fifoOverflow);
  for (int k = 150; k < 400; ++k) {
    ASSERT_NE(track.peekEntry(), nullptr);
    EXPECT_EQ(track.peekEntry()->stepIndex, k);
    track.takeEntry();
  }
  EXPECT_EQ(track.peekEntry(), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Engine

TEST(EngineRecorder, ConstructionGivesTheTracksTheirControlsDefaults) {
  VampletFX fx;
  const double defaults[] = {0.0, 1.0, 0.5, 0.5};
  for (int j = 0; j < 4; ++j) {
    const StepTrack& t = *fx.sequencer.getStepTrack(j);
    EXPECT_EQ(t.trackDefault, defaults[j]);
    EXPECT_EQ(t.steps[7].value, defaults[j]);
    EXPECT_EQ(fx.automationValue[j], defaults[j]);
    EXPECT_FALSE(t.enabled);
  }
}

TEST(EngineRecorder, GetSyncValueOnBothGrids) {
  struct Case {
    float grid;
    double value, beats;
  };
  const Case cases[] = {
      {1.0f, 2.0 / 12, 4.0 / 3}, {1.0f, 0.0, 4.0},       {1.0f, 4.0 / 12, 2.0 / 3}, {1.0f, 6.0 / 12, 1.0 / 3},
      {1.0f, 8.5 / 12, 1.0 / 6}, {1.0f, 10.5 / 12, 0.0625}, {1.0f, 11.0 / 12, 0.03125}, {1.0f, 1.0, 0.03125},
      {1.0f, -0.5, 4.0},         {0.0f, 2.0 / 8, 1.0},    {0.0f, 1.0 / 8, 2.0},      {0.0f, 6.5 / 8, 0.0625},
      {0.0f, 7.0 / 8, 0.03125},  {0.0f, 1.0, 0.03125},    {0.0f, -0.1, 4.0},         {0.0f, kNaN, 4.0},
  };
  VampletFX fx;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.grid << " " << c.value);
    fx.setParameter(vamplet::kParamTriplet, c.grid);
    EXPECT_DOUBLE_EQ(fx.getSyncValue(c.value), c.beats * kBeat);
  }
}

TEST(EngineRecorder, DisabledTracksLeaveTheControlsInChargeAndHandChangesClearLoaded) {
  LoopRig rig;
  startBarLoop(rig, 30000);
  VampletFX& fx = rig.fx;
  // Step values that would shorten the loop, double the speed and move dry/wet and "param".
  fx.copyStepSequencerFromData(recordOf(0.375));
  fx.setParameter(vamplet::kParamPitch, 0.5);
  rig.renderUntil(30000 + static_cast<int64_t>(kBar));
  EXPECT_EQ(fx.automationValue[0], static_cast<double>(0.375f));  // the values still flow
  EXPECT_EQ(fx.currentLength, kBar);
  EXPECT_EQ(fx.loopEnd, kBar);
  const double before = fx.playPosition;
  rig.render(10);
  EXPECT_EQ(fx.playPosition, before + 10);
  EXPECT_EQ(fx.automatedDryWet(0.3f), 0.3f);
  EXPECT_EQ(fx.automatedParam(0.7f), 0.7f);

  // Each control's hand change clears its own track's loaded flag and no other.
  const struct {
    int id;
    double value;
    int track;
  } controls[] = {{vamplet::kParamLoopSize, 0.4, 0}, {vamplet::kParamDryWet, 0.6, 1},
                  {vamplet::kParamFxParam, 0.3, 2}, {vamplet::kParamPitch, 0.8, 3}};
  for (const auto& c : controls) {
    SCOPED_TRACE(c.id);
    fx.setParameter(c.id, c.value);
    for (int j = 0; j < 4; ++j) {
      EXPECT_EQ(fx.sequencer.tracks[j].loaded, j > c.track);
      EXPECT_FALSE(fx.sequencer.tracks[j].enabled);
    }
  }
}

TEST(EngineRecorder, FirstHandChangeAfterLoadingKeepsTheTrackTheSecondReleasesIt) {
  const struct {
    int id;
    double first, same, second;
    int track;
    bool sameReleases;
  } controls[] = {
      // Loop size releases only when the length changes, pitch only when the value changes,
      // dry/wet and "param" on every value.
      {vamplet::kParamLoopSize, 0.0, 0.1, 0.8, 0, false},
      {vamplet::kParamPitch, 0.8, 0.8, 0.2, 3, false},
      {vamplet::kParamDryWet, 0.6, 0.6, 0.2, 1, true},
      {vamplet::kParamFxParam, 0.3, 0.3, 0.9, 2, true},
  };
  for (const auto& c : controls) {
    SCOPED_TRACE(c.id);
    VampletFX fx;
    LoopSequencerData data = recordOf(0.5);
    for (auto& t : data.tracks) t.enabled = true, t.empty = false;
    fx.copyStepSequencerFromData(data);
    StepTrack& track = fx.sequencer.tracks[c.track];
    ASSERT_TRUE(track.enabled && track.loaded);

    fx.setParameter(c.id, c.first);
    EXPECT_TRUE(track.enabled);
    EXPECT_FALSE(track.loaded);
    fx.setParameter(c.id, c.same);
    EXPECT_EQ(track.enabled, !c.sameReleases);
    fx.setParameter(c.id, c.second);
    EXPECT_FALSE(track.enabled);
    for (int j = 0; j < 4; ++j)
      if (j != c.track) {
        EXPECT_TRUE(fx.sequencer.tracks[j].enabled && fx.sequencer.tracks[j].loaded) << j;
      }
  }
}

TEST(EngineRecorder, DataRoundTripRestoresValuesSpeedsAndFlags) {
  VampletFX a;
  for (int j = 0; j < 4; ++j) {
    StepTrack& t = a.sequencer.tracks[j];
    for (int k = 0; k < 16; ++k) t.setStepValue(k, (j * 16 + k) / 64.0);
    t.setSpeed(1.0 + j * 0.5);
    t.enabled = (j % 2) == 0;
    t.empty = j == 3;
  }
  a.sequencer.play(1.3);  // step 5 of the bar next at speed 1
  a.setParameter(vamplet::kParamLoop, 1.0);
  LoopSequencerData data;
  a.copyStepSequencerToData(data);
  EXPECT_EQ(data.loopId, 0);
  EXPECT_TRUE(data.loopOn);
  EXPECT_EQ(data.tracks[0].lastStep, a.sequencer.tracks[0].currentStep - 1);

  VampletFX b;
  b.copyStepSequencerFromData(data);
  for (int j = 0; j < 4; ++j) {
    SCOPED_TRACE(j);
    const StepTrack& s = a.sequencer.tracks[j];
    const StepTrack& t = b.sequencer.tracks[j];
    for (int k = 0; k < 16; ++k) EXPECT_EQ(t.steps[k].value, s.steps[k].value);
    EXPECT_EQ(t.speed, s.speed);
    EXPECT_EQ(t.enabled, s.enabled);
    EXPECT_EQ(t.empty, s.empty);
    EXPECT_TRUE(t.loaded);
  }

  // A damaged record: values that are no number fall back to the step default, values off the
  // range are held inside it, an unusable speed is ignored.
  data.tracks[1].stepValues[0] = kNaN;
  data.tracks[1].stepValues[1] = 7.0;
  data.tracks[1].stepValues[2] = -3.0;
  data.tracks[2].speed = kNaN;
  data.tracks[3].speed = -2.0;
  VampletFX c;
  c.copyStepSequencerFromData(data);
  EXPECT_EQ(c.sequencer.tracks[1].steps[0].value, 1.0);  // dry/wet default
  EXPECT_EQ(c.sequencer.tracks[1].steps[1].value, 1.0);
  EXPECT_EQ(c.sequencer.tracks[1].steps[2].value, 0.0);
  EXPECT_EQ(c.sequencer.tracks[2].speed, 1.0);
  EXPECT_EQ(c.sequencer.tracks[3].speed, 1.0);
}

TEST(EngineRecorder, RecallEnablesARecordedLoopSizeTrackAndClearingHandsTheLengthBack) {
  LoopRig rig;
  startBarLoop(rig, 30000);
  VampletFX& fx = rig.fx;
  fx.handleRecall(0.0);
  EXPECT_FALSE(fx.sequencer.tracks[0].enabled);  // nothing recorded

  LoopSequencerData data = recordOf(0.375);  // half a beat
  data.tracks[0].empty = false;
  fx.copyStepSequencerFromData(data);
  fx.handleRecall(0.5);
  EXPECT_FALSE(fx.sequencer.tracks[0].enabled);
  fx.handleRecall(0.0);
  EXPECT_TRUE(fx.sequencer.tracks[0].enabled);
  rig.renderUntil(rig.pos + 6000);  // a step falls within 5 513 samples
  EXPECT_EQ(fx.currentLength, kBeat / 2);

  data.tracks[0].enabled = true;
  for (bool all : {false, true}) {
    SCOPED_TRACE(all);
    fx.copyStepSequencerFromData(data);
    rig.renderUntil(rig.pos + 6000);
    ASSERT_EQ(fx.currentLength, kBeat / 2);
    fx.changePending = false;
    if (all)
      fx.clearAllAutomation();
    else
      fx.clearCurrentAutomation();
    EXPECT_FALSE(fx.sequencer.tracks[0].enabled);
    EXPECT_EQ(fx.currentLength, kBar);  // the slot's length again, changed at the next beat
    EXPECT_TRUE(fx.changePending);
    EXPECT_EQ(fx.sequencer.tracks[1].steps[3].value, all ? 1.0 : 0.375);
  }
}

TEST(EngineRecorder, LoopSizeTrackChangesTheLengthAtItsStep) {
  // Steps 0..5 keep the bar; from step 6 (5 512.5 x 6 = 33 075 samples into the bar) the track
  // asks for a beat (changed on the next beat) or half a beat (changed at once).
  const struct {
    double value, length;
    bool onNextBeat;
  } cases[] = {{2.0 / 8, kBeat, true}, {3.0 / 8, kBeat / 2, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    LoopRig rig;
    startBarLoop(rig, 80000);
    VampletFX& fx = rig.fx;
    LoopSequencerData data = recordOf(0.0);
    for (int k = 6; k < 16; ++k) data.tracks[0].stepValues[k] = c.value;
    data.tracks[0].enabled = true;
    data.tracks[0].empty = false;
    fx.copyStepSequencerFromData(data);

    const int64_t due = static_cast<int64_t>(kBar) + 33075;
    rig.renderUntil(due - 3);
    ASSERT_EQ(fx.currentLength, kBar);
    while (fx.currentLength == kBar && rig.pos < due + 3) rig.render(1);
    const int64_t changedAt = rig.pos - 1;
    EXPECT_LE(std::llabs(changedAt - due), 1);
    EXPECT_EQ(fx.currentLength, c.length);
    EXPECT_EQ(fx.loopEnd, c.length);
    EXPECT_EQ(fx.changePending, c.onNextBeat);
    // A position past the shorter end is folded into the loop, covered by a wrap fade.
    EXPECT_LT(fx.playPosition, fx.loopEnd);
    EXPECT_TRUE(running(fx.wrapFade));

    rig.renderUntil(static_cast<int64_t>(kBar + 2 * kBeat) + 1);  // past the next beat
    EXPECT_FALSE(fx.changePending);
    EXPECT_LT(fx.playPosition, c.length);
    EXPECT_EQ(fx.currentLength, c.length);
  }
}

TEST(EngineRecorder, EnabledLoopSizeTrackRestartsAPlayingLoopOnTheBarLineWithAWrapFade) {
  const struct {
    bool enabled, loopOn, restarts;
  } cases[] = {{true, true, true}, {false, true, false}, {true, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.enabled << c.loopOn);
    LoopRig rig;
    startBarLoop(rig, 30000);
    VampletFX& fx = rig.fx;
    if (!c.loopOn) {
      fx.setParameter(vamplet::kParamLoop, 0.0);
      rig.renderUntil(50000);
      ASSERT_FALSE(fx.loopPlaying);
    }
    LoopSequencerData data = recordOf(0.0);  // one bar throughout
    data.tracks[0].enabled = c.enabled;
    fx.copyStepSequencerFromData(data);

    const int64_t barLine = 2 * static_cast<int64_t>(kBar);
    rig.renderUntil(barLine - 100);
    fx.playPosition = 5000.0;  // out of phase with the bar
    fx.wrapFade.stop();
    rig.render(100);
    rig.render(10);  // the bar line and nine samples after it
    if (c.restarts) {
      EXPECT_EQ(fx.playPosition, 10.0);
      EXPECT_TRUE(running(fx.wrapFade));
      EXPECT_EQ(fx.wrapFade.position, 10);
    } else {
      EXPECT_EQ(fx.playPosition, c.loopOn ? 5110.0 : 5000.0);
      EXPECT_FALSE(running(fx.wrapFade));
    }
  }
}

TEST(EngineRecorder, PitchDryWetAndParamTracksReplaceTheirControls) {
  LoopRig rig;
  startBarLoop(rig, 30000);
  VampletFX& fx = rig.fx;
  LoopSequencerData data = recordOf(0.5);
  for (double& v : data.tracks[1].stepValues) v = 0.25;
  for (double& v : data.tracks[2].stepValues) v = 0.75;
  for (double& v : data.tracks[3].stepValues) v = 1.0;  // an octave up
  for (auto& t : data.tracks) t.enabled = true;
  data.tracks[0].enabled = false;
  fx.copyStepSequencerFromData(data);
  rig.renderUntil(rig.pos + 6000);
  EXPECT_EQ(fx.automatedDryWet(0.9f), 0.25f);
  EXPECT_EQ(fx.automatedParam(0.1f), 0.75f);

  for (float freePitch : {1.0f, 0.0f}) {
    SCOPED_TRACE(freePitch);
    fx.setParameter(vamplet::kParamFreePitch, freePitch);
    fx.playPosition = 100.0;
    rig.render(10);
    EXPECT_EQ(fx.playPosition, 100.0 + (freePitch != 0.0f ? 20.0 : 10.0));
  }
}

TEST(EngineRecorder, TransportDrivesTheSequencer) {
  LoopRig rig(140.0);
  rig.renderUntil(1000);
  const StepTrack& t = rig.fx.sequencer.tracks[2];
  EXPECT_DOUBLE_EQ(t.samplesPerBeat, 44100.0 * 60 / 140);  // the host's tempo

  // A jump of half a bar with the loop off moves the tracks to the new place in the bar.
  rig.pos += static_cast<int64_t>(2 * rig.beat());
  rig.render(64);
  const double ppq = static_cast<double>(rig.pos - 64) / rig.beat();
  EXPECT_NEAR(t.trackPosition, ppq - 4.0 * std::floor(ppq / 4.0) + 64 / rig.beat(), 1e-9);

  // The transport stops: every queue is emptied; it starts again: the tracks move to the
  // song position.
  rig.fx.sequencer.tracks[2].addStepMsg(&rig.fx.sequencer.tracks[2].steps[0]);
  rig.playing = false;
  rig.render(64);
  for (const StepTrack& track : rig.fx.sequencer.tracks) EXPECT_EQ(track.fifoCount, 0);
  rig.pos = static_cast<int64_t>(3 * rig.beat()) + 10;
  rig.playing = true;
  rig.render(1);
  EXPECT_EQ(t.currentStep, 13);  // step 12 (at beat 3) taken at the first sample

  // The host's cycle of a bar and a half wraps back to its start: the tracks go back with it.
  LoopRig cycle;
  cycle.cycle = true;
  cycle.cycleEndPpq = 6.0;
  cycle.renderUntil(static_cast<int64_t>(6 * kBeat));
  cycle.pos = 0;
  cycle.render(64);
  EXPECT_NEAR(cycle.fx.sequencer.tracks[0].trackPosition, 64 / kBeat, 1e-9);
}

TEST(EngineRecorder, DryWetTrackSetsTheEffectMix) {
  // A high-pass loop effect at full wet against the same loop with no effect: a dry/wet track
  // at 0 takes the effect out of the mix, the control alone leaves it in.
  const struct {
    bool trackEnabled, sameAsPlain;
  } cases[] = {{true, true}, {false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.trackEnabled);
    LoopRig plain, effect;
    for (LoopRig* rig : {&plain, &effect}) startBarLoop(*rig, 30000);
    effect.fx.setParameter(vamplet::kParamFxId, 3.0 / 7);  // high-pass
    effect.fx.setParameter(vamplet::kParamDryWet, 1.0);
    effect.fx.setParameter(vamplet::kParamFxOn, 1.0);
    LoopSequencerData data;
    for (double& v : data.tracks[1].stepValues) v = 0.0;
    data.tracks[1].enabled = c.trackEnabled;
    effect.fx.copyStepSequencerFromData(data);
    for (LoopRig* rig : {&plain, &effect}) rig->renderUntil(60000);
    int differing = 0;
    for (int64_t s = 50000; s < 60000; ++s) differing += plain.outAt(s) != effect.outAt(s);
    EXPECT_EQ(differing == 0, c.sameAsPlain) << differing;
  }
}
