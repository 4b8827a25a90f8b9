// SPDX-License-Identifier: GPL-3.0-or-later
// Engine state: defaults, parameter mapping, loop-size table, state chunk, set-up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/vampletfx.h"

using vamplet::VampletFX;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<double> chunkValues(VampletFX& fx, int32_t* version = nullptr, int32_t* count = nullptr) {
  void* data = nullptr;
  const int32_t size = fx.getChunk(&data, true);
  EXPECT_EQ(size, 120);
  std::vector<double> values(14);
  if (version) std::memcpy(version, data, 4);
  if (count) std::memcpy(count, static_cast<char*>(data) + 4, 4);
  std::memcpy(values.data(), static_cast<char*>(data) + 8, 14 * 8);
  std::free(data);
  return values;
}

std::vector<unsigned char> makeChunk(int32_t version, int32_t count, const std::vector<double>& values) {
  std::vector<unsigned char> bytes;
  vamplet::insert_int(&bytes, version);
  vamplet::insert_int(&bytes, count);
  for (double v : values) vamplet::insert_double(&bytes, v);
  return bytes;
}

}  // namespace

TEST(EngineState, ChunkAfterConstructionHoldsTheDefaults) {
  VampletFX fx;
  int32_t version = 0, count = 0;
  const auto values = chunkValues(fx, &version, &count);
  EXPECT_EQ(version, 1);
  EXPECT_EQ(count, 14);
  const std::vector<double> expected = {0.0, 0.0, 0.5, 0.0, 0.0, 0.0, 0.5,
                                        1.0, 1.0, 0.0, 0.0, 1.0, 0.0, 1.0};
  EXPECT_EQ(values, expected);
}

TEST(EngineState, EffectNumberIsSevenTimesValueTruncated) {
  VampletFX fx;
  fx.setParameter(5, 3.0 / 7);
  EXPECT_EQ(fx.slot.fxId, 3);
  EXPECT_FLOAT_EQ(fx.getParameter(5), 3.0f / 7);
  fx.setParameter(5, 1.0);
  EXPECT_EQ(fx.slot.fxId, 7);
  for (int k = 0; k <= 7; ++k) {
    fx.setParameter(5, k / 7.0);
    EXPECT_EQ(fx.slot.fxId, k) << "k=" << k;
  }
  // A value selecting the same effect changes nothing, not even the stored value.
  fx.setParameter(5, 0.0);
  fx.setParameter(5, 0.1);
  EXPECT_EQ(fx.slot.fxId, 0);
  EXPECT_EQ(fx.getParameter(5), 0.0);
}

TEST(EngineState, EffectChangeOfPlayingSlotWaitsForTheBeat) {
  VampletFX fx;
  fx.setParameter(0, 1.0);  // currentLoop becomes the slot
  fx.setParameter(5, 2.0 / 7);
  EXPECT_TRUE(fx.changePending);
  EXPECT_TRUE(fx.fxChangeFadePending);
}

TEST(EngineState, PitchRatioSpansAnOctaveEitherWay) {
  struct Case { double value; double ratio; };
  const Case cases[] = {{0.0, 0.5}, {0.5, 1.0}, {1.0, 2.0}, {0.75, std::sqrt(2.0)}, {0.25, std::sqrt(0.5)}};
  for (const auto& c : cases) {
    VampletFX fx;
    fx.setParameter(2, c.value);
    EXPECT_NEAR(fx.slot.pitchRatio, c.ratio, 1e-6) << "value " << c.value;
    EXPECT_EQ(fx.slot.pitchRatio, static_cast<double>(static_cast<float>(fx.slot.pitchRatio)));
  }
  VampletFX fx;
  fx.setParameter(0, 1.0);
  fx.setParameter(2, 1.0);
  EXPECT_EQ(fx.playSpeed, 2.0);  // the slot in play follows at once
}

