// SPDX-License-Identifier: GPL-3.0-or-later
// The audio path: capture, loop starts and stops on the beat grid, wraps, pitch, direction,
// and the oscilloscope ring. Inputs name their origin (see loop_rig.h): an output value v is
// the input of song sample v - 1.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "loop_rig.h"

using vamplet::VampletFX;
using vamplet::test::inputLeft;
using vamplet::test::inputRight;
using vamplet::test::LoopRig;

namespace {

constexpr int kFade = 441;  // crossfade length at 44.1 kHz; a fade touches samples 0..439

// Renders in small blocks until the loop plays; returns the song position after that block.
int64_t renderUntilPlaying(LoopRig& rig, int64_t limit, int block = 64) {
  while (!rig.fx.loopPlaying && rig.pos < limit) rig.render(block);
  return rig.pos;
}

// A quarter loop (22 050 samples at 120 BPM) switched on at 1.4 beats, started at the beat of
// song sample 44 100 (block-aligned, so the start is at the block's first sample).
void startQuarterLoop(LoopRig& rig) {
  rig.renderUntil(30870);
  rig.fx.setParameter(1, 0.4);
  rig.fx.setParameter(0, 1.0);
  rig.renderUntil(44100);
  ASSERT_FALSE(rig.fx.loopPlaying);
  rig.render(441);
  ASSERT_TRUE(rig.fx.loopPlaying);
}

}  // namespace

