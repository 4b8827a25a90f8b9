// SPDX-License-Identifier: GPL-3.0-or-later
// The loop effects on a playing loop: gate regions, bit-reducer holds, autopan sides and
// crossings, high-pass control targets, phaser depth, time-expansion grains, the dry/wet mix,
// the synced delay's activation and tempo, and recovery from a non-finite loop sample.
//
// The rig's input names its origin (loop_rig.h), so the plain loop value at loop index x is
// read back from the engine's loop buffer and every effect is checked against it. The loops
// here start on a beat that is a multiple of their length, so the loop index of song sample s
// is s mod L.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "loop_rig.h"

using vamplet::VampletFX;
using vamplet::test::LoopRig;

namespace {

constexpr int kFade = 441;  // crossfade length at 44.1 kHz
constexpr double kBeat = 22050.0;  // 120 BPM at 44.1 kHz

// Loop-size values of the size table.
constexpr double kOneBar = 0.0;
constexpr double kOneBeat = 0.4;

struct EffectSetup {
  double size = kOneBeat;
  int fx = 0;
  double param = 0.5;
  double dryWet = 1.0;
  bool fxOn = true;
};

// Sets the effect controls while no loop is in play, switches the loop on at 1.4 beats and
// renders blocks of `block` samples until the loop plays.
void startLoop(LoopRig& rig, const EffectSetup& s, int block = 441) {
  rig.renderUntil(std::llround(1.4 * rig.beat()), block);
  rig.fx.setParameter(1, s.size);
  rig.fx.setParameter(4, s.fxOn ? 1.0 : 0.0);
  rig.fx.setParameter(5, s.fx / 7.0);
  rig.fx.setParameter(6, s.param);
  rig.fx.setParameter(7, s.dryWet);
  rig.fx.setParameter(0, 1.0);
  while (!rig.fx.loopPlaying && rig.pos < 10 * rig.beat()) rig.render(block);
  ASSERT_TRUE(rig.fx.loopPlaying);
}

float plainLeft(const LoopRig& rig, int64_t x) { return rig.fx.loopBuffer[0][x]; }
float plainRight(const LoopRig& rig, int64_t x) { return rig.fx.loopBuffer[1][x]; }

// The first whole pass that starts at least one loop length after the loop start (so the
// first pass, possibly recorded live, is complete).
int64_t settledPass(int64_t loopStart, int64_t length) {
  return ((loopStart + length + length - 1) / length) * length;
}

}  // namespace

TEST(EngineEffects, GateIsOpenUntilTheThresholdThenReleasesAndStaysClosed) {
  // One-beat loops close within the loop, longer loops within their last beat; p below 0.1
  // counts as 0.1 (in single precision).
  struct Case {
    double size;
    double param;
    int64_t length;
    double threshold;
  };
  const Case cases[] = {
      {kOneBeat, 0.5, 22050, 11025.0},
      {kOneBeat, 0.0, 22050, 22050.0 * static_cast<double>(0.1f)},
      {kOneBar, 0.5, 88200, 3.5 * kBeat},
      {kOneBar, 1.0, 88200, 4.0 * kBeat},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size << " p " << c.param);
    LoopRig rig;
    startLoop(rig, {c.size, VampletFX::kFxGate, c.param});
    const int64_t pass = settledPass(rig.pos, c.length);
    rig.renderUntil(pass + c.length);
    int64_t silent = 0;
    for (int64_t s = pass + kFade; s < pass + c.length; ++s) {
      const int64_t x = s % c.length;
      double gain = 1.0;
      if (x >= c.threshold) {
        const int j = static_cast<int>(x - c.threshold);
        gain = j < 441 ? 1.0 - std::sqrt(j / 441.0) : 0.0;
      }
      const double expected = plainLeft(rig, x) * gain;
      ASSERT_NEAR(rig.left[s], expected, 1e-6 * std::fabs(plainLeft(rig, x)) + 1e-6) << "x " << x;
      ASSERT_NEAR(rig.right[s], plainRight(rig, x) * gain, 1e-6 * std::fabs(plainRight(rig, x)) + 1e-6);
      if (rig.left[s] == 0.0f) ++silent;
    }
    // Silent from threshold + 441 samples of release to the end of the pass.
    const int64_t closed = c.length - std::min<int64_t>(c.length, static_cast<int64_t>(std::ceil(c.threshold)) + 441);
    EXPECT_NEAR(silent, closed, 1);
  }
}

