// SPDX-License-Identifier: GPL-3.0-or-later
// VampletFX: the looper engine. It records the stereo input continuously while the host's
// transport runs and, when the loop is switched on, replays the most recent fraction of a bar
// on the host's beat grid. It knows nothing of any plug-in API: the processor copies the host's
// transport values into `hostTime`, hands parameter changes to `setParameter` and audio to
// `process`/`processDouble`.
//
// Threads: everything runs on the audio thread except construction, destruction, resume and
// suspend (activation, outside processing) and `readScope`, which the UI-thread timer calls.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/notelist.h"
#include "engine/paramids.h"
#include "engine/stepsequencer.h"
#include "dsp/crossfader2.h"
#include "dsp/delay.h"
#include "dsp/highlifefilter.h"
#include "dsp/paramsmooth.h"
#include "dsp/reverb/revmodel.h"

namespace vamplet {


// Loop lengths in beats (a quarter note is one beat; a bar is always four beats), indexed by
// k = int(sizeValue * 5): one bar, 1/2, 1/4, 1/8, 1/16, 1/32 of a bar.
inline constexpr double kLoopSizeBeats[] = {4.0, 2.0, 1.0, 0.5, 0.25, 0.125};
inline constexpr int kNumLoopSizes = static_cast<int>(sizeof(kLoopSizeBeats) / sizeof(kLoopSizeBeats[0]));

// The host's transport values, written by the processor before each block.
struct HostTimeInfo {
  bool playing = false;
  bool timeInfoValid = false;
  bool cycleActive = false;
  bool ppqPosValid = false;
  bool barStartValid = false;
  bool tempoValid = false;
  double tempo = 120.0;
  double timeSigNumerator = 4.0;
  double timeSigDenominator = 4.0;
  int64_t samplePos = 0;
  int64_t continuousSamplePos = 0;
  int64_t systemTime = 0;
  double barStartPos = 0.0;
  double ppqPos = 0.0;
  double sampleRate = 44100.0;
  double samplesPerBeat = 22050.0;
  double cycleStartPos = 0.0;
  double cycleEndPos = 0.0;
};

// The loop slot's settings.
struct Loop {
  bool active = false;
  double length = 22050.0;  // samples, from sizeValue through the loop-size table
  float sizeValue = 0.0f;
  double pitchRatio = 1.0;
  float pitchValue = 0.5f;
  bool reverse = false;
  bool fxOn = false;
  int32_t id = 0;
  int32_t fxId = 0;
  float fxIdValue = 0.0f;
  float dryWet = 1.0f;
  float param = 0.5f;
  float freePitch = 1.0f;  // any value other than 0 means on
};

// Append helpers for byte streams, native (little-endian) byte order.
void insert_int(std::vector<unsigned char>* v, int value);
void insert_float(std::vector<unsigned char>* v, float value);
void insert_double(std::vector<unsigned char>* v, double value);
void insert_uint64(std::vector<unsigned char>* v, unsigned long value);
void insert_string(std::vector<unsigned char>* v, std::string s);

class VampletFX {
 public:
  static constexpr int32_t kBufferLength = 8388608;  // 2^23 samples per channel
  static constexpr int kScopeSize = 16384;
  static constexpr int kChunkVersion = 1;
  static constexpr int kChunkHeaderBytes = 8;
  static constexpr int kChunkBytes = kChunkHeaderBytes + 8 * kNumEngineParams;  // 120

  VampletFX();
  ~VampletFX();
  VampletFX(const VampletFX&) = delete;
  VampletFX& operator=(const VampletFX&) = delete;

  // ---- Life cycle (not on the audio thread) ----
  // Allocates the capture and loop buffers once, and the conversion buffers when they are
  // missing or the block size changed. Contents and loop state survive later calls.
  void resume(double sampleRate, int maxBlockSize);
  void suspend();
  void setSampleRate(double rate);
  void setBlockSize(int size);

  // ---- Parameters ----
  // Values are normalised: clamped into [0, 1]. A NaN counts as "on" for switch-like IDs
  // (0, 3, 4, 8, 10, 12, 13) and leaves continuous controls as they were.
  void setParameter(int id, double value);
  double getParameter(int id) const;
  void setSyncValue(Loop* loop, double value);
  void adjustLoopSize();