TEST(EngineAudio, TransportStoppedPassesInputThroughAndScopeShowsSilence) {
  VampletFX fx;
  fx.resume(44100, 256);
  fx.setParameter(1, 0.4);
  fx.setParameter(0, 1.0);  // the switch changes nothing while the transport stands
  std::fill(std::begin(fx.scopeBuffer), std::end(fx.scopeBuffer), int8_t{55});
  std::vector<double> inL = {0.1, -0.3, 1.0 / 3, 2.5, 1e-9};
  std::vector<double> inR = {0.7, 0.2, -1.0 / 7, -2.5, 0.0};
  std::vector<double> outL(5, 9.0), outR(5, 9.0);
  double* in[2] = {inL.data(), inR.data()};
  double* out[2] = {outL.data(), outR.data()};
  fx.processDouble(in, out, 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(outL[i], static_cast<double>(static_cast<float>(inL[i])));
    EXPECT_EQ(outR[i], static_cast<double>(static_cast<float>(inR[i])));
  }
  EXPECT_FALSE(fx.loopPlaying);
  EXPECT_EQ(fx.captureWriteIndex, 0);  // nothing captured
  int8_t scope[64];
  ASSERT_EQ(fx.readScope(scope, 64), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(scope[i], 0);
  EXPECT_EQ(fx.lastOutputLeft, static_cast<float>(1e-9));
}

TEST(EngineAudio, BlockLongerThanAnnouncedIsLeftUntouched) {
  VampletFX fx;
  fx.resume(44100, 256);
  std::vector<float> in(512, 0.25f), outL(512, 7.0f), outR(512, 7.0f);
  float* ins[2] = {in.data(), in.data()};
  float* outs[2] = {outL.data(), outR.data()};
  fx.process(ins, outs, 512);
  std::vector<double> d(512, 0.25), dl(512, 7.0);
  double* din[2] = {d.data(), d.data()};
  double* dout[2] = {dl.data(), dl.data()};
  fx.processDouble(din, dout, 512);
  for (int i = 0; i < 512; ++i) {
    ASSERT_EQ(outL[i], 7.0f);
    ASSERT_EQ(dl[i], 7.0);
  }
  // Before resume there are no buffers at all: nothing happens.
  VampletFX cold;
  cold.process(ins, outs, 16);
  EXPECT_EQ(outL[0], 7.0f);
}

TEST(EngineAudio, InPlaceSingleBlockKeepsTheOutput) {
  // Host buffers shared by input and output: the result must survive the conversion.
  LoopRig rig;
  startQuarterLoop(rig);
  rig.renderUntil(50274);
  std::vector<float> l(441), r(441);
  for (int i = 0; i < 441; ++i) {
    l[i] = inputLeft(rig.pos + i);
    r[i] = inputRight(rig.pos + i);
  }
  float* io[2] = {l.data(), r.data()};
  rig.fx.hostTime.ppqPos = static_cast<double>(rig.pos) / rig.beat();
  rig.fx.hostTime.samplePos = rig.pos;
  rig.fx.process(io, io, 441);
  for (int i = 0; i < 441; ++i) EXPECT_EQ(l[i], inputLeft(rig.pos + i - 22050)) << i;
}

TEST(EngineAudio, OneBarSwitchedOnMidBarStartsInPhaseAtTheBeat) {
  LoopRig rig;  // 120 BPM: beat 22 050, bar 88 200
  rig.renderUntil(30870);
  rig.fx.setParameter(0, 1.0);  // loop size one bar (the default)
  rig.renderUntil(44100);
  EXPECT_FALSE(rig.fx.loopPlaying);
  rig.render(441);
  ASSERT_TRUE(rig.fx.loopPlaying);
  EXPECT_EQ(rig.fx.recordIndex, rig.fx.playPosition);  // in phase: play and record together
  EXPECT_EQ(rig.fx.playPosition, 44100 + 441);
  rig.renderUntil(3 * 88200);
  // Until the beat and through the rest of the bar: the live input.
  for (int64_t s = 0; s < 88200; ++s) ASSERT_EQ(rig.outAt(s), inputLeft(s)) << s;
  // Then the bar repeats on the bar grid: first the audio before the beat, then the part
  // recorded live after it.
  for (int64_t s = 88200 + kFade; s < 3 * 88200; ++s) {
    if (s >= 2 * 88200 && s < 2 * 88200 + kFade) continue;
    ASSERT_EQ(rig.outAt(s), inputLeft(s % 88200)) << s;
  }
  EXPECT_EQ(rig.right.back(), inputRight((3 * 88200 - 1) % 88200));
}

TEST(EngineAudio, At130BpmOneBarCopiesTheLastBarHalfBarStartsInPhase) {
  struct Case { double size; bool inPhase; };
  const Case cases[] = {{0.0, false}, {0.2, true}};
  for (const auto& c : cases) {
    LoopRig rig(130.0);  // beat 20 353.85, bar 81 415.38: not whole samples
    rig.renderUntil(200000);
    rig.fx.setParameter(1, c.size);
    rig.fx.setParameter(0, 1.0);
    const int64_t end = renderUntilPlaying(rig, 300000);
    ASSERT_TRUE(rig.fx.loopPlaying) << c.size;
    const double beat = rig.beat();
    if (c.inPhase) {
      // Play and record start together at the beat's offset within the half-bar grid: the
      // loop's first sample lies on a grid line of the (whole-sample) loop length.
      EXPECT_EQ(rig.fx.recordIndex, rig.fx.playPosition);
      const int64_t origin = static_cast<int64_t>(rig.fx.loopBuffer[0][0]) - 1;
      EXPECT_EQ(origin % 40707, 0);
      EXPECT_LT(end - origin, 40707 + 64);
      EXPECT_EQ(rig.fx.loopEnd, 2 * beat);
    } else {
      // The last 81 415 samples before the beat, from index 0.
      EXPECT_EQ(rig.fx.recordIndex - rig.fx.playPosition, 81415);
      const int64_t beatSample = end - static_cast<int64_t>(rig.fx.playPosition);
      EXPECT_NEAR(std::fmod(static_cast<double>(beatSample), beat), 0.0, 1.0);
      EXPECT_EQ(rig.fx.loopBuffer[0][0], inputLeft(beatSample - 81415));
      EXPECT_EQ(rig.fx.loopBuffer[0][81414], inputLeft(beatSample - 1));
      EXPECT_EQ(rig.fx.loopEnd, 4 * beat);
    }
  }
}

TEST(EngineAudio, QuarterLoopPlaysTheLastBeatEndingOneBeforeTheNewest) {
  LoopRig rig;
  startQuarterLoop(rig);
  // Copied: song samples 22 050 .. 44 099; the newest (44 100) continues beyond the loop.
  EXPECT_EQ(rig.fx.loopBuffer[0][0], inputLeft(22050));
  EXPECT_EQ(rig.fx.loopBuffer[1][0], inputRight(22050));
  EXPECT_EQ(rig.fx.loopBuffer[0][22049], inputLeft(44099));
  EXPECT_EQ(rig.fx.loopBuffer[0][22050], inputLeft(44100));
  rig.renderUntil(44100 + 3 * 22050);
  for (int pass = 0; pass < 3; ++pass) {
    const int64_t passStart = 44100 + pass * 22050;
    for (int64_t k = kFade; k < 22050; ++k) ASSERT_EQ(rig.outAt(passStart + k), inputLeft(22050 + k)) << pass << " " << k;
  }
}

TEST(EngineAudio, SixteenthWithFastSyncStartsAtOnceWithoutWaitsForTheBeat) {
  {
    LoopRig rig;
    rig.renderUntil(30870);
    rig.fx.setParameter(1, 0.8);  // 5 512.5 samples
    rig.fx.setParameter(0, 1.0);
    rig.render(441);
    ASSERT_TRUE(rig.fx.loopPlaying);
    const uint64_t song = static_cast<uint64_t>(30870.0 / 22050.0 * 22050.0);
    const int64_t offset = static_cast<int64_t>(song % 5512);
    EXPECT_EQ(rig.fx.recordIndex, offset + 441);
    EXPECT_EQ(rig.fx.playPosition, offset + 441);
    EXPECT_EQ(rig.fx.loopBuffer[0][0], inputLeft(30870 - offset));  // on the sixteenth grid
  }
  {
    LoopRig rig;
    rig.fx.setParameter(13, 0.0);
    rig.renderUntil(30870);
    rig.fx.setParameter(1, 0.8);
    rig.fx.setParameter(0, 1.0);
    rig.renderUntil(44100);
    EXPECT_FALSE(rig.fx.loopPlaying);
    rig.render(441);
    ASSERT_TRUE(rig.fx.loopPlaying);
    rig.renderUntil(44100 + 5512);
    // A whole beat is copied; the loop repeats its first sixteenth.
    EXPECT_EQ(rig.fx.loopBuffer[0][0], inputLeft(22050));
    EXPECT_EQ(rig.fx.loopEnd, 5512.5);
    for (int64_t k = kFade; k < 5512; ++k) ASSERT_EQ(rig.outAt(44100 + k), inputLeft(22050 + k)) << k;
  }
}

TEST(EngineAudio, SwitchOffStopsAtTheNextBeatWithAFade) {
  LoopRig rig;
  startQuarterLoop(rig);
  rig.renderUntil(50274);
  rig.fx.setParameter(0, 0.0);
  rig.renderUntil(66150);
  EXPECT_TRUE(rig.fx.loopPlaying);  // still playing until the beat
  for (int64_t s = 50274; s < 66150; ++s) ASSERT_EQ(rig.outAt(s), inputLeft(s - 22050)) << s;
  rig.renderUntil(66150 + 2 * 441);
  EXPECT_FALSE(rig.fx.loopPlaying);
  const float last = inputLeft(44099);
  EXPECT_EQ(rig.outAt(66150), last);  // the fade starts from the last loop sample
  for (int k = 1; k < kFade - 1; ++k) {
    const double w = std::sqrt(k / 441.0);
    const double expected = last * (1.0 - k / 441.0) * (1.0 - w) + inputLeft(66150 + k) * w;
    ASSERT_NEAR(rig.outAt(66150 + k), expected, 0.25) << k;  // float ramp steps
  }
  for (int64_t s = 66150 + kFade; s < rig.pos; ++s) ASSERT_EQ(rig.outAt(s), inputLeft(s));
}

TEST(EngineAudio, SwitchOnBeforeTheStopBeatKeepsTheLoopWithoutNewCapture) {
  LoopRig rig;
  startQuarterLoop(rig);
  const std::vector<float> before(rig.fx.loopBuffer[0], rig.fx.loopBuffer[0] + 22050);
  rig.renderUntil(50274);
  rig.fx.setParameter(0, 0.0);
  rig.renderUntil(55125);
  rig.fx.setParameter(0, 1.0);
  EXPECT_FALSE(rig.fx.stopRequested);
  EXPECT_FALSE(rig.fx.startPending);
  EXPECT_TRUE(rig.fx.changePending);
  rig.renderUntil(66150 + 3 * 441);
  EXPECT_TRUE(rig.fx.loopPlaying);
  EXPECT_FALSE(rig.fx.changePending);
  EXPECT_EQ(std::vector<float>(rig.fx.loopBuffer[0], rig.fx.loopBuffer[0] + 22050), before);
  EXPECT_EQ(rig.fx.recordIndex, 22050 + (rig.pos - 44100));  // the live recording ran on
  for (int64_t s = 66150 + kFade; s < rig.pos; ++s) ASSERT_EQ(rig.outAt(s), inputLeft(s - 44100)) << s;
}

TEST(EngineAudio, BackwardPassesAreOneSampleShorter) {
  LoopRig rig;
  rig.fx.setParameter(3, 1.0);
  startQuarterLoop(rig);
  EXPECT_TRUE(rig.fx.reverseActive);
  rig.renderUntil(44100 + 5 * 22050);
  // Loop index 0 (song sample 22 050) is the last sample of every backward pass, after
  // index 1; the next pass starts at index L - 2.
  std::vector<int64_t> ends;
  for (int64_t s = 44100 + 2; s < rig.pos; ++s)
    if (rig.outAt(s) == inputLeft(22050) && rig.outAt(s - 1) == inputLeft(22051)) ends.push_back(s);
  ASSERT_GE(ends.size(), 4u);
  for (size_t i = 1; i < ends.size(); ++i) EXPECT_EQ(ends[i] - ends[i - 1], 22049);
  const int64_t s = ends[1];
  for (int k = kFade; k < 2000; ++k) ASSERT_EQ(rig.outAt(s + k), inputLeft(22050 + 22049 - k)) << k;
}

TEST(EngineAudio, FreePitchDecidesWhetherThePitchIsHeard) {
  struct Case { double freePitch; int speed; };
  const Case cases[] = {{0.0, 1}, {1.0, 2}};
  for (const auto& c : cases) {
    LoopRig rig;
    rig.fx.setParameter(2, 1.0);  // ratio 2
    rig.fx.setParameter(8, c.freePitch);
    startQuarterLoop(rig);
    rig.renderUntil(44100 + 22050 + 441);
    const int64_t pass = 22050 / c.speed;
    for (int64_t m = kFade; m < pass; ++m)
      ASSERT_EQ(rig.outAt(44100 + m), inputLeft(22050 + c.speed * m)) << c.freePitch << " " << m;
    // Wraps after 22 050 / speed samples: at double speed twice per beat.
    EXPECT_EQ(rig.fx.playPosition, static_cast<double>((c.speed * (22050 + 441)) % 22050)) << c.freePitch;
  }
}

TEST(EngineAudio, WrapFadesFromTheLastOutputAndStopsAChangeFade) {
  LoopRig rig;
  startQuarterLoop(rig);
  rig.renderUntil(65950);
  rig.fx.changeFade.setFadeOutBuffer(0.0f, 0.0f);
  rig.fx.changeFade.start();
  rig.render(100);
  EXPECT_EQ(rig.fx.changeFade.position, 100);  // running
  rig.render(200);                              // wraps at song sample 66 150
  EXPECT_EQ(rig.fx.changeFade.position, rig.fx.changeFade.size);
  EXPECT_EQ(rig.fx.wrapFade.position, 100);
  rig.renderUntil(66150 + 2 * 441);
  const float last = rig.outAt(66149);
  EXPECT_EQ(rig.outAt(66150), last);
  for (int k = 1; k < kFade - 1; ++k) {
    const double w = std::sqrt(k / 441.0);
    const double expected = last * (1.0 - k / 441.0) * (1.0 - w) + inputLeft(22050 + k) * w;
    ASSERT_NEAR(rig.outAt(66150 + k), expected, 0.25) << k;  // float ramp steps
  }
}

TEST(EngineAudio, TempoChangeKeepsTheLengthUntilTheNextSwitch) {
  LoopRig rig;
  startQuarterLoop(rig);
  rig.renderUntil(50274);
  // The host changes tempo; the grid follows from the new position on.
  const double ppq = rig.pos / rig.beat();
  rig.bpm = 140.0;
  rig.pos = static_cast<int64_t>(ppq * rig.beat());
  rig.render(441);
  EXPECT_EQ(rig.fx.tempo, 140.0);
  EXPECT_EQ(rig.fx.beatLength, 18900.0);
  EXPECT_EQ(rig.fx.currentLength, 22050.0);
  EXPECT_EQ(rig.fx.loopEnd, 22050.0);
  EXPECT_TRUE(rig.fx.lengthNeedsUpdate);
  rig.fx.setParameter(0, 0.0);
  rig.renderUntil(rig.pos + 20000);
  ASSERT_FALSE(rig.fx.loopPlaying);
  rig.fx.setParameter(0, 1.0);
  EXPECT_EQ(rig.fx.currentLength, 18900.0);
  renderUntilPlaying(rig, rig.pos + 30000);
  EXPECT_EQ(rig.fx.loopEnd, 18900.0);
}

TEST(EngineAudio, HostJumpRephasesButCycleWrapAndNormalBlocksDoNot) {
  LoopRig rig;
  rig.cycle = true;
  rig.cycleStartPpq = 0.0;
  rig.cycleEndPpq = 7.5;  // not on the loop's grid, so a re-phase at the wrap would show
  startQuarterLoop(rig);
  rig.renderUntil(50274);
  // A normal block: everything advances by the block.
  double phase = rig.fx.barPhase;
  rig.render(441);
  EXPECT_EQ(rig.fx.barPhase, phase + 441);
  // Jump forward by a bar.
  rig.pos += 88200;
  const double ppq = rig.pos / rig.beat();
  rig.render(441);
  EXPECT_NEAR(rig.fx.barPhase, std::fmod(ppq * 22050, 88200) + 441, 1e-6);
  EXPECT_NEAR(rig.fx.playPosition, std::fmod(22050 * ppq, 22050) + 441, 1e-6);
  // The host's own wrap from the cycle end to its start is no jump.
  rig.renderUntil(165375);
  phase = rig.fx.barPhase;
  const double play = rig.fx.playPosition;
  rig.pos = 0;
  rig.render(441);
  EXPECT_EQ(rig.fx.barPhase, phase + 441);
  EXPECT_EQ(rig.fx.playPosition, std::fmod(play + 441, 22050));
  EXPECT_NE(rig.fx.playPosition, 441.0);
}

TEST(EngineAudio, PreRollIsIgnoredAndTransportStartRestartsTheLoop) {
  LoopRig rig(100.0);
  rig.fx.setParameter(1, 0.4);
  rig.fx.setParameter(0, 1.0);
  rig.pos = -3000;  // before the song start
  rig.render(441);
  EXPECT_FALSE(rig.fx.transportPlaying);
  EXPECT_EQ(rig.fx.tempo, 120.0);
  EXPECT_EQ(rig.fx.beatLength, 22050.0);
  for (int i = 0; i < 441; ++i) EXPECT_EQ(rig.outL[i], rig.inL[i]);
  rig.bpm = 120.0;
  rig.pos = 0;
  rig.render(441);
  EXPECT_TRUE(rig.fx.transportPlaying);
  EXPECT_TRUE(rig.fx.loopPlaying);  // started with the switch on: plays from position 0
  EXPECT_EQ(rig.fx.playPosition, 441.0);
  EXPECT_EQ(rig.fx.loopEnd, 22050.0);
  rig.renderUntil(22050 * 3);
  // First pass: live input while it is recorded; then it repeats (after the start fade).
  for (int64_t s = 0; s < 22050; ++s) ASSERT_EQ(rig.outAt(s), s < kFade - 1 ? rig.outAt(s) : inputLeft(s));
  for (int64_t s = 22050 + kFade; s < 44100; ++s) ASSERT_EQ(rig.outAt(s), inputLeft(s - 22050));
  // The transport stops: the loop fades out to the dry input and waits.
  rig.playing = false;
  rig.render(441);
  rig.render(441);
  EXPECT_TRUE(rig.fx.loopPlaying);
  EXPECT_FALSE(rig.fx.transportPlaying);
  EXPECT_EQ(rig.outL.back(), rig.inL.back());
}

TEST(EngineAudio, WithoutMusicalPositionEverySampleIsABeat) {
  LoopRig rig;
  rig.musicalPosition = false;
  rig.renderUntil(30000, 300);
  rig.fx.setParameter(1, 0.4);
  rig.fx.setParameter(0, 1.0);
  rig.render(300);
  EXPECT_TRUE(rig.fx.loopPlaying);
  EXPECT_EQ(rig.fx.playPosition, 300.0);
  EXPECT_EQ(rig.fx.recordIndex, 22050 + 300);
  rig.fx.setParameter(0, 0.0);
  rig.render(300);
  EXPECT_FALSE(rig.fx.loopPlaying);
}

TEST(EngineAudio, TempoThatIsNotAPositiveNumberIsRefused) {
  const double bad[] = {0.0, -120.0, std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity(), -0.0};
  for (double tempo : bad) {
    LoopRig rig;
    startQuarterLoop(rig);
    rig.overrideTempo = true;
    rig.reportedTempo = tempo;
    rig.renderUntil(rig.pos + 4410);
    EXPECT_EQ(rig.fx.tempo, 120.0) << tempo;
    EXPECT_EQ(rig.fx.beatLength, 22050.0) << tempo;
    EXPECT_FALSE(rig.fx.lengthNeedsUpdate) << tempo;
    EXPECT_TRUE(rig.fx.transportPlaying) << tempo;
    EXPECT_EQ(rig.outAt(rig.pos - 1), inputLeft(rig.pos - 1 - 22050)) << tempo;
  }
}

TEST(EngineAudio, ScopeRingCarriesTheOutputAndDropsTheNewestWhenFull) {
  VampletFX fx;
  fx.resume(44100, 1000);
  fx.hostTime.playing = true;
  fx.hostTime.ppqPosValid = true;
  // Display byte: (left + right) / 2 * 127, truncated, saturated beyond full scale.
  struct Case { double l, r; int8_t byte; };
  const Case cases[] = {{0.5, 0.5, 63}, {-0.5, -0.5, -63}, {1.0, 0.0, 63}, {3.0, 3.0, 127}, {-4.0, -4.0, -127}};
  std::vector<double> inL(1000), inR(1000), outL(1000), outR(1000);
  double* in[2] = {inL.data(), inR.data()};
  double* out[2] = {outL.data(), outR.data()};
  int blocks = 0;
  for (const auto& c : cases) {
    std::fill(inL.begin(), inL.end(), c.l);
    std::fill(inR.begin(), inR.end(), c.r);
    for (int b = 0; b < 4; ++b, ++blocks) {
      fx.hostTime.ppqPos = blocks * 1000 / 22050.0;
      fx.hostTime.samplePos = blocks * 1000;
      fx.processDouble(in, out, 1000);
    }
  }
  // 20 000 samples written, the ring keeps the first 16 383.
  std::vector<int8_t> scope(VampletFX::kScopeSize);
  ASSERT_EQ(fx.readScope(scope.data(), VampletFX::kScopeSize), 16383);
  for (int i = 0; i < 16383; ++i) ASSERT_EQ(scope[i], cases[i / 4000].byte) << i;
}

TEST(EngineAudio, ScopeRingHandsOverBetweenThreadsInOrder) {
  VampletFX fx;
  fx.resume(44100, 256);
  fx.hostTime.playing = true;
  constexpr int kBlocks = 400;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    int expected = 0;
    int8_t buffer[4096];
    bool ordered = true;
    for (;;) {
      const bool finished = done.load(std::memory_order_acquire);
      const int n = fx.readScope(buffer, 4096);
      for (int i = 0; i < n; ++i) {
        ordered = ordered && buffer[i] == expected;
        expected = (expected + 1) % 101;
      }
      if (finished && n == 0) break;
      std::this_thread::yield();
    }
    EXPECT_TRUE(ordered);
  });
  std::vector<double> in(256), out(256);
  double* ins[2] = {in.data(), in.data()};
  double* outs[2] = {out.data(), out.data()};
  int counter = 0;
  for (int b = 0; b < kBlocks; ++b) {
    // Keep the ring from filling so no sample is dropped; the reader drains it meanwhile.
    for (;;) {
      const int w = fx.scopeWriteIndex.load(std::memory_order_relaxed);
      const int r = fx.scopeReadIndex.load(std::memory_order_acquire);
      if ((r - w - 1 + VampletFX::kScopeSize) % VampletFX::kScopeSize >= 256) break;
      std::this_thread::yield();
    }
    for (int i = 0; i < 256; ++i, ++counter) in[i] = ((counter % 101) + 0.5) / 127.0;  // byte = counter % 101
    fx.hostTime.samplePos = b * 256;
    fx.processDouble(ins, outs, 256);
  }
  done.store(true, std::memory_order_release);
  reader.join();
}