TEST(EngineEffects, GateGlidesWhenTheControlMovesTheThreshold) {
  LoopRig rig;
  startLoop(rig, {kOneBeat, VampletFX::kFxGate, 0.5});
  const int64_t pass = settledPass(rig.pos, 22050);
  rig.renderUntil(pass + 8000);  // open: the threshold is at 11 025
  rig.fx.setParameter(6, 0.25);  // threshold 5 512.5: the gain would drop from 1 to 0 at once
  rig.render(kFade + 10);
  const int64_t s = pass + 8000;
  const double ratio0 = rig.left[s] / plainLeft(rig, s % 22050);
  const double ratioHalf = rig.left[s + 220] / plainLeft(rig, (s + 220) % 22050);
  EXPECT_NEAR(ratio0, 1.0, 1e-6);  // the glide starts at the previous gain
  EXPECT_GT(ratioHalf, 0.1);       // and is still on its way down
  EXPECT_LT(ratioHalf, 0.9);
  EXPECT_EQ(rig.left[s + kFade + 5], 0.0f);  // then closed
}

TEST(EngineEffects, BitReducerHoldsEveryKthLoopSampleOneSampleLate) {
  struct Case {
    double param;
    int k;
  };
  const Case cases[] = {{0.0, 1}, {0.5, 11}, {1.0, 21}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "p " << c.param);
    LoopRig rig;
    startLoop(rig, {kOneBeat, VampletFX::kFxBitReducer, c.param});
    const int64_t pass = settledPass(rig.pos, 22050);
    rig.renderUntil(pass + 22050);
    for (int64_t s = pass + kFade; s < pass + 22050; ++s) {
      const int64_t x = s % 22050;
      // The held index is read before it is renewed: k = 1 gives the loop one sample late.
      const int64_t held = c.k * ((x - 1) / c.k);
      ASSERT_EQ(rig.left[s], plainLeft(rig, held)) << "x " << x;
      ASSERT_EQ(rig.right[s], plainRight(rig, held)) << "x " << x;
    }
  }
}

TEST(EngineEffects, BitReducerPlaysDoubleSpeedAsOnePointNineNine) {
  struct Case {
    int fx;
    double advance;
  };
  const Case cases[] = {{VampletFX::kFxBitReducer, 199.0}, {VampletFX::kFxGate, 200.0}};
  for (const Case& c : cases) {
    LoopRig rig;
    rig.renderUntil(20000);
    rig.fx.setParameter(2, 1.0);  // pitch ratio 2 (free pitch is on by default)
    startLoop(rig, {kOneBar, c.fx, 0.5});
    rig.renderUntil(rig.pos + 1000);
    ASSERT_LT(rig.fx.playPosition, 80000.0);  // no wrap in the next 100 samples
    const double before = rig.fx.playPosition;
    rig.render(100);
    EXPECT_NEAR(rig.fx.playPosition - before, c.advance, 1e-6) << c.fx;
  }
}

TEST(EngineEffects, AutopanPeriodsFromHalfABarToAThirtySecond) {
  VampletFX fx;
  struct Case {
    double param;
    uint64_t period;
  };
  const Case cases[] = {{0.0, 44100}, {0.25, 22050}, {0.5, 11025}, {0.75, 5512}, {1.0, 2756}};
  for (const Case& c : cases) EXPECT_EQ(fx.setAutopanRate(c.param), c.period) << c.param;
  EXPECT_EQ(fx.setAutopanRate(1.3), 22050u);  // off the table
  EXPECT_EQ(fx.setAutopanRate(std::numeric_limits<double>::quiet_NaN()), 22050u);
  fx.beatLength = 4.0;  // an eighth of this beat is half a sample: the period stays at one
  EXPECT_EQ(fx.setAutopanRate(1.0), 1u);
}

