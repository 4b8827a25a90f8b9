// SPDX-License-Identifier: GPL-3.0-or-later
// Every loop effect is heard through the built bundle: a drum-and-chord signal is looped with
// each of the eight effects at full wet, and each output departs clearly from the plain loop,
// which the same host renders with the effect switch off.
#include "host/plugininstance.h"
#include "../plugin/testhome.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

using vamplet::host::PluginInstance;

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 256;
constexpr int64_t kBeat = 22050;  // 120 BPM
constexpr int64_t kTotal = (16 * kBeat / kBlock + 1) * kBlock;  // whole blocks, about 16 beats

// A deterministic stereo signal with transients and sustained tones: a decaying 60 Hz kick
// on every beat, a noise hat on every eighth, a held A minor chord a little wider on the right.
void signal(int64_t n, float& left, float& right) {
  const double t = static_cast<double>(n) / kRate;
  const double beatT = static_cast<double>(n % kBeat) / kRate;
  const double eighthT = static_cast<double>(n % (kBeat / 2)) / kRate;
  const double kick = 0.6 * std::sin(2.0 * M_PI * 60.0 * beatT) * std::exp(-beatT * 18.0);
  uint32_t h = static_cast<uint32_t>(n) * 2654435761u;
  h ^= h >> 15;
  const double noise = (static_cast<double>(h & 0xffff) / 32768.0 - 1.0);
  const double hat = 0.15 * noise * std::exp(-eighthT * 120.0);
  const double chord = 0.1 * (std::sin(2.0 * M_PI * 220.0 * t) + std::sin(2.0 * M_PI * 261.63 * t) +
                              std::sin(2.0 * M_PI * 329.63 * t));
  const double wide = 0.05 * std::sin(2.0 * M_PI * 440.0 * t);
  left = static_cast<float>(kick + hat + chord);
  right = static_cast<float>(kick + hat + chord + wide);
}

struct Render {
  std::vector<float> left, right;
};

// Loops one bar switched on at 1.4 beats (it starts in phase at beat 2), with the effect
// switch on and effect `fx` at "param" 0.5 and full wet, or with the effect switch off.
Render renderLoop(int fx, bool effectOn) {
  Render r;
  std::string error;
  auto p = PluginInstance::load(VAMPLET_BUNDLE_PATH, &error);
  EXPECT_TRUE(p) << error;
  if (!p || !p->setup(kRate, kBlock)) {
    ADD_FAILURE() << "setup failed";
    return r;
  }
  p->transport().tempo = 120.0;
  p->setParameter(1, 0.0);
  p->setParameter(4, effectOn ? 1.0 : 0.0);
  p->setParameter(5, fx / 7.0);
  p->setParameter(6, 0.5);
  p->setParameter(7, 1.0);
  const int64_t switchAt = (static_cast<int64_t>(1.4 * kBeat) / kBlock) * kBlock;
  for (int64_t pos = 0; pos < kTotal; pos += kBlock) {
    if (pos == switchAt) p->setParameter(0, 1.0);
    for (int i = 0; i < kBlock; ++i) signal(pos + i, p->input32(0, 0)[i], p->input32(0, 1)[i]);
    EXPECT_TRUE(p->processBlock(kBlock));
    r.left.insert(r.left.end(), p->output32(0, 0), p->output32(0, 0) + kBlock);
    r.right.insert(r.right.end(), p->output32(0, 1), p->output32(0, 1) + kBlock);
  }
  return r;
}

// Energy of (a - b) relative to the energy of b over [from, a.size()).
double relativeDifference(const std::vector<float>& a, const std::vector<float>& b, size_t from) {
  double diff = 0.0;
  double ref = 0.0;
  for (size_t i = from; i < a.size() && i < b.size(); ++i) {
    diff += (static_cast<double>(a[i]) - b[i]) * (static_cast<double>(a[i]) - b[i]);
    ref += static_cast<double>(b[i]) * b[i];
  }
  return ref > 0.0 ? diff / ref : 0.0;
}

}  // namespace

TEST(EffectsThroughBundle, EveryEffectAudiblyChangesThePlainLoop) {
  TestHome home;
  const Render plain = renderLoop(0, false);
  ASSERT_EQ(plain.left.size(), static_cast<size_t>(kTotal));
  // The loop plays from beat 2; skip its start fade and the first beat of it.
  const size_t from = static_cast<size_t>(3 * kBeat);
  // The plain loop repeats the bar: the loop did start (its second pass equals its first).
  EXPECT_LT(relativeDifference(std::vector<float>(plain.left.begin() + 6 * kBeat, plain.left.begin() + 10 * kBeat),
                               std::vector<float>(plain.left.begin() + 10 * kBeat, plain.left.begin() + 14 * kBeat), 0),
            1e-10);

  const char* names[] = {"Gate", "Bit Reducer", "Autopan", "Hipass", "Phaser", "TimeExpand", "Reverb", "Delay"};
  for (int fx = 0; fx < 8; ++fx) {
    SCOPED_TRACE(names[fx]);
    const Render out = renderLoop(fx, true);
    ASSERT_EQ(out.left.size(), plain.left.size());
    for (size_t i = 0; i < out.left.size(); ++i) {
      ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << i;
    }
    const double dl = relativeDifference(out.left, plain.left, from);
    const double dr = relativeDifference(out.right, plain.right, from);
    // At least -20 dB of difference on one side: clearly audible, not rounding.
    EXPECT_GT(std::max(dl, dr), 0.01) << "left " << dl << " right " << dr;
    // And nothing is thrown away wholesale: the effect output keeps real signal.
    double energy = 0.0;
    for (size_t i = from; i < out.left.size(); ++i) energy += out.left[i] * out.left[i] + out.right[i] * out.right[i];
    EXPECT_GT(energy, 1.0);
  }
}
