// SPDX-License-Identifier: GPL-3.0-or-later
// Engine cost per second of stereo audio at 48 kHz in blocks of 128 samples: the transport
// stopped (input passed through), a playing loop without effect, and a playing loop through
// each of the eight loop effects at full wet. One iteration processes one second of audio;
// the "realtime" counter is seconds of audio per second of processing.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/vampletfx.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 128;
constexpr int kBlocksPerSecond = 375;  // 375 x 128 = 48 000 samples
constexpr double kTempo = 120.0;

enum class Mode { kStopped, kPlainLoop, kEffect };

// One second of a stereo test signal with transients and tones, so every effect has work
// (and no stage sinks into denormals on silence).
struct TestSignal {
  std::vector<float> left, right;
  TestSignal() : left(kBlock * kBlocksPerSecond), right(kBlock * kBlocksPerSecond) {
    uint32_t seed = 12345;
    for (size_t n = 0; n < left.size(); ++n) {
      const double t = static_cast<double>(n) / kRate;
      const double beatT = std::fmod(t, 0.5);
      seed = seed * 1664525u + 1013904223u;
      const double noise = static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
      const double kick = 0.6 * std::sin(2.0 * M_PI * 60.0 * beatT) * std::exp(-beatT * 18.0);
      const double tone = 0.2 * std::sin(2.0 * M_PI * 220.0 * t) + 0.05 * noise;
      left[n] = static_cast<float>(kick + tone);
      right[n] = static_cast<float>(kick - tone);
    }
  }
};

class EngineRun {
 public:
  EngineRun(Mode mode, int effect) : fx(new vamplet::VampletFX()), out(2, std::vector<float>(kBlock)) {
    fx->resume(kRate, kBlock);
    if (mode == Mode::kStopped) return;
    fx->setParameter(vamplet::kParamLoopSize, 0.2);  // half a bar
    fx->setParameter(vamplet::kParamFxOn, mode == Mode::kEffect ? 1.0 : 0.0);
    fx->setParameter(vamplet::kParamFxId, effect / 7.0);
    fx->setParameter(vamplet::kParamFxParam, 0.5);
    fx->setParameter(vamplet::kParamDryWet, 1.0);
    playing = true;
    runSecond();  // capture, switch on, let the loop start on the beat
    fx->setParameter(vamplet::kParamLoop, 1.0);
    runSecond();
  }

  void runSecond() {
    float* outs[2] = {out[0].data(), out[1].data()};
    for (int b = 0; b < kBlocksPerSecond; ++b) {
      float* ins[2] = {signal.left.data() + b * kBlock, signal.right.data() + b * kBlock};
      vamplet::HostTimeInfo& t = fx->hostTime;
      t.timeInfoValid = true;
      t.playing = playing;
      t.tempoValid = true;
      t.tempo = kTempo;
      t.sampleRate = kRate;
      t.samplesPerBeat = 60.0 * kRate / kTempo;
      t.ppqPosValid = true;
      t.ppqPos = static_cast<double>(position) / t.samplesPerBeat;
      t.samplePos = position;
      fx->process(ins, outs, kBlock);
      if (playing) position += kBlock;
    }
  }

  bool loopPlaying() const { return fx->loopPlaying; }

 private:
  std::unique_ptr<vamplet::VampletFX> fx;
  std::vector<std::vector<float>> out;
  TestSignal signal;
  bool playing = false;
  int64_t position = 0;
};

void engineSecond(benchmark::State& state, Mode mode, int effect) {
  EngineRun run(mode, effect);
  if (mode != Mode::kStopped && !run.loopPlaying()) {
    state.SkipWithError("the loop did not start");
    return;
  }
  for (auto _ : state) run.runSecond();
  // One second of audio per iteration: the rate of this counter is the realtime factor.
  state.counters["realtime"] = benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
}

const char* const kEffectNames[] = {"gate", "bit_reducer", "autopan", "hipass",
                                    "phaser", "time_expand", "reverb", "delay"};

}  // namespace

int main(int argc, char** argv) {
  // The engine keeps a settings folder and a MIDI-assign table under HOME: use a scratch one.
  char pattern[] = "/tmp/vamplet-bench-XXXXXX";
  const char* home = mkdtemp(pattern);
  if (home) setenv("HOME", home, 1);

  benchmark::RegisterBenchmark("engine/transport_stopped", engineSecond, Mode::kStopped, 0)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("engine/loop_plain", engineSecond, Mode::kPlainLoop, 0)->Unit(benchmark::kMillisecond);
  for (int k = 0; k < 8; ++k) {
    benchmark::RegisterBenchmark((std::string("engine/loop_") + kEffectNames[k]).c_str(), engineSecond, Mode::kEffect,
                                 k)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  if (home) {
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
  }
  return 0;
}