TEST(EngineState, LoopSizeTableAtBeatLength22050) {
  struct Case { double value; double length; };
  const Case cases[] = {{0.0, 88200}, {0.2, 44100}, {0.4, 22050}, {0.6, 11025},
                        {0.8, 5512.5}, {1.0, 2756.25}, {0.19, 88200}};
  for (const auto& c : cases) {
    VampletFX fx;
    ASSERT_EQ(fx.beatLength, 22050.0);
    fx.setParameter(1, c.value);
    EXPECT_EQ(fx.slot.length, c.length) << "value " << c.value;
    // adjustLoopSize recomputes from the stored single-precision value and lands on the same row.
    fx.slot.length = 0;
    fx.lengthNeedsUpdate = true;
    fx.adjustLoopSize();
    EXPECT_EQ(fx.slot.length, c.length) << "value " << c.value;
    EXPECT_FALSE(fx.lengthNeedsUpdate);
  }
  VampletFX fx;
  fx.setSyncValue(&fx.slot, 1.3);  // off the table: unchanged
  EXPECT_EQ(fx.slot.length, 22050.0);
  fx.setSyncValue(nullptr, 0.0);   // no record: nothing
}

TEST(EngineState, SizeChangeOfPlayingLoopRequestsAChange) {
  VampletFX fx;
  fx.setParameter(0, 1.0);
  fx.loopPlaying = true;
  fx.setParameter(1, 0.4);  // same length as the default record: nothing to change
  EXPECT_FALSE(fx.changePending);
  fx.setParameter(1, 0.2);
  EXPECT_EQ(fx.currentLength, 44100.0);
  EXPECT_TRUE(fx.changePending);
}

TEST(EngineState, SwitchAndStoredParameters) {
  struct Case { int id; double value; double stored; };
  const Case cases[] = {
      {12, 0.7, 1.0}, {12, 0.2, 0.0}, {13, 0.2, 0.0}, {13, 0.5, 1.0}, {3, 0.5, 1.0},
      {4, 0.49, 0.0}, {9, 0.8, 0.0}, {10, 0.3, 0.3}, {11, 0.25, 0.25}, {6, 0.125, 0.125},
      {7, 0.75, 0.75}, {8, 0.0, 0.0}, {14, 0.5, 0.0}, {-1, 0.5, 0.0},
  };
  for (const auto& c : cases) {
    VampletFX fx;
    fx.setParameter(c.id, c.value);
    EXPECT_EQ(fx.getParameter(c.id), c.stored) << "id " << c.id << " value " << c.value;
  }
}

TEST(EngineState, OutOfRangeValuesAreClampedAndNaNHandled) {
  struct Case { int id; double value; double stored; };
  const Case cases[] = {
      // clamped into [0, 1]
      {2, 7.0, 1.0}, {2, -3.0, 0.0}, {7, kInf, 1.0}, {6, -kInf, 0.0}, {10, 2.0, 1.0},
      {1, 1.5, 1.0}, {11, -0.5, 0.0},
      // NaN: continuous controls keep their value ...
      {1, kNaN, 0.0}, {2, kNaN, 0.5}, {5, kNaN, 0.0}, {6, kNaN, 0.5}, {7, kNaN, 1.0}, {11, kNaN, 1.0},
      // ... switches count it as on
      {0, kNaN, 1.0}, {3, kNaN, 1.0}, {4, kNaN, 1.0}, {8, kNaN, 1.0}, {10, kNaN, 1.0},
      {12, kNaN, 1.0}, {13, kNaN, 1.0},
  };
  for (const auto& c : cases) {
    VampletFX fx;
    fx.setParameter(c.id, c.value);
    EXPECT_EQ(fx.getParameter(c.id), c.stored) << "id " << c.id << " value " << c.value;
  }
  VampletFX fx;
  fx.setParameter(1, 5.0);  // clamped to 1.0: a thirty-second, not "off the table"
  EXPECT_EQ(fx.slot.length, 2756.25);
  fx.setParameter(2, kNaN);
  EXPECT_EQ(fx.slot.pitchRatio, 1.0);
  // Whatever arrives, the chunk stays finite.
  for (double v : chunkValues(fx)) EXPECT_TRUE(std::isfinite(v));
}