TEST(EngineEffects, AutopanChangesSideEvery11025SamplesCrossingIn882) {
  LoopRig rig;
  startLoop(rig, {kOneBar, VampletFX::kFxAutopan, 0.5});
  ASSERT_EQ(rig.pos, 44100 + 441);  // started on the beat at 44 100: a flip falls there
  rig.renderUntil(88200 + 441);
  // Flips on the song grid of the period: 55 125, 66 150, 77 175 (first pass, played live).
  int previousSide = -1;
  for (int64_t flip = 55125; flip < 88200; flip += 11025) {
    SCOPED_TRACE(flip);
    int crossing = 0;
    for (int64_t s = flip; s < flip + 11025; ++s) {
      const double gl = rig.left[s] / plainLeft(rig, s);
      const double gr = rig.right[s] / plainRight(rig, s);
      ASSERT_NEAR(gl + gr, 1.0, 1e-5) << s;  // a linear crossing, no loss
      if (gl > 1e-9 && gr > 1e-9) ++crossing;
    }
    EXPECT_GE(crossing, 881);
    EXPECT_LE(crossing, 882);
    const int side = rig.left[flip + 1000] != 0.0f ? 0 : 1;
    EXPECT_EQ(rig.left[flip + 1000] == 0.0f, rig.right[flip + 1000] != 0.0f);
    if (previousSide >= 0) {
      EXPECT_NE(side, previousSide);
    }
    previousSide = side;
  }
}

TEST(EngineEffects, AutopanAtATempoWithSubSampleEighthsKeepsRunning) {
  // 661 500 BPM gives a beat of 4 samples: the shortest period would be half a sample.
  LoopRig rig(661500.0, 64);
  startLoop(rig, {kOneBeat, VampletFX::kFxAutopan, 1.0}, 64);
  rig.render(64);
  rig.render(64);
  for (float v : rig.left) ASSERT_TRUE(std::isfinite(v));
}

TEST(EngineEffects, HipassControlTargets) {
  // Cutoff target (0.75 p)^2 (0.01 below 0.1, 1 above 1); resonance 8 p^2 + 0.25 below
  // p = 0.25, else 0.75 (1 - p), limited to 0.1 .. 1 when used.
  struct Case {
    double param;
    float cutoff;
    float resonance;
    float resonanceUsed;
  };
  const Case cases[] = {
      {0.0, 0.01f, 0.25f, 0.25f}, {0.1, 0.01f, 0.33f, 0.33f}, {0.5, 0.140625f, 0.375f, 0.375f},
      {1.0, 0.5625f, 0.0f, 0.1f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "p " << c.param);
    LoopRig rig;
    startLoop(rig, {kOneBar, VampletFX::kFxHipass, c.param});
    rig.renderUntil(rig.pos + 44100);  // the 60 ms and 80 ms smoothers settle
    const VampletFX& fx = rig.fx;
    EXPECT_NEAR(fx.cutoffSmoother.z, c.cutoff, 1e-4);
    EXPECT_NEAR(fx.resonanceSmoother.z, c.resonance, 1e-4);
    // The filter's resonance feedback q = compensation(cutoff) * 0.89 * resonance used.
    const float r = 1.0f - fx.cutoffSmoother.z;
    const float compensation = (1.0f + 0.5f * r * (5.6f * r * r + (1.0f - r))) * 0.89f;
    EXPECT_NEAR(fx.hipassLeft.q / compensation, c.resonanceUsed, 1e-4);
    EXPECT_NEAR(fx.hipassRight.q / compensation, c.resonanceUsed, 1e-4);
  }
}

TEST(EngineEffects, PhaserDepthAndRateFollowParam) {
  struct Case {
    double param;
    float rateHz;
  };
  const Case cases[] = {{0.0, 0.1f}, {0.5, 0.75f}, {1.0, 1.5f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "p " << c.param);
    LoopRig rig;
    startLoop(rig, {kOneBeat, VampletFX::kFxPhaser, c.param});
    const int64_t pass = settledPass(rig.pos, 22050);
    rig.renderUntil(pass + 22050);
    EXPECT_FLOAT_EQ(rig.fx.phaserLfoIncrement, 6.28318f * c.rateHz / 44100.0f);
    EXPECT_FLOAT_EQ(rig.fx.phaserDepth, static_cast<float>(c.param));
    int unchanged = 0;
    for (int64_t s = pass + kFade; s < pass + 22050; ++s) {
      const int64_t x = s % 22050;
      if (c.param == 0.0) {
        // Depth 0: the chain is not heard, only the input at 0.67.
        ASSERT_EQ(rig.left[s], plainLeft(rig, x) * 0.67f) << x;
        ASSERT_EQ(rig.right[s], plainRight(rig, x) * 0.67f) << x;
      } else if (rig.left[s] == plainLeft(rig, x) * 0.67f) {
        ++unchanged;
      }
    }
    if (c.param > 0.0) {
      EXPECT_LT(unchanged, 100);
    }
  }
}

