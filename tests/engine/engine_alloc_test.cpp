// SPDX-License-Identifier: GPL-3.0-or-later
// The audio thread allocates nothing: count heap allocations while the engine renders a long
// stretch with loop starts, stops, changes, jumps and tempo changes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "engine/vampletfx.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

// GCC cannot see that these deletes pair with the replaced new below.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(EngineAllocation, ProcessAllocatesNothingDuringALongRenderWithLoopChanges) {
  vamplet::VampletFX fx;
  constexpr int kBlock = 256;
  fx.resume(44100, kBlock);
  std::vector<float> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
  float* in[2] = {inL.data(), inR.data()};
  float* out[2] = {outL.data(), outR.data()};
  std::vector<int8_t> scope(vamplet::VampletFX::kScopeSize);

  // Parameter changes cycled through while rendering: {id, value}. The loop plays through each
  // of the eight effects (parameter 5 = k / 7), at double speed for the bit reducer.
  const double changes[][2] = {{0, 1.0}, {1, 0.4}, {4, 1.0}, {5, 0.0},     {6, 0.3},     {5, 1 / 7.0},
                               {2, 1.0}, {5, 2 / 7.0}, {2, 0.5}, {5, 3 / 7.0}, {3, 1.0}, {5, 4 / 7.0},
                               {7, 0.6}, {5, 5 / 7.0}, {6, 0.9}, {5, 6 / 7.0}, {3, 0.0}, {5, 1.0},
                               {1, 0.8}, {0, 0.0}, {0, 1.0}, {2, 0.9}, {8, 0.0}, {12, 1.0}, {1, 0.0},
                               {13, 0.0}, {0, 0.0}, {1, 1.0}, {0, 1.0}, {6, 0.3}, {7, 0.2}, {4, 0.0}};
  const int numChanges = static_cast<int>(sizeof(changes) / sizeof(changes[0]));

  long blocksRun = 0;
  int64_t pos = 0;
  double bpm = 120.0;
  counting = true;
  bool effectsRan[vamplet::VampletFX::kNumLoopEffects] = {};
  for (int b = 0; b < 4000; ++b) {
    for (int i = 0; i < kBlock; ++i) {
      inL[i] = static_cast<float>((pos + i) % 1000) / 1000.0f;
      inR[i] = -inL[i];
    }
    if (b % 37 == 0) fx.setParameter(static_cast<int>(changes[(b / 37) % numChanges][0]), changes[(b / 37) % numChanges][1]);
    if (b == 1500) pos += 88200;       // host jump
    if (b == 2500) bpm = 133.0;        // tempo change
    const bool playing = !(b >= 3000 && b < 3100);  // transport stop and restart
    vamplet::HostTimeInfo& t = fx.hostTime;
    t.playing = playing;
    t.tempo = bpm;
    t.sampleRate = 44100;
    t.ppqPosValid = true;
    t.ppqPos = pos * bpm / (60.0 * 44100);
    t.samplePos = pos;
    fx.process(in, out, kBlock);
    if (b % 4 == 0) fx.readScope(scope.data(), static_cast<int>(scope.size()));
    if (playing) pos += kBlock;
    if (playing && fx.loopPlaying && fx.slot.fxOn) effectsRan[fx.slot.fxId] = true;
    ++blocksRun;
  }
  counting = false;
  EXPECT_EQ(allocations.load(), 0);
  EXPECT_EQ(blocksRun, 4000);
  EXPECT_GT(fx.recordIndex, 0);  // loops did play
  for (int k = 0; k < vamplet::VampletFX::kNumLoopEffects; ++k) EXPECT_TRUE(effectsRan[k]) << "effect " << k;
}