TEST(EngineState, SetChunkAppliesAtMostFourteenValuesInsideTheBlock) {
  std::vector<double> twenty(20, 1.0);
  twenty[14] = 0.25;  // would land on nothing; must not be read as an ID
  auto bytes = makeChunk(1, 20, twenty);
  VampletFX a;
  EXPECT_EQ(a.setChunk(bytes.data(), static_cast<int>(bytes.size()), false), 1);
  for (int id = 0; id < 14; ++id) {
    if (id == 9) continue;
    EXPECT_EQ(a.getParameter(id), 1.0) << id;
  }

  bytes = makeChunk(1, 3, {1.0, 0.2, 1.0, 1.0});
  VampletFX b;
  b.setChunk(bytes.data(), static_cast<int>(bytes.size()), false);
  EXPECT_EQ(b.getParameter(0), 1.0);
  EXPECT_FLOAT_EQ(b.getParameter(1), 0.2f);
  EXPECT_EQ(b.getParameter(2), 1.0);
  EXPECT_EQ(b.getParameter(3), 0.0);  // beyond the count

  // Count 14 but only two values inside the block: only IDs 0 and 1.
  bytes = makeChunk(1, 14, std::vector<double>(14, 1.0));
  VampletFX c;
  c.setChunk(bytes.data(), 8 + 8 * 2 + 7, false);
  EXPECT_EQ(c.getParameter(0), 1.0);
  EXPECT_EQ(c.getParameter(1), 1.0);
  EXPECT_EQ(c.getParameter(2), 0.5);

  VampletFX d;
  EXPECT_EQ(d.setChunk(nullptr, 120, false), 0);
  EXPECT_EQ(d.setChunk(bytes.data(), 7, false), 0);
  bytes = makeChunk(1, -5, std::vector<double>(14, 1.0));
  EXPECT_EQ(d.setChunk(bytes.data(), static_cast<int>(bytes.size()), false), 1);
  EXPECT_EQ(chunkValues(d), chunkValues(*std::make_unique<VampletFX>()));
}

TEST(EngineState, ParseChunkAcceptsOnlyWellFormedChunks) {
  const std::vector<double> good(14, 0.25);
  struct Case { const char* name; std::vector<unsigned char> bytes; int size; bool ok; };
  std::vector<double> withNaN = good;
  withNaN[13] = kNaN;
  std::vector<double> withInf = good;
  withInf[0] = kInf;
  const auto full = makeChunk(1, 14, good);
  const Case cases[] = {
      {"full", full, 120, true},
      {"one value", makeChunk(1, 1, {0.5}), 16, true},
      {"trailing bytes", full, 120, true},
      {"version 2", makeChunk(2, 14, good), 120, false},
      {"count 0", makeChunk(1, 0, {}), 8, false},
      {"count 15", makeChunk(1, 15, std::vector<double>(15, 0.25)), 128, false},
      {"negative count", makeChunk(1, -1, good), 120, false},
      {"truncated", full, 119, false},
      {"header only", full, 8, false},
      {"short header", full, 7, false},
      {"NaN", makeChunk(1, 14, withNaN), 120, false},
      {"infinity", makeChunk(1, 14, withInf), 120, false},
  };
  for (const auto& c : cases) {
    double out[14];
    std::fill(out, out + 14, -1.0);
    int count = -1;
    EXPECT_EQ(VampletFX::parseChunk(c.bytes.data(), c.size, out, &count), c.ok) << c.name;
    if (!c.ok) {
      EXPECT_EQ(count, -1) << c.name;
      EXPECT_EQ(out[0], -1.0) << c.name;
    }
  }
  double out[14];
  int count = 0;
  EXPECT_FALSE(VampletFX::parseChunk(nullptr, 120, out, &count));
}

TEST(EngineState, ChunkRoundTripsThroughParseAndApply) {
  VampletFX a;
  const double set[][2] = {{1, 0.6}, {2, 0.75}, {3, 1.0}, {4, 1.0}, {5, 5.0 / 7},
                           {6, 0.3}, {7, 0.4}, {8, 0.0}, {10, 0.0}, {11, 0.6}, {12, 1.0}, {13, 0.0}};
  for (const auto& s : set) a.setParameter(static_cast<int>(s[0]), s[1]);
  void* data = nullptr;
  const int32_t size = a.getChunk(&data, false);
  double values[14];
  int count = 0;
  ASSERT_TRUE(VampletFX::parseChunk(data, size, values, &count));
  std::free(data);
  ASSERT_EQ(count, 14);
  VampletFX b;
  b.applyChunkValues(values, count);
  EXPECT_EQ(chunkValues(a), chunkValues(b));
  EXPECT_EQ(b.slot.fxId, 5);
  EXPECT_EQ(b.slot.length, 11025.0);
}