TEST(EngineEffects, TimeExpandPlaysGrainsThatStepBackByHalf) {
  // 661.5 BPM: a one-beat loop of exactly 4000 samples. Grain g plays loop indices
  // 500 g + t for ticks t = 0 .. 998, faded in over the first 50 ticks.
  LoopRig rig(661.5, 400);
  ASSERT_DOUBLE_EQ(rig.beat(), 4000.0);
  startLoop(rig, {kOneBeat, VampletFX::kFxTimeExpand, 0.5}, 400);
  const int64_t start = rig.pos - 400;  // the loop started at the first sample of that block
  ASSERT_EQ(start % 4000, 0);
  rig.renderUntil(start + 4000, 400);
  EXPECT_DOUBLE_EQ(rig.fx.grainPosition, 2000.0);  // 4000 samples played, 2000 of material
  int64_t highest = 0;
  for (int64_t n = kFade; n < 4000; ++n) {
    const int64_t g = n / 1000;
    const int64_t t = n % 1000;
    if (t == 999) continue;  // the step back happens on this sample
    const int64_t index = 500 * g + t;
    const double window = t <= 50 ? t / 50.0 : (t >= 950 ? (1000 - t) / 50.0 : 1.0);
    const double l = plainLeft(rig, index) * window;
    const double r = plainRight(rig, index) * window;
    ASSERT_NEAR(rig.left[start + n], l, 1e-6 * std::fabs(l) + 1e-6) << n;
    ASSERT_NEAR(rig.right[start + n], r, 1e-6 * std::fabs(r) + 1e-6) << n;
    highest = std::max(highest, index);
  }
  EXPECT_LT(highest, 2500);  // the material read stays within about half the time played
}

TEST(EngineEffects, DryWetMixesThePlainLoopAgainstEveryEffect) {
  // With dry/wet 0 the output equals the loop without effects; with 1 every effect is heard.
  LoopRig plain;
  startLoop(plain, {kOneBar, 0, 0.5, 1.0, /*fxOn=*/false});
  plain.renderUntil(3 * 88200);
  for (int fx = 0; fx < VampletFX::kNumLoopEffects; ++fx) {
    SCOPED_TRACE(testing::Message() << "effect " << fx);
    LoopRig dry;
    startLoop(dry, {kOneBar, fx, 0.5, 0.0});
    dry.renderUntil(3 * 88200);
    ASSERT_EQ(dry.left, plain.left);
    ASSERT_EQ(dry.right, plain.right);
    LoopRig wet;
    startLoop(wet, {kOneBar, fx, 0.5, 1.0});
    wet.renderUntil(3 * 88200);
    // The rig's ramps are nearly silent through the delay's DC blocker (only their jumps
    // echo), so the bar is low; the bundle check hears every effect on real audio.
    int differing = 0;
    for (size_t i = 88200; i < wet.left.size(); ++i)
      if (wet.left[i] != plain.left[i] || wet.right[i] != plain.right[i]) ++differing;
    EXPECT_GT(differing, 1000);
  }
}

TEST(EngineEffects, DryWetLoopTermInSinglePrecisionEffectTermInDouble) {
  // Phaser at depth 0 makes the effect pair 0.67 x loop, so the mix is known exactly.
  for (double w : {0.25, 0.7}) {
    LoopRig rig;
    startLoop(rig, {kOneBeat, VampletFX::kFxPhaser, 0.0, w});
    const int64_t pass = settledPass(rig.pos, 22050);
    rig.renderUntil(pass + 22050);
    const float wf = static_cast<float>(w);
    for (int64_t s = pass + kFade; s < pass + 22050; s += 7) {
      const float loop = plainLeft(rig, s % 22050);
      const double expected = static_cast<double>(loop * (1.0f - wf)) + static_cast<double>(loop * 0.67f) * wf;
      ASSERT_EQ(rig.left[s], static_cast<float>(expected)) << s;
    }
  }
}

