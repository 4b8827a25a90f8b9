// SPDX-License-Identifier: GPL-3.0-or-later
// A small driver for the engine: a host transport that advances block by block and an input
// whose samples name their origin (left = song sample + 1, right = its negative), so a test can
// say which captured sample plays where.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/vampletfx.h"

namespace vamplet::test {

inline float inputLeft(int64_t songSample) { return static_cast<float>(songSample + 1); }
inline float inputRight(int64_t songSample) { return -static_cast<float>(songSample + 1); }

class LoopRig {
 public:
  static constexpr double kRate = 44100.0;

  explicit LoopRig(double bpm = 120.0, int maxBlock = 512) : bpm(bpm) { fx.resume(kRate, maxBlock); }

  double beat() const { return 60.0 * kRate / bpm; }

  // Renders one block at the current song position, then advances it by n.
  void render(int n) {
    HostTimeInfo& t = fx.hostTime;
    t.timeInfoValid = true;
    t.playing = playing;
    t.tempoValid = true;
    t.tempo = overrideTempo ? reportedTempo : bpm;
    t.sampleRate = kRate;
    t.samplesPerBeat = beat();
    t.ppqPosValid = musicalPosition;
    t.ppqPos = musicalPosition ? static_cast<double>(pos) / beat() : 0.0;
    t.samplePos = pos;
    t.cycleActive = cycle;
    t.cycleStartPos = cycleStartPpq;
    t.cycleEndPos = cycleEndPpq;
    inL.assign(n, 0.0f);
    inR.assign(n, 0.0f);
    outL.assign(n, 0.0f);
    outR.assign(n, 0.0f);
    for (int i = 0; i < n; ++i) {
      inL[i] = inputLeft(pos + i);
      inR[i] = inputRight(pos + i);
    }
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    fx.process(in, out, n);
    for (int i = 0; i < n; ++i) {
      left.push_back(outL[i]);
      right.push_back(outR[i]);
      songSample.push_back(pos + i);
    }
    pos += n;
  }

  // Renders blocks of `block` samples until the song position reaches `target`.
  void renderUntil(int64_t target, int block = 441) {
    while (pos < target) render(static_cast<int>(std::min<int64_t>(block, target - pos)));
  }

  // Output of the sample rendered at song position s (song positions must not have repeated).
  float outAt(int64_t s) const {
    if (s >= 0 && s < static_cast<int64_t>(songSample.size()) && songSample[s] == s) return left[s];
    for (size_t i = songSample.size(); i-- > 0;)
      if (songSample[i] == s) return left[i];
    return 0.0f;
  }

  VampletFX fx;
  double bpm;
  int64_t pos = 0;
  bool playing = true;
  bool musicalPosition = true;
  bool cycle = false;
  bool overrideTempo = false;  // report reportedTempo to the engine, keep the grid at bpm
  double reportedTempo = 0.0;
  double cycleStartPpq = 0.0;
  double cycleEndPpq = 0.0;
  std::vector<float> inL, inR, outL, outR;       // the last block
  std::vector<float> left, right;                // every output sample rendered
  std::vector<int64_t> songSample;               // the song position of each of them
};

}  // namespace vamplet::test