  void handleLoop(int id, float value);
  void handleValue(int id, double value);
  void handlePitch(int id, float value);
  void handleReverse(int id, float value);
  void handleFx(int id, float value);
  void handleFxId(int id, float value);
  void handleParam(int id, double value);
  void handleDryWet(int id, double value);
  void handleFreePitch(int id, double value);

  // ---- State chunk: version 1, count 14, then 14 doubles in ID order (120 bytes) ----
  // Returns the size; *data is a malloc block the caller releases with free().
  int32_t getChunk(void** data, bool isPreset);
  // Applies the values wholly inside `size` bytes, at most 14, through setParameter.
  // Null data or size < 8 applies nothing and returns 0; otherwise returns 1.
  int32_t setChunk(void* data, int size, bool isPreset);
  // Validating reader that neither allocates nor touches an engine: accepts exactly version 1,
  // a count of 1..14, size >= 8 + 8 * count and finite values. On success fills out[0..count-1]
  // and *count and returns true; on failure returns false and leaves out/count untouched.
  static bool parseChunk(const void* data, int size, double out[kNumEngineParams], int* count);
  // Applies values parsed by parseChunk (IDs 0..count-1) through setParameter. Same thread
  // rules as setParameter: the audio thread, or while no block is being processed.
  void applyChunkValues(const double* values, int count);

  // ---- Oscilloscope ring (audio thread writes, UI-thread timer reads) ----
  // Copies up to `capacity` unread display bytes (oldest first) into dst, advances the read
  // index past them and returns how many were copied. Never blocks; safe concurrently with
  // process(). Call from one consumer thread only. While the transport stands the engine
  // writes one zero byte per sample (silence), never touching bytes not yet read.
  int readScope(int8_t* dst, int capacity);

  // ---- Audio (audio thread) ----
  // Blocks longer than blockSize are left unprocessed. process() converts through the
  // conversion buffers and writes back only the outputs (input and output may be one buffer).
  void process(float** inputs, float** outputs, int n);
  void processDouble(double** inputs, double** outputs, int n);
  void processVampletFX(double** inputs, double** outputs, int n);

  // ---- Transport (audio thread) ----
  // Takes `hostTime` into the engine at the start of a block; false when the block's values
  // were ignored (pre-roll before the song start).
  bool processVstTimeInfo(int blockLength);
  void hostSequencerPlay();
  void hostSequencerStop();
  // Moves the playing loop to a musical position in quarter notes.
  void setPhase(double ppq);

  // ---- Loop starts and changes (audio thread) ----
  // Starts the loop from the last loop length of captured audio.
  void copyLoop();
  // Starts the loop in phase with the grid, `offset` samples into it.
  void copyLoop2(unsigned long long offset);
  // Applies a changed length, direction or effect to the playing loop.
  void changeLoop();

  // ---- Set-up and transport view ----
  int32_t numOutputChannels = 2;
  int32_t numInputChannels = 2;
  double sampleRate = 44100.0;
  int32_t blockSize = 256;
  double tempo = 120.0;
  bool transportPlaying = false;
  HostTimeInfo hostTime;
  double loopOnThreshold = 0.5;
  double lastOutputLeft = 0.0;
  double lastOutputRight = 0.0;
  // Conversion buffers for single-precision blocks: two channels of blockSize doubles each,
  // null until resume.
  double* floatInputBuffers[2] = {nullptr, nullptr};
  double* floatOutputBuffers[2] = {nullptr, nullptr};

  // ---- Buffers and loop position ----
  float* captureBuffer[2] = {nullptr, nullptr};
  int32_t captureLength = 0;
  int32_t captureWriteIndex = 0;
  float* loopBuffer[2] = {nullptr, nullptr};
  int32_t loopBufferLength = 0;
  double playPosition = 0.0;
  double playSpeed = 1.0;
  bool cycleActive = false;
  double beatLength = 22050.0;
  double ppqPosition = 0.0;
  double cycleStart = 0.0;
  double cycleEnd = 0.0;
  bool loopPlaying = false;
  bool changePending = false;
  bool stopPending = false;
  double currentLength = 22050.0;
  double loopStart = 0.0;
  double loopEnd = 0.0;
  bool recording = false;
  int32_t recordIndex = 0;
  Loop slot;
  Loop* currentLoop = nullptr;
  bool firstTimeInfo = true;
  bool reverseActive = false;
  int32_t playDirection = 1;
  bool startPending = false;
  bool stopRequested = false;