TEST(EngineState, ResumeAllocatesOnceAndReplacesConversionBuffersOnNewBlockSize) {
  VampletFX fx;
  EXPECT_EQ(fx.floatInputBuffers[0], nullptr);
  fx.resume(44100, 256);
  ASSERT_NE(fx.captureBuffer[0], nullptr);
  ASSERT_NE(fx.loopBuffer[1], nullptr);
  EXPECT_EQ(fx.captureLength, 8388608);
  EXPECT_EQ(fx.loopBufferLength, 8388608);
  EXPECT_EQ(fx.captureBuffer[1][8388607], 0.0f);
  fx.captureBuffer[0][123] = 0.5f;
  fx.loopBuffer[1][456] = -0.5f;
  float* capture = fx.captureBuffer[0];
  float* loop = fx.loopBuffer[0];
  double* conversion = fx.floatInputBuffers[0];

  fx.resume(48000, 256);
  EXPECT_EQ(fx.floatInputBuffers[0], conversion);
  EXPECT_EQ(fx.sampleRate, 48000.0);
  fx.setBlockSize(256);
  EXPECT_EQ(fx.floatInputBuffers[0], conversion);
  fx.setBlockSize(512);
  EXPECT_NE(fx.floatInputBuffers[0], conversion);
  EXPECT_EQ(fx.blockSize, 512);
  EXPECT_EQ(fx.captureBuffer[0], capture);
  EXPECT_EQ(fx.loopBuffer[0], loop);
  EXPECT_EQ(fx.captureBuffer[0][123], 0.5f);
  EXPECT_EQ(fx.loopBuffer[1][456], -0.5f);
}

TEST(EngineState, LoopSwitchWithTransportStopped) {
  VampletFX fx;
  fx.setParameter(1, 0.4);
  fx.setParameter(0, 1.0);
  EXPECT_TRUE(fx.slot.active);
  EXPECT_EQ(fx.currentLoop, &fx.slot);
  EXPECT_EQ(fx.currentLength, 22050.0);
  EXPECT_TRUE(fx.startPending);
  fx.loopPlaying = true;
  fx.setParameter(0, 0.0);
  EXPECT_FALSE(fx.slot.active);
  EXPECT_FALSE(fx.startPending);
  EXPECT_FALSE(fx.loopPlaying);  // stopped at once: no beat to wait for
  EXPECT_FALSE(fx.stopRequested);
  EXPECT_EQ(fx.getParameter(0), 0.0);

  // A loop shorter than the wrap fade (441 samples) is doubled until the fade fits.
  fx.beatLength = 2000.0;
  fx.setParameter(1, 1.0);  // 250 samples
  fx.setParameter(0, 1.0);
  EXPECT_EQ(fx.slot.length, 250.0);
  EXPECT_EQ(fx.currentLength, 500.0);
}

TEST(EngineState, ReadScopeCopiesInOrderAcrossTheRingEnd) {
  VampletFX fx;
  const int start = VampletFX::kScopeSize - 3;
  for (int i = 0; i < 6; ++i) fx.scopeBuffer[(start + i) % VampletFX::kScopeSize] = static_cast<int8_t>(10 + i);
  fx.scopeReadIndex = start;
  fx.scopeWriteIndex = 3;
  int8_t out[16] = {};
  EXPECT_EQ(fx.readScope(out, 4), 4);  // capacity limits the copy
  EXPECT_EQ(fx.readScope(out + 4, 16), 2);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], 10 + i);
  EXPECT_EQ(fx.scopeReadIndex.load(), 3);
  EXPECT_EQ(fx.readScope(out, 16), 0);
}
