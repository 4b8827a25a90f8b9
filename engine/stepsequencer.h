// SPDX-License-Identifier: GPL-3.0-or-later
// The automation recorder: a bar-long step sequencer of four tracks with sixteen steps each, one
// step per sixteenth note of a 4/4 bar. While the transport runs every track emits the value of
// each step it passes, stamped with the sample of the block at which the step falls, into its
// step queue; the engine takes the values sample-accurately and, for an enabled track, uses them
// in place of a control (track 0 loop size, 1 dry/wet, 2 effect "param", 3 pitch).
//
// Everything is fixed-size: construction allocates nothing and neither does any call after it.
// Threads: the step queue is filled by process() and drained by the engine in the same block, on
// the audio thread; every other call belongs to the audio thread too, or to a time when no block
// is being processed.
#pragma once

#include <array>
#include <cstdint>

namespace vamplet {

class Step {
 public:
  Step() = default;
  // Restores the default value.
  void clear() { value = defaultValue; }

  int32_t stepIndex = 0;
  double stepPosition = 0.0;  // start of the step in beats
  double value = 0.5;
  double defaultValue = 0.5;
  int32_t stepSampleOffset = 0;  // sample of the block at which the step was last emitted
};

// One emitted step. The 64-bit field after the index is reserved and always 0.
struct StepQueueEntry {
  double value = 0.0;
  int32_t stepIndex = 0;
  int64_t reserved = 0;
  int64_t stepSampleOffset = 0;
};

class StepTrack {
 public:
  static constexpr int kStepCount = 16;
  // Queue slots; one stays free to tell a full queue from an empty one, so 254 entries fit.
  static constexpr int kFifoSize = 255;

  StepTrack();

  // Advances through one block of n samples, queuing every step passed.
  void process(int n);
  // Moves the track to a musical position in quarter notes (wrapped into the bar).
  void play(double ppq);
  // A speed that is not a finite number above zero is ignored.
  void setSpeed(double s);
  // Queues a step; a full queue drops it and sets fifoOverflow.
  void addStepMsg(const Step* step);
  void resetStepFifo();
  // Disabled, empty, every step back to its default, queue emptied.
  void clear();
  void setAllDefaultValue(double v, bool alsoValues);
  // Values that are not finite numbers are ignored.
  void setAllStepValue(double v);
  void setStepValue(int index, double v);
  // Null for an index outside 0 .. stepCount - 1.
  Step* getStep(int index);
  StepQueueEntry* getFifoStep() { return fifo.data(); }

  // Consumer side of the step queue: the oldest entry not yet taken, or null; takeEntry()
  // removes it.
  const StepQueueEntry* peekEntry() const;
  void takeEntry();

  double trackLength() const { return stepCount * stepLength; }

  int32_t stepCount = kStepCount;
  std::array<Step, kStepCount> steps;
  std::array<StepQueueEntry, kFifoSize> fifo{};
  int32_t fifoCount = 0;      // entries not yet taken
  int32_t fifoReadIndex = 0;  // slot of the oldest entry not yet taken
  int32_t fifoWriteIndex = 0; // slot the next entry goes to
  bool fifoOverflow = false;
  int32_t currentStep = 0;    // next step to emit
  double samplesPerBeat = 22050.0;
  double stepLength = 4.0 / kStepCount;  // beats per step
  double trackPosition = 0.0;  // beats within the track, 0 up to the track length
  double freePosition = 0.0;   // the same, advanced without the speed factor
  double tickPhase = 0.0;      // beats since the last step boundary
  double speed = 1.0;
  bool stepped = false;  // a step was emitted in the current block
  bool ticked = false;   // a step boundary passed in the current block
  bool enabled = false;  // the engine uses the track's values
  bool empty = true;     // the track holds no recorded data
  bool loaded = false;   // the track was just loaded from data
  double trackDefault = 0.0;

 private:
  // Step index for a position, held inside 0 .. stepCount.
  int32_t stepAt(double position) const;
};

class StepSequencer {
 public:
  static constexpr int kTrackCount = 4;

  StepSequencer() = default;

  // samplesPerBeat of every track = sampleRate * 60 / tempo; ignored unless that is a finite
  // number of at least one sample.
  void updateTempo(double tempo, double sampleRate);
  void process(int n);
  void play(double ppq);
  void clear();
  void setSpeed(double s);
  // Null for an index outside 0 .. trackCount - 1.
  StepTrack* getStepTrack(int index);
  StepQueueEntry* getTrackFifoStep(int index);

  int32_t trackCount = kTrackCount;
  std::array<StepTrack, kTrackCount> tracks;
};

// A plain record for saving and restoring the automation of a loop. Room for twenty tracks; the
// engine fills and reads the first four and leaves the others as they are.
struct LoopSequencerData {
  static constexpr int kMaxTracks = 20;
  struct Track {
    double stepValues[StepTrack::kStepCount] = {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5,
                                                0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5};
    double speed = 1.0;
    bool enabled = false;
    bool empty = true;
    int32_t lastStep = -1;  // the track's currentStep - 1 when saved
  };
  Track tracks[kMaxTracks];
  int32_t loopId = 0;
  bool loopOn = false;
};

}  // namespace vamplet