  // ---- Further position and control values ----
  double barPhase = 0.0;
  double grainPosition = 0.0;
  bool lengthNeedsUpdate = false;
  double bypassValue = 0.0;
  float loopSwitchValue = 0.0f;
  int8_t scopeBuffer[kScopeSize] = {};
  std::atomic<int32_t> scopeWriteIndex{0};
  std::atomic<int32_t> scopeReadIndex{0};
  bool fxChangeFadePending = false;
  float knobSpeed = 1.0f;
  float tripletGrid = 0.0f;
  float fastSync = 1.0f;
  int64_t lastSamplePos = 0;
  int32_t lastBlockLength = 0;
  double positionInBeat = 0.0;

  // ---- De-click crossfades (each runs while position < size - 1) ----
  Crossfader2 stopFade;            // loop stop on a beat: last output -> dry input
  Crossfader2 startFade;           // loop start: live input -> loop
  Crossfader2 wrapFade;            // play position wraps at the loop end (or start, backwards)
  Crossfader2 transportStopFade;   // transport stops while the loop plays
  Crossfader2 transportStartFade;  // transport starts with the loop on: silence -> loop
  Crossfader2 changeFade;          // a change moves the play position; effect changes

  // ---- Loop effects (vampletfx_effects.cpp) ----
  // Effect numbers, as parameter 5 selects them.
  enum LoopEffect : int32_t {
    kFxGate = 0,
    kFxBitReducer,
    kFxAutopan,
    kFxHipass,
    kFxPhaser,
    kFxTimeExpand,
    kFxReverb,
    kFxDelay,
    kNumLoopEffects
  };
  // The autopan period in samples for a "param" value: two beats down to a thirty-second of a
  // bar in halving steps (never 0); 22,050 for a value off the table.
  uint64_t setAutopanRate(double value);

  int32_t holdIndex = 0;        // loop index held by the bit reducer
  double grainTick = 0.0;       // ticks into the current time-expansion grain
  double grainWindow = 1.0;     // the grains' fade window value; 1.0 at every block start
  bool panSide = false;         // the autopan's current side
  double panGain = 1.0;         // the autopan's crossing gain, 1 -> 0 within 1/50 s of a flip
  int32_t panCounter = 0;       // samples counted towards the next autopan flip
  CHighLifeFilter hipassLeft, hipassRight;
  CParamSmooth cutoffSmoother{4.0f, 44100.0f};
  CParamSmooth resonanceSmoother{4.0f, 44100.0f};

  // Phaser: six first-order all-pass stages swept by one oscillator, single precision. The
  // sweep range and rate are set for 44.1 kHz and not adapted to other rates.
  struct PhaserStage {
    float coefficient = 0.0f;
    float state = 0.0f;
  };
  PhaserStage phaserStages[6];
  float phaserMinDelay = 440.0f / 22050.0f;
  float phaserMaxDelay = 1600.0f / 22050.0f;
  float phaserFeedback = 0.7f;
  float phaserLfoPhase = 0.0f;
  float phaserLfoIncrement = 6.28318f * 0.5f / 44100.0f;
  float phaserDepth = 1.0f;
  float phaserLastOutput = 0.0f;

  // Gate: released over gateTimeMs along 1 - sqrt(i / n) once the play position passes the
  // threshold; gateFade glides between gains when the threshold moves.
  std::vector<double> gateCurve;
  double gateTimeMs = 10.0;
  int32_t gateCurveLength = 0;
  int32_t gateSampleRate = 44100;
  double gateGain = 1.0;
  double gatePreviousGain = 1.0;
  double gatePreviousThreshold = 0.0;
  Crossfader2 gateFade;

  revmodel reverb;
  Delay delay{88200};

  // ---- Automation recorder (vampletfx_recorder.cpp; audio thread, or no block running) ----
  // Tracks of the step sequencer and the control each one can take the place of.
  enum AutomationTrack : int { kTrackLoopSize = 0, kTrackDryWet, kTrackParam, kTrackPitch, kAutomationTracks };
  static constexpr double kAutomationDefaults[kAutomationTracks] = {0.0, 1.0, 0.5, 0.5};
  // Enables the loop-size track for v = 0 when it holds recorded data.
  void handleRecall(double v);
  // Clear every track (or the loop-size track only), then take the loop length from the slot.
  void clearAllAutomation();
  void clearCurrentAutomation();
  // Save and restore the four tracks: step values, speed, enabled and empty flags. Restored
  // tracks are marked loaded, so the first hand change of their control keeps them enabled.
  void copyStepSequencerToData(LoopSequencerData& data);
  void copyStepSequencerFromData(const LoopSequencerData& data);
  // The loop-size track's length in samples for a normalised value; the triplet grid
  // (parameter 12) selects the finer table with thirds of a beat.
  double getSyncValue(double value) const;
  // Inputs of the effect stage: the control's value, or an enabled track's in its place.
  float automatedParam(float param) const;
  float automatedDryWet(float dryWet) const;

