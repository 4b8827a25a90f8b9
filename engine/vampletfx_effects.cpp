// SPDX-License-Identifier: GPL-3.0-or-later
// VampletFX: the eight loop effects, the dry/wet mix against the plain loop, and the
// time-expansion grain clock that runs under every playing loop.
//
// Per loop sample, with p = "param" and w = dry/wet of the loop in play:
//   effect pair = fx[fxId](loop pair, p)
//   out = loop * (1 - w) [single precision] + effect * w [double]
// The grain clock moves the time-expansion read position on by 1000 samples of loop per grain
// and then steps it back by 500, so TimeExpand plays the material at half pace, unchanged pitch,
// with 50-tick fades at the grain boundaries.
#include "engine/vampletfx.h"

#include <algorithm>
#include <cmath>

namespace vamplet {

namespace {
// Truncation to an index that stays defined for any double (NaN gives 0).
inline int32_t toIndex(double v) {
  if (!(v == v)) return 0;
  return static_cast<int32_t>(std::clamp(v, -2.0e9, 2.0e9));
}

// Autopan periods in beats for k = int(p * 4): two beats (half a bar) down to an eighth of a
// beat (a thirty-second of a bar).
constexpr double kAutopanBeats[] = {2.0, 1.0, 0.5, 0.25, 0.125};
constexpr uint64_t kAutopanFallback = 22050;

// Grain clock: a grain is 1000 ticks (samples at speed 1) with 50-tick fades at both ends; each
// new grain starts 500 samples behind where the last one ended.
constexpr double kGrainTicks = 1000.0;
constexpr double kGrainFadeTicks = 50.0;
constexpr double kGrainStepBack = 500.0;

// Phaser constants, single precision.
constexpr float kTwoPi = 6.28318f;
constexpr float kPhaserRateScale = 1.5f;    // Hz at p = 1
constexpr float kPhaserMinRate = 0.1f;      // Hz
constexpr float kPhaserRateBase = 44100.0f; // the sweep is not adapted to other rates
constexpr float kPhaserOutputGain = 0.67f;

// The autopan crosses to its new side linearly within 1/50 s.
constexpr double kPanCrossingsPerSecond = 50.0;
}  // namespace

// ---------------------------------------------------------------------------------------------
// Set-up

void VampletFX::buildGateCurve(int32_t rate) {
  // Release curve 1 - sqrt(i / n) over gateTimeMs: a quick fall that then tails off to silence.
  gateSampleRate = std::max<int32_t>(rate, 0);
  gateCurveLength = static_cast<int32_t>(gateSampleRate * gateTimeMs / 1000.0);
  gateCurve.assign(static_cast<size_t>(gateCurveLength), 0.0);
  for (int32_t i = 0; i < gateCurveLength; ++i)
    gateCurve[static_cast<size_t>(i)] = 1.0 - std::sqrt(static_cast<double>(i) / gateCurveLength);
  gateFade.setSamplerate(gateSampleRate);
}

void VampletFX::resumeEffects(int32_t rate) {
  buildGateCurve(rate);
  gateGain = 1.0;
  gatePreviousThreshold = 0.0;
  gatePreviousGain = 1.0;
  // The high-pass controls glide slowly enough that a turned knob does not zip; both restart
  // from 0.
  cutoffSmoother.init(60.0f, static_cast<float>(rate));
  resonanceSmoother.init(80.0f, static_cast<float>(rate));
}

void VampletFX::resumeEffectBlocks(double rate) {
  reverb.mute();
  delay.setSampleRate(rate);
}

uint64_t VampletFX::setAutopanRate(double value) {
  const double scaled = value * 4.0;
  if (!(scaled > -1.0 && scaled < 5.0)) return kAutopanFallback;
  const double period = kAutopanBeats[static_cast<int>(scaled)] * beatLength;
  // At least one sample: the counter is taken modulo the period.
  if (!(period >= 1.0)) return 1;
  return static_cast<uint64_t>(std::min(period, 1.0e18));
}

// ---------------------------------------------------------------------------------------------
// Grain clock

void VampletFX::runGrainClock(double speed) {
  // Window: fade in over the first 50 ticks, out over the last 50, hold in between.
  const double t = grainTick;
  if (t <= kGrainFadeTicks)
    grainWindow = t / kGrainFadeTicks;
  else if (t >= kGrainTicks - kGrainFadeTicks)
    grainWindow = std::fabs(t - kGrainTicks) / kGrainFadeTicks;

  // Keep the read position inside the loop, and inside the two bars the loop buffer can hold
  // beyond the loop start.
  if (playDirection < 0) {
    if (loopStart >= grainPosition) grainPosition = loopEnd - 1.0;
  } else if (grainPosition >= loopEnd - 1.0) {
    grainPosition = loopStart;
  }
  // Two bars of whole samples, 2 floor(4 b), is at least 8 b - 2: the cheap test comes first.
  if (!(grainPosition >= 0.0) ||
      (grainPosition >= 8.0 * beatLength - 2.0 && grainPosition >= 2.0 * std::floor(4.0 * beatLength)))
    grainPosition = 0.0;

  grainTick += speed;
  if (grainTick >= kGrainTicks) {
    grainPosition -= playDirection * kGrainStepBack;
    if (grainPosition < 0.0) grainPosition += currentLength;
    if (grainPosition > currentLength) grainPosition -= currentLength;
    grainTick = 0.0;
  }
}

// ---------------------------------------------------------------------------------------------
// Effect stage

void VampletFX::applyLoopEffect(double& left, double& right, double plainLeft, double plainRight,
                                double& speed) {
  if (!currentLoop) return;
  // Control values of this sample, or an enabled automation track's in their place.
  const float p = automatedParam(currentLoop->param);
  const float w = automatedDryWet(currentLoop->dryWet);

  switch (currentLoop->fxId) {
    case kFxGate: {
      // The gate closes within the last beat of a loop longer than a beat, else within the
      // loop; q is how much of that stretch stays open.
      double q = static_cast<double>(p);
      if (q < 0.1) q = static_cast<double>(0.1f);
      const double threshold =
          currentLength > beatLength ? (currentLength - beatLength) + beatLength * q : currentLength * q;
      double gain = 1.0;
      if (playPosition >= threshold) {
        const int32_t j = toIndex(playPosition - threshold);
        gain = j < gateCurveLength ? gateCurve[static_cast<size_t>(j)] : 0.0;
      }
      gateGain = gain;
      // The control moved and made the gain jump: glide from the previous gain.
      if (threshold != gatePreviousThreshold && gain != gatePreviousGain) {
        gateFade.setFadeOutBuffer(static_cast<float>(gatePreviousGain), static_cast<float>(gatePreviousGain));
        gateFade.start();
      }
      gatePreviousGain = gain;
      gatePreviousThreshold = threshold;
      if (gateFade.position < gateFade.size - 1) gateFade.process(gateGain, gateGain);
      left *= gateGain;
      right *= gateGain;
      break;
    }

    case kFxBitReducer: {
      // Exactly double speed is played at 1.99 while the bit reducer runs.
      if (speed == 2.0) speed = 1.99;
      const int32_t held = std::clamp<int32_t>(holdIndex, 0, std::max(loopBufferLength - 1, 0));
      left = loopBuffer[0][held];
      right = loopBuffer[1][held];
      // Hold length k = 1 (p = 0, the loop one sample late) to 21 (p = 1) loop positions.
      const int32_t k = std::max(static_cast<int32_t>(p * 20.0f + 1.0f), 1);
      const int32_t m = toIndex(playPosition);
      if (m % k == 0) holdIndex = m;
      break;
    }

    case kFxAutopan: {
      if (numOutputChannels < 2) break;  // nothing to pan on one channel
      const uint64_t period = setAutopanRate(p);
      // The counter is compared as unsigned: a negative count (a song position beyond the
      // 32-bit range) counts as due.
      uint64_t c = static_cast<uint64_t>(static_cast<int64_t>(panCounter));
      if (c >= period) {
        panSide = !panSide;
        panGain = 1.0;
        c %= period;
      }
      const double g = panGain;
      if (panSide) {
        left *= 1.0 - g;
        right *= g;
      } else {
        right *= 1.0 - g;
        left *= g;
      }
      panGain = std::max(0.0, g - kPanCrossingsPerSecond / sampleRate);
      panCounter = static_cast<int32_t>(static_cast<uint32_t>(c + 1));
      break;
    }

    case kFxHipass: {
      const float x = 0.75f * p;
      const float cutoffTarget = x < 0.1f ? 0.01f : (x > 1.0f ? 1.0f : x * x);
      const float resonanceTarget = p < 0.25f ? 8.0f * p * p + 0.25f : 0.75f * (1.0f - p);
      const float cutoff = cutoffSmoother.process(cutoffTarget);
      const float resonance = std::clamp(resonanceSmoother.process(resonanceTarget), 0.1f, 1.0f);
      const float l = hipassLeft.work(static_cast<float>(left), cutoff, resonance, 2);
      const float r = hipassRight.work(static_cast<float>(right), cutoff, resonance, 2);
      // One bad sample must not leave the filters' memory poisoned for good.
      if (!std::isfinite(l) || !std::isfinite(r)) {
        hipassLeft.clear_filter();
        hipassRight.clear_filter();
      }
      left = l;
      right = r;
      break;
    }

    case kFxPhaser: {
      phaserDepth = p;
      const float rate = std::max(kPhaserRateScale * p, kPhaserMinRate);
      phaserLfoIncrement = kTwoPi * rate / kPhaserRateBase;
      // Left then right through the same stages: the oscillator advances twice per pair.
      auto phase = [this](float input) {
        const float d = phaserMinDelay + (phaserMaxDelay - phaserMinDelay) * (std::sin(phaserLfoPhase) + 1.0f) * 0.5f;
        phaserLfoPhase += phaserLfoIncrement;
        if (phaserLfoPhase >= kTwoPi) phaserLfoPhase -= kTwoPi;
        const float a = (1.0f - d) / (1.0f + d);
        float s = input + phaserLastOutput * phaserFeedback;
        for (PhaserStage& stage : phaserStages) {
          stage.coefficient = a;
          const float y = s * -a + stage.state;
          stage.state = y * a + s;
          s = y;
        }
        phaserLastOutput = s;
        return (s * phaserDepth + input) * kPhaserOutputGain;
      };
      const float l = phase(static_cast<float>(left));
      const float r = phase(static_cast<float>(right));
      // One bad sample must not leave the feedback loop poisoned for good.
      if (!std::isfinite(phaserLastOutput)) {
        for (PhaserStage& stage : phaserStages) stage.state = 0.0f;
        phaserLastOutput = 0.0f;
      }
      left = l;
      right = r;
      break;
    }

    case kFxTimeExpand: {
      const int32_t j = std::clamp<int32_t>(toIndex(grainPosition), 0, std::max(loopBufferLength - 1, 0));
      left = loopBuffer[0][j] * grainWindow;
      right = loopBuffer[1][j] * grainWindow;
      break;
    }

    case kFxReverb: {
      reverb.setroomsize(p);
      float l = static_cast<float>(left);
      float r = static_cast<float>(right);
      reverb.process(l, r);
      // One bad sample must not leave the reverb's memories poisoned for good.
      if (!std::isfinite(l) || !std::isfinite(r)) reverb.mute();
      left = l;
      right = r;
      break;
    }

    case kFxDelay:
      // Deactivated on the dry path and whenever the effect is left, so it starts afresh here.
      if (!delay.isActive()) delay.setActive(true);
      delay.setTimeF(p);
      delay.process3(left, right);
      // One bad sample must not leave the lines poisoned for good: switching off and on again
      // empties the lines and their filters.
      if (!std::isfinite(left) || !std::isfinite(right)) {
        delay.setActive(false);
        delay.setActive(true);
      }
      break;

    default:
      break;  // no such effect: the loop pair goes to the mix unchanged
  }

  // Dry/wet against the plain loop: the loop term in single precision, the effect term in double.
  const float dry = 1.0f - w;
  left = static_cast<double>(static_cast<float>(plainLeft) * dry) + left * static_cast<double>(w);
  right = static_cast<double>(static_cast<float>(plainRight) * dry) + right * static_cast<double>(w);
}

}  // namespace vamplet