TEST(EngineEffects, DelayIsActiveOnlyWhileItsEffectRuns) {
  LoopRig rig;
  rig.renderUntil(4410);
  EXPECT_FALSE(rig.fx.delay.isActive());  // the dry path switches it off
  rig.fx.setParameter(1, kOneBeat);
  rig.fx.setParameter(4, 1.0);
  rig.fx.setParameter(5, 1.0);  // "Delay" chosen while the dry path runs
  rig.renderUntil(30870);
  EXPECT_FALSE(rig.fx.delay.isActive());
  rig.fx.setParameter(0, 1.0);
  rig.renderUntil(44100);
  EXPECT_FALSE(rig.fx.delay.isActive());  // still dry until the beat
  rig.render(1);                          // the first effect sample
  EXPECT_TRUE(rig.fx.delay.isActive());

  rig.render(440);
  rig.fx.setParameter(5, 3.0 / 7);  // another effect: off at once
  EXPECT_FALSE(rig.fx.delay.isActive());
  rig.render(441);
  EXPECT_FALSE(rig.fx.delay.isActive());
  rig.fx.setParameter(5, 1.0);  // back to the delay: on again at the next loop sample
  EXPECT_FALSE(rig.fx.delay.isActive());
  rig.render(1);
  EXPECT_TRUE(rig.fx.delay.isActive());
  rig.fx.setParameter(4, 0.0);  // the effect switch off
  EXPECT_FALSE(rig.fx.delay.isActive());
}

TEST(EngineEffects, DelayFollowsTheTempo) {
  // p = 0.75 asks for one beat: 22 050 samples at 120 BPM, 18 900 at 140.
  LoopRig rig;
  startLoop(rig, {kOneBar, VampletFX::kFxDelay, 0.75});
  rig.render(441);
  EXPECT_EQ(rig.fx.delay.getDelayTime(), 22050);
  rig.overrideTempo = true;
  rig.reportedTempo = 140.0;
  rig.render(441);
  EXPECT_EQ(rig.fx.delay.getDelayTime(), 18900);
}

TEST(EngineEffects, ResumeRebuildsTheGateAndRestartsTheSmoothers) {
  struct Case {
    double rate;
    int curveLength;
  };
  const Case cases[] = {{44100.0, 441}, {48000.0, 480}, {96000.0, 960}};
  for (const Case& c : cases) {
    VampletFX fx;
    EXPECT_EQ(fx.gateCurveLength, 441);  // built for 44.1 kHz
    fx.gateGain = 0.3;
    fx.gatePreviousThreshold = 5.0;
    fx.resume(c.rate, 256);
    EXPECT_EQ(fx.gateSampleRate, static_cast<int>(c.rate));
    ASSERT_EQ(fx.gateCurveLength, c.curveLength);
    ASSERT_EQ(fx.gateCurve.size(), static_cast<size_t>(c.curveLength));
    EXPECT_EQ(fx.gateCurve[0], 1.0);
    EXPECT_DOUBLE_EQ(fx.gateCurve[c.curveLength / 4], 1.0 - std::sqrt((c.curveLength / 4) / double(c.curveLength)));
    EXPECT_EQ(fx.gateGain, 1.0);
    EXPECT_EQ(fx.gatePreviousThreshold, 0.0);
    EXPECT_EQ(fx.gateFade.size, c.curveLength);  // 10 ms at the rate
    EXPECT_FLOAT_EQ(fx.cutoffSmoother.a, std::exp(-6.2831855f / (0.06f * static_cast<float>(c.rate))));
    EXPECT_FLOAT_EQ(fx.resonanceSmoother.a, std::exp(-6.2831855f / (0.08f * static_cast<float>(c.rate))));
    EXPECT_EQ(fx.cutoffSmoother.z, 0.0f);
  }
}

TEST(EngineEffects, ANonFiniteLoopSampleDoesNotSilenceAFeedbackEffectForGood) {
  for (int fx : {VampletFX::kFxHipass, VampletFX::kFxPhaser, VampletFX::kFxReverb, VampletFX::kFxDelay}) {
    SCOPED_TRACE(testing::Message() << "effect " << fx);
    LoopRig rig;
    startLoop(rig, {kOneBar, fx, 0.5});
    rig.renderUntil(88200 + 2000);  // the first pass is in the loop buffer
    rig.fx.loopBuffer[0][3000] = std::numeric_limits<float>::quiet_NaN();
    rig.fx.loopBuffer[1][3000] = std::numeric_limits<float>::infinity();
    rig.renderUntil(88200 + 40000);
    for (int64_t s = 88200 + 6000; s < 88200 + 40000; ++s) {
      ASSERT_TRUE(std::isfinite(rig.left[s])) << s;
      ASSERT_TRUE(std::isfinite(rig.right[s])) << s;
    }
  }
}