  StepSequencer sequencer;  // for the loop slot (id 0)
  // The last value taken from each track.
  double automationValue[kAutomationTracks] = {0.0, 1.0, 0.5, 0.5};

  // ---- MIDI note triggering and the assign table ----
  static constexpr int kMidiNotes = 128;
  static constexpr int kMidiAssignBytes = 4 * kMidiNotes;  // 512-byte file, no header
  void startProcessMIDI();
  void noteOn(int pitch, int velocity, int sampleOffset);
  void noteOff(int pitch, int velocity, int sampleOffset);
  void endProcessMIDI();
  void addNoteOn(int pitch, int velocity, int sampleOffset);
  void addNoteOff(int pitch, int velocity, int sampleOffset);
  void setSampleIdToAssign(int slot);
  void clearMidiAssign(int slot);
  void resetMidiAssign(int);
  void saveMidiAssign();
  void loadMidiAssign();
  void setDefaultMidiAssign();

  // Notes for the editor, drained by the processor's timer (user-interface thread).
  NoteList pendingNotes;
  // Entry n: the loop slot that MIDI note n drives, -1 for none.
  int32_t midiAssign[kMidiNotes] = {};
  bool learnMode = false;
  int32_t learnSlot = -1;

 private:
  struct FreeDeleter {
    void operator()(void* p) const;
  };
  // Samples below which a new loop length is doubled so a wrap fade fits in one pass.
  int32_t minimumLoopLength() const;
  // Scope ring producer side (audio thread).
  void writeScopeSilence(int n);
  void writeScope(const double* left, const double* right, int n);
  // Halves currentLength until it fits the capture ring; returns it as a whole number of
  // samples, at least 1 (a safe modulus).
  int64_t fitLoopLength();
  // Copies the `count` captured samples before capture index `end` (wrapping) to loop index 0.
  void copyFromCapture(int64_t end, int64_t count);
  // Loads a crossfader with the last output pair and starts it.
  void startFadeFromLastOutput(Crossfader2& fade);
  // Automation recorder: track defaults (construction); the step values due at sample i, with
  // an enabled loop-size track setting the length; the playback speed with an enabled pitch
  // track in place of `speed`; the restart of a playing loop on a bar line; a hand change of a
  // control releasing its track; the loop length taken back from the slot.
  void setAutomationDefaults();
  void takeAutomation(int i, uint64_t songPosition, uint64_t bar);
  double automatedSpeed(double speed, uint64_t songPosition, uint64_t bar);
  void restartOnBarLine(uint64_t songPosition, uint64_t bar);
  void releaseAutomationTrack(int index);
  void refreshLoopLength();
  // The loop effect stage: replaces the loop pair by the chosen effect mixed against the plain
  // loop by dry/wet. The bit reducer may lower `speed` (2.0 becomes 1.99).
  void applyLoopEffect(double& left, double& right, double plainLeft, double plainRight, double& speed);
  // The time-expansion grain clock: runs at every sample of a playing loop, whatever effect.
  void runGrainClock(double speed);
  // Effect set-up: the gate curve, crossfader and smoothers for a rate (resume, before the
  // buffers), then the reverb muted and the delay given the rate (resume, last).
  void buildGateCurve(int32_t rate);
  void resumeEffects(int32_t rate);
  void resumeEffectBlocks(double rate);
  bool buffersReady() const { return captureBuffer[0] && loopBuffer[0]; }

  bool allocateStereo(std::unique_ptr<float, FreeDeleter>& storage, float* (&channels)[2], int32_t& length);

  std::unique_ptr<float, FreeDeleter> captureStorage;
  std::unique_ptr<float, FreeDeleter> loopStorage;
  std::unique_ptr<double[]> conversionStorage;  // in L, in R, out L, out R
  int32_t conversionLength = 0;
};

}  // namespace vamplet
