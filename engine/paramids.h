// SPDX-License-Identifier: GPL-3.0-or-later
// Parameter IDs shared by processor, controller, engine and editor; also the slot order of the
// engine's state chunk. Free of plug-in API types so the engine can use them.
#pragma once

namespace vamplet {

// Engine parameter IDs: the slot order of the state chunk.
enum EngineParam : int {
  kParamLoop = 0,       // loop on/off
  kParamLoopSize = 1,   // loop length as a fraction of a bar
  kParamPitch = 2,      // loop pitch
  kParamReverse = 3,    // reverse playback
  kParamFxOn = 4,       // loop effect on/off
  kParamFxId = 5,       // which loop effect
  kParamFxParam = 6,    // the effect's own parameter
  kParamDryWet = 7,     // effect against plain loop
  kParamFreePitch = 8,  // free pitch switch
  kParamProgram = 9,    // program selection, ignored by the engine
  kParamBypass = 10,    // bypass (the processor does the copy)
  kParamKnobSpeed = 11, // editor knob speed, only stored
  kParamTriplet = 12,   // triplet grid switch
  kParamFastSync = 13,  // fast sync switch
  kNumEngineParams = 14
};

}  // namespace vamplet
